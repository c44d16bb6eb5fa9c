#include "gui/InfoWindows.h"

#include "gui/ClientInfo.h"
#include "gui/ClusterExplorer.h"
#include "gui/DefragListView.h"
#include "gui/DefragOutputView.h"
#include "gui/DriveInfo.h"
#include "gui/FragmentedFilesDlg.h"
#include "gui/MapDrawingSettings.h"
#include "gui/MapKinds.h"
#include "gui/Resource.h"

#include "classlib/FrameWnd.h"

namespace
{
void Hide(CDialog* pDlg, CCriticalSection& lock)
{
    CSectionLock guard(lock);
    if (pDlg != nullptr && pDlg->m_hWnd != NULL)
        pDlg->ShowWindow(SW_HIDE);
}
} // namespace

CInfoWindows::CInfoWindows(CDefragListView& view)
    : m_view(view), m_pExplorer(nullptr), m_pFragmentedFiles(nullptr), m_pDriveInfo(nullptr), m_pServiceInfo(nullptr)
{
}

CWnd* CInfoWindows::Frame() const
{
    CWnd* pFrame = m_view.m_hWnd != NULL ? m_view.GetTopLevelFrame() : nullptr;
    return pFrame != nullptr ? pFrame : m_view.GetParent();
}

template <class TDlg, class TMake>
TDlg* CInfoWindows::Show(TDlg*& pDlg, UINT nIDTemplate, TMake make)
{
    if (pDlg == nullptr || pDlg->m_hWnd == NULL)
    {
        CWnd* pFrame = Frame();
        std::unique_ptr<TDlg> pMade(make(pFrame));
        if (!pMade->Create(nIDTemplate, pFrame))
            return nullptr;
        // From here on the window deletes its object when it ends.
        pDlg = pMade.release();
        CRect rcFrame;
        if (pFrame != nullptr)
            pFrame->GetWindowRect(&rcFrame);
        pDlg->CenterWindow(pFrame != nullptr && rcFrame.top > 0 && rcFrame.left > 0 ? &rcFrame : nullptr);
    }
    pDlg->ShowWindow(SW_SHOW);
    return pDlg;
}

CClusterExplorer* CInfoWindows::ShowClusterExplorer()
{
    return Show(m_pExplorer, IDD_CLUSTER_EXPLORER, [this](CWnd* pFrame) { return new CClusterExplorer(pFrame, *this); });
}

CFragmentedFilesDlg* CInfoWindows::ShowFragmentedFiles()
{
    return Show(m_pFragmentedFiles, IDD_FRAGMENTED_FILES,
                [this](CWnd* pFrame) { return new CFragmentedFilesDlg(pFrame, *this); });
}

CDriveInfo* CInfoWindows::ShowDriveInfo()
{
    return Show(m_pDriveInfo, IDD_DRIVE_INFO, [](CWnd* pFrame) { return new CDriveInfo(pFrame); });
}

CClientInfo* CInfoWindows::ShowServiceInfo()
{
    return Show(m_pServiceInfo, IDD_CLIENT_INFO, [](CWnd* pFrame) { return new CClientInfo(pFrame); });
}

void CInfoWindows::HideAll()
{
    Hide(m_pExplorer, m_explorerLock);
    Hide(m_pDriveInfo, m_driveInfoLock);
    Hide(m_pFragmentedFiles, m_fragmentedFilesLock);
    Hide(m_pServiceInfo, m_serviceInfoLock);
}

stMapLook CInfoWindows::GetMapLook()
{
    // The explorer's icons take the map's colours: the user's own while the
    // pane is there, the defaults otherwise.
    stMapLook look = {};
    COLORREF acrColors[kMapColorCount];
    for (uint32_t nKind = 0; nKind < kMapColorCount; ++nKind)
        acrColors[nKind] = kMapKinds[nKind].crDefault;
    if (CDefragOutputView* pPane = m_view.GetClusterPane())
        pPane->GetColors(acrColors);
    for (uint32_t nKind = 0; nKind < kKindCount; ++nKind)
        look.acrKinds[nKind] = acrColors[nKind];
    look.bShaded = MapDrawingSettings().bShaded;
    look.nLighten = MapDrawingSettings().nShadeLighten;
    return look;
}

void CInfoWindows::ExploreSelection(int64_t llCluster)
{
    m_view.ExploreMapSelection(llCluster);
}

bool CInfoWindows::SendShowFile(int32_t nDriveId, const CString& strFileName)
{
    return m_view.SendShowFile(nDriveId, strFileName);
}
