#include "classlib/View.h"

#include "classlib/DC.h"
#include "classlib/FrameWnd.h"

BOOL CView::Create(const wchar_t* pszClass, const wchar_t* pszName, DWORD dwStyle, const RECT& rc, CWnd* pParent,
                   UINT nID)
{
    if (pszClass == nullptr)
        pszClass = RegisterDefaultClass(CS_DBLCLKS, ::LoadCursorW(NULL, IDC_ARROW),
                                        reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    return CWnd::Create(pszClass, pszName, dwStyle, rc, pParent, nID);
}

bool CView::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_INITIALUPDATE:
        // A frame may send it again to a tree that gained windows; views made before keep their state.
        if (!m_bInitialUpdateDone)
        {
            m_bInitialUpdateDone = true;
            OnInitialUpdate();
        }
        lResult = 0;
        return true;
    case WM_PAINT:
        if (!PaintsItself())
            break;
        {
            CPaintDC dc(this);
            OnDraw(&dc);
        }
        lResult = 0;
        return true;
    case WM_MOUSEACTIVATE:
    {
        // The click that activates the frame also makes this the view that commands reach first.
        lResult = DefWindowProc(nMsg, wParam, lParam);
        if (lResult == MA_NOACTIVATE || lResult == MA_NOACTIVATEANDEAT)
            return true;
        if (CFrameWnd* pFrame = GetParentFrame())
        {
            if (pFrame->GetActiveView() != this)
                pFrame->SetActiveView(this);
        }
        return true;
    }
    default:
        break;
    }
    return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
}
