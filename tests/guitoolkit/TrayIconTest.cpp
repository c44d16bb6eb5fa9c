#include "classlib/Menu.h"
#include "guitoolkit/TrayIcon.h"

#include "GuiTestSupport.h"
#include "SkinMenuTestSupport.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace
{
constexpr UINT WM_TRAYNOTIFY = WM_APP + 10;
constexpr UINT TrayId = 68;

struct stNotifyCall
{
    DWORD dwMessage;
    UINT uFlags;
    HICON hIcon;
    DWORD dwState;
    std::wstring strTip;
    std::wstring strInfo;
};

// A tray icon on a shell of the test's making: it notes every call and
// answers from a list (TRUE once the list is used up).
class CFakeShellTrayIcon : public CTrayIcon
{
public:
    explicit CFakeShellTrayIcon(bool bStates, std::deque<BOOL> answers = {}) : m_answers(std::move(answers))
    {
        m_bEnabled = TRUE;
        m_bStateSupport = bStates;
        m_fnNotify = [this](DWORD dwMessage, NOTIFYICONDATAW* pRecord) {
            EXPECT_EQ(pRecord->cbSize, CTrayIcon::RecordSize);
            m_calls.push_back({dwMessage, pRecord->uFlags, pRecord->hIcon, pRecord->dwState, pRecord->szTip,
                               pRecord->szInfo});
            BOOL bAnswer = TRUE;
            if (!m_answers.empty())
            {
                bAnswer = m_answers.front();
                m_answers.pop_front();
            }
            return bAnswer;
        };
    }
    ~CFakeShellTrayIcon() override
    {
        // The base removes the icon after this object's lists are gone.
        m_fnNotify = [](DWORD, NOTIFYICONDATAW*) { return TRUE; };
    }
    BOOL CreateIcon(BOOL bHidden, const wchar_t* pszTip = L"Varnefold", const wchar_t* pszBalloon = nullptr)
    {
        return Create(nullptr, WM_TRAYNOTIFY, pszTip, Icon1(), TrayId, bHidden, pszBalloon, L"Title", NIIF_INFO, 5);
    }
    static HICON Icon1() { return ::LoadIconW(NULL, IDI_APPLICATION); }
    static HICON Icon2() { return ::LoadIconW(NULL, IDI_WARNING); }

    std::deque<BOOL> m_answers;
    std::vector<stNotifyCall> m_calls;
};

constexpr UINT BaseFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

struct stCreateCase
{
    const char* pszWhat;
    bool bStates;
    BOOL bHidden;
    BOOL bAddWorks;
    size_t nCalls;
    UINT uAddFlags;
    BOOL bHiddenAfter;
    BOOL bRemovedAfter;
    BOOL bReAddWanted;
};

TEST(TrayIconFakeShell, CreationOnEachKindOfShell)
{
    const stCreateCase cases[] = {
        {"visible, states", true, FALSE, TRUE, 1, BaseFlags, FALSE, FALSE, FALSE},
        {"hidden, states", true, TRUE, TRUE, 1, BaseFlags | NIF_STATE, TRUE, FALSE, FALSE},
        {"visible, no states", false, FALSE, TRUE, 1, BaseFlags, FALSE, FALSE, FALSE},
        {"hidden, no states: nothing to add yet", false, TRUE, TRUE, 0, 0, TRUE, TRUE, FALSE},
        {"failed add, states", true, FALSE, FALSE, 1, BaseFlags, TRUE, TRUE, TRUE},
        {"failed add, no states", false, FALSE, FALSE, 1, BaseFlags, TRUE, TRUE, TRUE},
    };
    for (const auto& stCase : cases)
    {
        SCOPED_TRACE(stCase.pszWhat);
        CFakeShellTrayIcon icon(stCase.bStates, {stCase.bAddWorks});
        ASSERT_TRUE(icon.CreateIcon(stCase.bHidden));
        ASSERT_EQ(icon.m_calls.size(), stCase.nCalls);
        if (stCase.nCalls > 0)
        {
            EXPECT_EQ(icon.m_calls[0].dwMessage, static_cast<DWORD>(NIM_ADD));
            EXPECT_EQ(icon.m_calls[0].uFlags, stCase.uAddFlags);
            EXPECT_EQ(icon.m_calls[0].dwState, stCase.bHidden ? static_cast<DWORD>(NIS_HIDDEN) : 0u);
        }
        EXPECT_EQ(icon.IsHidden(), stCase.bHiddenAfter);
        EXPECT_EQ(icon.IsRemoved(), stCase.bRemovedAfter);
        EXPECT_EQ(icon.IsReAddWanted(), stCase.bReAddWanted);
    }
}

TEST(TrayIconFakeShell, AFailedAddIsTriedAgainByAddIcon)
{
    CFakeShellTrayIcon icon(true, {FALSE, TRUE});
    ASSERT_TRUE(icon.CreateIcon(FALSE));
    ASSERT_TRUE(icon.IsReAddWanted());
    EXPECT_TRUE(icon.AddIcon());
    ASSERT_EQ(icon.m_calls.size(), 2u) << "nothing to remove before";
    EXPECT_EQ(icon.m_calls[1].dwMessage, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(icon.m_calls[1].uFlags, BaseFlags);
    EXPECT_FALSE(icon.IsHidden());

    EXPECT_TRUE(icon.RemoveIcon());
    EXPECT_TRUE(icon.RemoveIcon());
    ASSERT_EQ(icon.m_calls.size(), 3u) << "a removed icon is not removed twice";
    EXPECT_EQ(icon.m_calls[2].dwMessage, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(icon.m_calls[2].uFlags, 0u);
}

TEST(TrayIconFakeShell, AnIconChangedWhileHiddenShowsWithTheNewPicture)
{
    for (bool bStates : {true, false})
    {
        SCOPED_TRACE(bStates ? "states" : "no states");
        CFakeShellTrayIcon icon(bStates);
        ASSERT_TRUE(icon.CreateIcon(TRUE));
        size_t nBefore = icon.m_calls.size();
        EXPECT_TRUE(icon.SetIcon(CFakeShellTrayIcon::Icon2()));
        EXPECT_EQ(icon.m_calls.size(), nBefore) << "a hidden icon only keeps the picture";
        EXPECT_TRUE(icon.ShowIcon());
        ASSERT_EQ(icon.m_calls.size(), nBefore + 1);
        const stNotifyCall& stShow = icon.m_calls.back();
        EXPECT_EQ(stShow.hIcon, CFakeShellTrayIcon::Icon2());
        EXPECT_NE(stShow.uFlags & NIF_ICON, 0u);
        if (bStates)
        {
            EXPECT_EQ(stShow.dwMessage, static_cast<DWORD>(NIM_MODIFY));
            EXPECT_EQ(stShow.uFlags & NIF_STATE, static_cast<UINT>(NIF_STATE));
            EXPECT_EQ(stShow.dwState, 0u);
        }
        else
        {
            EXPECT_EQ(stShow.dwMessage, static_cast<DWORD>(NIM_ADD));
        }
        EXPECT_FALSE(icon.IsHidden());
        EXPECT_TRUE(icon.ShowIcon());
        EXPECT_EQ(icon.m_calls.size(), nBefore + 1) << "a visible icon needs nothing";

        EXPECT_TRUE(icon.SetIcon(CFakeShellTrayIcon::Icon1()));
        EXPECT_EQ(icon.m_calls.back().dwMessage, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(icon.m_calls.back().uFlags, static_cast<UINT>(NIF_ICON));
    }
}

TEST(TrayIconFakeShell, TaskbarCreatedAddsAVisibleIconAgainAndLeavesAHiddenOneOut)
{
    const UINT nTaskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_NE(nTaskbarCreated, 0u);

    CFakeShellTrayIcon hidden(false);
    ASSERT_TRUE(hidden.CreateIcon(TRUE));
    hidden.SendMessage(nTaskbarCreated);
    EXPECT_TRUE(hidden.m_calls.empty());
    EXPECT_TRUE(hidden.IsReAddWanted());

    CFakeShellTrayIcon visible(true, {TRUE, TRUE, FALSE});
    ASSERT_TRUE(visible.CreateIcon(FALSE, L"Varnefold", L"Started"));
    visible.SendMessage(nTaskbarCreated);
    ASSERT_EQ(visible.m_calls.size(), 2u);
    EXPECT_EQ(visible.m_calls[1].dwMessage, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(visible.m_calls[1].uFlags, visible.m_calls[0].uFlags) << "the flags of the first add";
    EXPECT_EQ(visible.m_calls[1].strInfo, L"") << "the balloon shows once";
    EXPECT_FALSE(visible.IsRemoved());
    EXPECT_FALSE(visible.IsReAddWanted());

    visible.SendMessage(nTaskbarCreated);
    EXPECT_TRUE(visible.IsHidden()) << "a failed re-add";
    EXPECT_TRUE(visible.IsReAddWanted());
}

TEST(TrayIconFakeShell, TipAndBalloonAreCutToTheirFieldsAndTheBalloonShowsOnce)
{
    const std::wstring strTip(200, L't');
    const std::wstring strBalloon(300, L'b');
    CFakeShellTrayIcon icon(true);
    ASSERT_TRUE(icon.CreateIcon(FALSE, strTip.c_str(), strBalloon.c_str()));
    ASSERT_EQ(icon.m_calls.size(), 1u);
    EXPECT_EQ(icon.m_calls[0].strTip, strTip.substr(0, 127));
    EXPECT_EQ(icon.m_calls[0].strInfo, strBalloon.substr(0, 255));
    EXPECT_EQ(icon.m_calls[0].uFlags, BaseFlags | NIF_INFO);
    EXPECT_EQ(icon.GetRecord().uTimeout, 5000u);
    EXPECT_STREQ(icon.GetRecord().szInfoTitle, L"Title");
    EXPECT_STREQ(icon.GetRecord().szInfo, L"") << "cleared after the add";

    CFakeShellTrayIcon old(false);
    ASSERT_TRUE(old.CreateIcon(FALSE, L"tip", L"balloon"));
    EXPECT_EQ(old.m_calls[0].uFlags, BaseFlags) << "no balloons without states";
}

TEST(TrayIconFakeShell, WithoutANotificationAreaNothingIsCreated)
{
    struct CNoArea : CFakeShellTrayIcon
    {
        CNoArea() : CFakeShellTrayIcon(true) { m_bEnabled = FALSE; }
    } none;
    EXPECT_FALSE(none.CreateIcon(FALSE));
    EXPECT_FALSE(none.AddIcon());
    EXPECT_FALSE(none.SetIcon(CFakeShellTrayIcon::Icon2()));
    EXPECT_TRUE(none.m_calls.empty());
}

TEST(TrayIconRealShell, AddAndRemoveThroughTheShell)
{
    CTrayIcon icon;
    ASSERT_TRUE(icon.Create(nullptr, WM_TRAYNOTIFY, L"Varnefold", ::LoadIconW(NULL, IDI_APPLICATION), TrayId));
    EXPECT_FALSE(icon.IsRemoved());
    EXPECT_EQ(icon.GetRecord().hWnd, icon.m_hWnd) << "without a parent the icon talks to its own window";
    EXPECT_TRUE(icon.SetIcon(::LoadIconW(NULL, IDI_WARNING)));
    EXPECT_TRUE(icon.RemoveIcon());
    EXPECT_TRUE(icon.IsRemoved());
}

// The window the menu's commands go to: it notes the popup that opens and
// the commands that arrive.
class CMenuTargetWnd : public CWnd
{
public:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_INITMENUPOPUP)
        {
            m_hPopup = reinterpret_cast<HMENU>(wParam);
            CSkinMenu::OnInitMenuPopup(m_hWnd, CMenu::FromHandle(m_hPopup));
        }
        if (nMsg == WM_COMMAND)
            m_commands.push_back(LOWORD(wParam));
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
    HMENU m_hPopup = NULL;
    std::vector<UINT> m_commands;
};

class CPreparingTrayIcon : public CTrayIcon
{
public:
    void PrepareMenu(CMenu* pMenu) override
    {
        m_hPrepared = pMenu->m_hMenu;
        m_uDefaultWhenPrepared = ::GetMenuDefaultItem(pMenu->m_hMenu, FALSE, 0);
    }
    HMENU m_hPrepared = NULL;
    UINT m_uDefaultWhenPrepared = 0;
};

HMENU g_hOpenPopup = NULL;
RECT g_rcOpenPopup = {};
int g_nMenuTicks = 0;

// Notes where the open popup stands, then ends the menu (or gives up after 10 s).
void CALLBACK EndTrayMenu(HWND, UINT, UINT_PTR nID, DWORD)
{
    HWND hPopup = ThreadPopupMenuWindow();
    if (hPopup != NULL && ::IsWindowVisible(hPopup))
    {
        g_hOpenPopup = reinterpret_cast<HMENU>(::SendMessageW(hPopup, MN_GETHMENU, 0, 0));
        ::GetWindowRect(hPopup, &g_rcOpenPopup);
    }
    if (g_hOpenPopup != NULL || ++g_nMenuTicks > 100)
    {
        ::KillTimer(NULL, nID);
        ::EndMenu();
    }
}

class TrayIconMenuTest : public SkinMenuTest
{
protected:
    void SetUp() override
    {
        SkinMenuTest::SetUp();
        ASSERT_TRUE(m_target.CreateEx(0, nullptr, L"tray target", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                      NULL, NULL));
        ASSERT_TRUE(m_icon.Create(nullptr, WM_TRAYNOTIFY, L"Varnefold", ::LoadIconW(NULL, IDI_APPLICATION), TrayId));
        m_icon.SetMenuTarget(&m_target);
        PumpPending();
    }
    void TearDown() override
    {
        m_icon.RemoveIcon();
        m_target.DestroyWindow();
        PumpPending();
        SkinMenuTest::TearDown();
    }
    CMenuTargetWnd m_target;
    CPreparingTrayIcon m_icon;
};

TEST_F(TrayIconMenuTest, RightClickOpensTheIconsMenuAtTheCursorWithItsDefaultItem)
{
    ASSERT_TRUE(::SetCursorPos(200, 150));
    m_icon.SetMenuDefaultItem(0, TRUE);
    g_hOpenPopup = NULL;
    g_nMenuTicks = 0;
    ASSERT_NE(::SetTimer(NULL, 0, 100, EndTrayMenu), 0u);
    EXPECT_EQ(m_icon.SendMessage(WM_TRAYNOTIFY, TrayId, WM_RBUTTONUP), 1);

    ASSERT_NE(m_icon.m_hPrepared, HMENU(NULL)) << "PrepareMenu was called";
    EXPECT_EQ(m_icon.m_uDefaultWhenPrepared, 32770u);
    EXPECT_EQ(g_hOpenPopup, m_icon.m_hPrepared) << "the menu that opened is the one prepared";
    EXPECT_EQ(m_target.m_hPopup, m_icon.m_hPrepared) << "tracked for the target window";
    EXPECT_EQ(g_rcOpenPopup.left, 200);
    EXPECT_EQ(g_rcOpenPopup.top, 150);
}

TEST_F(TrayIconMenuTest, DoubleClickPostsTheDefaultCommand)
{
    struct
    {
        UINT uItem;
        BOOL bByPos;
        UINT uCommand;
    } cases[] = {{1, TRUE, 32780}, {0, TRUE, 32770}, {57665, FALSE, 57665}};
    for (const auto& stCase : cases)
    {
        m_target.m_commands.clear();
        m_icon.SetMenuDefaultItem(stCase.uItem, stCase.bByPos);
        EXPECT_EQ(m_icon.SendMessage(WM_TRAYNOTIFY, TrayId, WM_LBUTTONDBLCLK), 1);
        EXPECT_TRUE(PumpUntil([&] { return !m_target.m_commands.empty(); }));
        EXPECT_EQ(m_target.m_commands, std::vector<UINT>{stCase.uCommand});
    }
}

TEST_F(TrayIconMenuTest, AnotherIconIdDoesNothing)
{
    EXPECT_EQ(m_icon.SendMessage(WM_TRAYNOTIFY, TrayId + 1, WM_RBUTTONUP), 0);
    EXPECT_EQ(m_icon.SendMessage(WM_TRAYNOTIFY, TrayId + 1, WM_LBUTTONDBLCLK), 0);
    PumpPending();
    EXPECT_EQ(m_icon.m_hPrepared, HMENU(NULL));
    EXPECT_TRUE(m_target.m_commands.empty());
}
} // namespace
