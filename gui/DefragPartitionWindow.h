// CDefragPartitionWindow: one drive's part of the cluster-map pane: a
// rectangle of the pane with a title bar and the drive's map as a grid of
// blocks, the block the user asked about and the runs of the file last
// explored. A drawing object, not a window.
#pragma once

#include "gui/ClusterMapCells.h"
#include "gui/ClusterMapLayout.h"

#include "base/SyncObjects.h"
#include "classlib/String.h"

#include <windows.h>

#include <cstdint>
#include <memory>

class CDC;
class CDefragOutputView;
class CNetDefragClustermapModList;
class CNetDefragPartitionClusterExplorerResponse;
class CNetDefragPartitionClustermap;

class CDefragPartitionWindow
{
public:
    explicit CDefragPartitionWindow(int32_t nDriveId);
    ~CDefragPartitionWindow();
    CDefragPartitionWindow(const CDefragPartitionWindow&) = delete;
    CDefragPartitionWindow& operator=(const CDefragPartitionWindow&) = delete;

    int32_t GetDriveId() const { return m_nDriveId; }
    void SetRect(const MAP_RECT& rc) { m_rc = rc; }
    const MAP_RECT& GetRect() const { return m_rc; }
    CDefragOutputView* GetOwnerView() const { return m_pOwnerView; }
    void SetOwnerView(CDefragOutputView* pView) { m_pOwnerView = pView; }

    // Replaces the map; a map whose cells are malformed is refused and the
    // one shown so far stays.
    bool SetMap(const CNetDefragPartitionClustermap& map);
    bool HasMap();
    // The block holding the cluster gets a frame; the file runs go.
    void SetHighlight(bool bHighlight, int64_t llCluster);
    // The runs of one file get frames; the highlight goes. Null drops the runs.
    void SetExplorerAnswer(std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> pAnswer);
    bool HasMark();
    void SetFragmentationNote(bool bNote) { m_bFragmentationNote = bNote; }

    // The block under a point of the pane, as the last paint laid it out.
    HitOutcome HitTest(int32_t x, int32_t y, CLUSTER_RANGE& range);
    // A request for the range went out: clicks beep until its answer comes.
    void MarkPending(int64_t llFirstCluster) { m_llPendingFirst = llFirstCluster; }
    bool IsRequestPending() const { return m_llPendingFirst != -1; }
    void SetSelection(const CLUSTER_RANGE& range) { m_selection = range; }
    const CLUSTER_RANGE& GetSelection() const { return m_selection; }
    // The first block's clusters, for an empty selection.
    bool FirstBlockRange(CLUSTER_RANGE& range);
    // The block that holds the cluster, else block 0.
    bool BlockOfCluster(int64_t llCluster, CLUSTER_RANGE& range);
    // The grid's top left corner as the last paint laid it out.
    POINT GetGridOrigin() const { return POINT{m_layout.nGridLeft, m_layout.nGridTop}; }

    void Draw(CDC* pDC);
    // Copies the changed cells into the map and draws their blocks again.
    void ApplyChanges(CDC* pDC, CNetDefragClustermapModList& changes);

private:
    void DrawTitleBar(CDC* pDC, const RECT& rcFrame);
    void DrawTitleTexts(CDC* pDC, const RECT& rcFrame);
    // Draws the blocks from nFirst on and returns how many were fragmented.
    uint32_t DrawBlocks(CDC* pDC, const COLORREF* pColors, uint32_t nFirst, uint32_t nCount);
    void DrawMarks(CDC* pDC);
    void DrawNote(CDC* pDC, uint32_t nBlocksDrawn, uint32_t nFragmented);
    RECT BlockRect(uint32_t nBlock) const;
    bool BlockHoldsMark(const CLUSTER_RANGE& block);

    int32_t m_nDriveId;
    MAP_RECT m_rc;
    CCriticalSection m_mapLock;
    CClusterMapCells m_cells;
    CString m_strDriveRoot;
    bool m_bHasMap;
    CCriticalSection m_explorerLock;
    std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> m_pAnswer;
    CLUSTER_RANGE m_selection;
    stBlockLayout m_layout;
    bool m_bHighlight;
    int64_t m_llHighlight;
    CDefragOutputView* m_pOwnerView;
    int64_t m_llPendingFirst;
    bool m_bFragmentationNote;
};
