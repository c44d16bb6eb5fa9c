// CHyperLinkCtrl: a static text control that behaves as a web link: coloured
// text, underlined while the mouse is over it, a hand cursor, a tool tip with
// its URL, and a click that opens the URL in the browser. Only http and https
// addresses are opened: the URL may come from the network.
#pragma once

#include "classlib/Controls.h"
#include "classlib/GdiObject.h"
#include "classlib/String.h"
#include "classlib/ToolTipCtrl.h"

#include <windows.h>

#include <string>

class CHyperLinkCtrl : public CStatic
{
public:
    // Sent to the parent on a click when the notify flag is set; wParam is the control's id.
    static const UINT WM_HYPERLINK_CLICKED;
    static constexpr UINT_PTR HoverTimerId = 100;
    static constexpr UINT HoverTimerMs = 100;
    static constexpr COLORREF DefaultBackground = static_cast<COLORREF>(-1);

    CHyperLinkCtrl();
    ~CHyperLinkCtrl() override;

    void SetURL(const wchar_t* pszURL);
    const CString& GetURL() const { return m_strURL; }
    void SetColours(COLORREF crLink, COLORREF crVisited, COLORREF crHover);
    COLORREF GetLinkColour() const { return m_crLink; }
    COLORREF GetVisitedColour() const { return m_crVisited; }
    COLORREF GetHoverColour() const { return m_crHover; }
    // DefaultBackground: the system's button-face colour.
    void SetBackgroundColour(COLORREF crBackground);
    void SetVisited(bool bVisited) { m_bVisited = bVisited; }
    bool IsVisited() const { return m_bVisited; }
    bool IsHovering() const { return m_bHovering; }
    // -1: underlined only while hovering; 0: never; 1: always.
    void SetUnderline(int nUnderline) { m_nUnderline = nUnderline; }
    void SetAutoSize(bool bAdjustToFit) { m_bAdjustToFit = bAdjustToFit; }
    void SetOpenOnClick(bool bOpen) { m_bOpenOnClick = bOpen; }
    void SetNotifyParent(bool bNotify) { m_bNotifyParent = bNotify; }
    void SetShowToolTip(bool bShow) { m_bToolTip = bShow; }
    void SetOpenInNewWindow(bool bNew) { m_bOpenInNewWindow = bNew; }
    const CToolTipCtrl& GetToolTip() const { return m_toolTip; }
    HCURSOR GetLinkCursor() const { return m_hLinkCursor; }

    // Opens a web address in the browser; false for anything else.
    bool OpenURL(const wchar_t* pszURL);

protected:
    void PreSubclassWindow() override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    BOOL OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    // What the control asks of the system, each replaceable for the tests.
    virtual HINSTANCE ShellOpen(const wchar_t* pszVerb, const wchar_t* pszURL);
    virtual bool ReadBrowserCommand(std::wstring& strCommand);
    virtual UINT RunCommandLine(const char* pszCommandLine);
    virtual HCURSOR LoadSystemHandCursor();
    virtual std::wstring HelpProgramPath();

private:
    void BuildFonts();
    void LoadLinkCursor();
    void FitToText();
    void CreateToolTip();
    void StartHover();
    void EndHover();
    void OnClicked();
    HBRUSH OnCtlColor(HDC hDC);

    COLORREF m_crLink;
    COLORREF m_crVisited;
    COLORREF m_crHover;
    COLORREF m_crBackground;
    CBrush m_brBackground;
    bool m_bHovering;
    bool m_bVisited;
    int m_nUnderline;
    bool m_bAdjustToFit;
    CString m_strURL;
    CFont m_fontUnderline;
    CFont m_fontNormal;
    HCURSOR m_hLinkCursor;
    bool m_bOwnsCursor; // a copied cursor is ours to destroy; a system one is shared
    CToolTipCtrl m_toolTip;
    UINT_PTR m_nTimerId;
    bool m_bOpenOnClick;
    bool m_bNotifyParent;
    bool m_bToolTip;
    bool m_bOpenInNewWindow;
};
