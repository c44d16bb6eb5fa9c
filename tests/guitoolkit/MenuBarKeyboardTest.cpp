#include "guitoolkit/MenuBarKeyboard.h"
#include "guitoolkit/SkinMenuBarLayout.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace
{
struct stFakeItem
{
    UINT nCommandId;
    bool bPopup;
    wchar_t chMnemonic;
    UINT nState;
};

// Items File, Edit, Run (no popup), Help, each 50 pixels wide on a bar at
// screen y 0..20. A popup "runs" the script given for its item, which feeds
// the menu loop's filter as the real loop would.
class CFakeBarHost : public CMenuBarHost
{
public:
    std::vector<stFakeItem> items = {
        {0, true, L'F', 0}, {0, true, L'E', 0}, {500, false, L'R', 0}, {0, true, L'H', 0}};
    std::set<int> keysDown;
    bool bVertical = false;
    bool bF10Accelerator = false;
    bool bChildMaximized = false;
    bool bQuitInPopup = false;
    std::vector<int> popupsShown;
    std::vector<UINT> commands;
    int nCancels = 0;
    std::function<void(int)> onPopup;

    int GetItemCount() const override { return static_cast<int>(items.size()); }
    UINT GetItemCommandId(int i) const override { return items[i].nCommandId; }
    UINT GetItemState(int i) const override { return items[i].nState; }
    void SetItemState(int i, UINT nState) override { items[i].nState = nState; }
    BOOL ItemHasPopup(int i) const override { return items[i].bPopup; }
    BOOL IsVerticalBar() const override { return bVertical; }
    BOOL ShowPopup(int i) override
    {
        popupsShown.push_back(i);
        if (bQuitInPopup)
            return FALSE;
        if (onPopup)
            onPopup(i);
        return TRUE;
    }
    void CancelPopup() override { ++nCancels; }
    void SendCommand(UINT nId) override { commands.push_back(nId); }
    void StartHoverTimer() override {}
    bool IsKeyDown(int nVirtKey) const override { return keysDown.count(nVirtKey) != 0; }
    BOOL FrameHasAccelerator(UINT nVirtKey) const override { return nVirtKey == VK_F10 && bF10Accelerator; }
    int FindMnemonic(wchar_t ch) const override
    {
        // Positions of the menu: the MDI child's icon is no menu item.
        int nPos = 0;
        for (const auto& item : items)
        {
            if (item.chMnemonic == 0)
                continue;
            if (item.chMnemonic == std::towupper(ch))
                return nPos;
            ++nPos;
        }
        return -1;
    }
    int ItemFromPoint(POINT pt) const override
    {
        if (pt.y < 0 || pt.y >= 20 || pt.x < 0)
            return -1;
        const int i = pt.x / 50;
        return i < GetItemCount() ? i : -1;
    }
    BOOL IsChildMaximized() const override { return bChildMaximized; }
};

constexpr LPARAM ALT_CONTEXT = 1 << 29;

MSG Key(UINT nMsg, WPARAM vk, LPARAM lParam = 0)
{
    MSG msg = {};
    msg.message = nMsg;
    msg.wParam = vk;
    msg.lParam = lParam;
    return msg;
}

MSG Mouse(UINT nMsg, int x, int y)
{
    MSG msg = {};
    msg.message = nMsg;
    msg.pt = {x, y};
    return msg;
}

class MenuBarKeyboardTest : public ::testing::Test
{
protected:
    CFakeBarHost host;
    CMenuBarKeyboard bar{host};

    BOOL Send(const MSG& msg) { return bar.TranslateFrameMessage(&msg); }
    BOOL Filter(const MSG& msg) { return bar.FilterMenuMessage(&msg); }
    // Alt alone: the key-down is a system key-down and the release a system key-up.
    void TapAlt()
    {
        EXPECT_TRUE(Send(Key(WM_SYSKEYDOWN, VK_MENU, ALT_CONTEXT)));
        EXPECT_TRUE(Send(Key(WM_SYSKEYUP, VK_MENU)));
    }
};
} // namespace

TEST_F(MenuBarKeyboardTest, AltTogglesMenuModeOnTheFirstItem)
{
    TapAlt();
    EXPECT_EQ(MENUBAR_MODE_HOT, bar.GetMode());
    EXPECT_EQ(0, bar.GetHotIndex());
    EXPECT_EQ(MBS_HOT, host.items[0].nState);
    TapAlt();
    EXPECT_EQ(MENUBAR_MODE_NONE, bar.GetMode());
    EXPECT_EQ(-1, bar.GetSelectedIndex());
    EXPECT_EQ(0u, host.items[0].nState);
    EXPECT_TRUE(host.popupsShown.empty());
}

TEST_F(MenuBarKeyboardTest, AltUsedInsideAPopupDoesNotReenterMenuModeOnRelease)
{
    host.onPopup = [&](int) {
        // Alt+key inside the popup reaches the filter as a system key-down.
        Filter(Key(WM_SYSKEYDOWN, 'X', ALT_CONTEXT));
    };
    ASSERT_TRUE(Send(Key(WM_SYSKEYDOWN, 'F', ALT_CONTEXT)));
    EXPECT_EQ(std::vector<int>{0}, host.popupsShown);
    EXPECT_EQ(MENUBAR_MODE_NONE, bar.GetMode());
    EXPECT_TRUE(bar.IsAltUsed());
    EXPECT_TRUE(Send(Key(WM_SYSKEYUP, VK_MENU)));
    EXPECT_EQ(MENUBAR_MODE_NONE, bar.GetMode());
    EXPECT_FALSE(bar.IsAltUsed());
    // The next release is a plain one again.
    EXPECT_TRUE(Send(Key(WM_SYSKEYUP, VK_MENU)));
    EXPECT_EQ(MENUBAR_MODE_HOT, bar.GetMode());
}

TEST_F(MenuBarKeyboardTest, F10IsTheMenuKeyOnlyWithoutModifiersAndWithoutAnAccelerator)
{
    struct
    {
        const char* pszCase;
        int nHeldKey;
        LPARAM lParam;
        bool bAccelerator;
        BOOL bTaken;
    } cases[] = {
        {"plain F10", 0, 0, false, TRUE},
        {"Shift+F10 opens context menus", VK_SHIFT, 0, false, FALSE},
        {"Ctrl+F10", VK_CONTROL, 0, false, FALSE},
        {"Alt+F10", 0, ALT_CONTEXT, false, FALSE},
        {"F10 bound by the frame's accelerators", 0, 0, true, FALSE},
    };
    for (const auto& c : cases)
    {
        CFakeBarHost fresh;
        CMenuBarKeyboard machine(fresh);
        if (c.nHeldKey != 0)
            fresh.keysDown.insert(c.nHeldKey);
        fresh.bF10Accelerator = c.bAccelerator;
        MSG down = Key(WM_SYSKEYDOWN, VK_F10, c.lParam);
        MSG up = Key(WM_SYSKEYUP, VK_F10, c.lParam);
        EXPECT_EQ(c.bTaken, machine.TranslateFrameMessage(&down)) << c.pszCase;
        EXPECT_EQ(c.bTaken, machine.TranslateFrameMessage(&up)) << c.pszCase;
        EXPECT_EQ(c.bTaken ? MENUBAR_MODE_HOT : MENUBAR_MODE_NONE, machine.GetMode()) << c.pszCase;
    }
    // With F10 bound, Alt still enters menu mode.
    host.bF10Accelerator = true;
    TapAlt();
    EXPECT_EQ(MENUBAR_MODE_HOT, bar.GetMode());
}

TEST_F(MenuBarKeyboardTest, MnemonicsOpenTheirPopupWithAltOrInMenuMode)
{
    // Without Alt and outside menu mode a letter is the view's.
    EXPECT_FALSE(Send(Key(WM_KEYDOWN, 'E')));
    EXPECT_TRUE(host.popupsShown.empty());

    EXPECT_TRUE(Send(Key(WM_SYSKEYDOWN, 'E', ALT_CONTEXT)));
    EXPECT_EQ(std::vector<int>{1}, host.popupsShown);
    EXPECT_EQ(MENUBAR_MODE_NONE, bar.GetMode());
    // Alt with a letter no item has goes on to the accelerators.
    EXPECT_FALSE(Send(Key(WM_SYSKEYDOWN, 'Q', ALT_CONTEXT)));

    TapAlt();
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, 'H')));
    EXPECT_EQ((std::vector<int>{1, 3}), host.popupsShown);
    // In menu mode an unknown letter is swallowed, not typed into the view.
    TapAlt();
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, 'Q')));
    EXPECT_FALSE(Send(Key(WM_KEYDOWN, VK_OEM_PLUS)));
    // Function and keypad keys have the codes of lower-case letters; they are no mnemonics.
    EXPECT_FALSE(Send(Key(WM_KEYDOWN, VK_F5)));
    EXPECT_FALSE(Send(Key(WM_KEYDOWN, VK_NUMPAD3)));
    EXPECT_EQ(MENUBAR_MODE_HOT, bar.GetMode());

    // With a maximized MDI child the child's icon sits before the menu's items.
    host.bChildMaximized = true;
    host.items.insert(host.items.begin(), {0xFFFFFFFF, false, 0, MBS_NOKEYBOARD});
    host.popupsShown.clear();
    EXPECT_TRUE(Send(Key(WM_SYSKEYDOWN, 'F', ALT_CONTEXT)));
    EXPECT_EQ(std::vector<int>{1}, host.popupsShown);
}

TEST_F(MenuBarKeyboardTest, ArrowsFollowTheBarsOrientation)
{
    TapAlt();
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, VK_RIGHT)));
    EXPECT_EQ(1, bar.GetHotIndex());
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, VK_LEFT)));
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, VK_LEFT)));
    EXPECT_EQ(3, bar.GetHotIndex()); // wraps around
    EXPECT_TRUE(host.popupsShown.empty());
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, VK_DOWN)));
    EXPECT_EQ(std::vector<int>{3}, host.popupsShown);
    EXPECT_EQ(MENUBAR_MODE_NONE, bar.GetMode());

    host.popupsShown.clear();
    host.bVertical = true;
    TapAlt();
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, VK_DOWN)));
    EXPECT_EQ(1, bar.GetHotIndex());
    EXPECT_EQ(MBS_HOT | MBS_VERTICAL, host.items[1].nState);
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, VK_UP)));
    EXPECT_EQ(0, bar.GetHotIndex());
    EXPECT_TRUE(host.popupsShown.empty());
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, VK_RIGHT)));
    EXPECT_EQ(std::vector<int>{0}, host.popupsShown);
}

TEST_F(MenuBarKeyboardTest, ReturnAndSpaceSendTheCommandOfAnItemWithoutPopup)
{
    TapAlt();
    Send(Key(WM_KEYDOWN, VK_RIGHT));
    Send(Key(WM_KEYDOWN, VK_RIGHT));
    ASSERT_EQ(2, bar.GetSelectedIndex());
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, VK_RETURN)));
    EXPECT_EQ(std::vector<UINT>{500}, host.commands);
    EXPECT_EQ(MENUBAR_MODE_NONE, bar.GetMode());

    TapAlt();
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, VK_SPACE)));
    EXPECT_EQ(std::vector<int>{0}, host.popupsShown);
    EXPECT_EQ(std::vector<UINT>{500}, host.commands);

    TapAlt();
    EXPECT_TRUE(Send(Key(WM_KEYDOWN, VK_ESCAPE)));
    EXPECT_EQ(MENUBAR_MODE_NONE, bar.GetMode());
    EXPECT_FALSE(Send(Key(WM_KEYDOWN, VK_ESCAPE)));
}

TEST_F(MenuBarKeyboardTest, ArrowKeysInsideAPopupSwitchToTheNeighbour)
{
    // Right on an item without a sub-menu goes to the next popup; Left on the
    // bar's own popup goes back; the third popup is closed by the user.
    int nRound = 0;
    host.onPopup = [&](int) {
        bar.OnInitMenuPopup();
        if (nRound == 0)
        {
            bar.OnMenuSelect(TRUE, TRUE);
            EXPECT_TRUE(Filter(Key(WM_KEYDOWN, VK_RIGHT)));
        }
        else if (nRound == 1)
        {
            bar.OnMenuSelect(TRUE, FALSE);
            EXPECT_TRUE(Filter(Key(WM_KEYDOWN, VK_LEFT)));
        }
        else
        {
            bar.OnMenuSelect(FALSE, FALSE);
            EXPECT_FALSE(Filter(Key(WM_KEYDOWN, VK_LEFT)));
        }
        ++nRound;
    };
    EXPECT_TRUE(bar.TrackPopup(0));
    EXPECT_EQ((std::vector<int>{0, 1, 0}), host.popupsShown);
    EXPECT_EQ(2, host.nCancels);
    EXPECT_EQ(MENUBAR_MODE_NONE, bar.GetMode());
    EXPECT_FALSE(bar.IsSwitchRequested());
}

TEST_F(MenuBarKeyboardTest, MouseInsideAPopupSwitchesOnlyWhenThePointerMoved)
{
    // The pointer rests over File while Edit's popup is opened from the
    // keyboard; every new popup gets one move at the pointer's place.
    POINT ptPointer = {10, 5};
    bar.SetLastMousePoint(ptPointer);
    int nRound = 0;
    host.onPopup = [&](int) {
        Filter(Mouse(WM_MOUSEMOVE, ptPointer.x, ptPointer.y));
        if (nRound++ == 0)
        {
            ptPointer = {160, 5};
            EXPECT_FALSE(Filter(Mouse(WM_MOUSEMOVE, ptPointer.x, ptPointer.y)));
        }
    };
    EXPECT_TRUE(bar.TrackPopup(1));
    EXPECT_EQ((std::vector<int>{1, 3}), host.popupsShown);
    EXPECT_EQ(1, host.nCancels);

    // A click on the open popup's own item closes it and leaves the item hot.
    host.popupsShown.clear();
    host.onPopup = [&](int) {
        EXPECT_TRUE(Filter(Mouse(WM_LBUTTONDOWN, 160, 5)));
        EXPECT_TRUE(Filter(Mouse(WM_LBUTTONUP, 160, 5)));
        EXPECT_FALSE(Filter(Mouse(WM_LBUTTONUP, 160, 300))); // off the bar: the menu's
    };
    EXPECT_TRUE(bar.TrackPopup(3));
    EXPECT_EQ(std::vector<int>{3}, host.popupsShown);
    EXPECT_EQ(MENUBAR_MODE_HOT, bar.GetMode());
    EXPECT_EQ(MBS_HOT, host.items[3].nState);
}

TEST_F(MenuBarKeyboardTest, QuitDuringTrackingEndsItWithNothingHot)
{
    host.bQuitInPopup = true;
    EXPECT_FALSE(bar.TrackPopup(1));
    EXPECT_EQ(MENUBAR_MODE_NONE, bar.GetMode());
    EXPECT_EQ(0u, host.items[1].nState);
    // Out of range and items without a popup.
    EXPECT_TRUE(bar.TrackPopup(7));
    EXPECT_FALSE(bar.TrackPopup(2));
    EXPECT_EQ(MENUBAR_MODE_HOT, bar.GetMode());
}
