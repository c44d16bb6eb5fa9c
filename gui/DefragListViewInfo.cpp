#include "gui/DefragListView.h"

#include "gui/DefragOutputView.h"

#include "gui/ClientInfo.h"
#include "gui/ClusterExplorer.h"
#include "gui/DriveInfo.h"
#include "gui/FragmentedFilesDlg.h"
#include "gui/DriveRows.h"
#include "gui/InfoWindows.h"
#include "gui/Resource.h"

#include "classlib/CmdTarget.h"
#include "classlib/CmdUI.h"

#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"
#include "protocol/NetDefragPartitionObject.h"
#include "protocol/NetDefragString.h"
#include "protocol/NetDefragVersionInfo.h"

namespace
{
bool SendDriveRequest(CDefragListView& view, int32_t nCode, int32_t nDriveId)
{
    CNetDefragPartitionObject request;
    request.m_nVolumeIndex = nDriveId;
    return view.SendCommand(nCode, request);
}
} // namespace

void CDefragListView::DeleteInfoWindows(CInfoWindows* pWindows)
{
    delete pWindows;
}

CInfoWindows& CDefragListView::GetInfoWindows()
{
    if (!m_pInfoWindows)
        m_pInfoWindows.reset(new CInfoWindows(*this));
    return *m_pInfoWindows;
}

void CDefragListView::OnClusterExplorer(const CNetDefragPartitionClusterExplorerResponse& answer)
{
    CSectionLock guard(GetInfoWindows().ExplorerLock());
    CClusterExplorer* pExplorer = GetInfoWindows().ShowClusterExplorer();
    if (pExplorer == nullptr)
        return;
    // The map frames the block the explorer lists, while the explorer shows.
    if (IsClusterPaneInUse())
        HighlightCluster(answer.m_nVolumeIndex, pExplorer->IsWindowVisible() != FALSE, answer.m_llFirstCluster);
    pExplorer->Fill(answer);
}

void CDefragListView::OnPartitionInfo(const CNetDefragPartitionInfo& info)
{
    CSectionLock guard(GetInfoWindows().DriveInfoLock());
    if (CDriveInfo* pDriveInfo = GetInfoWindows().ShowDriveInfo())
        pDriveInfo->Fill(info);
}

void CDefragListView::OnFragmentedFiles(const CNetDefragPartitionFragFiles& files)
{
    CSectionLock guard(GetInfoWindows().FragmentedFilesLock());
    CFragmentedFilesDlg* pDlg = GetInfoWindows().ShowFragmentedFiles();
    if (pDlg == nullptr)
        return;
    // The entries are read through the answer's own cursor; the reply
    // handling hands over an answer it has just read and will not read again.
    pDlg->Fill(const_cast<CNetDefragPartitionFragFiles&>(files));
}

void CDefragListView::OnServiceInfo(const CNetDefragVersionInfo& version)
{
    CSectionLock guard(GetInfoWindows().ServiceInfoLock());
    if (CClientInfo* pInfo = GetInfoWindows().ShowServiceInfo())
        pInfo->Fill(version);
}

void CDefragListView::OpenClusterExplorer()
{
    CSectionLock guard(GetInfoWindows().ExplorerLock());
    if (CClusterExplorer* pExplorer = GetInfoWindows().ShowClusterExplorer())
        pExplorer->Reset();
}

bool CDefragListView::OpenDriveInfo(int32_t nDriveId)
{
    CSectionLock guard(GetInfoWindows().DriveInfoLock());
    CDriveInfo* pDriveInfo = GetInfoWindows().ShowDriveInfo();
    if (pDriveInfo == nullptr)
        return false;
    pDriveInfo->Reset();
    return SendDriveRequest(*this, CMD_GET_PARTITION_INFO, nDriveId);
}

bool CDefragListView::OpenFragmentedFiles(int32_t nDriveId)
{
    CSectionLock guard(GetInfoWindows().FragmentedFilesLock());
    CFragmentedFilesDlg* pDlg = GetInfoWindows().ShowFragmentedFiles();
    if (pDlg == nullptr)
        return false;
    pDlg->Reset();
    return SendDriveRequest(*this, CMD_GET_FRAG_FILES, nDriveId);
}

bool CDefragListView::OpenServiceInfo()
{
    CSectionLock guard(GetInfoWindows().ServiceInfoLock());
    CClientInfo* pInfo = GetInfoWindows().ShowServiceInfo();
    if (pInfo == nullptr)
        return false;
    pInfo->Reset();
    return SendBareCommand(CMD_GET_SERVICE_INFO);
}

void CDefragListView::HideInfoWindows()
{
    if (m_pInfoWindows)
        m_pInfoWindows->HideAll();
}

bool CDefragListView::SendShowFile(int32_t nDriveId, const CString& strFileName)
{
    if (!IsClusterPaneInUse())
        return false;
    CNetDefragString request;
    request.m_nVolumeIndex = nDriveId;
    request.m_strFileName = strFileName.GetString();
    return SendCommand(CMD_SHOW_FILE, request);
}

void CDefragListView::ExploreMapSelection(int64_t llCluster)
{
    if (CDefragOutputView* pPane = GetClusterPane())
        pPane->ExploreSelection(llCluster);
}

BOOL CDefragListView::HandleInfoCommand(UINT nID, int nCode, void* pExtra)
{
    if (nID != ID_VIEW_DRIVE_INFO && nID != ID_VIEW_FRAGMENTED_FILES && nID != ID_VIEW_SERVICE_INFO)
        return FALSE;
    std::vector<stDriveRow*> targets;
    if (nID != ID_VIEW_SERVICE_INFO)
        targets = m_pRows->GetTargets(m_pRightClicked, true);
    if (nCode == CN_UPDATE_COMMAND_UI)
    {
        bool bEnabled = nID == ID_VIEW_SERVICE_INFO ? IsConnected() : !targets.empty();
        static_cast<CCmdUI*>(pExtra)->Enable(bEnabled ? TRUE : FALSE);
        return TRUE;
    }
    if (nCode != CN_COMMAND)
        return FALSE;
    m_pRightClicked = nullptr;
    if (nID == ID_VIEW_SERVICE_INFO)
    {
        if (IsConnected())
            OpenServiceInfo();
    }
    else if (!targets.empty())
    {
        int32_t nDriveId = targets.front()->entry.m_nVolumeIndex;
        if (nID == ID_VIEW_DRIVE_INFO)
            OpenDriveInfo(nDriveId);
        else
            OpenFragmentedFiles(nDriveId);
    }
    return TRUE;
}
