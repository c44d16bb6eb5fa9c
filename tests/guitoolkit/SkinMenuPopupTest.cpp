#include "classlib/Wnd.h"

#include "GuiTestSupport.h"
#include "SkinMenuTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
// Tells the menus that a popup opens, as the frames do.
class CMenuOwnerWnd : public CWnd
{
public:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_INITMENUPOPUP)
            CSkinMenu::OnInitMenuPopup(m_hWnd, CMenu::FromHandle(reinterpret_cast<HMENU>(wParam)));
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
};

constexpr UINT AlphaID = 3001;
constexpr UINT BetaID = 3002;

// The timer walks into the submenu with the keys the menu's own loop reads,
// and ends the menu once the submenu's item was drawn (or after 10 s).
CRecordingTheme* g_pTheme = nullptr;
HWND g_hOwner = NULL;
int g_nTicks = 0;

bool Drawn(UINT nID)
{
    return std::any_of(g_pTheme->m_drawn.begin(), g_pTheme->m_drawn.end(),
                       [nID](const stThemeCall& call) { return call.nItemID == nID; });
}

void CALLBACK StepThroughMenu(HWND, UINT, UINT_PTR nID, DWORD)
{
    if (++g_nTicks == 1)
    {
        ::PostMessageW(g_hOwner, WM_KEYDOWN, VK_DOWN, 0);
        ::PostMessageW(g_hOwner, WM_KEYDOWN, VK_RIGHT, 0);
        return;
    }
    if (Drawn(BetaID) || g_nTicks > 100)
    {
        ::KillTimer(NULL, nID);
        ::EndMenu();
    }
}

TEST_F(SkinMenuTest, ATrackedTwoLevelPopupIsMeasuredAndDrawnThroughEachPopupsOwnObject)
{
    CMenuOwnerWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, nullptr, L"skin menu", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, NULL, NULL));
    wnd.ShowWindow(SW_SHOW);
    wnd.SetForegroundWindow();
    PumpPending();

    HMENU hTop = ::CreatePopupMenu();
    HMENU hMore = ::CreatePopupMenu();
    ::AppendMenuW(hMore, MF_STRING, BetaID, L"&Beta");
    ::AppendMenuW(hTop, MF_POPUP, reinterpret_cast<UINT_PTR>(hMore), L"&More");
    ::AppendMenuW(hTop, MF_STRING, AlphaID, L"&Alpha");
    CSkinMenu top;
    ASSERT_TRUE(top.ConvertToOwnerDraw(hTop));
    CSkinMenu* pMore = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(hMore));
    ASSERT_NE(pMore, nullptr);

    CRecordingTheme& theme = Theme(0);
    g_pTheme = &theme;
    g_hOwner = wnd.m_hWnd;
    g_nTicks = 0;
    UINT_PTR nTimer = ::SetTimer(NULL, 0, 100, StepThroughMenu);
    ASSERT_NE(nTimer, 0u);
    top.TrackPopupMenu(TPM_LEFTALIGN, 20, 20, &wnd);

    const UINT MoreID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(hMore));
    auto measured = [&](const stThemeCall& call) {
        return std::find(theme.m_measured.begin(), theme.m_measured.end(), call) != theme.m_measured.end();
    };
    EXPECT_TRUE(measured({&top, AlphaID, FALSE}));
    EXPECT_TRUE(measured({&top, MoreID, FALSE})) << "a popup item in a tracked popup is no menu-bar item";
    EXPECT_TRUE(measured({pMore, BetaID, FALSE})) << "the submenu's own object measures its item";
    EXPECT_TRUE(std::find(theme.m_drawn.begin(), theme.m_drawn.end(), stThemeCall{&top, AlphaID, FALSE}) !=
                theme.m_drawn.end());
    EXPECT_TRUE(Drawn(BetaID)) << "the submenu was opened and drawn";
    EXPECT_TRUE(top.m_bPopup) << "opening as a popup";
    EXPECT_EQ(CSkinMenu::GetLastPopup(), hMore);
    EXPECT_TRUE(Theme(1).m_measured.empty()) << "only the current theme is asked";

    wnd.DestroyWindow();
}

TEST_F(SkinMenuTest, MeasureItemMessagesFindTheMenuOfTheItem)
{
    CWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, nullptr, L"measure", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL));
    HMENU hBar = ::CreateMenu();
    HMENU hFile = ::CreatePopupMenu();
    ::AppendMenuW(hFile, MF_STRING, AlphaID, L"&Alpha");
    ::AppendMenuW(hBar, MF_POPUP, reinterpret_cast<UINT_PTR>(hFile), L"&File");
    CSkinMenu bar;
    ASSERT_TRUE(bar.ConvertToOwnerDraw(hBar));
    ASSERT_TRUE(::SetMenu(wnd.m_hWnd, hBar));
    CSkinMenu* pFile = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(hFile));
    // Setting the menu measures the bar's items through the window already.
    Theme(0).m_measured.clear();

    auto measure = [&](UINT nID, ULONG_PTR dwData) {
        MEASUREITEMSTRUCT stMeasure = {};
        stMeasure.CtlType = ODT_MENU;
        stMeasure.itemID = nID;
        stMeasure.itemData = dwData;
        MSG stMsg = {};
        stMsg.hwnd = wnd.m_hWnd;
        stMsg.message = WM_MEASUREITEM;
        stMsg.lParam = reinterpret_cast<LPARAM>(&stMeasure);
        return CSkinMenu::OnMeasureItem(&stMsg);
    };
    const UINT FileID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(hFile));
    EXPECT_TRUE(measure(AlphaID, reinterpret_cast<ULONG_PTR>(pFile->GetItemData(0))));
    EXPECT_TRUE(measure(FileID, reinterpret_cast<ULONG_PTR>(bar.GetItemData(0))));
    EXPECT_FALSE(measure(AlphaID, 12345)) << "another item data";
    // A menu-bar item's id is its popup's handle: the popup's object measures it, as a bar item.
    const std::vector<stThemeCall> expected = {{pFile, AlphaID, FALSE}, {pFile, FileID, TRUE}};
    EXPECT_EQ(Theme(0).m_measured, expected);

    ::SetMenu(wnd.m_hWnd, NULL);
    wnd.DestroyWindow();
}
} // namespace
