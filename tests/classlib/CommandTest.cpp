#include "classlib/CmdUI.h"
#include "classlib/FrameWnd.h"
#include "classlib/Menu.h"
#include "classlib/WinApp.h"

#include <commctrl.h>

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::wstring> g_handled;

// Handles the commands in its set and notes who did.
template <class TBase>
class CHandler : public TBase
{
public:
    CHandler(const wchar_t* pszName, std::vector<UINT> ids) : m_pszName(pszName), m_ids(std::move(ids)) {}

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nCode == CN_COMMAND && std::find(m_ids.begin(), m_ids.end(), nID) != m_ids.end())
        {
            g_handled.push_back(m_pszName);
            return TRUE;
        }
        return TBase::HandleCommand(nID, nCode, pExtra);
    }
    const wchar_t* m_pszName;
    std::vector<UINT> m_ids;
};

struct stRouteCase
{
    UINT nID;
    const wchar_t* pszHandler;
};

class RoutingTest : public ::testing::TestWithParam<stRouteCase>
{
};

TEST_P(RoutingTest, ViewBeforeFrameBeforeApplication)
{
    g_handled.clear();
    CHandler<CWinApp> app(L"app", {1, 2, 3});
    auto* pFrame = new CHandler<CFrameWnd>(L"frame", {1, 2});
    ASSERT_TRUE(pFrame->LoadFrame(50));
    CHandler<CWnd> view(L"view", {1});
    ASSERT_TRUE(view.CreateEx(0, nullptr, L"view", WS_CHILD, CRect(0, 0, 10, 10), pFrame, 0xE900));
    pFrame->SetActiveView(&view);

    pFrame->SendMessage(WM_COMMAND, GetParam().nID, 0);
    std::vector<std::wstring> expected;
    if (GetParam().pszHandler != nullptr)
        expected.push_back(GetParam().pszHandler);
    EXPECT_EQ(g_handled, expected);
    pFrame->DestroyWindow();
    PumpPending();
}

INSTANTIATE_TEST_SUITE_P(Commands, RoutingTest,
                         ::testing::Values(stRouteCase{1, L"view"}, stRouteCase{2, L"frame"},
                                           stRouteCase{3, L"app"}, stRouteCase{4, nullptr}));

// A view that lives on the heap and goes with its window.
class CHeapView : public CHandler<CWnd>
{
public:
    CHeapView() : CHandler<CWnd>(L"view", {1}) {}
    void PostNcDestroy() override { delete this; }
};

TEST(CommandRouting, ViewThatIsGoneIsNoLongerAsked)
{
    g_handled.clear();
    auto* pFrame = new CHandler<CFrameWnd>(L"frame", {1});
    ASSERT_TRUE(pFrame->LoadFrame(50));
    auto* pView = new CHeapView;
    ASSERT_TRUE(pView->CreateEx(0, nullptr, L"view", WS_CHILD, CRect(0, 0, 10, 10), pFrame, 0xE900));
    pFrame->SetActiveView(pView);
    EXPECT_EQ(pFrame->GetActiveView(), pView);
    pView->DestroyWindow();
    EXPECT_EQ(pFrame->GetActiveView(), nullptr);

    pFrame->SendMessage(WM_COMMAND, 1, 0);
    EXPECT_EQ(g_handled, std::vector<std::wstring>{L"frame"});
    pFrame->DestroyWindow();
    PumpPending();
}

// Sets the state of the File menu's items from its update handlers.
class CStateFrame : public CFrameWnd
{
protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nCode != CN_UPDATE_COMMAND_UI)
            return CFrameWnd::HandleCommand(nID, nCode, pExtra);
        CCmdUI* pState = static_cast<CCmdUI*>(pExtra);
        switch (nID)
        {
        case 1001:
            pState->Enable(FALSE);
            return TRUE;
        case 1002:
            pState->SetCheck(1);
            pState->SetText(L"Save &all");
            return TRUE;
        case 1004:
            pState->SetRadio(TRUE);
            return TRUE;
        default:
            return FALSE;
        }
    }
};

TEST(CommandState, UpdateHandlersSetTheMenuItemsAndOthersStayAsTheyWere)
{
    auto* pFrame = new CStateFrame;
    ASSERT_TRUE(pFrame->LoadFrame(50));
    CMenu* pFile = pFrame->GetMenu()->GetSubMenu(0);
    ASSERT_NE(pFile, nullptr);
    pFile->EnableMenuItem(1003, MF_BYCOMMAND | MF_GRAYED);

    pFrame->SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(pFile->m_hMenu), 0);

    EXPECT_TRUE(pFile->GetMenuState(1001, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(pFile->GetMenuState(1002, MF_BYCOMMAND) & MF_CHECKED);
    CString strText;
    pFile->GetMenuString(1002, strText, MF_BYCOMMAND);
    EXPECT_EQ(strText, L"Save &all");
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_FTYPE | MIIM_STATE;
    ASSERT_TRUE(pFile->GetMenuItemInfo(1004, &stInfo));
    EXPECT_TRUE(stInfo.fType & MFT_RADIOCHECK);
    EXPECT_TRUE(stInfo.fState & MFS_CHECKED);
    // No handler: not enabled, not disabled behind the caller's back.
    EXPECT_TRUE(pFile->GetMenuState(1003, MF_BYCOMMAND) & MF_GRAYED);
    pFrame->DestroyWindow();
    PumpPending();
}

// An update handler written as usual, beside a notification handler that
// answers a tooltip's text request for the same command id.
class CNotifiedFrame : public CFrameWnd
{
public:
    std::vector<UINT> m_updates;
    std::vector<UINT> m_notifyCodes;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nCode == CN_UPDATE_COMMAND_UI && nID == 1001)
        {
            m_updates.push_back(nID);
            static_cast<CCmdUI*>(pExtra)->Enable(FALSE);
            return TRUE;
        }
        if (nCode == CN_NOTIFY && nID == 1001)
        {
            auto* pInfo = static_cast<stNotifyInfo*>(pExtra);
            m_notifyCodes.push_back(pInfo->pHeader->code);
            if (pInfo->pHeader->code == TTN_GETDISPINFOW)
            {
                reinterpret_cast<NMTTDISPINFOW*>(pInfo->pHeader)->lpszText = const_cast<wchar_t*>(L"Open a file");
                *pInfo->pResult = 7;
            }
            return TRUE;
        }
        return CFrameWnd::HandleCommand(nID, nCode, pExtra);
    }
};

TEST(CommandRouting, NotificationsTravelApartFromUpdateQueries)
{
    auto* pFrame = new CNotifiedFrame;
    ASSERT_TRUE(pFrame->LoadFrame(50));
    CWnd control;
    ASSERT_TRUE(control.CreateEx(0, nullptr, L"control", WS_CHILD, CRect(0, 0, 10, 10), pFrame, 1001));

    // NM_OUTOFMEMORY has the value of the update query's code.
    NMHDR stHeader = {control.m_hWnd, 1001, static_cast<UINT>(NM_OUTOFMEMORY)};
    pFrame->SendMessage(WM_NOTIFY, 1001, reinterpret_cast<LPARAM>(&stHeader));
    NMTTDISPINFOW stTip = {};
    stTip.hdr = {control.m_hWnd, 1001, static_cast<UINT>(TTN_GETDISPINFOW)};
    LRESULT lResult = pFrame->SendMessage(WM_NOTIFY, 1001, reinterpret_cast<LPARAM>(&stTip));

    EXPECT_TRUE(pFrame->m_updates.empty());
    EXPECT_EQ(pFrame->m_notifyCodes, (std::vector<UINT>{static_cast<UINT>(NM_OUTOFMEMORY),
                                                          static_cast<UINT>(TTN_GETDISPINFOW)}));
    ASSERT_NE(stTip.lpszText, nullptr);
    EXPECT_STREQ(stTip.lpszText, L"Open a file");
    EXPECT_EQ(lResult, 7);
    pFrame->DestroyWindow();
    PumpPending();
}
} // namespace
