#include "tests/classlib/GuiTestSupport.h"
#include "updater/HyperLinkCtrl.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr UINT LinkId = 1009;

// The system as the control sees it, scripted by the test.
class CTestLink : public CHyperLinkCtrl
{
public:
    std::vector<std::wstring> m_vecShellCalls;
    std::vector<std::string> m_vecCommandLines;
    INT_PTR m_nShellResult = 42;
    std::wstring m_strBrowserCommand;
    bool m_bSystemHand = true;
    std::wstring m_strHelpPath = L"C:\\no-such-folder\\winhlp32.exe";

protected:
    HINSTANCE ShellOpen(const wchar_t* pszVerb, const wchar_t* pszURL) override
    {
        m_vecShellCalls.push_back(std::wstring(pszVerb) + L" " + pszURL);
        return reinterpret_cast<HINSTANCE>(m_nShellResult);
    }
    bool ReadBrowserCommand(std::wstring& strCommand) override
    {
        strCommand = m_strBrowserCommand;
        return !strCommand.empty();
    }
    UINT RunCommandLine(const char* pszCommandLine) override
    {
        m_vecCommandLines.push_back(pszCommandLine);
        return 33;
    }
    HCURSOR LoadSystemHandCursor() override
    {
        return m_bSystemHand ? CHyperLinkCtrl::LoadSystemHandCursor() : NULL;
    }
    std::wstring HelpProgramPath() override { return m_strHelpPath; }
};

// A parent that keeps the clicks its link reports.
class CLinkParent : public CWnd
{
public:
    std::vector<WPARAM> m_vecClicked;

protected:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == CHyperLinkCtrl::WM_HYPERLINK_CLICKED)
        {
            m_vecClicked.push_back(wParam);
            lResult = 0;
            return true;
        }
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
};

class HyperLinkCtrl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_parent.CreateEx(0, CWnd::RegisterDefaultClass(), L"Link test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                      50, 50, 420, 160, NULL, NULL));
    }

    // A static of the parent, subclassed as the link.
    void Bind(CTestLink& link, const wchar_t* pszText, DWORD dwStyle = 0)
    {
        HWND hStatic = ::CreateWindowExW(0, L"STATIC", pszText, WS_CHILD | WS_VISIBLE | dwStyle, 100, 20, 300, 40,
                                         m_parent.m_hWnd, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(LinkId)),
                                         ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(hStatic, nullptr);
        ::SendMessageW(hStatic, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        ASSERT_TRUE(link.SubclassWindow(hStatic));
    }

    static void Click(CTestLink& link) { link.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2)); }

    // The control drawn into a memory bitmap: how many pixels have the colour,
    // and the longest run of it in one row.
    static void Draw(CTestLink& link, COLORREF crWanted, int& nPixels, int& nLongestRun)
    {
        RECT rc;
        link.GetClientRect(&rc);
        HDC hScreen = ::GetDC(NULL);
        HDC hMemory = ::CreateCompatibleDC(hScreen);
        HBITMAP hBitmap = ::CreateCompatibleBitmap(hScreen, rc.right, rc.bottom);
        HGDIOBJ hOld = ::SelectObject(hMemory, hBitmap);
        link.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hMemory), PRF_CLIENT | PRF_ERASEBKGND);
        nPixels = 0;
        nLongestRun = 0;
        for (int y = 0; y < rc.bottom; ++y)
        {
            int nRun = 0;
            for (int x = 0; x < rc.right; ++x)
            {
                bool bWanted = ::GetPixel(hMemory, x, y) == crWanted;
                nPixels += bWanted;
                nRun = bWanted ? nRun + 1 : 0;
                nLongestRun = std::max(nLongestRun, nRun);
            }
        }
        ::SelectObject(hMemory, hOld);
        ::DeleteObject(hBitmap);
        ::DeleteDC(hMemory);
        ::ReleaseDC(NULL, hScreen);
    }

    CLinkParent m_parent;
};

TEST_F(HyperLinkCtrl, TakesItsUrlFromTheTextFitsItAndShowsItInTheTip)
{
    CTestLink link;
    Bind(link, L"http://127.0.0.1/news");
    EXPECT_NE(link.GetStyle() & SS_NOTIFY, 0u);
    EXPECT_TRUE(link.GetURL() == L"http://127.0.0.1/news");
    EXPECT_TRUE(link.GetToolTip().GetText(&link) == L"http://127.0.0.1/news");
    RECT rc;
    link.GetClientRect(&rc);
    EXPECT_GT(rc.right, 0);
    EXPECT_LT(rc.right, 300);

    link.SetURL(L"http://127.0.0.1/other");
    EXPECT_TRUE(link.GetToolTip().GetText(&link) == L"http://127.0.0.1/other");
    CString strText;
    link.GetWindowText(strText);
    EXPECT_TRUE(strText == L"http://127.0.0.1/news");

    CTestLink untitled;
    untitled.SetURL(L"https://127.0.0.1/x");
    Bind(untitled, L"");
    untitled.GetWindowText(strText);
    EXPECT_TRUE(strText == L"https://127.0.0.1/x");
}

TEST_F(HyperLinkCtrl, AClickOpensOnlyWebAddresses)
{
    const struct
    {
        const wchar_t* pszURL;
        bool bOpened;
    } aCases[] = {
        {L"http://127.0.0.1/news", true},
        {L"HTTPS://127.0.0.1/news", true},
        {L"file:///C:/windows/notepad.exe", false},
        {L"mailto:someone@127.0.0.1", false},
        {L"javascript:alert(1)", false},
        {L"C:\\windows\\notepad.exe", false},
    };
    for (const auto& test : aCases)
    {
        SCOPED_TRACE(std::string(test.pszURL, test.pszURL + wcslen(test.pszURL)));
        CTestLink link;
        link.SetNotifyParent(true);
        link.SetURL(test.pszURL);
        Bind(link, L"Click here to get more information...");
        m_parent.m_vecClicked.clear();
        Click(link);
        EXPECT_EQ(link.IsVisited(), test.bOpened);
        EXPECT_EQ(link.m_vecShellCalls.size(), test.bOpened ? 1u : 0u);
        EXPECT_TRUE(link.m_vecCommandLines.empty());
        EXPECT_EQ(m_parent.m_vecClicked, std::vector<WPARAM>{LinkId});
        link.DestroyWindow();
    }
}

TEST_F(HyperLinkCtrl, TheBrowserCommandTakesOverWhenTheShellCannotOpen)
{
    CTestLink link;
    link.SetOpenInNewWindow(true);
    link.m_nShellResult = SE_ERR_NOASSOC;
    link.m_strBrowserCommand = L"\"C:\\b\\browser.exe\" -url \"%1\"";
    link.SetURL(L"http://127.0.0.1/a b\"c");
    Bind(link, L"news");
    Click(link);
    ASSERT_EQ(link.m_vecShellCalls.size(), 1u);
    EXPECT_EQ(link.m_vecShellCalls[0], L"new http://127.0.0.1/a b\"c");
    ASSERT_EQ(link.m_vecCommandLines.size(), 1u);
    EXPECT_EQ(link.m_vecCommandLines[0], "\"C:\\b\\browser.exe\" -url  \"http://127.0.0.1/a b%22c\"");
    EXPECT_TRUE(link.IsVisited());

    CTestLink noBrowser;
    noBrowser.m_nShellResult = SE_ERR_NOASSOC;
    noBrowser.SetURL(L"http://127.0.0.1/x");
    Bind(noBrowser, L"news");
    Click(noBrowser);
    EXPECT_FALSE(noBrowser.IsVisited());

    CTestLink noOpen;
    noOpen.SetOpenOnClick(false);
    noOpen.SetURL(L"javascript:alert(1)");
    Bind(noOpen, L"news");
    Click(noOpen);
    EXPECT_TRUE(noOpen.m_vecShellCalls.empty());
    EXPECT_TRUE(noOpen.IsVisited());
}

TEST_F(HyperLinkCtrl, ColoursAndTheUnderlineWhileHovering)
{
    CTestLink link;
    link.SetURL(L"http://127.0.0.1/news");
    Bind(link, L"WWWWWWWWWW");
    link.SetBackgroundColour(RGB(255, 255, 255));
    int nLink = 0, nVisited = 0, nHover = 0, nRun = 0, nHoverRun = 0;
    Draw(link, link.GetLinkColour(), nLink, nRun);
    EXPECT_GT(nLink, 0);
    RECT rc;
    link.GetClientRect(&rc);
    EXPECT_LT(nRun, rc.right * 3 / 4) << "no underline before hovering";

    link.SetVisited(true);
    Draw(link, link.GetVisitedColour(), nVisited, nRun);
    EXPECT_GT(nVisited, 0);
    Draw(link, link.GetLinkColour(), nLink, nRun);
    EXPECT_EQ(nLink, 0);

    // The cursor is parked away from the link, so that the hover timer ends it.
    ::SetCursorPos(0, 0);
    link.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    ASSERT_TRUE(link.IsHovering());
    Draw(link, link.GetHoverColour(), nHover, nHoverRun);
    EXPECT_GT(nHover, 0);
    EXPECT_GE(nHoverRun, rc.right * 3 / 4) << "the underline spans the text";

    EXPECT_TRUE(PumpUntil([&] { return !link.IsHovering(); }, 5000));
    Draw(link, link.GetVisitedColour(), nVisited, nRun);
    EXPECT_LT(nRun, rc.right * 3 / 4);
}

TEST_F(HyperLinkCtrl, HandCursorWithTheHelpProgramsCursorAsFallback)
{
    CTestLink system;
    Bind(system, L"x");
    EXPECT_EQ(system.GetLinkCursor(), ::LoadCursorW(NULL, IDC_HAND));

    CTestLink none;
    none.m_bSystemHand = false;
    Bind(none, L"x");
    EXPECT_EQ(none.GetLinkCursor(), nullptr);

    wchar_t szSelf[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(NULL, szSelf, MAX_PATH), 0u);
    CTestLink fallback;
    fallback.m_bSystemHand = false;
    fallback.m_strHelpPath = szSelf;
    Bind(fallback, L"x");
    ICONINFO stInfo = {};
    ASSERT_NE(fallback.GetLinkCursor(), nullptr);
    ASSERT_TRUE(::GetIconInfo(fallback.GetLinkCursor(), &stInfo));
    EXPECT_FALSE(stInfo.fIcon);
    EXPECT_EQ(stInfo.xHotspot, 5u);
    EXPECT_EQ(stInfo.yHotspot, 3u);
    if (stInfo.hbmMask != NULL)
        ::DeleteObject(stInfo.hbmMask);
    if (stInfo.hbmColor != NULL)
        ::DeleteObject(stInfo.hbmColor);
}

} // namespace
