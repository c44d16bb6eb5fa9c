// CView: a pane of a frame's client area that draws itself and becomes the
// frame's active view when the user clicks into it, so that commands reach it
// first. Views live on the heap and go with their window.
#pragma once

#include "classlib/Wnd.h"

class CDC;

// Sent by the frame to every window of its tree once the client area is made.
constexpr UINT WM_INITIALUPDATE = 0x0364;

class CView : public CWnd
{
public:
    // Without a class, a window class of this library with a white background.
    BOOL Create(const wchar_t* pszClass, const wchar_t* pszName, DWORD dwStyle, const RECT& rc,
                CWnd* pParent, UINT nID) override;

    // Once the frame's tree exists; called once per view.
    virtual void OnInitialUpdate() { Invalidate(); }
    virtual void OnDraw(CDC* /*pDC*/) {}

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    void PostNcDestroy() override { delete this; }

protected:
    // Views over a system class paint through the class's own procedure.
    virtual bool PaintsItself() const { return true; }

private:
    bool m_bInitialUpdateDone = false;
};
