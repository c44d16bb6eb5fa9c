#include "gui/DlgResultBase.h"

#include "gui/Resource.h"
#include "gui/ResourceText.h"
#include "gui/WireText.h"

#include "classlib/DataExchange.h"
#include "protocol/NetDefragPartitionListEntry.h"

namespace
{
constexpr int ValueX = 100;
constexpr int ValueWidth = 270;
constexpr int RowPitch = 20;
constexpr int GroupInset = 5;
constexpr int GroupRightInset = 19;
constexpr int GroupHeight = 230;
constexpr int RecommendationWidth = 370;
constexpr int KeyControl = 0;
constexpr int GroupControl = 1;
constexpr int RecommendationControl = 8;
constexpr int VolumeLabelControl = 10;
constexpr int FileSystemControl = 11;

struct stNameRow
{
    UINT nLabelId;
    int kLabel;
    int kValue;
};
const stNameRow NameRows[] = {{IDS_GUID, 2, KeyControl}, {IDS_DRIVE_NAME, 3, VolumeLabelControl},
                              {IDS_FILESYSTEM, 4, FileSystemControl}};
} // namespace

CDlgResultBase::CDlgResultBase(UINT nIDTemplate, CWnd* pParent, std::function<void()> onTurnedOff)
    : CDialog(nIDTemplate, pParent), m_onTurnedOff(std::move(onTurnedOff))
{
}

BOOL CDlgResultBase::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_tabs.UpdateBackgroundBrush();
    return TRUE;
}

void CDlgResultBase::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_RESULT_TABS, m_tabs);
}

int CDlgResultBase::FindPage(const CString& strGuidPath)
{
    for (int nPage = 0; nPage < m_tabs.GetItemCount(); ++nPage)
    {
        if (m_tabs.GetItemText(ControlId(nPage, KeyControl)) == strGuidPath)
            return nPage;
    }
    return -1;
}

void CDlgResultBase::Fill(const CNetDefragPartitionListEntry& entry)
{
    if (m_hWnd == NULL)
        return;
    int nPage = FindPage(WireText(entry.m_strVolumeGuidPath));
    if (nPage < 0)
    {
        nPage = m_tabs.GetItemCount();
        m_tabs.InsertItem(nPage, WireText(entry.m_strDriveRoot));
        AddPage(nPage, entry);
    }
    SetValues(nPage, entry);
    m_tabs.SetActivePage(nPage);
}

int CDlgResultBase::AddLabel(int nPage, UINT nTextId, int k, int y)
{
    // An empty value would be sized to no text at all: it takes its label's height.
    CWnd* pLabel = m_tabs.AddStatic(ResourceText(nTextId), ControlId(nPage, k), nPage, 0, 0, y, 0, 0);
    RECT rc = {};
    if (pLabel != nullptr)
        pLabel->GetWindowRect(&rc);
    return rc.bottom - rc.top > 0 ? rc.bottom - rc.top : RowPitch;
}

void CDlgResultBase::AddPage(int nPage, const CNetDefragPartitionListEntry& entry)
{
    RECT rcTabs = {};
    m_tabs.GetClientRect(&rcTabs);
    m_tabs.AddGroupBox(ResourceText(IDS_RESULTS), ControlId(nPage, GroupControl), nPage,
                       rcTabs.right - rcTabs.left - GroupRightInset, GroupHeight, 0, -GroupInset, 0);
    int y = RowPitch;
    for (const stNameRow& row : NameRows)
    {
        int nHeight = AddLabel(nPage, row.nLabelId, row.kLabel, y);
        CWnd* pValue = m_tabs.AddStatic(L"", ControlId(nPage, row.kValue), nPage, 0, ValueX, y, ValueWidth, nHeight);
        // The key only finds the page again; it takes no room on it.
        if (row.kValue == KeyControl && pValue != nullptr)
        {
            pValue->SetWindowText(WireText(entry.m_strVolumeGuidPath));
            pValue->SetWindowPos(NULL, 0, 0, ValueWidth, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        y += RowPitch;
    }
    int nCount = 0;
    const stRow* pRows = NumberRows(nCount);
    for (int i = 0; i < nCount; ++i)
    {
        y += pRows[i].nGap;
        int nHeight = AddLabel(nPage, pRows[i].nLabelId, pRows[i].k, y);
        m_tabs.AddStatic(L"", ControlId(nPage, pRows[i].k + 7), nPage, 0, ValueX, y, ValueWidth, nHeight);
        y += RowPitch;
    }
    y += RowPitch / 2;
    m_tabs.AddStatic(L"", ControlId(nPage, RecommendationControl), nPage, 0, 0, y, RecommendationWidth,
                     RecommendationHeight());
}

void CDlgResultBase::SetValues(int nPage, const CNetDefragPartitionListEntry& entry)
{
    m_tabs.SetDlgItemText(ControlId(nPage, VolumeLabelControl), WireText(entry.m_strVolumeLabel));
    m_tabs.SetDlgItemText(ControlId(nPage, FileSystemControl), WireText(entry.m_strFileSystemName));
    int nCount = 0;
    const stRow* pRows = NumberRows(nCount);
    for (int i = 0; i < nCount; ++i)
    {
        CString strValue;
        strValue.Format(L"%u", NumberValue(entry, pRows[i].k + 7));
        m_tabs.SetDlgItemText(ControlId(nPage, pRows[i].k + 7), strValue);
    }
    m_tabs.SetDlgItemText(ControlId(nPage, RecommendationControl), Recommendation(entry));
}

void CDlgResultBase::Close()
{
    if (IsDlgButtonChecked(IDC_RESULT_DO_NOT_SHOW_AGAIN) == BST_CHECKED && m_onTurnedOff)
        m_onTurnedOff();
    ShowWindow(SW_HIDE);
}

void CDlgResultBase::OnOK()
{
    Close();
}

void CDlgResultBase::OnCancel()
{
    Close();
}
