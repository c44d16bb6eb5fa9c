#include "gui/ClientInfo.h"

#include "gui/Resource.h"
#include "gui/ResourceText.h"
#include "gui/WireText.h"

#include "protocol/NetDefragVersionInfo.h"

CClientInfo::CClientInfo(CWnd* pParent) : CDialog(IDD_CLIENT_INFO, pParent)
{
    SetAutoDelete(true);
}

void CClientInfo::Reset()
{
    SetDlgItemText(IDC_CLIENT_VERSION, ResourceText(IDS_SEARCHING));
}

void CClientInfo::Fill(const CNetDefragVersionInfo& version)
{
    SetDlgItemText(IDC_CLIENT_VERSION, WireText(version.m_strVersionText));
}
