// CMyTabCtrl: a tab control that makes and owns the controls of its pages
// (check boxes, radio buttons, edits, group boxes, static texts), places
// them by a simple flow layout, shows only the selected page's controls on
// the themed page background, and moves the focus with the arrow keys.
// The hosted controls send their notifications to the tab, not to the
// dialog; the tab tells the dialog of clicks through private messages.
#pragma once

#include "classlib/String.h"
#include "classlib/TabCtrl.h"

#include <memory>
#include <vector>

// Posted to the tab with a hosted control's window (lParam 1: by Space);
// the tab posts it on to its parent with the id of a push button.
constexpr UINT WM_TABCTRL_ACTIVATE = 0x5F4;
// Posted to the tab: wParam 1 moves the focus back, 0 forward.
constexpr UINT WM_TABCTRL_MOVEFOCUS = 0x5F5;
// Posted to the tab's parent with the id of a check box that was clicked.
constexpr UINT WM_TABCTRL_ITEMCLICKED = 0x5F6;

// Layout flags of the Add operations; without them a control starts at the
// page's top left corner.
constexpr DWORD TABLAYOUT_NEXTLINE = 0x80000000;  // top at the previous control's bottom
constexpr DWORD TABLAYOUT_RIGHTOF = 0x40000000;   // left at the previous control's right
constexpr DWORD TABLAYOUT_SAMELEFT = 0x20000000;  // left at the previous control's left
constexpr DWORD TABLAYOUT_SAMETOP = 0x10000000;   // top at the previous control's top

class CMyTabCtrl : public CTabCtrl
{
public:
    CMyTabCtrl();
    ~CMyTabCtrl() override;

    // Each makes a child of the tab with the tab's font, visible when its
    // page is the current one; null when the system refuses it.
    CWnd* AddCheckBox(BOOL bChecked, const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int dx, int dy);
    CWnd* AddRadioButton(BOOL bChecked, const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int dx, int dy,
                         DWORD dwExtraStyle);
    CWnd* AddEdit(const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int x, int dy, int nWidth);
    CWnd* AddPasswordEdit(const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int x, int dy, int nWidth);
    CWnd* AddGroupBox(const wchar_t* pszText, UINT nID, int nPage, int nWidth, int nHeight, DWORD dwFlags, int dx,
                      int dy);
    // A width of 0 is the text's width; a height of 0 the text's height + 4.
    CWnd* AddStatic(const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int dx, int dy, int nWidth,
                    int nHeight);

    void SetActivePage(int nPage);
    int GetActivePage() const { return m_nCurrentPage; }
    BOOL IsItemChecked(UINT nID) const;
    CString GetItemText(UINT nID) const;
    // The text read as a decimal number; 0 when it is none.
    int GetItemInt(UINT nID) const;
    // Destroys the page's controls, then its tab.
    virtual void DeletePageControls(int nPage);
    // Starts the pages afresh and samples the themed page colour; call it
    // before the pages are filled.
    void UpdateBackgroundBrush();

    BOOL PreTranslateMessage(MSG* pMsg) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    BOOL OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    struct stHostedControl
    {
        std::unique_ptr<CWnd> pControl;
        int nPage;
        bool bFocusable;
    };

    CWnd* AddControl(const wchar_t* pszClass, const wchar_t* pszText, DWORD dwStyle, UINT nID, int nPage,
                     bool bFocusable, const RECT& rc);
    CWnd* AddCheckable(BOOL bChecked, const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int dx, int dy,
                       DWORD dwStyle);
    CWnd* AddEditOfStyle(const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int x, int dy, int nWidth,
                         DWORD dwStyle);
    POINT FlowPosition(DWORD dwFlags, int dx, int dy) const;
    SIZE TextSize(const wchar_t* pszText);
    void MoveFocus(bool bBackwards);
    void Activate(HWND hControl, bool bByKey);
    int HostedIndex(HWND hWnd) const;
    bool IsHostedCheckBox(HWND hControl) const;
    void DestroyHostedControls();
    void DeleteBackgroundBrush();
    static bool IsAppThemed();

    HBRUSH m_hBackground;
    bool m_bThemed;
    std::vector<stHostedControl> m_controls;
    // The rectangle of the control added last, in the tab's client coordinates.
    RECT m_rcLast;
    int m_nCurrentPage;
    int m_nHotControl;
};
