#include "classlib/ToolTipCtrl.h"

BOOL CToolTipCtrl::Create(CWnd* pParent, DWORD dwStyle)
{
    return CreateEx(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | dwStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, pParent != nullptr ? pParent->m_hWnd : NULL, NULL);
}

void CToolTipCtrl::FillToolInfo(TOOLINFOW& stInfo, CWnd* pWnd, UINT_PTR nID)
{
    stInfo = {};
    // The size without the reserved member that older common controls reject.
    stInfo.cbSize = TTTOOLINFOW_V2_SIZE;
    stInfo.hwnd = pWnd != nullptr ? pWnd->m_hWnd : NULL;
    if (nID == 0)
    {
        stInfo.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        stInfo.uId = reinterpret_cast<UINT_PTR>(stInfo.hwnd);
    }
    else
    {
        stInfo.uFlags = TTF_SUBCLASS;
        stInfo.uId = nID;
    }
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, const wchar_t* pszText, LPCRECT pRect, UINT_PTR nID)
{
    TOOLINFOW stInfo;
    FillToolInfo(stInfo, pWnd, nID);
    stInfo.lpszText = const_cast<wchar_t*>(pszText != nullptr ? pszText : LPSTR_TEXTCALLBACKW);
    if (pRect != nullptr)
        stInfo.rect = *pRect;
    else if (nID != 0 && pWnd != nullptr)
        pWnd->GetClientRect(&stInfo.rect);
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&stInfo)));
}

void CToolTipCtrl::DelTool(CWnd* pWnd, UINT_PTR nID)
{
    TOOLINFOW stInfo;
    FillToolInfo(stInfo, pWnd, nID);
    SendMessage(TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&stInfo));
}

void CToolTipCtrl::UpdateTipText(const wchar_t* pszText, CWnd* pWnd, UINT_PTR nID)
{
    TOOLINFOW stInfo;
    FillToolInfo(stInfo, pWnd, nID);
    stInfo.lpszText = const_cast<wchar_t*>(pszText != nullptr ? pszText : LPSTR_TEXTCALLBACKW);
    SendMessage(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&stInfo));
}

void CToolTipCtrl::SetToolRect(CWnd* pWnd, UINT_PTR nID, LPCRECT pRect)
{
    TOOLINFOW stInfo;
    FillToolInfo(stInfo, pWnd, nID);
    stInfo.rect = *pRect;
    SendMessage(TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&stInfo));
}

CString CToolTipCtrl::GetText(CWnd* pWnd, UINT_PTR nID) const
{
    // Tip texts are bounded by the control; this size holds any of ours.
    constexpr int MaxTipChars = 1024;
    TOOLINFOW stInfo;
    FillToolInfo(stInfo, pWnd, nID);
    CString str;
    stInfo.lpszText = str.GetBuffer(MaxTipChars);
    SendMessage(TTM_GETTEXTW, MaxTipChars, reinterpret_cast<LPARAM>(&stInfo));
    str.ReleaseBuffer();
    return str;
}
