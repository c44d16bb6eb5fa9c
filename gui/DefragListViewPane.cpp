#include "gui/DefragListView.h"

#include "gui/DefragOutputView.h"
#include "gui/DlgAnalyzeFinish.h"
#include "gui/DlgDefragFinish.h"
#include "gui/DriveRows.h"
#include "gui/MainFrame.h"
#include "gui/Resource.h"

#include "classlib/CmdUI.h"

#include "guitoolkit/Registry.h"
#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClusterExplorerAsk.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"
#include "protocol/NetDefragPartitionObject.h"

namespace
{
const wchar_t* const WindowSettingsKey = L"Software\\Varnefold\\Window";
// A row's map state: shown once and no longer subscribed, or subscribed.
constexpr int MapNotSubscribed = 1;
constexpr int MapSubscribed = 2;

// Creates the dialog on first use; later results reuse the hidden window.
template <class TDialog>
TDialog* ShowResult(TDialog*& pDialog, CWnd* pParent, std::function<void()> onTurnedOff,
                    const CNetDefragPartitionListEntry& entry)
{
    if (pDialog == nullptr)
    {
        auto* pNew = new TDialog(pParent, std::move(onTurnedOff));
        pNew->SetAutoDelete(true);
        if (!pNew->CreateModeless(pParent))
        {
            delete pNew;
            return nullptr;
        }
        pDialog = pNew;
    }
    pDialog->Fill(entry);
    pDialog->ShowWindow(SW_SHOW);
    return pDialog;
}
} // namespace

bool CListViewPaneOwner::SendExploreRequest(int32_t nDriveId, int64_t llFirstCluster, int64_t llLastCluster)
{
    CNetDefragPartitionClusterExplorerAsk ask;
    ask.m_nVolumeIndex = nDriveId;
    ask.m_llFirstCluster = llFirstCluster;
    ask.m_llLastCluster = llLastCluster;
    return m_view.SendCommand(CMD_CLUSTEREXPLORER_ASK, ask);
}

void CListViewPaneOwner::OpenClusterExplorer()
{
    m_view.OpenClusterExplorer();
}

void CListViewPaneOwner::SetContextDrive(int32_t nDriveId)
{
    m_view.SelectRowByDrive(nDriveId);
}

void CListViewPaneOwner::ContextMenuDone()
{
    if (m_view.m_hWnd != NULL)
        m_view.PostMessage(WM_CONTEXTMENU_DONE);
}

void CDefragListView::WriteWindowFlag(const wchar_t* pszName, bool bOn)
{
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    if (key.Create(HKEY_CURRENT_USER, WindowSettingsKey))
        key.WriteDWORD(pszName, bOn ? 1 : 0);
}

void CDefragListView::OpenAnalysisResult(const CNetDefragPartitionListEntry& entry)
{
    CSectionLock lock(m_csAnalysisResult);
    ShowResult(m_pAnalysisResult, m_hWnd != NULL ? GetTopLevelFrame() : nullptr,
               [this] {
                   m_stViewFlags.bShowAnalyzeFinish = false;
                   WriteWindowFlag(L"ShowAnalyzeFinish", false);
               },
               entry);
}

void CDefragListView::OpenDefragResult(const CNetDefragPartitionListEntry& entry)
{
    CSectionLock lock(m_csDefragResult);
    ShowResult(m_pDefragResult, m_hWnd != NULL ? GetTopLevelFrame() : nullptr,
               [this] {
                   m_stViewFlags.bShowDefragFinish = false;
                   WriteWindowFlag(L"ShowDefragFinish", false);
               },
               entry);
}

CDefragOutputView* CDefragListView::GetClusterPane() const
{
    return m_hClusterPane != NULL ? dynamic_cast<CDefragOutputView*>(CWnd::FromHandlePermanent(m_hClusterPane))
                                  : nullptr;
}

bool CDefragListView::IsClusterPaneInUse() const
{
    return GetClusterPane() != nullptr;
}

void CDefragListView::SyncClusterView()
{
    CDefragOutputView* pPane = GetClusterPane();
    if (pPane == nullptr)
    {
        CMainFrame* pFrame = m_hWnd != NULL ? dynamic_cast<CMainFrame*>(GetTopLevelFrame()) : nullptr;
        pPane = pFrame != nullptr ? pFrame->ShowClusterView() : nullptr;
        if (pPane == nullptr)
            return;
        m_hClusterPane = pPane->m_hWnd;
    }
    m_stViewFlags.bShowClusterView = true;
    {
        CSectionLock lock(m_pRows->GetLock());
        for (int nRow = 0; nRow < GetRowCount(); ++nRow)
        {
            stDriveRow* pRow = GetRow(nRow);
            if (pRow == nullptr)
                continue;
            CNetDefragPartitionObject drive;
            drive.m_nVolumeIndex = pRow->entry.m_nVolumeIndex;
            if (IsRowSelected(nRow))
            {
                // Asked again for a drive already shown: the service answers with the whole map.
                pRow->nMapState = MapSubscribed;
                SendCommand(CMD_CLUSTERMAP_SUBSCRIBE, drive);
                pPane->AddPartition(drive.m_nVolumeIndex);
                continue;
            }
            if (pRow->nMapState == MapSubscribed)
            {
                SendCommand(CMD_CLUSTERMAP_UNSUBSCRIBE, drive);
                pPane->RemovePartition(drive.m_nVolumeIndex);
            }
            pRow->nMapState = MapNotSubscribed;
        }
    }
    if (!m_bLegendFlagRead)
    {
        m_bLegendFlagRead = true;
        toolkit::CRegistry key(HKEY_CURRENT_USER);
        DWORD dwLegend = 1;
        if (key.Open(HKEY_CURRENT_USER, WindowSettingsKey))
            key.ReadDWORD(L"ShowClusterLegend", dwLegend);
        m_bShowClusterLegend = dwLegend == 1;
    }
    pPane->ShowLegend(m_bShowClusterLegend);
    pPane->Invalidate(FALSE);
}

bool CDefragListView::HandlePaneCommand(UINT nID, int nCode, void* pExtra)
{
    CDefragOutputView* pPane = GetClusterPane();
    CCmdUI* pCmdUI = nCode == CN_UPDATE_COMMAND_UI ? static_cast<CCmdUI*>(pExtra) : nullptr;
    if (nCode != CN_COMMAND && pCmdUI == nullptr)
        return false;
    switch (nID)
    {
    case ID_VIEW_CLUSTERVIEW:
        if (pCmdUI != nullptr)
        {
            pCmdUI->Enable(GetListCtrl().SendMessage(LVM_GETSELECTEDCOUNT) > 0 ? TRUE : FALSE);
            pCmdUI->SetCheck(m_stViewFlags.bShowClusterView && pPane != nullptr ? 1 : 0);
        }
        else if (pPane != nullptr)
            HideClusterView();
        else
            SyncClusterView();
        return true;
    case ID_VIEW_CLUSTERVIEW_LEGEND:
        if (pCmdUI != nullptr)
        {
            pCmdUI->Enable(pPane != nullptr ? TRUE : FALSE);
            pCmdUI->SetCheck(pPane != nullptr && pPane->IsLegendShown() ? 1 : 0);
            return true;
        }
        ToggleClusterLegend();
        ForgetRightClickedRow();
        return true;
    case ID_VIEW_EXPLORE_CLUSTER:
        if (pCmdUI != nullptr)
        {
            pCmdUI->Enable(pPane != nullptr ? TRUE : FALSE);
            return true;
        }
        ExploreClusterOfDrive(m_pRightClicked != nullptr ? m_pRightClicked->entry.m_nVolumeIndex : -1);
        ForgetRightClickedRow();
        return true;
    default:
        return false;
    }
}

void CDefragListView::ToggleClusterLegend()
{
    CDefragOutputView* pPane = GetClusterPane();
    if (pPane == nullptr)
        return;
    m_bShowClusterLegend = !pPane->IsLegendShown();
    WriteWindowFlag(L"ShowClusterLegend", m_bShowClusterLegend);
    pPane->ShowLegend(m_bShowClusterLegend);
}

void CDefragListView::ExploreClusterOfDrive(int32_t nDriveId)
{
    CDefragOutputView* pPane = GetClusterPane();
    if (pPane != nullptr)
        pPane->ExploreCluster(nDriveId);
}

void CDefragListView::HighlightCluster(int32_t nDriveId, bool bHighlight, int64_t llCluster)
{
    CDefragOutputView* pPane = GetClusterPane();
    if (pPane != nullptr)
        pPane->SetPartitionData(nDriveId, bHighlight, llCluster);
}

void CDefragListView::StopClusterView(bool bKeepShown)
{
    if (GetClusterPane() == nullptr)
        return;
    ReleaseClusterMaps(IsConnected());
    m_hClusterPane = NULL;
    if (!bKeepShown)
        m_stViewFlags.bShowClusterView = false;
    CMainFrame* pFrame = m_hWnd != NULL ? dynamic_cast<CMainFrame*>(GetTopLevelFrame()) : nullptr;
    if (pFrame != nullptr)
        pFrame->HideClusterView();
}

void CDefragListView::HideClusterView()
{
    StopClusterView(false);
}

void CDefragListView::EndClusterView()
{
    StopClusterView(true);
}

void CDefragListView::OnDriveFinished(int32_t nDriveId, bool bUnfragmented)
{
    CDefragOutputView* pPane = GetClusterPane();
    if (pPane != nullptr)
        pPane->SetPartitionState(bUnfragmented, nDriveId);
}

void CDefragListView::OnClusterMap(std::unique_ptr<CNetDefragPartitionClustermap> pMap)
{
    CDefragOutputView* pPane = GetClusterPane();
    if (pPane != nullptr)
        pPane->SetClusterMap(std::move(pMap), &m_paneOwner);
}

void CDefragListView::OnClusterMapChanges(std::unique_ptr<CNetDefragClustermapModList> pChanges)
{
    CDefragOutputView* pPane = GetClusterPane();
    if (pPane != nullptr && pChanges)
        pPane->ApplyClusterMapChanges(*pChanges);
}

void CDefragListView::OnFileClusters(std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> pAnswer)
{
    CDefragOutputView* pPane = GetClusterPane();
    if (pPane != nullptr)
        pPane->ShowExplorerResponse(std::move(pAnswer));
}

void CDefragListView::ReleaseClusterMaps(bool bUnsubscribe)
{
    CDefragOutputView* pPane = GetClusterPane();
    {
        CSectionLock lock(m_pRows->GetLock());
        for (int nRow = 0; nRow < GetRowCount(); ++nRow)
        {
            stDriveRow* pRow = GetRow(nRow);
            if (pRow == nullptr || pRow->nMapState != MapSubscribed)
                continue;
            pRow->nMapState = MapNotSubscribed;
            if (!bUnsubscribe)
                continue;
            CNetDefragPartitionObject drive;
            drive.m_nVolumeIndex = pRow->entry.m_nVolumeIndex;
            SendCommand(CMD_CLUSTERMAP_UNSUBSCRIBE, drive);
        }
    }
    if (pPane != nullptr)
    {
        pPane->RemoveAllPartitions();
        pPane->Invalidate(FALSE);
    }
}
