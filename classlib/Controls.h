// Wrappers of the simple system controls: button, static, edit and combo box.
// Each is a CWnd of the system class; the methods send the control's messages.
#pragma once

#include "classlib/Wnd.h"

#include <commctrl.h>

class CButton : public CWnd
{
public:
    BOOL Create(const wchar_t* pszCaption, DWORD dwStyle, const RECT& rc, CWnd* pParent, UINT nID)
    {
        return CreateEx(0, L"BUTTON", pszCaption, dwStyle | WS_CHILD, rc, pParent, nID);
    }
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, nCheck); }
    UINT GetButtonStyle() const { return GetStyle() & 0xFF; }
};

class CStatic : public CWnd
{
public:
    BOOL Create(const wchar_t* pszText, DWORD dwStyle, const RECT& rc, CWnd* pParent, UINT nID = 0xFFFF)
    {
        return CreateEx(0, L"STATIC", pszText, dwStyle | WS_CHILD, rc, pParent, nID);
    }
    HICON SetIcon(HICON hIcon)
    {
        return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(hIcon)));
    }
};

class CEdit : public CWnd
{
public:
    BOOL Create(DWORD dwStyle, const RECT& rc, CWnd* pParent, UINT nID)
    {
        return CreateEx(0, L"EDIT", L"", dwStyle | WS_CHILD, rc, pParent, nID);
    }
    void SetSel(int nStart, int nEnd) { SendMessage(EM_SETSEL, nStart, nEnd); }
    void LimitText(int nChars) { SendMessage(EM_LIMITTEXT, nChars); }
    void ReplaceSel(const wchar_t* pszText) { SendMessage(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(pszText)); }
    // 0: the text shows as typed.
    wchar_t GetPasswordChar() const { return static_cast<wchar_t>(SendMessage(EM_GETPASSWORDCHAR)); }
    void SetPasswordChar(wchar_t ch)
    {
        SendMessage(EM_SETPASSWORDCHAR, ch);
        // The control does not repaint by itself.
        Invalidate();
    }
    // Needs the version 6 common controls (a manifest); FALSE without them.
    BOOL SetCueBanner(const wchar_t* pszText, BOOL bFocused = FALSE)
    {
        return static_cast<BOOL>(SendMessage(EM_SETCUEBANNER, bFocused, reinterpret_cast<LPARAM>(pszText)));
    }
};

class CComboBox : public CWnd
{
public:
    BOOL Create(DWORD dwStyle, const RECT& rc, CWnd* pParent, UINT nID)
    {
        return CreateEx(0, L"COMBOBOX", L"", dwStyle | WS_CHILD, rc, pParent, nID);
    }
    int AddString(const wchar_t* pszText)
    {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(pszText)));
    }
    int InsertString(int nIndex, const wchar_t* pszText)
    {
        return static_cast<int>(SendMessage(CB_INSERTSTRING, nIndex, reinterpret_cast<LPARAM>(pszText)));
    }
    int DeleteString(int nIndex) { return static_cast<int>(SendMessage(CB_DELETESTRING, nIndex)); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int nIndex) { return static_cast<int>(SendMessage(CB_SETCURSEL, nIndex)); }
    DWORD_PTR GetItemData(int nIndex) const { return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, nIndex)); }
    int SetItemData(int nIndex, DWORD_PTR dwData)
    {
        return static_cast<int>(SendMessage(CB_SETITEMDATA, nIndex, static_cast<LPARAM>(dwData)));
    }
    // The item's text; empty for an index out of range.
    CString GetLBText(int nIndex) const;
    int GetDroppedWidth() const { return static_cast<int>(SendMessage(CB_GETDROPPEDWIDTH)); }
    int SetDroppedWidth(int nWidth) { return static_cast<int>(SendMessage(CB_SETDROPPEDWIDTH, nWidth)); }
};
