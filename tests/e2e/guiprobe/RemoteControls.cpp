#include "RemoteControls.h"

#include <commctrl.h>

#include <vector>

namespace
{
// Long enough for a busy program on a loaded machine; a program that does not answer a
// message in this time is hung.
const UINT kSendBoundMs = 10000;
// The longest cell text read; a longer one is cut here.
const int kLongestCell = 32768;

struct CHILD_SEARCH
{
    const wchar_t* pszClass;
    HWND hFound;
    UINT nId;
};

BOOL CALLBACK MatchChild(HWND hWnd, LPARAM lParam)
{
    CHILD_SEARCH* pSearch = reinterpret_cast<CHILD_SEARCH*>(lParam);
    wchar_t szClass[64] = {};
    bool bMatch = pSearch->pszClass != nullptr
                      ? ::GetClassNameW(hWnd, szClass, ARRAYSIZE(szClass)) > 0 &&
                            ::lstrcmpiW(szClass, pSearch->pszClass) == 0
                      : static_cast<UINT>(::GetDlgCtrlID(hWnd)) == pSearch->nId;
    if (bMatch && ::IsWindowVisible(hWnd))
    {
        pSearch->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}
} // namespace

bool SendBounded(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    DWORD_PTR dwResult = 0;
    if (!::SendMessageTimeoutW(hWnd, nMsg, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendBoundMs, &dwResult))
        return false;
    lResult = static_cast<LRESULT>(dwResult);
    return true;
}

bool ReadWindowText(HWND hWnd, std::wstring& strText)
{
    LRESULT lLength = 0;
    if (!SendBounded(hWnd, WM_GETTEXTLENGTH, 0, 0, lLength) || lLength < 0 || lLength > kLongestCell)
        return false;
    std::vector<wchar_t> buffer(static_cast<size_t>(lLength) + 1);
    LRESULT lCopied = 0;
    if (!SendBounded(hWnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), lCopied) ||
        lCopied < 0 || lCopied > lLength)
        return false;
    strText.assign(buffer.data(), static_cast<size_t>(lCopied));
    return true;
}

HWND FindVisibleChild(HWND hParent, const wchar_t* pszClass)
{
    CHILD_SEARCH stSearch = {pszClass, NULL, 0};
    ::EnumChildWindows(hParent, MatchChild, reinterpret_cast<LPARAM>(&stSearch));
    return stSearch.hFound;
}

HWND FindDescendant(HWND hParent, UINT nId)
{
    CHILD_SEARCH stSearch = {nullptr, NULL, nId};
    ::EnumChildWindows(hParent, MatchChild, reinterpret_cast<LPARAM>(&stSearch));
    return stSearch.hFound;
}

bool CRemoteList::RowCount(int& nRows) const
{
    LRESULT lCount = 0;
    if (!SendBounded(m_hList, LVM_GETITEMCOUNT, 0, 0, lCount) || lCount < 0)
        return false;
    nRows = static_cast<int>(lCount);
    return true;
}

bool CRemoteList::RowRect(int nRow, RECT& rc) const
{
    CRemoteBuffer buffer(m_process, sizeof(RECT));
    RECT stAsk = {LVIR_BOUNDS, 0, 0, 0};
    LRESULT lResult = 0;
    return buffer.Allocated() && buffer.Write(0, &stAsk, sizeof(stAsk)) &&
           SendBounded(m_hList, LVM_GETITEMRECT, nRow, reinterpret_cast<LPARAM>(buffer.At(0)), lResult) &&
           lResult != 0 && buffer.Read(0, &rc, sizeof(rc));
}

bool CRemoteList::ColumnCount(int& nColumns) const
{
    LRESULT lHeader = 0, lCount = 0;
    if (!SendBounded(m_hList, LVM_GETHEADER, 0, 0, lHeader))
        return false;
    HWND hHeader = reinterpret_cast<HWND>(lHeader);
    if (hHeader == NULL)
    {
        nColumns = 1;
        return true;
    }
    if (!SendBounded(hHeader, HDM_GETITEMCOUNT, 0, 0, lCount) || lCount < 0)
        return false;
    nColumns = lCount == 0 ? 1 : static_cast<int>(lCount);
    return true;
}

// The item record and the text buffer lie in one block in the target. Wine's list copies
// the text into the buffer even when the program answers LVN_GETDISPINFOW by pointing at
// text of its own; the record is read back all the same, since a list that hands that
// pointer on would otherwise read as empty. A text that fills the buffer may be cut, so
// the buffer grows until it does not.
bool CRemoteList::Cell(int nRow, int nColumn, std::wstring& strText, std::wstring& strError) const
{
    for (int nChars = 256;; nChars *= 2)
    {
        CRemoteBuffer buffer(m_process, sizeof(LVITEMW) + nChars * sizeof(wchar_t));
        if (!buffer.Allocated())
        {
            strError = L"cannot allocate memory in the program (error " + std::to_wstring(::GetLastError()) + L")";
            return false;
        }
        wchar_t* pRemoteText = reinterpret_cast<wchar_t*>(buffer.At(sizeof(LVITEMW)));
        LVITEMW stItem = {};
        stItem.iSubItem = nColumn;
        stItem.cchTextMax = nChars;
        stItem.pszText = pRemoteText;
        wchar_t chNothing = L'\0';
        LRESULT lLength = 0;
        if (!buffer.Write(0, &stItem, sizeof(stItem)) ||
            !buffer.Write(sizeof(LVITEMW), &chNothing, sizeof(chNothing)) ||
            !SendBounded(m_hList, LVM_GETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(buffer.At(0)), lLength) ||
            !buffer.Read(0, &stItem, sizeof(stItem)))
        {
            strError = L"the list did not answer LVM_GETITEMTEXTW";
            return false;
        }
        if (stItem.pszText != pRemoteText)
        {
            if (stItem.pszText == nullptr || stItem.pszText == LPSTR_TEXTCALLBACKW)
            {
                strText.clear();
                return true;
            }
            if (m_process.ReadText(stItem.pszText, kLongestCell, strText))
                return true;
            strError = L"the program answered with text that cannot be read";
            return false;
        }
        if (!m_process.ReadText(pRemoteText, nChars - 1, strText))
        {
            strError = L"cannot read the cell back from the program";
            return false;
        }
        if (static_cast<int>(strText.size()) < nChars - 1 || nChars >= kLongestCell)
            return true;
    }
}

bool CRemoteStatusBar::PaneCount(int& nPanes) const
{
    LRESULT lSimple = 0, lPanes = 0;
    if (!SendBounded(m_hStatus, SB_ISSIMPLE, 0, 0, lSimple) || !SendBounded(m_hStatus, SB_GETPARTS, 0, 0, lPanes) ||
        lPanes < 0)
        return false;
    // A simple bar shows one text whatever its parts are.
    nPanes = lSimple ? 1 : static_cast<int>(lPanes);
    return true;
}

bool CRemoteStatusBar::Pane(int nPane, std::wstring& strText, std::wstring& strError) const
{
    LRESULT lLength = 0;
    if (!SendBounded(m_hStatus, SB_GETTEXTLENGTHW, nPane, 0, lLength))
    {
        strError = L"the status bar did not answer SB_GETTEXTLENGTHW";
        return false;
    }
    size_t nChars = static_cast<size_t>(LOWORD(lLength)) + 1;
    CRemoteBuffer buffer(m_process, nChars * sizeof(wchar_t));
    wchar_t chNothing = L'\0';
    LRESULT lResult = 0;
    if (!buffer.Allocated() || !buffer.Write(0, &chNothing, sizeof(chNothing)))
    {
        strError = L"cannot allocate memory in the program (error " + std::to_wstring(::GetLastError()) + L")";
        return false;
    }
    if (!SendBounded(m_hStatus, SB_GETTEXTW, nPane, reinterpret_cast<LPARAM>(buffer.At(0)), lResult))
    {
        strError = L"the status bar did not answer SB_GETTEXTW";
        return false;
    }
    std::vector<wchar_t> text(nChars);
    if (!buffer.Read(0, text.data(), nChars * sizeof(wchar_t)))
    {
        strError = L"cannot read the pane back from the program";
        return false;
    }
    text.back() = L'\0';
    strText = text.data();
    return true;
}
