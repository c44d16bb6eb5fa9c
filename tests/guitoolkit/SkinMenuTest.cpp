#include "guitoolkit/SkinMenuIcons.h"

#include "SkinMenuTreeFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
TEST_F(SkinMenuTreeTest, ConversionGivesEveryPopupAnObjectAndEveryItemARecord)
{
    EXPECT_FALSE(m_bar.m_bPopup) << "a converted top-level menu is a menu bar";
    for (HMENU hMenu : {m_hFile, m_hRecent, m_hEdit, m_hHelp})
    {
        CSkinMenu* pMenu = Skin(hMenu);
        ASSERT_NE(pMenu, nullptr);
        EXPECT_TRUE(pMenu->m_bPopup);
        ExpectItemsCarryTheirRecords(*pMenu);
    }
    ExpectItemsCarryTheirRecords(m_bar);
    EXPECT_EQ(Skin(m_hFile)->m_hParentMenu, m_hBar);
    EXPECT_EQ(Skin(m_hRecent)->m_hParentMenu, m_hFile);

    struct stCase
    {
        HMENU hMenu;
        int nPos;
        UINT nID;
        const wchar_t* pszText;
        UINT nFlagsSet;
        UINT nFlagsClear;
    };
    const UINT OwnerDrawn = MF_OWNERDRAW | MF_BYPOSITION;
    const stCase cases[] = {
        {m_hBar, 0, PopupID(m_hFile), L"&File", OwnerDrawn | MF_POPUP, 0},
        {m_hBar, 2, PopupID(m_hHelp), L"&Help", OwnerDrawn | MF_POPUP | MFT_RIGHTJUSTIFY, 0},
        {m_hFile, 0, 100, L"&Open\tCtrl+O", OwnerDrawn, MF_POPUP},
        {m_hFile, 1, 0, L"", OwnerDrawn | MF_SEPARATOR, 0},
        {m_hFile, 2, 101, L"&Save", OwnerDrawn | MF_GRAYED, 0},
        {m_hFile, 3, 102, L"", MF_BITMAP, MF_OWNERDRAW},
        {m_hFile, 4, PopupID(m_hRecent), L"&Recent", OwnerDrawn | MF_POPUP, 0},
        {m_hEdit, 0, 200, L"&Copy", OwnerDrawn | MFT_RIGHTORDER, 0},
    };
    for (const stCase& c : cases)
    {
        const CSkinMenuItemData* pRecord = Skin(c.hMenu)->GetItemData(c.nPos);
        ASSERT_NE(pRecord, nullptr);
        EXPECT_EQ(pRecord->m_nID, c.nID) << c.pszText;
        EXPECT_EQ(pRecord->m_strText.Str(), c.pszText);
        EXPECT_EQ(pRecord->m_nFlags & c.nFlagsSet, c.nFlagsSet) << c.pszText;
        EXPECT_EQ(pRecord->m_nFlags & c.nFlagsClear, 0u) << c.pszText;
    }
    EXPECT_TRUE(::GetMenuState(m_hFile, 2, MF_BYPOSITION) & MF_GRAYED) << "the item keeps its state";
    EXPECT_FALSE(Info(m_hFile, 3).fType & MFT_OWNERDRAW) << "a bitmap item stays as it is";
}

TEST_F(SkinMenuTreeTest, NotAMenuIsRefusedAndLeavesTheObjectEmpty)
{
    CSkinMenu menu;
    EXPECT_FALSE(menu.ConvertToOwnerDraw(reinterpret_cast<HMENU>(0x1234)));
    EXPECT_EQ(menu.m_hMenu, HMENU(NULL));
    EXPECT_FALSE(menu.ConvertToOwnerDraw(m_hFile)) << "a popup that already has its object";
    EXPECT_TRUE(menu.m_items.empty());
}

TEST_F(SkinMenuTreeTest, RecordsSurviveWhileTheirCommandStays)
{
    CSkinMenu& file = *Skin(m_hFile);
    CSkinMenuItemData* pOpen = file.GetItemData(0);
    CSkinMenuItemData* pSeparator = file.GetItemData(1);
    CSkinMenuItemData* pRecent = file.GetItemData(4);
    ASSERT_TRUE(::DeleteMenu(m_hFile, 101, MF_BYCOMMAND));
    ASSERT_TRUE(::InsertMenuW(m_hFile, 0, MF_BYPOSITION | MF_STRING, 103, L"&Close"));
    file.RebuildItemData();

    ExpectItemsCarryTheirRecords(file);
    EXPECT_EQ(file.GetItemData(0)->m_nID, 103u);
    EXPECT_EQ(file.GetItemData(0)->m_strText.Str(), L"&Close");
    EXPECT_EQ(file.GetItemData(1), pOpen);
    EXPECT_EQ(file.GetItemData(2), pSeparator);
    EXPECT_EQ(file.GetItemData(4), pRecent);
    EXPECT_EQ(file.FindItemData(101), nullptr) << "the record of the removed command is gone";
}

TEST_F(SkinMenuTreeTest, TheTextLivesInTheRecordAcrossRebuilds)
{
    // Wine still answers an owner-drawn item's old string; the record must win.
    CSkinMenu& file = *Skin(m_hFile);
    file.GetItemData(0)->SetText(L"&Open a file");
    file.RebuildItemData();
    EXPECT_EQ(file.GetItemData(0)->m_strText.Str(), L"&Open a file");

    EXPECT_TRUE(m_bar.SetItemText(500, L"&Continue"));
    for (HMENU hMenu : {m_hRecent, m_hFile, m_hEdit})
    {
        CSkinMenu& menu = *Skin(hMenu);
        menu.RebuildItemData();
        ExpectItemsCarryTheirRecords(menu);
        EXPECT_EQ(menu.FindItemData(500)->m_strText.Str(), L"&Continue");
    }
    EXPECT_FALSE(m_bar.SetItemText(999, L"nowhere"));
}

TEST_F(SkinMenuTreeTest, SearchesTakeTheFirstItemInPositionOrder)
{
    int nPos = 7;
    EXPECT_EQ(CSkinMenu::FindMenuOfCommand(m_hBar, 500, nPos), Skin(m_hRecent))
        << "a popup is searched where it stands";
    EXPECT_EQ(nPos, 1);
    EXPECT_EQ(CSkinMenu::FindMenuOfCommand(m_hBar, PopupID(m_hRecent), nPos), Skin(m_hFile));
    EXPECT_EQ(nPos, 4);
    EXPECT_EQ(CSkinMenu::FindMenuOfCommand(m_hBar, 999, nPos), nullptr);
    EXPECT_EQ(nPos, -1);
    EXPECT_EQ(CSkinMenu::FindSkinMenuByCommand(m_hBar, 200), Skin(m_hEdit));

    ULONG_PTR dwEditShared = reinterpret_cast<ULONG_PTR>(Skin(m_hEdit)->GetItemData(1));
    EXPECT_EQ(CSkinMenu::FindSkinMenuByItem(m_hBar, 500, dwEditShared), Skin(m_hEdit));
    EXPECT_EQ(CSkinMenu::FindSkinMenuByItem(m_hBar, 500, 12345), nullptr);
    EXPECT_EQ(m_bar.FindItemData(300), Skin(m_hHelp)->GetItemData(0));
}

TEST_F(SkinMenuTreeTest, ChangeItemIdRenumbersTheItemAndItsRecord)
{
    CSkinMenuItemData* pRecord = Skin(m_hRecent)->GetItemData(0);
    EXPECT_TRUE(m_bar.ChangeItemId(110, 111));
    EXPECT_EQ(::GetMenuItemID(m_hRecent, 0), 111u);
    EXPECT_EQ(pRecord->m_nID, 111u);
    EXPECT_EQ(Info(m_hRecent, 0).dwItemData, reinterpret_cast<ULONG_PTR>(pRecord));
    EXPECT_FALSE(m_bar.ChangeItemId(110, 112));
}

TEST_F(SkinMenuTreeTest, MenuBarItemsAreThoseOfTheBarOnly)
{
    EXPECT_TRUE(m_bar.IsMenuBarItem(PopupID(m_hFile)));
    EXPECT_FALSE(Skin(m_hFile)->IsMenuBarItem(100));
    EXPECT_TRUE(Skin(m_hFile)->IsMenuBarItem(999)) << "not here, and the parent is a bar";
    EXPECT_FALSE(Skin(m_hRecent)->IsMenuBarItem(999));
}

TEST_F(SkinMenuTreeTest, DrawingGoesToTheCurrentThemeAndEndsAHotBarItemDrawnPlain)
{
    DRAWITEMSTRUCT stDraw = {};
    stDraw.CtlType = ODT_MENU;
    stDraw.itemID = PopupID(m_hFile);
    stDraw.itemData = reinterpret_cast<ULONG_PTR>(m_bar.GetItemData(0));
    CSkinMenu::SetHotMenuBarItem(stDraw.itemData);
    stDraw.itemState = ODS_HOTLIGHT;
    m_bar.DrawItem(&stDraw);
    EXPECT_EQ(CSkinMenu::GetHotMenuBarItem(), stDraw.itemData) << "still drawn hot";
    stDraw.itemState = ODS_SELECTED;
    m_bar.DrawItem(&stDraw);
    EXPECT_EQ(CSkinMenu::GetHotMenuBarItem(), 0u);

    stDraw.itemID = 100;
    Skin(m_hFile)->DrawItem(&stDraw);
    Skin(m_hFile)->DrawTitle(&stDraw);
    const std::vector<stThemeCall> drawn = {{&m_bar, PopupID(m_hFile), TRUE}, {&m_bar, PopupID(m_hFile), TRUE},
                                            {Skin(m_hFile), 100, FALSE}};
    EXPECT_EQ(Theme(0).m_drawn, drawn);
    const std::vector<stThemeCall> titles = {{Skin(m_hFile), 100, FALSE}};
    EXPECT_EQ(Theme(0).m_titles, titles);
}

TEST_F(SkinMenuTest, SelectThemeMapsEvenIdsUnderWineAndKeepsTheThemeOnUnknownIds)
{
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    stEnv.bWine = false;
    EXPECT_EQ(CSkinMenu::SelectTheme(2), 1);
    EXPECT_EQ(CSkinMenu::GetCurrentThemeId(), 2);
    EXPECT_EQ(CSkinMenu::SelectTheme(7), -1);
    EXPECT_EQ(CSkinMenu::GetCurrentThemeId(), 2);

    stEnv.bWine = true;
    struct stCase
    {
        UINT nAsked;
        int nReturned;
        int nCurrent;
    };
    const stCase cases[] = {{2, 2, 3}, {10, 3, 11}, {11, 11, 11}, {12, -1, 11}, {1, 11, 1}};
    for (const stCase& c : cases)
    {
        EXPECT_EQ(CSkinMenu::SelectTheme(c.nAsked), c.nReturned) << "asked " << c.nAsked;
        EXPECT_EQ(CSkinMenu::GetCurrentThemeId(), c.nCurrent) << "asked " << c.nAsked;
        EXPECT_EQ(stEnv.nCurrentTheme, c.nCurrent) << "the colours see the same theme";
    }

    CSkinMenu::SetThemeList(nullptr, nullptr);
    EXPECT_EQ(CSkinMenu::SelectTheme(1), -1);
    EXPECT_EQ(CSkinMenu::GetCurrentThemeId(), -1);
}

DWORD g_dwTick = 0;

DWORD WINAPI FakeTick()
{
    return g_dwTick;
}

class CCountingIcons : public CSkinMenuIcons
{
public:
    void Reload() override { ++m_nReloads; }
    int m_nReloads = 0;
};

TEST_F(SkinMenuTest, RefreshIconsRunsAtMostOnceIn2000Ms)
{
    ToolkitEnvironment().pfnGetTickCount = FakeTick;
    CCountingIcons icons;
    CSkinMenuIcons::StoreList().push_back(&icons);
    struct stCase
    {
        DWORD dwTick;
        int nReloads;
    };
    // A refresh of an earlier case ran at some tick of its own; one far from
    // it always runs. Then 0, 2000 and 2001 ms after it, and across the wrap.
    const stCase cases[] = {{0x40000000, 1},  {0x40000000, 1}, {0x400007D0, 1}, {0x400007D1, 2},
                            {0xFFFFFF00, 3},  {0x00000100, 3}, {0x00000800, 4}};
    for (const stCase& c : cases)
    {
        g_dwTick = c.dwTick;
        CSkinMenu::RefreshIcons();
        EXPECT_EQ(icons.m_nReloads, c.nReloads) << "tick " << std::hex << c.dwTick;
    }
    auto& stores = CSkinMenuIcons::StoreList();
    stores.erase(std::remove(stores.begin(), stores.end(), &icons), stores.end());
}
TEST_F(SkinMenuTest, SystemCommandsAreRenumberedWhileThePopupIsOpenOnTheNewestSystems)
{
    HMENU hSystem = ::CreatePopupMenu();
    for (UINT nID : {SC_RESTORE, SC_MINIMIZE, SC_CLOSE})
        ::AppendMenuW(hSystem, MF_STRING, nID, L"x");
    CSkinMenu system;
    ASSERT_TRUE(system.ConvertToOwnerDraw(hSystem));
    auto ids = [&] {
        return std::vector<UINT>{::GetMenuItemID(hSystem, 0), ::GetMenuItemID(hSystem, 1), ::GetMenuItemID(hSystem, 2)};
    };
    const std::vector<UINT> plain = {SC_RESTORE, SC_MINIMIZE, SC_CLOSE};
    const std::vector<UINT> renumbered = {SC_RESTORE + 1, SC_MINIMIZE + 1, SC_CLOSE + 1};

    ToolkitEnvironment().nVersionClass = 7;
    CSkinMenu::OnInitMenuPopup(NULL, &system);
    EXPECT_EQ(ids(), renumbered);
    EXPECT_EQ(system.GetItemData(2)->m_nID, static_cast<UINT>(SC_CLOSE + 1));
    EXPECT_FALSE(system.OnPopupClosed()) << "no parent menu";
    EXPECT_EQ(ids(), plain);

    ToolkitEnvironment().nVersionClass = 6;
    CSkinMenu::OnInitMenuPopup(NULL, &system);
    EXPECT_EQ(ids(), plain);
}

TEST_F(SkinMenuTreeTest, OpenPopupsAreCountedOnTheirBar)
{
    ToolkitEnvironment().nVersionClass = 6;
    CSkinMenu::OnInitMenuPopup(NULL, Skin(m_hFile));
    CSkinMenu::OnInitMenuPopup(NULL, Skin(m_hRecent));
    EXPECT_EQ(m_bar.m_nOpenPopups, 1);
    EXPECT_EQ(Skin(m_hFile)->m_nOpenPopups, 1);
    EXPECT_FALSE(Skin(m_hRecent)->OnPopupClosed()) << "its parent is a popup";
    EXPECT_EQ(Skin(m_hFile)->m_nOpenPopups, 0);
    EXPECT_TRUE(Skin(m_hFile)->OnPopupClosed()) << "its parent is the bar";
    EXPECT_TRUE(Skin(m_hFile)->OnPopupClosed());
    EXPECT_EQ(m_bar.m_nOpenPopups, 0) << "a close without an open does not go below 0";
}
} // namespace
