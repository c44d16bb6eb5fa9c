#include "gui/DefragOutputView.h"

#include "gui/ColorChooser.h"
#include "gui/MapDrawingSettings.h"
#include "gui/MapPaneOwner.h"
#include "gui/MemDC.h"

#include "classlib/DC.h"
#include "guitoolkit/Registry.h"
#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"

#include <algorithm>

namespace
{
const wchar_t* const WindowSettingsKey = L"Software\\Varnefold\\Window";
constexpr DWORD MaxLightenAmount = 255;

CSystemColorChooser g_systemChooser;
} // namespace

CDefragOutputView::CDefragOutputView()
    : m_bLegendShown(true), m_pOwner(nullptr), m_nLegendHeight(0), m_acrColors{}, m_bColorsChanged(false),
      m_pChooser(&g_systemChooser)
{
    for (uint32_t i = 0; i < kMapColorCount; ++i)
        m_acrColors[i] = kMapKinds[i].crDefault;
}

CDefragOutputView::~CDefragOutputView() = default;

bool CDefragOutputView::AddPartition(int32_t nDriveId)
{
    CSectionLock lock(m_lock);
    if (FindWindow(nDriveId) == nullptr)
        m_windows.push_back(std::unique_ptr<CDefragPartitionWindow>(new CDefragPartitionWindow(nDriveId)));
    return true;
}

void CDefragOutputView::RemovePartition(int32_t nDriveId)
{
    CSectionLock lock(m_lock);
    auto it = std::find_if(m_windows.begin(), m_windows.end(),
                           [nDriveId](const std::unique_ptr<CDefragPartitionWindow>& p) {
                               return p->GetDriveId() == nDriveId;
                           });
    if (it != m_windows.end())
        m_windows.erase(it);
}

void CDefragOutputView::RemoveAllPartitions()
{
    CSectionLock lock(m_lock);
    m_windows.clear();
}

bool CDefragOutputView::HasPartition(int32_t nDriveId)
{
    CSectionLock lock(m_lock);
    return FindWindow(nDriveId) != nullptr;
}

CDefragPartitionWindow* CDefragOutputView::FindWindow(int32_t nDriveId)
{
    for (const std::unique_ptr<CDefragPartitionWindow>& pWindow : m_windows)
    {
        if (pWindow->GetDriveId() == nDriveId)
            return pWindow.get();
    }
    return nullptr;
}

void CDefragOutputView::ShowLegend(bool bShow)
{
    if (bShow == m_bLegendShown)
        return;
    m_bLegendShown = bShow;
    RedrawNow();
}

void CDefragOutputView::GetColors(COLORREF* pColors) const
{
    std::copy(m_acrColors, m_acrColors + kKindCount, pColors);
}

void CDefragOutputView::RedrawNow()
{
    if (m_hWnd != NULL)
        RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_UPDATENOW);
}

bool CDefragOutputView::SetClusterMap(std::unique_ptr<CNetDefragPartitionClustermap> pMap, IMapPaneOwner* pOwner)
{
    if (!pMap)
        return false;
    {
        CSectionLock lock(m_lock);
        CDefragPartitionWindow* pWindow = FindWindow(pMap->m_nVolumeIndex);
        if (pWindow == nullptr || !pWindow->SetMap(*pMap))
            return false;
        if (pWindow->GetOwnerView() == nullptr)
            pWindow->SetOwnerView(this);
        m_pOwner = pOwner;
    }
    RedrawNow();
    return true;
}

void CDefragOutputView::ApplyClusterMapChanges(CNetDefragClustermapModList& changes)
{
    CSectionLock lock(m_lock);
    CDefragPartitionWindow* pWindow = FindWindow(changes.m_nVolumeIndex);
    if (pWindow == nullptr)
        return;
    if (m_hWnd == NULL)
    {
        pWindow->ApplyChanges(nullptr, changes);
        return;
    }
    CClientDC dc(this);
    CMemDC memDC(&dc, true);
    pWindow->ApplyChanges(memDC.IsValid() ? &memDC : nullptr, changes);
}

void CDefragOutputView::SetPartitionData(int32_t nDriveId, bool bHighlight, int64_t llCluster)
{
    {
        CSectionLock lock(m_lock);
        for (const std::unique_ptr<CDefragPartitionWindow>& pWindow : m_windows)
        {
            if (pWindow->GetDriveId() == nDriveId)
                pWindow->SetHighlight(bHighlight, llCluster);
            else
                pWindow->SetHighlight(false, 0);
        }
    }
    if (m_hWnd != NULL)
        Invalidate(FALSE);
}

void CDefragOutputView::ShowExplorerResponse(std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> pAnswer)
{
    if (!pAnswer)
        return;
    {
        CSectionLock lock(m_lock);
        int32_t nDriveId = pAnswer->m_nVolumeIndex;
        for (const std::unique_ptr<CDefragPartitionWindow>& pWindow : m_windows)
        {
            if (pWindow->GetDriveId() != nDriveId)
                pWindow->SetExplorerAnswer(nullptr);
        }
        if (CDefragPartitionWindow* pWindow = FindWindow(nDriveId))
            pWindow->SetExplorerAnswer(std::move(pAnswer));
    }
    RedrawNow();
}

void CDefragOutputView::SetPartitionState(bool bUnfragmented, int32_t nDriveId)
{
    {
        CSectionLock lock(m_lock);
        if (CDefragPartitionWindow* pWindow = FindWindow(nDriveId))
            pWindow->SetFragmentationNote(bUnfragmented);
    }
    if (m_hWnd != NULL)
        Invalidate(FALSE);
}

bool CDefragOutputView::SendRequest(CDefragPartitionWindow& window, const CLUSTER_RANGE& range)
{
    // Only a request that went out waits for an answer; a click that sent
    // nothing must not leave later clicks beeping.
    if (m_pOwner == nullptr || !m_pOwner->SendExploreRequest(window.GetDriveId(), range.llFirst, range.llLast))
        return false;
    window.MarkPending(range.llFirst);
    return true;
}

bool CDefragOutputView::ExploreCluster(int32_t nDriveId)
{
    CSectionLock lock(m_lock);
    CDefragPartitionWindow* pWindow =
        nDriveId == -1 ? (m_windows.empty() ? nullptr : m_windows.front().get()) : FindWindow(nDriveId);
    if (pWindow == nullptr || m_pOwner == nullptr)
        return false;
    CLUSTER_RANGE range = pWindow->GetSelection();
    if (range.llFirst == range.llLast || range.llLast == 0 || range.llLast == -1)
    {
        if (!pWindow->FirstBlockRange(range))
            return false;
    }
    if (range.llLast < range.llFirst)
        return false;
    m_pOwner->OpenClusterExplorer();
    return SendRequest(*pWindow, range);
}

bool CDefragOutputView::ExploreSelection(int64_t llCluster)
{
    if (llCluster == -1)
    {
        {
            CSectionLock lock(m_lock);
            for (const std::unique_ptr<CDefragPartitionWindow>& pWindow : m_windows)
                pWindow->SetHighlight(false, 0);
        }
        RedrawNow();
        return false;
    }
    CSectionLock lock(m_lock);
    for (const std::unique_ptr<CDefragPartitionWindow>& pWindow : m_windows)
    {
        if (!pWindow->HasMark() || !pWindow->HasMap())
            continue;
        CLUSTER_RANGE range;
        return pWindow->BlockOfCluster(llCluster, range) && SendRequest(*pWindow, range);
    }
    return false;
}

void CDefragOutputView::LoadColors()
{
    {
        CClientDC dc(this);
        for (COLORREF& cr : m_acrColors)
            cr = dc.GetNearestColor(cr);
    }
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    if (!key.Open(HKEY_CURRENT_USER, WindowSettingsKey))
        return;
    for (uint32_t i = 0; i < kMapColorCount; ++i)
    {
        DWORD dwColor = m_acrColors[i];
        if (key.ReadDWORD(kMapKinds[i].pszRegistryValue, dwColor))
            m_acrColors[i] = dwColor & 0x00FFFFFF;
    }
    stMapDrawingSettings& settings = MapDrawingSettings();
    DWORD dwShaded = settings.bShaded ? 1 : 0;
    if (key.ReadDWORD(L"UseShadedDrawing", dwShaded))
        settings.bShaded = dwShaded != 0;
    DWORD dwLighten = static_cast<DWORD>(settings.nShadeLighten);
    if (key.ReadDWORD(L"ShadeLightenColorValue", dwLighten))
        settings.nShadeLighten = static_cast<int>(std::min(dwLighten, MaxLightenAmount));
}

void CDefragOutputView::SaveColors()
{
    if (!m_bColorsChanged)
        return;
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    if (!key.Create(HKEY_CURRENT_USER, WindowSettingsKey))
        return;
    for (uint32_t i = 0; i < kMapColorCount; ++i)
        key.WriteDWORD(kMapKinds[i].pszRegistryValue, m_acrColors[i]);
}

void CDefragOutputView::PostNcDestroy()
{
    SaveColors();
    CView::PostNcDestroy();
}

bool CDefragOutputView::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_CREATE:
        if (!CView::OnMessage(nMsg, wParam, lParam, lResult))
            lResult = Default();
        if (lResult != -1)
            LoadColors();
        return true;
    case WM_ERASEBKGND:
        // Every pixel is painted through the off-screen bitmap.
        lResult = 1;
        return true;
    case WM_PAINT:
    {
        CPaintDC dc(this);
        CMemDC memDC(&dc, false);
        if (memDC.IsValid())
            Paint(&memDC);
        lResult = 0;
        return true;
    }
    case WM_PRINTCLIENT:
    {
        CDC dc;
        dc.Attach(reinterpret_cast<HDC>(wParam));
        Paint(&dc);
        dc.Detach();
        lResult = 0;
        return true;
    }
    case WM_LBUTTONUP:
        if (m_pOwner != nullptr &&
            OnLeftButtonUp(POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}))
        {
            lResult = 0;
            return true;
        }
        break;
    case WM_CONTEXTMENU:
        OnContextMenu(POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        lResult = 0;
        return true;
    default:
        break;
    }
    return CView::OnMessage(nMsg, wParam, lParam, lResult);
}
