#include "classlib/ToolBar.h"

#include "classlib/BarCmdUI.h"
#include "classlib/FrameWnd.h"
#include "classlib/WinApp.h"

#include <algorithm>

namespace
{
const wchar_t* const ToolBarResourceType = MAKEINTRESOURCEW(241);
// The only layout of the resource there is: version, image width, image
// height, button count, then one id per button.
constexpr WORD ToolBarResourceVersion = 1;
constexpr int ToolBarHeaderWords = 4;
// A separator that names no width of its own.
constexpr int DefaultSeparatorWidth = 8;
// A button is its image and the control's edges around it.
constexpr int ButtonEdges = 7;
constexpr int StretchLength = 32767;

bool IsSeparator(const TBBUTTON& stButton)
{
    return (stButton.fsStyle & TBSTYLE_SEP) != 0;
}

int SeparatorWidth(const TBBUTTON& stButton)
{
    return stButton.iBitmap > 0 ? stButton.iBitmap : DefaultSeparatorWidth;
}

BYTE StateOfStyle(UINT nStyle)
{
    return static_cast<BYTE>(HIWORD(nStyle) ^ TBSTATE_ENABLED);
}
} // namespace

CToolBar::CToolBar() : m_bDelayedButtonLayout(true), m_sizeButton(23, 22), m_sizeImage(16, 15)
{
    m_cxLeftBorder = 2;
    m_cxRightBorder = 2;
    m_cyTopBorder = 2;
    m_cyBottomBorder = 2;
}

BOOL CToolBar::Create(CWnd* pParent, DWORD dwStyle, UINT nID, DWORD dwCtrlStyle)
{
    // The frame's layout places and sizes the bar, not the control itself.
    DWORD dwWindowStyle = (dwStyle & ~CBRS_ALL) | (dwCtrlStyle & 0xFFFF) | CCS_NOPARENTALIGN | CCS_NORESIZE |
                          CCS_NODIVIDER;
    if (dwStyle & CBRS_TOOLTIPS)
        dwWindowStyle |= TBSTYLE_TOOLTIPS;
    if (!CreateEx(0, TOOLBARCLASSNAMEW, nullptr, dwWindowStyle, CRect(0, 0, 0, 0), pParent, nID))
        return FALSE;
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    SetSizes(m_sizeButton, m_sizeImage);
    SetBarStyle(dwStyle & CBRS_ALL);
    return TRUE;
}

BOOL CToolBar::LoadToolBar(UINT nID, UINT nBitmapID)
{
    const wchar_t* pszName = MAKEINTRESOURCEW(nID);
    HINSTANCE hModule = CWinApp::FindResourceModule(pszName, ToolBarResourceType);
    HRSRC hFound = ::FindResourceW(hModule, pszName, ToolBarResourceType);
    HGLOBAL hLoaded = hFound != NULL ? ::LoadResource(hModule, hFound) : NULL;
    const WORD* pWords = hLoaded != NULL ? static_cast<const WORD*>(::LockResource(hLoaded)) : nullptr;
    if (pWords == nullptr)
        return FALSE;
    DWORD cbSize = ::SizeofResource(hModule, hFound);
    if (cbSize < ToolBarHeaderWords * sizeof(WORD) || pWords[0] != ToolBarResourceVersion)
        return FALSE;
    size_t nCount = pWords[3];
    if (cbSize < (ToolBarHeaderWords + nCount) * sizeof(WORD) || pWords[1] == 0 || pWords[2] == 0)
        return FALSE;
    std::vector<UINT> ids(pWords + ToolBarHeaderWords, pWords + ToolBarHeaderWords + nCount);
    int nImages = static_cast<int>(std::count_if(ids.begin(), ids.end(), [](UINT n) { return n != 0; }));

    const wchar_t* pszBitmap = MAKEINTRESOURCEW(nBitmapID);
    HINSTANCE hBitmapModule = CWinApp::FindResourceModule(pszBitmap, RT_BITMAP);
    if (::FindResourceW(hBitmapModule, pszBitmap, RT_BITMAP) == NULL)
        return FALSE;
    SetSizes(CSize(pWords[1] + ButtonEdges, pWords[2] + ButtonEdges), CSize(pWords[1], pWords[2]));
    if (!SetButtons(ids.data(), static_cast<int>(ids.size())))
        return FALSE;
    // Through the window, so that a derived bar sees the bitmap arrive.
    TBADDBITMAP stBitmap = {hBitmapModule, nBitmapID};
    return SendMessage(TB_ADDBITMAP, std::max(1, nImages), reinterpret_cast<LPARAM>(&stBitmap)) != -1;
}

BOOL CToolBar::SetButtons(const UINT* pIDs, int nCount)
{
    if (nCount < 0 || (nCount > 0 && pIDs == nullptr))
        return FALSE;
    for (int i = GetCount() - 1; i >= 0; --i)
        SendMessage(TB_DELETEBUTTON, i);
    std::vector<TBBUTTON> buttons(static_cast<size_t>(nCount));
    int iImage = 0;
    for (int i = 0; i < nCount; ++i)
    {
        TBBUTTON& stButton = buttons[i];
        stButton.idCommand = static_cast<int>(pIDs[i]);
        stButton.iString = -1;
        if (pIDs[i] == 0)
        {
            stButton.fsStyle = TBSTYLE_SEP;
            stButton.fsState = TBSTATE_ENABLED;
            stButton.iBitmap = DefaultSeparatorWidth;
        }
        else
        {
            stButton.fsStyle = TBSTYLE_BUTTON;
            stButton.fsState = TBSTATE_ENABLED;
            stButton.iBitmap = iImage++;
        }
    }
    m_bDelayedButtonLayout = true;
    return nCount == 0 || SendMessage(TB_ADDBUTTONSW, nCount, reinterpret_cast<LPARAM>(buttons.data())) != FALSE;
}

void CToolBar::SetSizes(SIZE sizeButton, SIZE sizeImage)
{
    m_sizeButton = sizeButton;
    m_sizeImage = sizeImage;
    if (m_hWnd == NULL)
        return;
    SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(sizeImage.cx, sizeImage.cy));
    SendMessage(TB_SETBUTTONSIZE, 0, MAKELPARAM(sizeButton.cx, sizeButton.cy));
    m_bDelayedButtonLayout = true;
    Invalidate();
}

int CToolBar::GetCount() const
{
    return m_hWnd != NULL ? static_cast<int>(SendMessage(TB_BUTTONCOUNT)) : 0;
}

BOOL CToolBar::QueryButton(int nIndex, TBBUTTON& stButton) const
{
    stButton = TBBUTTON();
    return SendMessage(TB_GETBUTTON, nIndex, reinterpret_cast<LPARAM>(&stButton)) != FALSE;
}

std::vector<TBBUTTON> CToolBar::QueryButtons() const
{
    std::vector<TBBUTTON> buttons(static_cast<size_t>(std::max(0, GetCount())));
    for (size_t i = 0; i < buttons.size(); ++i)
        QueryButton(static_cast<int>(i), buttons[i]);
    return buttons;
}

int CToolBar::CommandToIndex(UINT nID) const
{
    int nCount = GetCount();
    for (int i = 0; i < nCount; ++i)
    {
        TBBUTTON stButton;
        if (QueryButton(i, stButton) && static_cast<UINT>(stButton.idCommand) == nID)
            return i;
    }
    return -1;
}

UINT CToolBar::GetItemID(int nIndex) const
{
    TBBUTTON stButton;
    return QueryButton(nIndex, stButton) ? static_cast<UINT>(stButton.idCommand) : 0;
}

void CToolBar::GetItemRect(int nIndex, LPRECT pRect) const
{
    if (!SendMessage(TB_GETITEMRECT, nIndex, reinterpret_cast<LPARAM>(pRect)))
        ::SetRectEmpty(pRect);
}

void CToolBar::GetButtonInfo(int nIndex, UINT& nID, UINT& nStyle, int& iImage) const
{
    TBBUTTON stButton;
    if (!QueryButton(nIndex, stButton))
    {
        nID = 0;
        nStyle = 0;
        iImage = 0;
        return;
    }
    nID = static_cast<UINT>(stButton.idCommand);
    nStyle = MAKELONG(stButton.fsStyle, stButton.fsState ^ TBSTATE_ENABLED);
    iImage = stButton.iBitmap;
}

void CToolBar::SetButtonInfo(int nIndex, UINT nID, UINT nStyle, int iImage)
{
    TBBUTTON stButton;
    if (!QueryButton(nIndex, stButton))
        return;
    TBBUTTON stNew = stButton;
    stNew.idCommand = static_cast<int>(nID);
    stNew.fsStyle = static_cast<BYTE>(LOWORD(nStyle));
    stNew.fsState = StateOfStyle(nStyle);
    stNew.iBitmap = iImage;
    if (stNew.idCommand == stButton.idCommand && stNew.fsStyle == stButton.fsStyle &&
        stNew.iBitmap == stButton.iBitmap)
    {
        SetButtonStyle(nIndex, nStyle);
        return;
    }
    // Another kind, id or width: the control takes that only as a new button.
    SendMessage(TB_DELETEBUTTON, nIndex);
    SendMessage(TB_INSERTBUTTONW, nIndex, reinterpret_cast<LPARAM>(&stNew));
    m_bDelayedButtonLayout = true;
    Invalidate();
}

UINT CToolBar::GetButtonStyle(int nIndex) const
{
    UINT nID = 0;
    UINT nStyle = 0;
    int iImage = 0;
    GetButtonInfo(nIndex, nID, nStyle, iImage);
    return nStyle;
}

void CToolBar::SetButtonStyle(int nIndex, UINT nStyle)
{
    TBBUTTON stButton;
    if (!QueryButton(nIndex, stButton))
        return;
    if (stButton.fsStyle != static_cast<BYTE>(LOWORD(nStyle)))
    {
        SetButtonInfo(nIndex, static_cast<UINT>(stButton.idCommand), nStyle, stButton.iBitmap);
        return;
    }
    TBBUTTONINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.dwMask = TBIF_BYINDEX | TBIF_STATE;
    stInfo.fsState = StateOfStyle(nStyle);
    SendMessage(TB_SETBUTTONINFOW, nIndex, reinterpret_cast<LPARAM>(&stInfo));
}

CSize CToolBar::WrapButtons(std::vector<TBBUTTON>& buttons, int nLength, DWORD dwMode) const
{
    bool bVert = (dwMode & LM_VERTDOCK) != 0;
    bool bWrapAtLength = !bVert && !(dwMode & LM_HORZDOCK);
    int nMaxWidth = bWrapAtLength ? std::max(nLength, static_cast<int>(m_sizeButton.cx)) : StretchLength;
    int x = 0;
    TBBUTTON* pLast = nullptr;
    for (TBBUTTON& stButton : buttons)
    {
        stButton.fsState &= ~TBSTATE_WRAP;
        if (stButton.fsState & TBSTATE_HIDDEN)
            continue;
        int cx = IsSeparator(stButton) ? SeparatorWidth(stButton) : m_sizeButton.cx;
        if (bVert)
        {
            // One button a row; a separator ends its button's row instead,
            // which the control shows as a gap below it.
            if (IsSeparator(stButton) && pLast != nullptr)
                pLast->fsState &= ~TBSTATE_WRAP;
            stButton.fsState |= TBSTATE_WRAP;
        }
        else if (bWrapAtLength && x > 0 && x + cx > nMaxWidth && !IsSeparator(stButton))
        {
            pLast->fsState |= TBSTATE_WRAP;
            x = 0;
        }
        x += cx;
        pLast = &stButton;
    }

    // The rows as the control lays them out: a row that a separator ends
    // is followed by two thirds of the separator's width.
    CSize size;
    x = 0;
    bool bOpenRow = false;
    for (const TBBUTTON& stButton : buttons)
    {
        if (stButton.fsState & TBSTATE_HIDDEN)
            continue;
        bool bWrap = (stButton.fsState & TBSTATE_WRAP) != 0;
        if (!IsSeparator(stButton))
            x += m_sizeButton.cx;
        else if (!bWrap && !bVert)
            x += SeparatorWidth(stButton);
        size.cx = std::max(size.cx, static_cast<LONG>(x));
        bOpenRow = true;
        if (bWrap)
        {
            size.cy += m_sizeButton.cy + (IsSeparator(stButton) ? SeparatorWidth(stButton) * 2 / 3 : 0);
            x = 0;
            bOpenRow = false;
        }
    }
    if (bOpenRow)
        size.cy += m_sizeButton.cy;
    return size;
}

void CToolBar::CommitWraps(const std::vector<TBBUTTON>& buttons)
{
    bool bChanged = false;
    for (size_t i = 0; i < buttons.size(); ++i)
    {
        // The control's own record: a derived bar may answer TB_GETBUTTON
        // with states it only shows to the layout.
        TBBUTTON stActual = {};
        if (!CWnd::DefWindowProc(TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&stActual)))
            continue;
        BYTE fsState = static_cast<BYTE>((stActual.fsState & ~TBSTATE_WRAP) | (buttons[i].fsState & TBSTATE_WRAP));
        if (fsState == stActual.fsState)
            continue;
        TBBUTTONINFOW stInfo = {};
        stInfo.cbSize = sizeof(stInfo);
        stInfo.dwMask = TBIF_BYINDEX | TBIF_STATE;
        stInfo.fsState = fsState;
        CWnd::DefWindowProc(TB_SETBUTTONINFOW, i, reinterpret_cast<LPARAM>(&stInfo));
        bChanged = true;
    }
    if (bChanged)
    {
        // Row breaks alone do not make the control place its buttons again.
        CWnd::DefWindowProc(TB_AUTOSIZE, 0, 0);
        Invalidate();
    }
}

CSize CToolBar::CalcDynamicLayout(int nLength, DWORD dwMode)
{
    std::vector<TBBUTTON> buttons = QueryButtons();
    int nWrapLength = (dwMode & (LM_MRUWIDTH | LM_LENGTHY)) || nLength < 0 ? m_nMRUWidth : nLength;
    CSize size = WrapButtons(buttons, nWrapLength, dwMode);
    if (dwMode & LM_COMMIT)
    {
        CommitWraps(buttons);
        if (!(dwMode & (LM_HORZDOCK | LM_VERTDOCK)) && nLength >= 0 && !(dwMode & LM_MRUWIDTH))
            m_nMRUWidth = nLength;
    }
    CRect rcInside;
    CalcInsideRect(rcInside, (dwMode & LM_VERTDOCK) == 0);
    size.cx -= rcInside.Width();
    size.cy -= rcInside.Height();
    // The edges lie outside the client area too: without them the buttons'
    // last row or column would be cut off.
    CRect rcEdges = BorderEdges();
    size.cx += rcEdges.left + rcEdges.right;
    size.cy += rcEdges.top + rcEdges.bottom;
    if (dwMode & LM_STRETCH)
        ((dwMode & LM_HORZ) ? size.cx : size.cy) = StretchLength;
    return size;
}

CSize CToolBar::CalcFixedLayout(BOOL bStretch, BOOL bHorz)
{
    DWORD dwMode = (bStretch ? LM_STRETCH : 0) | (bHorz ? (LM_HORZ | LM_HORZDOCK) : LM_VERTDOCK);
    return CalcDynamicLayout(-1, dwMode);
}

void CToolBar::Layout()
{
    m_bDelayedButtonLayout = false;
    DWORD dwMode = LM_VERTDOCK;
    if (IsFloating())
        dwMode = LM_HORZ | LM_MRUWIDTH;
    else if (m_dwStyle & CBRS_ORIENT_HORZ)
        dwMode = LM_HORZ | LM_HORZDOCK;
    CalcDynamicLayout(-1, dwMode | LM_COMMIT);
}

void CToolBar::OnBarStyleChange(DWORD dwOldStyle, DWORD dwNewStyle)
{
    if ((dwOldStyle ^ dwNewStyle) & CBRS_ALIGN_ANY)
    {
        m_bDelayedButtonLayout = true;
        if (m_hWnd != NULL)
            Invalidate();
    }
    // The non-client area follows the side, the borders and the gripper.
    const DWORD dwFrameBits = CBRS_ALIGN_ANY | CBRS_FLOATING | CBRS_GRIPPER | CBRS_BORDER_ANY;
    if (m_hWnd != NULL && ((dwOldStyle ^ dwNewStyle) & dwFrameBits))
        SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    CControlBar::OnBarStyleChange(dwOldStyle, dwNewStyle);
}

void CToolBar::OnUpdateCmdUI(CFrameWnd* pTarget, BOOL)
{
    CToolCmdUI state;
    state.m_pOther = this;
    int nCount = GetCount();
    state.m_nIndexMax = static_cast<UINT>(nCount);
    for (int i = 0; i < nCount; ++i)
    {
        TBBUTTON stButton;
        if (!QueryButton(i, stButton) || IsSeparator(stButton))
            continue;
        state.m_nID = static_cast<UINT>(stButton.idCommand);
        state.m_nIndex = static_cast<UINT>(i);
        // Buttons without a handler keep their state, like menu items.
        state.DoUpdate(pTarget);
    }
}

bool CToolBar::AnswerToolTip(NMHDR* pHeader)
{
    auto* pInfo = reinterpret_cast<NMTTDISPINFOW*>(pHeader);
    if (pInfo->uFlags & TTF_IDISHWND)
        return false;
    CString strText;
    if (pHeader->idFrom == 0 || !strText.LoadString(static_cast<UINT>(pHeader->idFrom)))
        return false;
    // The string holds the status text, then the tip after a line break.
    int nBreak = strText.Find(L'\n');
    if (nBreak < 0)
        return false;
    m_strTip = strText.Mid(nBreak + 1);
    pInfo->lpszText = const_cast<wchar_t*>(m_strTip.GetString());
    pInfo->hinst = NULL;
    return true;
}

bool CToolBar::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_PAINT:
        if (m_bDelayedButtonLayout)
            Layout();
        break;
    case WM_NCCALCSIZE:
    {
        // The borders and the gripper lie outside the client area, where
        // the control lays out its buttons from the corner.
        CControlBar::OnMessage(nMsg, wParam, lParam, lResult);
        RECT* pRect = reinterpret_cast<RECT*>(lParam);
        CRect rcInside(*pRect);
        CalcInsideRect(rcInside, (m_dwStyle & CBRS_ORIENT_HORZ) != 0 || IsFloating());
        pRect->left = std::min(rcInside.left, pRect->right);
        pRect->top = std::min(rcInside.top, pRect->bottom);
        pRect->right = std::max(rcInside.right, pRect->left);
        pRect->bottom = std::max(rcInside.bottom, pRect->top);
        return true;
    }
    case WM_NOTIFY:
    {
        NMHDR* pHeader = reinterpret_cast<NMHDR*>(lParam);
        if (pHeader != nullptr && pHeader->code == TTN_GETDISPINFOW && AnswerToolTip(pHeader))
        {
            lResult = 0;
            return true;
        }
        break;
    }
    default:
        break;
    }
    return CControlBar::OnMessage(nMsg, wParam, lParam, lResult);
}
