#include "classlib/FrameWnd.h"
#include "classlib/ThreadState.h"
#include "classlib/Wnd.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{
// Records the messages that reach the object; can refuse its creation.
class CRecordingWnd : public CWnd
{
public:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        m_messages.push_back(nMsg);
        if (nMsg == WM_NCCREATE && m_bRefuseCreation)
        {
            lResult = FALSE;
            return true;
        }
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
    void PostNcDestroy() override { ++m_nPostNcDestroy; }
    bool Saw(UINT nMsg) const { return std::find(m_messages.begin(), m_messages.end(), nMsg) != m_messages.end(); }

    std::vector<UINT> m_messages;
    bool m_bRefuseCreation = false;
    int m_nPostNcDestroy = 0;
};

struct stCreationCase
{
    const wchar_t* pszClass;
    DWORD dwStyle;
};

class CreationTest : public ::testing::TestWithParam<stCreationCase>
{
};

TEST_P(CreationTest, ObjectSeesItsFirstMessagesAndLeavesTheMapWithItsWindow)
{
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL));
    CRecordingWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, GetParam().pszClass, L"x", GetParam().dwStyle, CRect(0, 0, 80, 20), &parent, 7));
    HWND hWnd = wnd.m_hWnd;
    EXPECT_TRUE(wnd.Saw(WM_NCCREATE));
    EXPECT_TRUE(wnd.Saw(WM_CREATE));
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), &wnd);

    ASSERT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(wnd.m_hWnd, HWND(NULL));
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), nullptr);
    EXPECT_EQ(wnd.m_nPostNcDestroy, 1);
    EXPECT_TRUE(wnd.Saw(WM_NCDESTROY));
}

INSTANTIATE_TEST_SUITE_P(Classes, CreationTest,
                         ::testing::Values(stCreationCase{nullptr, WS_CHILD | WS_VISIBLE},
                                           stCreationCase{L"BUTTON", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON},
                                           stCreationCase{L"EDIT", WS_CHILD | WS_VISIBLE},
                                           stCreationCase{L"msctls_statusbar32", WS_CHILD | WS_VISIBLE}));

TEST(CreationFailure, RefusedWindowLeavesNothingBehind)
{
    CRecordingWnd wnd;
    wnd.m_bRefuseCreation = true;
    EXPECT_FALSE(wnd.CreateEx(0, nullptr, L"refused", WS_POPUP, 0, 0, 10, 10, NULL, NULL));
    EXPECT_EQ(wnd.m_hWnd, HWND(NULL));
    // The object can be used again.
    wnd.m_bRefuseCreation = false;
    EXPECT_TRUE(wnd.CreateEx(0, nullptr, L"second", WS_POPUP, 0, 0, 10, 10, NULL, NULL));
    EXPECT_TRUE(wnd.DestroyWindow());
}

int g_nFramesGone = 0;

// Refuses its window at WM_CREATE, or before there is any window.
class CRefusingFrame : public CFrameWnd
{
public:
    explicit CRefusingFrame(bool bBeforeWindow = false) : m_bBeforeWindow(bBeforeWindow) {}
    ~CRefusingFrame() override { ++g_nFramesGone; }
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override
    {
        return !m_bBeforeWindow && CFrameWnd::PreCreateWindow(cs);
    }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_CREATE)
        {
            lResult = -1;
            return true;
        }
        return CFrameWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }

private:
    bool m_bBeforeWindow;
};

TEST(CreationFailure, FrameThatFailsIsDeletedExactlyOnce)
{
    // A frame made where one that went in creation lived must not pass for it.
    g_nFramesGone = 0;
    for (bool bBeforeWindow : {false, true, false, true})
    {
        int nGone = g_nFramesGone;
        auto* pFrame = new CRefusingFrame(bBeforeWindow);
        EXPECT_FALSE(pFrame->LoadFrame(50));
        EXPECT_EQ(g_nFramesGone, nGone + 1) << (bBeforeWindow ? "before the window" : "at WM_CREATE");
    }
}

TEST(Subclassing, ExistingWindowIsRoutedAndGivenBack)
{
    HWND hWnd = ::CreateWindowExW(0, L"STATIC", L"plain", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(hWnd, HWND(NULL));
    LONG_PTR pfnOriginal = ::GetWindowLongPtrW(hWnd, GWLP_WNDPROC);
    CRecordingWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hWnd));
    EXPECT_FALSE(CRecordingWnd().SubclassWindow(hWnd)) << "a window has one object";
    ::SendMessageW(hWnd, WM_USER + 5, 0, 0);
    EXPECT_TRUE(wnd.Saw(WM_USER + 5));
    EXPECT_EQ(wnd.UnsubclassWindow(), hWnd);
    EXPECT_EQ(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC), pfnOriginal);
    ::DestroyWindow(hWnd);
}

namespace
{
WNDPROC g_pfnLaterSuper = nullptr;
int g_nLaterCalls = 0;

LRESULT CALLBACK LaterSubclassProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    ++g_nLaterCalls;
    return ::CallWindowProcW(g_pfnLaterSuper, hWnd, nMsg, wParam, lParam);
}
} // namespace

TEST(Subclassing, GivingBackLeavesALaterSubclassInPlaceAndTheWindowWorking)
{
    HWND hWnd = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, NULL, NULL, NULL, NULL);
    ASSERT_NE(hWnd, HWND(NULL));
    CRecordingWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hWnd));
    g_pfnLaterSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LaterSubclassProc)));
    ASSERT_NE(g_pfnLaterSuper, nullptr);

    EXPECT_EQ(wnd.UnsubclassWindow(), hWnd);
    EXPECT_EQ(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(LaterSubclassProc));
    g_nLaterCalls = 0;
    ::SendMessageW(hWnd, EM_LIMITTEXT, 7, 0);
    EXPECT_EQ(::SendMessageW(hWnd, EM_GETLIMITTEXT, 0, 0), 7) << "the edit's own procedure answers through the chain";
    EXPECT_GT(g_nLaterCalls, 0);
    EXPECT_TRUE(::DestroyWindow(hWnd));
}

TEST(TemporaryObjects, UnknownHandleGetsAWrapperThatNeverDestroysTheWindow)
{
    HWND hWnd = ::CreateWindowExW(0, L"STATIC", L"foreign", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    CWnd* pTemp = CWnd::FromHandle(hWnd);
    ASSERT_NE(pTemp, nullptr);
    EXPECT_EQ(pTemp->m_hWnd, hWnd);
    EXPECT_EQ(CWnd::FromHandle(hWnd), pTemp);
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), nullptr);
    DeleteTemporaryObjects();
    EXPECT_TRUE(::IsWindow(hWnd));
    ::DestroyWindow(hWnd);
}

// A child that handles some reflected notifications; while handling one it
// can pass a notification of its own on to its parent.
class CReflectingChild : public CWnd
{
public:
    BOOL OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override
    {
        ++m_nReflected;
        if (nMsg == WM_NOTIFY)
        {
            const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
            if (pHeader->code == m_nPassOnCode)
            {
                NMHDR stRelay = *pHeader;
                stRelay.code = m_nRelayCode;
                ::SendMessageW(::GetParent(m_hWnd), WM_NOTIFY, wParam, reinterpret_cast<LPARAM>(&stRelay));
                *pResult = 33;
                return TRUE;
            }
            return pHeader->code == m_nHandledCode;
        }
        return nMsg == WM_COMMAND && HIWORD(wParam) == m_nHandledCode;
    }

    UINT m_nHandledCode = 0;
    UINT m_nPassOnCode = 0;
    UINT m_nRelayCode = 0;
    int m_nReflected = 0;
};

class CNotifiedParent : public CWnd
{
public:
    BOOL OnNotify(WPARAM, LPARAM lParam, LRESULT* pResult) override
    {
        m_codes.push_back(reinterpret_cast<const NMHDR*>(lParam)->code);
        *pResult = 5;
        return TRUE;
    }
    BOOL OnCmdMsg(UINT nID, int nCode, void*) override
    {
        if (nCode == CN_UPDATE_COMMAND_UI)
            return FALSE;
        m_commands.push_back({nID, nCode});
        return TRUE;
    }
    std::vector<UINT> m_codes;
    std::vector<std::pair<UINT, int>> m_commands;
};

class ReflectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_parent.CreateEx(0, nullptr, L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL));
        ASSERT_TRUE(m_child.CreateEx(0, nullptr, L"child", WS_CHILD, CRect(0, 0, 20, 20), &m_parent, 9));
        m_child.m_nHandledCode = 100;
        m_child.m_nPassOnCode = 200;
        m_child.m_nRelayCode = 201;
    }
    void TearDown() override
    {
        m_child.DestroyWindow();
        m_parent.DestroyWindow();
    }
    LRESULT Notify(UINT nCode)
    {
        NMHDR stHeader = {m_child.m_hWnd, 9, nCode};
        return m_parent.SendMessage(WM_NOTIFY, 9, reinterpret_cast<LPARAM>(&stHeader));
    }

    CNotifiedParent m_parent;
    CReflectingChild m_child;
};

TEST_F(ReflectionTest, ChildThatHandlesANotificationStopsItThere)
{
    Notify(100);
    EXPECT_EQ(m_child.m_nReflected, 1);
    EXPECT_TRUE(m_parent.m_codes.empty());
}

TEST_F(ReflectionTest, UnhandledNotificationReachesTheParent)
{
    EXPECT_EQ(Notify(150), 5);
    EXPECT_EQ(m_parent.m_codes, std::vector<UINT>{150});
}

TEST_F(ReflectionTest, NotificationPassedOnByTheChildIsNotReflectedBack)
{
    EXPECT_EQ(Notify(200), 33);
    EXPECT_EQ(m_child.m_nReflected, 1);
    EXPECT_EQ(m_parent.m_codes, std::vector<UINT>{201});
}

TEST_F(ReflectionTest, ControlCommandsAreReflectedAndMenuCommandsRouted)
{
    m_parent.SendMessage(WM_COMMAND, MAKEWPARAM(9, 100), reinterpret_cast<LPARAM>(m_child.m_hWnd));
    EXPECT_TRUE(m_parent.m_commands.empty());
    m_parent.SendMessage(WM_COMMAND, MAKEWPARAM(9, 150), reinterpret_cast<LPARAM>(m_child.m_hWnd));
    // No control: a command, whatever the high word carries.
    m_parent.SendMessage(WM_COMMAND, MAKEWPARAM(40, WM_RBUTTONDOWN), 0);
    std::vector<std::pair<UINT, int>> expected = {{9, 150}, {40, CN_COMMAND}};
    EXPECT_EQ(m_parent.m_commands, expected);
}

class CCurrentMessageWnd : public CWnd
{
public:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_USER + 1)
        {
            // A nested message must not change what this one sees as current.
            SendMessage(WM_USER + 2, 0, 0);
            m_nSeen = GetCurrentMessage()->message;
            m_lSeen = GetCurrentMessage()->lParam;
        }
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
    UINT m_nSeen = 0;
    LPARAM m_lSeen = 0;
};

TEST(CurrentMessage, NestedDispatchRestoresTheRecord)
{
    CCurrentMessageWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, nullptr, L"current", WS_POPUP, 0, 0, 10, 10, NULL, NULL));
    wnd.SendMessage(WM_USER + 1, 0, 77);
    EXPECT_EQ(wnd.m_nSeen, UINT(WM_USER + 1));
    EXPECT_EQ(wnd.m_lSeen, 77);
    wnd.DestroyWindow();
}
int g_nSelfDeletingGone = 0;
int g_nGoneInsideTheHandler = -1;

// Deletes itself after its window's last message, as views and frames do.
class CSelfDeletingWnd : public CWnd
{
public:
    enum class EEnd
    {
        DestroyedInTheHandler,
        ClosedByAPumpInTheHandler,
    };
    explicit CSelfDeletingWnd(EEnd eEnd) : m_eEnd(eEnd) {}
    ~CSelfDeletingWnd() override { ++g_nSelfDeletingGone; }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_APP && m_eEnd == EEnd::DestroyedInTheHandler)
        {
            DestroyWindow();
            g_nGoneInsideTheHandler = g_nSelfDeletingGone;
        }
        else if (nMsg == WM_APP && m_eEnd == EEnd::ClosedByAPumpInTheHandler)
        {
            PostMessage(WM_CLOSE);
            MSG stMsg;
            while (::PeekMessageW(&stMsg, NULL, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&stMsg);
            g_nGoneInsideTheHandler = g_nSelfDeletingGone;
        }
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
    void PostNcDestroy() override { delete this; }

private:
    EEnd m_eEnd;
};

TEST(SelfDeletingObjects, AWindowDestroyedInsideItsOwnMessageKeepsItsObjectUntilTheMessageReturns)
{
    for (auto eEnd : {CSelfDeletingWnd::EEnd::DestroyedInTheHandler, CSelfDeletingWnd::EEnd::ClosedByAPumpInTheHandler})
    {
        g_nSelfDeletingGone = 0;
        g_nGoneInsideTheHandler = -1;
        auto* pWnd = new CSelfDeletingWnd(eEnd);
        ASSERT_TRUE(pWnd->CreateEx(0, nullptr, L"self", WS_POPUP, 0, 0, 10, 10, NULL, NULL));
        HWND hWnd = pWnd->m_hWnd;
        ::SendMessageW(hWnd, WM_APP, 0, 0);
        EXPECT_FALSE(::IsWindow(hWnd));
        EXPECT_EQ(0, g_nGoneInsideTheHandler) << static_cast<int>(eEnd);
        EXPECT_EQ(1, g_nSelfDeletingGone) << static_cast<int>(eEnd);
        EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
    }
}

} // namespace
