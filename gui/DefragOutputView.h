// CDefragOutputView: the lower pane of the main window. It draws the cluster
// map of every drive shown, one CDefragPartitionWindow each in a near-square
// grid, above a legend whose colour boxes open a colour chooser. A click on
// a block asks the service for the files behind it.
#pragma once

#include "gui/DefragPartitionWindow.h"
#include "gui/MapKinds.h"
#include "gui/MapLegendLayout.h"

#include "base/SyncObjects.h"
#include "classlib/View.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

class IColorChooser;
class IMapPaneOwner;
class CNetDefragClustermapModList;
class CNetDefragPartitionClusterExplorerResponse;
class CNetDefragPartitionClustermap;

class CDefragOutputView : public CView
{
public:
    static CWnd* CreateObject() { return new CDefragOutputView; }

    CDefragOutputView();
    ~CDefragOutputView() override;

    bool AddPartition(int32_t nDriveId);
    void RemovePartition(int32_t nDriveId);
    void RemoveAllPartitions();
    bool HasPartition(int32_t nDriveId);
    void ShowLegend(bool bShow);
    bool IsLegendShown() const { return m_bLegendShown; }
    // The eleven drawn colours in kind order.
    void GetColors(COLORREF* pColors) const;

    // The drive's window takes the map; false when the drive is not shown or
    // the map is malformed.
    bool SetClusterMap(std::unique_ptr<CNetDefragPartitionClustermap> pMap, IMapPaneOwner* pOwner);
    void ApplyClusterMapChanges(CNetDefragClustermapModList& changes);
    // The drive's window marks the block of the cluster (none without
    // bHighlight); every other window drops its marks.
    void SetPartitionData(int32_t nDriveId, bool bHighlight, int64_t llCluster);
    void ShowExplorerResponse(std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> pAnswer);
    void SetPartitionState(bool bUnfragmented, int32_t nDriveId);
    // The drive's selection (the first drive's for -1), or its first block,
    // opened in the cluster explorer.
    bool ExploreCluster(int32_t nDriveId);
    // The block holding the cluster on the drive that shows marks; -1 clears every mark.
    bool ExploreSelection(int64_t llCluster);

    // Where a legend click takes its colour from; the system's dialog when unset.
    void SetColorChooser(IColorChooser* pChooser) { m_pChooser = pChooser; }
    // The whole pane onto a context that covers its client area.
    void Paint(CDC* pDC);
    // The legend as the last paint laid it out, in legend order.
    const stLegendLayout& GetLegendLayout() const { return m_legend; }

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    void PostNcDestroy() override;

private:
    void LoadColors();
    void SaveColors();
    void DrawLegend(CDC* pDC, const RECT& rcClient);
    RECT MapArea(const RECT& rcClient) const;
    void RedrawNow();
    CDefragPartitionWindow* FindWindow(int32_t nDriveId);
    CDefragPartitionWindow* WindowAt(POINT pt);
    bool SendRequest(CDefragPartitionWindow& window, const CLUSTER_RANGE& range);
    // False when the point lies in no drive's window.
    bool OnLeftButtonUp(POINT pt);
    bool OnLegendClick(POINT pt);
    void OnContextMenu(POINT ptScreen);
    bool HitForMenu(POINT pt);

    bool m_bLegendShown;
    IMapPaneOwner* m_pOwner;
    int m_nLegendHeight;
    COLORREF m_acrColors[kMapColorCount];
    bool m_bColorsChanged;
    IColorChooser* m_pChooser;
    stLegendLayout m_legend;
    CCriticalSection m_lock;
    std::vector<std::unique_ptr<CDefragPartitionWindow>> m_windows;
};
