// CSkinToolBar paints itself: the control's own painting would draw the
// separators and button texts in the system's look and would not ask the
// parent about every button the way the theme's drawing needs.
#include "guitoolkit/SkinToolBar.h"

#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "classlib/GdiObject.h"
#include "classlib/WinApp.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <string>

namespace
{
// The part of a drop-down button that its arrow takes from its text.
constexpr int DropDownTextShift = 7;
constexpr int DropDownListTextEnd = 17;
} // namespace

UINT CSkinToolBar::ItemState(BYTE fsState, bool bActiveUnderCursor)
{
    UINT nState = 0;
    if (fsState & TBSTATE_CHECKED)
        nState |= CDIS_CHECKED;
    if (fsState & TBSTATE_INDETERMINATE)
        nState |= CDIS_INDETERMINATE;
    if (!(fsState & TBSTATE_ENABLED))
        nState |= CDIS_DISABLED;
    if (bActiveUnderCursor && (fsState & TBSTATE_PRESSED))
        nState |= CDIS_HOT | CDIS_SELECTED;
    else if (bActiveUnderCursor && (fsState & TBSTATE_ENABLED))
        nState |= CDIS_HOT;
    else if (fsState & TBSTATE_PRESSED)
        nState |= CDIS_HOT;
    return nState;
}

CRect CSkinToolBar::TextRect(const CRect& rc, SIZE sizeText, bool bList, bool bDropDown, int cxImage)
{
    CRect rcText;
    if (bList)
    {
        rcText.left = rc.left + cxImage + 4;
        rcText.right = rc.right - (bDropDown ? DropDownListTextEnd : 2);
        rcText.top = rc.top + 2 + (rc.Height() - sizeText.cy) / 2;
        rcText.bottom = rcText.top + sizeText.cy;
        return rcText;
    }
    rcText.left = rc.left + (rc.Width() - sizeText.cx) / 2 - (bDropDown ? DropDownTextShift : 0);
    rcText.right = rcText.left + sizeText.cx;
    rcText.top = rc.bottom - sizeText.cy;
    rcText.bottom = rc.bottom - 1;
    return rcText;
}

std::vector<CSkinToolBar::stVisibleButton> CSkinToolBar::VisibleButtons() const
{
    std::vector<stVisibleButton> buttons;
    int nCount = GetCount();
    for (int i = 0; i < nCount; ++i)
    {
        stVisibleButton stVisible;
        if (!QueryButton(i, stVisible.stButton) || (stVisible.stButton.fsState & TBSTATE_HIDDEN))
            continue;
        GetItemRect(i, stVisible.rc);
        buttons.push_back(stVisible);
    }
    return buttons;
}

CString CSkinToolBar::ButtonText(int nID) const
{
    int nLength = static_cast<int>(SendMessage(TB_GETBUTTONTEXTW, static_cast<WPARAM>(nID), 0));
    if (nLength <= 0)
        return CString();
    std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
    SendMessage(TB_GETBUTTONTEXTW, static_cast<WPARAM>(nID), reinterpret_cast<LPARAM>(&strText[0]));
    return CString(strText.c_str());
}

bool CSkinToolBar::IsApplicationActive() const
{
    CWnd* pFrame = GetTopLevelFrame();
    if (pFrame == nullptr && m_pDockSite != nullptr)
        pFrame = m_pDockSite->GetTopLevelFrame();
    if (pFrame == nullptr)
        pFrame = CWinApp::GetMainWnd();
    HWND hFocus = ::GetFocus();
    return pFrame != nullptr && hFocus != NULL && ::IsChild(pFrame->m_hWnd, hFocus);
}

bool CSkinToolBar::CursorOverBar(POINT& pt) const
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    if (!stEnv.pfnGetCursorPos(&pt) || stEnv.pfnWindowFromPoint(pt) != m_hWnd)
        return false;
    return ::ScreenToClient(m_hWnd, &pt) != FALSE;
}

LRESULT CSkinToolBar::NotifyParent(NMTBCUSTOMDRAW& stDraw, DWORD dwStage)
{
    stDraw.nmcd.dwDrawStage = dwStage;
    HWND hParent = ::GetParent(m_hWnd);
    if (hParent == NULL)
        return CDRF_DODEFAULT;
    return ::SendMessageW(hParent, WM_NOTIFY, stDraw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&stDraw));
}

void CSkinToolBar::Paint(CDC* pDC)
{
    NMTBCUSTOMDRAW stDraw = {};
    stDraw.nmcd.hdr.hwndFrom = m_hWnd;
    stDraw.nmcd.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID());
    stDraw.nmcd.hdr.code = static_cast<UINT>(NM_CUSTOMDRAW);
    stDraw.nmcd.hdc = pDC->m_hDC;
    GetClientRect(&stDraw.nmcd.rc);
    COLORSCHEME stScheme = {sizeof(stScheme), CLR_DEFAULT, CLR_DEFAULT};
    if (CWnd::DefWindowProc(CCM_GETCOLORSCHEME, 0, reinterpret_cast<LPARAM>(&stScheme)))
        stDraw.clrBtnHighlight = stScheme.clrBtnHighlight;
    NotifyParent(stDraw, CDDS_PREPAINT);
    NotifyParent(stDraw, CDDS_PREERASE);
    NotifyParent(stDraw, CDDS_POSTERASE);
    PaintButtons(pDC, stDraw);
    GetClientRect(&stDraw.nmcd.rc);
    stDraw.nmcd.dwItemSpec = 0;
    stDraw.nmcd.uItemState = 0;
    stDraw.nmcd.lItemlParam = 0;
    stDraw.rcText = RECT{};
    NotifyParent(stDraw, CDDS_POSTPAINT);
}

void CSkinToolBar::PaintButtons(CDC* pDC, NMTBCUSTOMDRAW& stDraw)
{
    POINT ptCursor = {};
    bool bActiveCursor = IsApplicationActive() && CursorOverBar(ptCursor);
    bool bList = (GetStyle() & TBSTYLE_LIST) != 0;
    // Texts are measured in the font they are drawn in.
    HGDIOBJ hOldFont = ::SelectObject(pDC->m_hDC, ::GetStockObject(ANSI_VAR_FONT));
    CRect rcPrevious(0, 0, 0, 0);
    for (const stVisibleButton& stVisible : VisibleButtons())
    {
        const TBBUTTON& stButton = stVisible.stButton;
        const CRect& rc = stVisible.rc;
        if (stButton.fsStyle & TBSTYLE_SEP)
        {
            bool bHosting = stButton.idCommand != 0 && ::GetDlgItem(m_hWnd, stButton.idCommand) != NULL;
            bool bWrapped = (stButton.fsState & TBSTATE_WRAP) && IsFloating();
            if (bWrapped || !bHosting)
                DrawSeparator(pDC, rc, rcPrevious, bWrapped);
        }
        else if (stButton.idCommand != 0)
        {
            stDraw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(stButton.idCommand);
            stDraw.nmcd.lItemlParam = static_cast<LPARAM>(stButton.dwData);
            stDraw.nmcd.rc = rc;
            stDraw.nmcd.uItemState = ItemState(stButton.fsState, bActiveCursor && rc.PtInRect(ptCursor));
            stDraw.rcText = RECT{};
            CString strText = ButtonText(stButton.idCommand);
            if (!strText.IsEmpty())
            {
                CSize sizeText = pDC->GetTextExtent(strText, strText.GetLength());
                stDraw.rcText = TextRect(rc, sizeText, bList, (stButton.fsStyle & TBSTYLE_DROPDOWN) != 0,
                                         GetImageSize().cx);
            }
            NotifyParent(stDraw, CDDS_ITEMPREPAINT);
            NotifyParent(stDraw, CDDS_ITEMPOSTPAINT);
        }
        rcPrevious = rc;
    }
    ::SelectObject(pDC->m_hDC, hOldFont);
}

void CSkinToolBar::DrawSeparator(CDC* pDC, const CRect& rcSeparator, const CRect& rcPrevious, bool bWrap)
{
    int nThemeId = CSkinMenu::GetCurrentThemeId();
    COLORREF crTopLeft, crBottomRight;
    if (nThemeId == 2 || nThemeId == 3)
    {
        crTopLeft = crBottomRight = DarkenColor(40, GetBarFaceColor());
    }
    else if (nThemeId == 6 || nThemeId == 7)
    {
        crTopLeft = crBottomRight = LightenColor(150, ToolkitEnvironment().SysColor(COLOR_3DDKSHADOW));
    }
    else
    {
        COLORREF cr = GetBarBackgroundColor();
        crTopLeft = DarkenColor(40, cr);
        crBottomRight = LightenColor(140, cr);
    }
    int w = crTopLeft == crBottomRight ? 1 : 2;
    const CRect& s = rcSeparator;
    const CRect& p = rcPrevious;
    CRect rc;
    if (bWrap)
    {
        CRect rcClient;
        GetClientRect(rcClient);
        int y = (s.bottom + p.bottom) / 2;
        rc = CRect(s.left + 4, y - 1, rcClient.right - 2, y - 1 + w);
    }
    else if (!(m_dwStyle & CBRS_ORIENT_HORZ))
    {
        int y = (s.bottom + p.bottom) / 2;
        rc = CRect(s.left + 3, y, p.right - 3, y + w);
    }
    else
    {
        int x = (s.left + s.right) / 2;
        rc = CRect(x - 1, s.top + 3, x - 1 + w, s.bottom - 3);
    }
    if (rc.right > rc.left && rc.bottom > rc.top)
        pDC->Draw3dRect(rc, crTopLeft, crBottomRight);
}
