#include "gui/DefragListView.h"

#include "gui/DefragOutputView.h"
#include "gui/DlgAnalyzeFinish.h"
#include "gui/DlgDefragFinish.h"
#include "gui/MainFrame.h"

#include "guitoolkit/Registry.h"
#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClusterExplorerAsk.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"

namespace
{
const wchar_t* const WindowSettingsKey = L"Software\\Varnefold\\Window";

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
}

void CListViewPaneOwner::SetContextDrive(int32_t /*nDriveId*/)
{
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

bool CDefragListView::IsClusterPaneInUse() const
{
    return m_pClusterPane != nullptr;
}

void CDefragListView::SyncClusterView()
{
    if (m_pClusterPane == nullptr)
    {
        CMainFrame* pFrame = m_hWnd != NULL ? dynamic_cast<CMainFrame*>(GetTopLevelFrame()) : nullptr;
        m_pClusterPane = pFrame != nullptr ? pFrame->ShowClusterView() : nullptr;
        if (m_pClusterPane == nullptr)
            return;
    }
    m_stViewFlags.bShowClusterView = true;
    if (!m_bLegendFlagRead)
    {
        m_bLegendFlagRead = true;
        toolkit::CRegistry key(HKEY_CURRENT_USER);
        DWORD dwLegend = 1;
        if (key.Open(HKEY_CURRENT_USER, WindowSettingsKey))
            key.ReadDWORD(L"ShowClusterLegend", dwLegend);
        m_bShowClusterLegend = dwLegend == 1;
    }
    m_pClusterPane->ShowLegend(m_bShowClusterLegend);
    m_pClusterPane->Invalidate(FALSE);
}

void CDefragListView::ToggleClusterLegend()
{
    if (m_pClusterPane == nullptr)
        return;
    m_bShowClusterLegend = !m_pClusterPane->IsLegendShown();
    WriteWindowFlag(L"ShowClusterLegend", m_bShowClusterLegend);
    m_pClusterPane->ShowLegend(m_bShowClusterLegend);
}

void CDefragListView::ExploreClusterOfDrive(int32_t nDriveId)
{
    if (m_pClusterPane != nullptr)
        m_pClusterPane->ExploreCluster(nDriveId);
}

void CDefragListView::HighlightCluster(int32_t nDriveId, bool bHighlight, int64_t llCluster)
{
    if (m_pClusterPane != nullptr)
        m_pClusterPane->SetPartitionData(nDriveId, bHighlight, llCluster);
}

void CDefragListView::StopClusterView(bool bKeepShown)
{
    if (m_pClusterPane == nullptr)
        return;
    ReleaseClusterMaps(IsConnected());
    m_pClusterPane = nullptr;
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
    if (m_pClusterPane != nullptr)
        m_pClusterPane->SetPartitionState(bUnfragmented, nDriveId);
}

void CDefragListView::OnClusterMap(std::unique_ptr<CNetDefragPartitionClustermap> pMap)
{
    if (m_pClusterPane != nullptr)
        m_pClusterPane->SetClusterMap(std::move(pMap), &m_paneOwner);
}

void CDefragListView::OnClusterMapChanges(std::unique_ptr<CNetDefragClustermapModList> pChanges)
{
    if (m_pClusterPane != nullptr && pChanges)
        m_pClusterPane->ApplyClusterMapChanges(*pChanges);
}

void CDefragListView::OnFileClusters(std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> pAnswer)
{
    if (m_pClusterPane != nullptr)
        m_pClusterPane->ShowExplorerResponse(std::move(pAnswer));
}

void CDefragListView::ReleaseClusterMaps(bool /*bUnsubscribe*/)
{
    if (m_pClusterPane != nullptr)
        m_pClusterPane->RemoveAllPartitions();
}
