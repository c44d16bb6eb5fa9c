#include "gui/ColorChooser.h"
#include "gui/DefragOutputView.h"
#include "gui/MapDrawingSettings.h"
#include "gui/MapPaneOwner.h"

#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "classlib/WinApp.h"
#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragPartitionClustermap.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
const wchar_t* const WindowKey = L"Software\\Varnefold\\Window";
constexpr int32_t Drive = 3;
constexpr int32_t NarrowCell = 11;

struct stAsk
{
    int32_t nDrive;
    int64_t llFirst;
    int64_t llLast;
};

class CRecordingOwner : public IMapPaneOwner
{
public:
    bool SendExploreRequest(int32_t nDriveId, int64_t llFirst, int64_t llLast) override
    {
        asks.push_back({nDriveId, llFirst, llLast});
        return bSendSucceeds;
    }
    void OpenClusterExplorer() override { ++nExplorerOpened; }
    void SetContextDrive(int32_t nDriveId) override { nContextDrive = nDriveId; }
    void ContextMenuDone() override {}

    std::vector<stAsk> asks;
    bool bSendSucceeds = true;
    int nExplorerOpened = 0;
    int32_t nContextDrive = -2;
};

class CStubChooser : public IColorChooser
{
public:
    bool Choose(CWnd*, COLORREF crInitial, COLORREF& crChosen) override
    {
        offered.push_back(crInitial);
        crChosen = crAnswer;
        return true;
    }
    std::vector<COLORREF> offered;
    COLORREF crAnswer = RGB(1, 2, 3);
};

// One cell per kind in kind order, then a cell with no counter set.
std::vector<BYTE> CellPerKind()
{
    std::vector<BYTE> cells(static_cast<size_t>(kKindCount + 1) * NarrowCell, 0);
    for (uint32_t nKind = 0; nKind < kKindCount; ++nKind)
        cells[nKind * NarrowCell + nKind] = 1;
    return cells;
}

std::unique_ptr<CNetDefragPartitionClustermap> MapOf(std::vector<BYTE>& cells, int64_t llClustersPerCell,
                                                     int32_t nBytesPerCell = NarrowCell)
{
    std::unique_ptr<CNetDefragPartitionClustermap> pMap(new CNetDefragPartitionClustermap);
    pMap->m_nVolumeIndex = Drive;
    pMap->m_strDriveRoot = CUnicodeString(L"S:\\");
    int32_t nCells = static_cast<int32_t>(cells.size() / static_cast<size_t>(nBytesPerCell));
    pMap->m_llClustersPerCell = llClustersPerCell;
    pMap->m_llTotalClusters = nCells * llClustersPerCell;
    pMap->SetCells(cells.data(), nCells, nBytesPerCell);
    return pMap;
}

class ClusterPaneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, WindowKey);
        m_savedSettings = MapDrawingSettings();
        m_pFrame = new CFrameWnd;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Map", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(30, 30, 470, 370)));
        m_app.m_pMainWnd = m_pFrame;
        CreatePane(CRect(0, 0, 420, 300));
    }
    void TearDown() override
    {
        if (m_pFrame != nullptr)
            m_pFrame->DestroyWindow();
        m_app.m_pMainWnd = nullptr;
        PumpPending();
        MapDrawingSettings() = m_savedSettings;
        ::RegDeleteTreeW(HKEY_CURRENT_USER, WindowKey);
    }
    void CreatePane(const RECT& rc)
    {
        m_pPane = new CDefragOutputView;
        ASSERT_TRUE(m_pPane->Create(nullptr, L"", WS_CHILD | WS_VISIBLE, rc, m_pFrame, 0xE901));
        // The flat look draws each block in exactly its colour.
        MapDrawingSettings().bShaded = false;
        m_pPane->SetColorChooser(&m_chooser);
        m_pPane->AddPartition(Drive);
    }
    void ShowMap(std::vector<BYTE>& cells, int64_t llClustersPerCell = 4)
    {
        ASSERT_TRUE(m_pPane->SetClusterMap(MapOf(cells, llClustersPerCell), &m_owner));
        m_pPane->UpdateWindow();
    }
    // The layout the pane gave its one drive at its last paint.
    stBlockLayout Layout() const
    {
        RECT rc = {};
        m_pPane->GetClientRect(&rc);
        MAP_RECT rcArea = {rc.left + 2, rc.top + 3, rc.right - 2, rc.bottom - m_pPane->GetLegendLayout().nHeight - 3};
        return CClusterMapLayout::LayOut(CClusterMapLayout::PlaceWindows(rcArea, 1)[0], kKindCount + 1);
    }
    static POINT Centre(const stBlockLayout& layout, uint32_t nBlock)
    {
        return POINT{static_cast<LONG>(layout.nGridLeft + (nBlock % layout.nColumns) * layout.nPitch + layout.nBlockSize / 2),
                     static_cast<LONG>(layout.nGridTop + (nBlock / layout.nColumns) * layout.nPitch + layout.nBlockSize / 2)};
    }
    COLORREF ScreenPixel(POINT pt)
    {
        CClientDC dc(m_pPane);
        return dc.GetPixel(pt.x, pt.y);
    }
    void Click(POINT pt) { m_pPane->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y)); }
    DWORD StoredColor(const wchar_t* pszName)
    {
        DWORD dwValue = 0xDEADBEEF;
        DWORD dwSize = sizeof(dwValue);
        ::RegGetValueW(HKEY_CURRENT_USER, WindowKey, pszName, RRF_RT_REG_DWORD, nullptr, &dwValue, &dwSize);
        return dwValue;
    }

    CWinApp m_app;
    CFrameWnd* m_pFrame = nullptr;
    CDefragOutputView* m_pPane = nullptr;
    CRecordingOwner m_owner;
    CStubChooser m_chooser;
    stMapDrawingSettings m_savedSettings;
};

// A memory picture of the pane's client area, painted the way WM_PAINT paints.
class CPanePicture
{
public:
    explicit CPanePicture(CDefragOutputView* pPane)
    {
        RECT rc = {};
        pPane->GetClientRect(&rc);
        CClientDC dcScreen(pPane);
        m_dc.CreateCompatibleDC(&dcScreen);
        m_bitmap.CreateCompatibleBitmap(&dcScreen, rc.right, rc.bottom);
        m_dc.SelectObject(&m_bitmap);
        pPane->SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(m_dc.m_hDC), PRF_CLIENT);
    }
    COLORREF At(POINT pt) const { return m_dc.GetPixel(pt.x, pt.y); }

private:
    CBitmap m_bitmap;
    CDC m_dc;
};

TEST_F(ClusterPaneTest, EachBlockTakesItsKindsColourAndTheLegendShowsTheSameColours)
{
    std::vector<BYTE> cells = CellPerKind();
    ShowMap(cells);
    CPanePicture picture(m_pPane);
    stBlockLayout layout = Layout();
    ASSERT_TRUE(layout.bDrawable);
    ASSERT_EQ(layout.nCellsPerBlock, 1u);
    for (uint32_t nKind = 0; nKind < kKindCount; ++nKind)
        EXPECT_EQ(picture.At(Centre(layout, nKind)), kMapKinds[nKind].crDefault) << "kind " << nKind;
    // A cell with no counter set is drawn as allocated space of no known kind.
    EXPECT_EQ(picture.At(Centre(layout, kKindCount)), kMapKinds[kKindUsed].crDefault);

    const stLegendLayout& legend = m_pPane->GetLegendLayout();
    ASSERT_GT(legend.nHeight, 0);
    ASSERT_EQ(legend.items.size(), static_cast<size_t>(kKindCount));
    for (size_t i = 0; i < legend.items.size(); ++i)
    {
        POINT ptBox = {legend.items[i].nBoxLeft + 4, legend.items[i].nBoxTop + 5};
        EXPECT_EQ(picture.At(ptBox), kMapKinds[kLegendOrder[i]].crDefault) << "legend entry " << i;
    }
    SaveWindowPicture(m_pFrame->m_hWnd, L"cluster-pane\\one-block-per-kind");
}

TEST_F(ClusterPaneTest, ShadedBlocksAreDrawnOverTheBackground)
{
    std::vector<BYTE> cells = CellPerKind();
    MapDrawingSettings().bShaded = true;
    ShowMap(cells);
    CPanePicture picture(m_pPane);
    stBlockLayout layout = Layout();
    COLORREF crBackground = picture.At(POINT{1, 1});
    for (uint32_t nKind = 1; nKind < kKindCount; ++nKind)
        EXPECT_NE(picture.At(Centre(layout, nKind)), crBackground) << "kind " << nKind;
}

TEST_F(ClusterPaneTest, AHighlightPastFourGigaClustersFramesItsOwnBlock)
{
    std::vector<BYTE> cells = CellPerKind();
    // Block 8 covers clusters 8 x 2^30 to 9 x 2^30 - 1, all past 32 bits.
    ShowMap(cells, int64_t(1) << 30);
    int64_t llCluster = (int64_t(8) << 30) + 5;
    m_pPane->SetPartitionData(Drive, true, llCluster);
    CPanePicture picture(m_pPane);
    stBlockLayout layout = Layout();
    auto corner = [&](uint32_t nBlock) {
        POINT pt = Centre(layout, nBlock);
        return POINT{pt.x - static_cast<LONG>(layout.nBlockSize / 2) - 1, pt.y - static_cast<LONG>(layout.nBlockSize / 2) - 1};
    };
    EXPECT_EQ(picture.At(corner(8)), 0x404040u);
    // Cut to 32 bits the cluster would be 5, in block 0.
    EXPECT_NE(picture.At(corner(0)), 0x404040u);
}

TEST_F(ClusterPaneTest, AChangeListRedrawsOnlyTheBlocksItTouches)
{
    std::vector<BYTE> cells = CellPerKind();
    ShowMap(cells);
    stBlockLayout layout = Layout();
    POINT ptChanged = Centre(layout, kKindFile);
    POINT ptUntouched = Centre(layout, kKindMft);
    // A mark that a repaint of the whole pane would wipe out.
    {
        CClientDC dc(m_pPane);
        dc.SetPixel(ptUntouched.x, ptUntouched.y, RGB(0, 0, 0));
    }
    std::vector<BYTE> fragmented(NarrowCell, 0);
    fragmented[kKindFragmented] = 1;
    std::vector<BYTE> wide(22, 0);
    CNetDefragClustermapModList changes;
    changes.m_nVolumeIndex = Drive;
    // Past this map's 12 cells, though within what the wire allows: left out.
    ASSERT_TRUE(changes.AddRange(10, 5, NarrowCell, std::vector<BYTE>(5 * NarrowCell, 1).data()));
    ASSERT_TRUE(changes.AddRange(kKindFile, 1, NarrowCell, fragmented.data()));
    // Another cell size ends the list: the record after it is not applied.
    ASSERT_TRUE(changes.AddRange(0, 1, 22, wide.data()));
    ASSERT_TRUE(changes.AddRange(kKindDirectory, 1, NarrowCell, fragmented.data()));
    m_pPane->ApplyClusterMapChanges(changes);

    EXPECT_EQ(ScreenPixel(ptChanged), kMapKinds[kKindFragmented].crDefault);
    EXPECT_EQ(ScreenPixel(ptUntouched), RGB(0, 0, 0));
    CPanePicture picture(m_pPane);
    EXPECT_EQ(picture.At(ptChanged), kMapKinds[kKindFragmented].crDefault);
    EXPECT_EQ(picture.At(Centre(layout, kKindDirectory)), kMapKinds[kKindDirectory].crDefault);
    EXPECT_EQ(picture.At(Centre(layout, 11)), kMapKinds[kKindUsed].crDefault);
}

TEST_F(ClusterPaneTest, ALegendClickChoosesThatKindsColourAndTheColoursAreSavedAtTheEnd)
{
    std::vector<BYTE> cells = CellPerKind();
    ShowMap(cells);
    const stLegendLayout& legend = m_pPane->GetLegendLayout();
    size_t nEntry = 0;
    while (kLegendOrder[nEntry] != kKindFragmented)
        ++nEntry;
    Click(POINT{legend.items[nEntry].nBoxLeft + 4, legend.items[nEntry].nBoxTop + 5});
    ASSERT_EQ(m_chooser.offered.size(), 1u);
    EXPECT_EQ(m_chooser.offered[0], kMapKinds[kKindFragmented].crDefault);
    EXPECT_TRUE(m_owner.asks.empty());
    COLORREF acrColors[kMapColorCount] = {};
    m_pPane->GetColors(acrColors);
    EXPECT_EQ(acrColors[kKindFragmented], RGB(1, 2, 3));

    m_pPane->DestroyWindow();
    EXPECT_EQ(StoredColor(L"COLOR_FRAGMENTED"), static_cast<DWORD>(RGB(1, 2, 3)));
    for (const MAP_KIND_INFO& kind : kMapKinds)
    {
        if (kind.crDefault != kMapKinds[kKindFragmented].crDefault)
        {
            EXPECT_EQ(StoredColor(kind.pszRegistryValue), kind.crDefault) << "value " << kind.pszRegistryValue;
        }
    }
}

TEST_F(ClusterPaneTest, StoredColoursAreReadAtCreationAndUnchangedColoursAreNotWritten)
{
    m_pPane->DestroyWindow();
    HKEY hKey = NULL;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, WindowKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    DWORD dwColor = RGB(9, 8, 7);
    ::RegSetValueExW(hKey, L"COLOR_DIR", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwColor), sizeof(dwColor));
    ::RegCloseKey(hKey);
    CreatePane(CRect(0, 0, 420, 300));
    COLORREF acrColors[kMapColorCount] = {};
    m_pPane->GetColors(acrColors);
    EXPECT_EQ(acrColors[kKindDirectory], RGB(9, 8, 7));
    EXPECT_EQ(acrColors[kKindFile], kMapKinds[kKindFile].crDefault);
    m_pPane->DestroyWindow();
    EXPECT_EQ(StoredColor(L"COLOR_FILE"), 0xDEADBEEFu);
}

TEST_F(ClusterPaneTest, AClickAsksForTheBlocksClustersAndWaitsForTheAnswer)
{
    std::vector<BYTE> cells = CellPerKind();
    ShowMap(cells);
    stBlockLayout layout = Layout();
    Click(Centre(layout, 2));
    ASSERT_EQ(m_owner.asks.size(), 1u);
    EXPECT_EQ(m_owner.asks[0].nDrive, Drive);
    EXPECT_EQ(m_owner.asks[0].llFirst, 8);
    EXPECT_EQ(m_owner.asks[0].llLast, 11);
    // Until the answer comes a second click only beeps.
    Click(Centre(layout, 3));
    EXPECT_EQ(m_owner.asks.size(), 1u);
    m_pPane->SetPartitionData(Drive, true, 8);
    Click(Centre(layout, 3));
    ASSERT_EQ(m_owner.asks.size(), 2u);
    EXPECT_EQ(m_owner.asks[1].llFirst, 12);
}

TEST_F(ClusterPaneTest, AContextMenuDismissedWithoutARequestLeavesClicksWorking)
{
    std::vector<BYTE> cells = CellPerKind();
    ShowMap(cells);
    stBlockLayout layout = Layout();
    POINT pt = Centre(layout, 2);
    POINT ptScreen = pt;
    m_pPane->ClientToScreen(&ptScreen);
    // The menu's own loop runs until the timer dismisses it.
    UINT_PTR nTimer = ::SetTimer(NULL, 0, 300, [](HWND, UINT, UINT_PTR, DWORD) { ::EndMenu(); });
    m_pPane->SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_pPane->m_hWnd),
                         MAKELPARAM(ptScreen.x, ptScreen.y));
    ::KillTimer(NULL, nTimer);
    EXPECT_EQ(m_owner.nContextDrive, Drive);
    EXPECT_TRUE(m_owner.asks.empty());
    Click(pt);
    ASSERT_EQ(m_owner.asks.size(), 1u);
    EXPECT_EQ(m_owner.asks[0].llFirst, 8);
}

TEST_F(ClusterPaneTest, ARequestThatCouldNotBeSentLeavesNothingPending)
{
    std::vector<BYTE> cells = CellPerKind();
    ShowMap(cells);
    stBlockLayout layout = Layout();
    m_owner.bSendSucceeds = false;
    Click(Centre(layout, 2));
    Click(Centre(layout, 2));
    EXPECT_EQ(m_owner.asks.size(), 2u);
}

TEST_F(ClusterPaneTest, ExploringWithAnEmptySelectionAsksForTheFirstBlock)
{
    std::vector<BYTE> cells = CellPerKind();
    ShowMap(cells);
    EXPECT_TRUE(m_pPane->ExploreCluster(-1));
    EXPECT_EQ(m_owner.nExplorerOpened, 1);
    ASSERT_EQ(m_owner.asks.size(), 1u);
    EXPECT_EQ(m_owner.asks[0].llFirst, 0);
    EXPECT_EQ(m_owner.asks[0].llLast, 3);
}

TEST_F(ClusterPaneTest, PagingFindsTheBlockOfAClusterAndEndsOnAMapWithoutClusters)
{
    std::vector<BYTE> cells = CellPerKind();
    ShowMap(cells);
    m_pPane->SetPartitionData(Drive, true, 0);
    EXPECT_TRUE(m_pPane->ExploreSelection(21));
    ASSERT_EQ(m_owner.asks.size(), 1u);
    EXPECT_EQ(m_owner.asks[0].llFirst, 20);
    EXPECT_EQ(m_owner.asks[0].llLast, 23);

    // Clusters per cell 0: every block starts at cluster 0.
    ShowMap(cells, 0);
    m_pPane->SetPartitionData(Drive, true, 0);
    EXPECT_FALSE(m_pPane->ExploreSelection(21));
    EXPECT_FALSE(m_pPane->ExploreSelection(-1));
}

TEST_F(ClusterPaneTest, MalformedMapsAndMapsOfDrivesNotShownAreDropped)
{
    std::vector<BYTE> cells = CellPerKind();
    std::unique_ptr<CNetDefragPartitionClustermap> pOther = MapOf(cells, 4);
    pOther->m_nVolumeIndex = Drive + 1;
    EXPECT_FALSE(m_pPane->SetClusterMap(std::move(pOther), &m_owner));
    std::vector<BYTE> odd(5 * 7, 1);
    EXPECT_FALSE(m_pPane->SetClusterMap(MapOf(odd, 4, 7), &m_owner));
    // Without a map, or with a refused one, there is nothing to click on.
    m_pPane->UpdateWindow();
    Click(POINT{60, 60});
    EXPECT_TRUE(m_owner.asks.empty());
}

TEST_F(ClusterPaneTest, ATinyPaneDrawsNoBlocksAndTakesNoClicks)
{
    std::vector<BYTE> cells = CellPerKind();
    for (const RECT& rc : {RECT{0, 0, 200, 55}, RECT{0, 0, 30, 20}, RECT{0, 0, 1, 1}})
    {
        m_pPane->DestroyWindow();
        CreatePane(rc);
        ShowMap(cells);
        CPanePicture picture(m_pPane);
        EXPECT_EQ(m_pPane->GetLegendLayout().nHeight, 0);
        for (int y = 0; y < rc.bottom; y += 2)
        {
            for (int x = 0; x < rc.right; x += 2)
                Click(POINT{x, y});
        }
        EXPECT_TRUE(m_owner.asks.empty());
        EXPECT_TRUE(m_chooser.offered.empty());
    }
}
} // namespace
