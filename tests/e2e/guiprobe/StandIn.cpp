// A small graphical program that the GUI harness drives in place of the real ones: a frame
// with a menu, a report list of four drives (the last answered on request, as lists with text
// callbacks are), a status bar of two panes, accelerators F5 and Ctrl+Break, a modeless
// dialog, a context menu, and a command that crashes.
#include "StandInIds.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace
{
const wchar_t kFrameClass[] = L"VfStandInFrame";
const wchar_t kFrameTitle[] = L"Varnefold stand-in";

// Rows 0 to 2 hold their texts; row 3 is answered through LVN_GETDISPINFOW.
const wchar_t* const kRows[3][3] = {
    {L"C:\\", L"", L"3 %"}, {L"D:\\", L"Monitoring", L"12 %"}, {L"E:\\", L"Faulty", L""}};
const wchar_t* const kCallbackRow[3] = {L"F:\\", L"Answered on request", L"40 %"};
const int kCallbackRowIndex = 3;

class CStandInFrame
{
public:
    bool Create(HINSTANCE hInstance);
    HWND Frame() const { return m_hWnd; }
    HWND Dialog() const { return m_hDialog; }

private:
    static LRESULT CALLBACK FrameProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);
    bool CreateChildren();
    void OnCommand(UINT nId);
    void OnSize(int cx, int cy);
    void AnswerCell(NMLVDISPINFOW* pInfo);
    void SetCell(int nRow, int nColumn, const wchar_t* pszText);
    void ShowAnalyzeDialog();
    void ShowContextMenu();

    HINSTANCE m_hInstance = NULL;
    HWND m_hWnd = NULL;
    HWND m_hList = NULL;
    HWND m_hStatus = NULL;
    HWND m_hDialog = NULL;
};

CStandInFrame* g_pFrame = nullptr;

bool CStandInFrame::Create(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    WNDCLASSW stClass = {};
    stClass.lpfnWndProc = FrameProc;
    stClass.hInstance = hInstance;
    stClass.hCursor = ::LoadCursorW(NULL, IDC_ARROW);
    stClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    stClass.lpszMenuName = MAKEINTRESOURCEW(IDR_STANDIN);
    stClass.lpszClassName = kFrameClass;
    if (::RegisterClassW(&stClass) == 0)
        return false;
    m_hWnd = ::CreateWindowExW(0, kFrameClass, kFrameTitle, WS_OVERLAPPEDWINDOW, 40, 40, 640, 420, NULL, NULL,
                               hInstance, nullptr);
    if (m_hWnd == NULL)
        return false;
    RECT rcClient = {};
    if (!CreateChildren() || !::GetClientRect(m_hWnd, &rcClient))
        return false;
    // The size sent while the window was made came before the children.
    OnSize(rcClient.right, rcClient.bottom);
    ::ShowWindow(m_hWnd, SW_SHOW);
    return ::UpdateWindow(m_hWnd) != FALSE;
}

bool CStandInFrame::CreateChildren()
{
    m_hStatus = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"Ready", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                  m_hWnd, reinterpret_cast<HMENU>(IDW_STATUS_BAR), m_hInstance, nullptr);
    m_hList = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 10, 10, m_hWnd,
                                reinterpret_cast<HMENU>(IDW_LIST), m_hInstance, nullptr);
    if (m_hStatus == NULL || m_hList == NULL)
        return false;
    int aPaneEdges[2] = {300, -1};
    ::SendMessageW(m_hStatus, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(aPaneEdges));
    ::SendMessageW(m_hStatus, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"Ready"));
    ::SendMessageW(m_hStatus, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"4 volumes"));
    ::SendMessageW(m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);

    const wchar_t* const aColumns[3] = {L"Drive", L"Status", L"Fragmented"};
    for (int nColumn = 0; nColumn < 3; ++nColumn)
    {
        LVCOLUMNW stColumn = {};
        stColumn.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        stColumn.pszText = const_cast<wchar_t*>(aColumns[nColumn]);
        stColumn.cx = 180;
        stColumn.iSubItem = nColumn;
        if (::SendMessageW(m_hList, LVM_INSERTCOLUMNW, nColumn, reinterpret_cast<LPARAM>(&stColumn)) != nColumn)
            return false;
    }
    for (int nRow = 0; nRow <= kCallbackRowIndex; ++nRow)
    {
        LVITEMW stItem = {};
        stItem.mask = LVIF_TEXT;
        stItem.iItem = nRow;
        stItem.pszText = nRow == kCallbackRowIndex ? LPSTR_TEXTCALLBACKW : const_cast<wchar_t*>(kRows[nRow][0]);
        if (::SendMessageW(m_hList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&stItem)) != nRow)
            return false;
        for (int nColumn = 1; nColumn < 3; ++nColumn)
            SetCell(nRow, nColumn, nRow == kCallbackRowIndex ? LPSTR_TEXTCALLBACKW : kRows[nRow][nColumn]);
    }
    return true;
}

void CStandInFrame::SetCell(int nRow, int nColumn, const wchar_t* pszText)
{
    LVITEMW stItem = {};
    stItem.iSubItem = nColumn;
    stItem.pszText = const_cast<wchar_t*>(pszText);
    ::SendMessageW(m_hList, LVM_SETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(&stItem));
}

// A list may answer either way: copy the text into the control's buffer, or point the
// control at text of its own. The last column takes the second way, so that a reader of
// the list meets both.
void CStandInFrame::AnswerCell(NMLVDISPINFOW* pInfo)
{
    if (!(pInfo->item.mask & LVIF_TEXT) || pInfo->item.iItem != kCallbackRowIndex || pInfo->item.iSubItem < 0 ||
        pInfo->item.iSubItem > 2)
        return;
    const wchar_t* pszText = kCallbackRow[pInfo->item.iSubItem];
    if (pInfo->item.iSubItem == 2)
        pInfo->item.pszText = const_cast<wchar_t*>(pszText);
    else if (pInfo->item.pszText != nullptr && pInfo->item.cchTextMax > 0)
        ::lstrcpynW(pInfo->item.pszText, pszText, pInfo->item.cchTextMax);
}

void CStandInFrame::OnSize(int cx, int cy)
{
    ::SendMessageW(m_hStatus, WM_SIZE, 0, 0);
    RECT rcStatus = {};
    ::GetWindowRect(m_hStatus, &rcStatus);
    ::MoveWindow(m_hList, 0, 0, cx, cy - (rcStatus.bottom - rcStatus.top), TRUE);
}

void CStandInFrame::ShowAnalyzeDialog()
{
    if (m_hDialog == NULL)
        m_hDialog = ::CreateDialogParamW(m_hInstance, MAKEINTRESOURCEW(IDD_ANALYZE), m_hWnd, DialogProc, 0);
    if (m_hDialog != NULL)
        ::ShowWindow(m_hDialog, SW_SHOW);
}

void CStandInFrame::ShowContextMenu()
{
    HMENU hMenu = ::LoadMenuW(m_hInstance, MAKEINTRESOURCEW(IDR_CONTEXT));
    if (hMenu == NULL)
        return;
    // A popup whose owner is not the foreground window does not close when the user
    // clicks elsewhere.
    ::SetForegroundWindow(m_hWnd);
    UINT nChosen = ::TrackPopupMenu(::GetSubMenu(hMenu, 0), TPM_RETURNCMD | TPM_RIGHTBUTTON, 240, 180, 0, m_hWnd,
                                    nullptr);
    ::DestroyMenu(hMenu);
    if (nChosen != 0)
        ::PostMessageW(m_hWnd, WM_COMMAND, nChosen, 0);
}

void CStandInFrame::OnCommand(UINT nId)
{
    switch (nId)
    {
    case ID_ANALYZE:
        SetCell(1, 1, L"Analyzing 100%");
        ::SendMessageW(m_hStatus, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"Analysis of D:\\ finished"));
        ShowAnalyzeDialog();
        break;
    case ID_STOP:
        SetCell(0, 1, L"Stopped");
        break;
    case ID_CONTEXT_MENU:
        ShowContextMenu();
        break;
    case ID_CRASH:
    {
        // A write through a null pointer: the harness must report the crash at once.
        volatile int* pNowhere = nullptr;
        *pNowhere = 1;
        break;
    }
    case ID_APP_EXIT:
        ::DestroyWindow(m_hWnd);
        break;
    }
}

LRESULT CStandInFrame::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    switch (nMsg)
    {
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lParam)->code == LVN_GETDISPINFOW)
            AnswerCell(reinterpret_cast<NMLVDISPINFOW*>(lParam));
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(m_hWnd, nMsg, wParam, lParam);
}

LRESULT CALLBACK CStandInFrame::FrameProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    // Messages sent during CreateWindowEx come before m_hWnd is known.
    if (g_pFrame == nullptr || g_pFrame->m_hWnd != hWnd)
        return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
    return g_pFrame->OnMessage(nMsg, wParam, lParam);
}

// Two pages on the tab control and a check box that the tab itself holds, as a dialog whose
// pages' controls live on its tab control has them.
void AddPages(HWND hTab)
{
    if (hTab == NULL)
        return;
    const wchar_t* apszPages[] = {L"One", L"Two"};
    for (int nPage = 0; nPage < 2; ++nPage)
    {
        TCITEMW stItem = {};
        stItem.mask = TCIF_TEXT;
        stItem.pszText = const_cast<wchar_t*>(apszPages[nPage]);
        ::SendMessageW(hTab, TCM_INSERTITEMW, nPage, reinterpret_cast<LPARAM>(&stItem));
    }
    HWND hMark = ::CreateWindowExW(0, L"BUTTON", L"Mark", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 8, 26,
                                   80, 18, hTab, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MARK)), NULL, NULL);
    if (hMark != NULL)
        ::SendMessageW(hMark, WM_SETFONT, ::SendMessageW(hTab, WM_GETFONT, 0, 0), FALSE);
}

// Close hides the dialog and puts the note typed into it into the list, so that a
// driver can see both the typed text and the click; a ticked box inside the tab control
// is noted after it.
INT_PTR CALLBACK CStandInFrame::DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM)
{
    if (nMsg == WM_INITDIALOG)
    {
        AddPages(::GetDlgItem(hWnd, IDC_PAGES));
        return TRUE;
    }
    if (nMsg != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL))
        return FALSE;
    wchar_t szNote[128] = {};
    ::GetDlgItemTextW(hWnd, IDC_NOTE, szNote, ARRAYSIZE(szNote));
    std::wstring strNote = szNote;
    HWND hMark = ::GetDlgItem(::GetDlgItem(hWnd, IDC_PAGES), IDC_MARK);
    if (hMark != NULL && ::SendMessageW(hMark, BM_GETCHECK, 0, 0) == BST_CHECKED)
        strNote += L" (marked)";
    if (LOWORD(wParam) == IDOK && g_pFrame != nullptr)
        g_pFrame->SetCell(2, 1, strNote.c_str());
    ::ShowWindow(hWnd, SW_HIDE);
    return TRUE;
}
} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX stControls = {sizeof(stControls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
    if (!::InitCommonControlsEx(&stControls))
        return 1;
    CStandInFrame frame;
    g_pFrame = &frame;
    HACCEL hAccel = ::LoadAcceleratorsW(hInstance, MAKEINTRESOURCEW(IDR_STANDIN));
    if (hAccel == NULL || !frame.Create(hInstance))
        return 1;
    MSG stMsg;
    while (::GetMessageW(&stMsg, NULL, 0, 0) > 0)
    {
        if (::TranslateAcceleratorW(frame.Frame(), hAccel, &stMsg))
            continue;
        if (frame.Dialog() != NULL && ::IsDialogMessageW(frame.Dialog(), &stMsg))
            continue;
        ::TranslateMessage(&stMsg);
        ::DispatchMessageW(&stMsg);
    }
    ::DestroyAcceleratorTable(hAccel);
    g_pFrame = nullptr;
    return static_cast<int>(stMsg.wParam);
}
