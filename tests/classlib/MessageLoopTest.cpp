#include "classlib/Dialog.h"
#include "classlib/FrameWnd.h"
#include "classlib/PropertySheet.h"
#include "classlib/Menu.h"
#include "classlib/ThreadState.h"
#include "classlib/WinApp.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::wstring> g_walk;

// Notes every message offered to it; consumes those it is told to.
class CWalkWnd : public CWnd
{
public:
    explicit CWalkWnd(const wchar_t* pszName, UINT nConsume = 0) : m_pszName(pszName), m_nConsume(nConsume) {}
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message != WM_USER + 10 && pMsg->message != WM_KEYDOWN && pMsg->message != WM_LBUTTONDOWN)
            return FALSE;
        g_walk.push_back(m_pszName);
        return pMsg->message == m_nConsume;
    }
    const wchar_t* m_pszName;
    UINT m_nConsume;
};

class CWalkFrame : public CFrameWnd
{
public:
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message == WM_USER + 10 || pMsg->message == WM_KEYDOWN)
            g_walk.push_back(L"frame");
        return CFrameWnd::PreTranslateMessage(pMsg);
    }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_IDLEUPDATECMDUI)
            ++m_nIdleUpdates;
        return CFrameWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
    std::vector<UINT> m_commands;
    int m_nIdleUpdates = 0;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nCode == CN_COMMAND)
        {
            m_commands.push_back(nID);
            return TRUE;
        }
        return CFrameWnd::HandleCommand(nID, nCode, pExtra);
    }
};

class MessageLoopTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_walk.clear();
        m_pFrame = new CWalkFrame;
        ASSERT_TRUE(m_pFrame->LoadFrame(50, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE));
        m_app.m_pMainWnd = m_pFrame;
        ASSERT_TRUE(m_outer.CreateEx(0, nullptr, L"outer", WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 100), m_pFrame, 1));
        ASSERT_TRUE(m_inner.CreateEx(0, nullptr, L"inner", WS_CHILD | WS_VISIBLE, CRect(0, 0, 50, 50), &m_outer, 2));
        PumpPending();
    }
    void TearDown() override
    {
        m_inner.DestroyWindow();
        m_outer.DestroyWindow();
        if (m_app.m_pMainWnd != nullptr)
            m_pFrame->DestroyWindow();
        // The frame's end posts WM_QUIT; it must not leak into the next case.
        PumpPending();
        CWinThread::SetInputPreview(nullptr);
    }
    // Posts one message and lets the application's loop take it.
    void PostAndPump(HWND hWnd, UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        ::PostMessageW(hWnd, nMsg, wParam, lParam);
        ASSERT_TRUE(m_app.PumpMessage());
    }

    CWinApp m_app;
    CWalkFrame* m_pFrame = nullptr;
    CWalkWnd m_outer{L"outer"};
    CWalkWnd m_inner{L"inner"};
};

TEST_F(MessageLoopTest, MessageIsOfferedFromItsWindowUpToTheMainWindow)
{
    PostAndPump(m_inner.m_hWnd, WM_USER + 10);
    std::vector<std::wstring> expected = {L"inner", L"outer", L"frame"};
    EXPECT_EQ(g_walk, expected);
}

TEST_F(MessageLoopTest, WindowThatTakesTheMessageEndsTheWalk)
{
    m_outer.m_nConsume = WM_USER + 10;
    PostAndPump(m_inner.m_hWnd, WM_USER + 10);
    std::vector<std::wstring> expected = {L"inner", L"outer"};
    EXPECT_EQ(g_walk, expected);
}

TEST_F(MessageLoopTest, FrameAcceleratorTurnsAKeyInAChildIntoACommand)
{
    ASSERT_NE(m_pFrame->GetDefaultAccelerator(), HACCEL(NULL));
    PostAndPump(m_inner.m_hWnd, WM_KEYDOWN, VK_F5, 0x003F0001);
    EXPECT_EQ(m_pFrame->m_commands, std::vector<UINT>{1001});
    PostAndPump(m_inner.m_hWnd, WM_KEYDOWN, VK_F6, 0x00400001);
    EXPECT_EQ(m_pFrame->m_commands.size(), 1u) << "keys without an accelerator stay keys";
}

TEST_F(MessageLoopTest, KeysInAnotherTopLevelWindowReachTheMainAccelerators)
{
    CWalkWnd tool(L"tool");
    ASSERT_TRUE(tool.CreateEx(0, nullptr, L"tool", WS_POPUP, 300, 0, 20, 20, NULL, NULL));
    PostAndPump(tool.m_hWnd, WM_KEYDOWN, VK_F5, 0x003F0001);
    EXPECT_EQ(m_pFrame->m_commands, std::vector<UINT>{1001});
    std::vector<std::wstring> expected = {L"tool", L"frame"};
    EXPECT_EQ(g_walk, expected);
    tool.DestroyWindow();
}

TEST_F(MessageLoopTest, ModelessDialogKeepsTabAndFunctionKeysFromTheFrame)
{
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(200, m_pFrame));
    EXPECT_EQ(::GetWindow(dlg.m_hWnd, GW_OWNER), m_pFrame->m_hWnd);
    dlg.ShowWindow(SW_SHOW);
    dlg.SetForegroundWindow();
    HWND hFirst = ::GetDlgItem(dlg.m_hWnd, 1001);
    ::SetFocus(hFirst);
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == hFirst; }));

    PostAndPump(hFirst, WM_KEYDOWN, VK_F5, 0x003F0001);
    EXPECT_TRUE(m_pFrame->m_commands.empty()) << "F5 stays in the dialog";
    PostAndPump(hFirst, WM_KEYDOWN, VK_TAB, 0x000F0001);
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(dlg.m_hWnd, 1002)) << "Tab moves to the next control";
    EXPECT_TRUE(m_pFrame->m_commands.empty());
    // Keys of the frame itself still reach its accelerators.
    PostAndPump(m_pFrame->m_hWnd, WM_KEYDOWN, VK_F5, 0x003F0001);
    EXPECT_EQ(m_pFrame->m_commands, std::vector<UINT>{1001});
    dlg.DestroyWindow();
}

TEST_F(MessageLoopTest, ModelessSheetKeepsItsKeysFromTheFrame)
{
    CPropertyPage numbers(210);
    CPropertyPage texts(211);
    CPropertySheet sheet(L"Settings", m_pFrame);
    sheet.AddPage(&numbers);
    sheet.AddPage(&texts);
    ASSERT_TRUE(sheet.Create());
    sheet.ShowWindow(SW_SHOW);
    sheet.SetForegroundWindow();
    HWND hEdit = ::GetDlgItem(numbers.m_hWnd, 1002);
    ::SetFocus(hEdit);
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == hEdit; }));

    PostAndPump(hEdit, WM_KEYDOWN, VK_F5, 0x003F0001);
    EXPECT_TRUE(m_pFrame->m_commands.empty()) << "F5 stays in the sheet";
    PostAndPump(hEdit, WM_KEYDOWN, VK_TAB, 0x000F0001);
    EXPECT_NE(::GetFocus(), hEdit) << "Tab moves on within the sheet";
    EXPECT_TRUE(::IsChild(sheet.m_hWnd, ::GetFocus()));
    sheet.DestroyWindow();
}

TEST_F(MessageLoopTest, InputPreviewSeesInputBeforeItsTarget)
{
    CWalkWnd preview(L"preview", WM_LBUTTONDOWN);
    ASSERT_TRUE(preview.CreateEx(0, nullptr, L"preview", WS_POPUP | WS_VISIBLE, 300, 0, 20, 20, NULL, NULL));
    CWinThread::SetInputPreview(&preview);
    PostAndPump(m_inner.m_hWnd, WM_LBUTTONDOWN);
    EXPECT_EQ(g_walk, std::vector<std::wstring>{L"preview"});
    // Other messages go their normal way.
    g_walk.clear();
    PostAndPump(m_inner.m_hWnd, WM_USER + 10);
    EXPECT_EQ(g_walk.front(), L"inner");
    CWinThread::SetInputPreview(nullptr);
    preview.DestroyWindow();
}

TEST_F(MessageLoopTest, InputPreviewEndsWithItsWindow)
{
    // Deletes itself with its window, as popups of the program do.
    class CHeapPreview : public CWalkWnd
    {
    public:
        CHeapPreview() : CWalkWnd(L"preview", WM_LBUTTONDOWN) {}
        void PostNcDestroy() override { delete this; }
    };
    auto* pPreview = new CHeapPreview;
    ASSERT_TRUE(pPreview->CreateEx(0, nullptr, L"preview", WS_POPUP | WS_VISIBLE, 300, 0, 20, 20, NULL, NULL));
    CWinThread::SetInputPreview(pPreview);
    pPreview->DestroyWindow();
    EXPECT_EQ(CWinThread::GetInputPreview(), nullptr);
    PostAndPump(m_inner.m_hWnd, WM_LBUTTONDOWN);
    EXPECT_EQ(g_walk, (std::vector<std::wstring>{L"inner", L"outer"}));
}

TEST(MainWindow, ApplicationForgetsAMainWindowThatIsGone)
{
    class CHeapWnd : public CWnd
    {
    public:
        void PostNcDestroy() override { delete this; }
    };
    CWinApp app;
    auto* pWnd = new CHeapWnd;
    ASSERT_TRUE(pWnd->CreateEx(0, nullptr, L"main", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL, NULL));
    app.m_pMainWnd = pWnd;
    pWnd->DestroyWindow();
    EXPECT_EQ(CWinApp::GetMainWnd(), nullptr);
    EXPECT_FALSE(app.OnIdle(1));
}

TEST_F(MessageLoopTest, IdleUpdatesTheMainWindowAndFreesTemporaries)
{
    EXPECT_TRUE(m_app.OnIdle(0));
    EXPECT_EQ(m_pFrame->m_nIdleUpdates, 0) << "a hidden main window has nothing to show";
    m_pFrame->ShowWindow(SW_SHOW);
    EXPECT_TRUE(m_app.OnIdle(0));
    EXPECT_EQ(m_pFrame->m_nIdleUpdates, 1);
    CWnd* pTemp = CWnd::FromHandle(::GetDesktopWindow());
    ASSERT_NE(pTemp, nullptr);
    CMenu* pTempMenu = CMenu::FromHandle(m_pFrame->GetMenu()->m_hMenu);
    ASSERT_NE(pTempMenu, nullptr);
    EXPECT_FALSE(m_app.OnIdle(1));
    EXPECT_TRUE(GetThreadState().mapTemporaryWnd.empty());
    EXPECT_TRUE(GetThreadState().mapTemporaryMenu.empty());
    EXPECT_TRUE(::IsWindow(::GetDesktopWindow()));
    EXPECT_TRUE(::IsMenu(::GetMenu(m_pFrame->m_hWnd))) << "a wrapper never destroys its menu";
}

TEST_F(MessageLoopTest, ClosingTheMainWindowEndsTheLoopWithItsCode)
{
    m_pFrame->SetWindowPos(NULL, 0, 0, 320, 200, SWP_NOZORDER | SWP_SHOWWINDOW);
    PumpPending();
    SaveWindowPicture(m_pFrame->m_hWnd, L"classlib_frame");
    m_pFrame->PostMessage(WM_CLOSE);
    EXPECT_EQ(m_app.Run(), 0);
    EXPECT_EQ(m_app.m_pMainWnd, nullptr);
}

// A pane whose update handler repaints it on every idle pass, as a bar that
// redraws unconditionally does.
class CRepaintingPane : public CWnd
{
public:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_IDLEUPDATECMDUI)
            Invalidate(FALSE);
        if (nMsg == WM_PAINT)
        {
            ++m_nPaints;
            PAINTSTRUCT stPaint;
            ::BeginPaint(m_hWnd, &stPaint);
            ::EndPaint(m_hWnd, &stPaint);
            lResult = 0;
            return true;
        }
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
    int m_nPaints = 0;
};

class CIdleCountingApp : public CWinApp
{
public:
    BOOL OnIdle(LONG lCount) override
    {
        if (lCount == 0)
            ++m_nUpdatePasses;
        return CWinApp::OnIdle(lCount);
    }
    int m_nUpdatePasses = 0;
};

TEST(IdleLoop, RepaintCausedByTheUpdatePassDoesNotStartItAgain)
{
    CIdleCountingApp app;
    auto* pFrame = new CFrameWnd;
    ASSERT_TRUE(pFrame->LoadFrame(50, WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    app.m_pMainWnd = pFrame;
    CRepaintingPane pane;
    ASSERT_TRUE(pane.CreateEx(0, nullptr, L"pane", WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 20), pFrame, 1));
    // A 100 ms timer as a hover timer would tick; it may start a pass each time.
    ::SetTimer(pFrame->m_hWnd, 78, 100, nullptr);
    ::SetTimer(pFrame->m_hWnd, 77, 1000, [](HWND hWnd, UINT, UINT_PTR, DWORD) { ::DestroyWindow(hWnd); });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_GT(pane.m_nPaints, 0);
    // Restarting after every paint gave over a thousand passes a second.
    EXPECT_LE(app.m_nUpdatePasses, 40);
}
} // namespace
