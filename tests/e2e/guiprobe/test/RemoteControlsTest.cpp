// The readers of another process's controls, pointed at this process's own windows: the
// memory they allocate "in the target" is then this process's, and every path is the same.
#include "../RemoteControls.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace
{
const std::wstring kLongText(1000, L'x');
// Column 1 of the callback row copies its text; column 2 points the control at its own.
const wchar_t kCopied[] = L"copied on request";
const wchar_t kPointed[] = L"pointed at on request";

LRESULT CALLBACK ParentProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == LVN_GETDISPINFOW)
    {
        NMLVDISPINFOW* pInfo = reinterpret_cast<NMLVDISPINFOW*>(lParam);
        if (pInfo->item.iSubItem == 2)
            pInfo->item.pszText = const_cast<wchar_t*>(kPointed);
        else
            ::lstrcpynW(pInfo->item.pszText, kCopied, pInfo->item.cchTextMax);
        return 0;
    }
    return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
}

class RemoteControlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX stControls = {sizeof(stControls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        ASSERT_TRUE(::InitCommonControlsEx(&stControls));
        WNDCLASSW stClass = {};
        stClass.lpfnWndProc = ParentProc;
        stClass.hInstance = ::GetModuleHandleW(nullptr);
        stClass.lpszClassName = L"VfRemoteControlsTest";
        ::RegisterClassW(&stClass);
        m_hParent = ::CreateWindowExW(0, stClass.lpszClassName, L"remote", WS_OVERLAPPEDWINDOW, 0, 0, 500, 300, NULL,
                                      NULL, stClass.hInstance, nullptr);
        ASSERT_NE(nullptr, m_hParent);
        m_hList = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 400, 200,
                                    m_hParent, NULL, stClass.hInstance, nullptr);
        m_hStatus = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, m_hParent, NULL,
                                      stClass.hInstance, nullptr);
        ASSERT_NE(nullptr, m_hList);
        ASSERT_NE(nullptr, m_hStatus);
        DWORD dwError = 0;
        ASSERT_TRUE(m_process.Open(m_hParent, dwError)) << dwError;
    }
    void TearDown() override { ::DestroyWindow(m_hParent); }

    void AddColumns(int nColumns)
    {
        for (int i = 0; i < nColumns; ++i)
        {
            LVCOLUMNW stColumn = {};
            stColumn.mask = LVCF_WIDTH | LVCF_SUBITEM;
            stColumn.cx = 100;
            stColumn.iSubItem = i;
            ASSERT_EQ(i, ::SendMessageW(m_hList, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&stColumn)));
        }
    }
    void AddRow(int nRow, const wchar_t* const* ppTexts, int nColumns)
    {
        LVITEMW stItem = {};
        stItem.mask = LVIF_TEXT;
        stItem.iItem = nRow;
        stItem.pszText = const_cast<wchar_t*>(ppTexts[0]);
        ASSERT_EQ(nRow, ::SendMessageW(m_hList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&stItem)));
        for (stItem.iSubItem = 1; stItem.iSubItem < nColumns; ++stItem.iSubItem)
        {
            stItem.pszText = const_cast<wchar_t*>(ppTexts[stItem.iSubItem]);
            ASSERT_TRUE(::SendMessageW(m_hList, LVM_SETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(&stItem)));
        }
    }
    std::wstring Cell(int nRow, int nColumn)
    {
        std::wstring strText, strError;
        EXPECT_TRUE(CRemoteList(m_process, m_hList).Cell(nRow, nColumn, strText, strError))
            << std::string(strError.begin(), strError.end());
        return strText;
    }

    HWND m_hParent = NULL;
    HWND m_hList = NULL;
    HWND m_hStatus = NULL;
    CTargetProcess m_process;
};

TEST_F(RemoteControlsTest, CellsHeldAnsweredOnRequestAndLongerThanTheFirstBuffer)
{
    AddColumns(3);
    const wchar_t* const aHeld[3] = {L"C:\\", L"", kLongText.c_str()};
    const wchar_t* const aCallback[3] = {LPSTR_TEXTCALLBACKW, LPSTR_TEXTCALLBACKW, LPSTR_TEXTCALLBACKW};
    AddRow(0, aHeld, 3);
    AddRow(1, aCallback, 3);

    CRemoteList list(m_process, m_hList);
    int nRows = 0, nColumns = 0;
    ASSERT_TRUE(list.RowCount(nRows));
    ASSERT_TRUE(list.ColumnCount(nColumns));
    EXPECT_EQ(2, nRows);
    EXPECT_EQ(3, nColumns);
    EXPECT_EQ(L"C:\\", Cell(0, 0));
    EXPECT_EQ(L"", Cell(0, 1));
    EXPECT_EQ(kLongText, Cell(0, 2));
    EXPECT_EQ(kCopied, Cell(1, 1));
    EXPECT_EQ(kPointed, Cell(1, 2));
}

TEST_F(RemoteControlsTest, StatusPanesAndTheSimpleMode)
{
    int aEdges[2] = {100, -1};
    ASSERT_TRUE(::SendMessageW(m_hStatus, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(aEdges)));
    ASSERT_TRUE(::SendMessageW(m_hStatus, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(kLongText.c_str())));
    CRemoteStatusBar bar(m_process, m_hStatus);
    int nPanes = 0;
    std::wstring strText, strError;
    ASSERT_TRUE(bar.PaneCount(nPanes));
    EXPECT_EQ(2, nPanes);
    ASSERT_TRUE(bar.Pane(0, strText, strError));
    EXPECT_EQ(L"", strText);
    ASSERT_TRUE(bar.Pane(1, strText, strError));
    EXPECT_EQ(kLongText, strText);

    ::SendMessageW(m_hStatus, SB_SIMPLE, TRUE, 0);
    ASSERT_TRUE(bar.PaneCount(nPanes));
    EXPECT_EQ(1, nPanes);
}

TEST_F(RemoteControlsTest, WindowTextsAndChildren)
{
    std::wstring strText;
    ASSERT_TRUE(ReadWindowText(m_hParent, strText));
    EXPECT_EQ(L"remote", strText);
    // A child counts as visible only while its parent is.
    EXPECT_EQ(nullptr, FindVisibleChild(m_hParent, WC_LISTVIEWW));
    ::ShowWindow(m_hParent, SW_SHOWNOACTIVATE);
    EXPECT_EQ(m_hList, FindVisibleChild(m_hParent, WC_LISTVIEWW));
    ::ShowWindow(m_hList, SW_HIDE);
    EXPECT_EQ(nullptr, FindVisibleChild(m_hParent, WC_LISTVIEWW));
}

TEST_F(RemoteControlsTest, ControlsAreFoundByIdInsideBars)
{
    // A combo box in a bar, as the program's strategy box sits in its toolbar.
    HWND hBar = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 300, 30, m_hParent,
                                  reinterpret_cast<HMENU>(59392), NULL, nullptr);
    HWND hCombo = ::CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 0, 0, 150, 100,
                                    hBar, reinterpret_cast<HMENU>(32827), NULL, nullptr);
    ASSERT_NE(nullptr, hCombo);
    ::ShowWindow(m_hParent, SW_SHOWNOACTIVATE);
    EXPECT_EQ(hCombo, FindDescendant(m_hParent, 32827));
    EXPECT_EQ(hBar, FindDescendant(m_hParent, 59392));
    EXPECT_EQ(nullptr, FindDescendant(m_hParent, 32828));
    ::ShowWindow(hBar, SW_HIDE);
    EXPECT_EQ(nullptr, FindDescendant(m_hParent, 32827));
}

TEST_F(RemoteControlsTest, TextsAreReadUpToTheirEndOrTheBound)
{
    std::wstring strText;
    ASSERT_TRUE(m_process.ReadText(kLongText.c_str(), 5000, strText));
    EXPECT_EQ(kLongText, strText);
    ASSERT_TRUE(m_process.ReadText(kLongText.c_str(), 10, strText));
    EXPECT_EQ(std::wstring(10, L'x'), strText);
    EXPECT_FALSE(m_process.ReadText(nullptr, 10, strText));
}
} // namespace
