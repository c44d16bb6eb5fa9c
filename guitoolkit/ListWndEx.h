// CListWndEx: the routing that puts CListBase behind a list window class of
// the library: the list's own messages, the header's notifications, the
// reflected ones and the header menu's commands go to the base first.
#pragma once

#include "guitoolkit/ListBase.h"

template <class TList>
class CListWndEx : public TList, public CListBase
{
public:
    CListWndEx() { SetListWnd(this); }
    // The rows' records go while the whole object still answers for the
    // window; a window that outlives the object keeps no pointer to them.
    ~CListWndEx() override { ReleaseItemRecords(); }

    using CListBase::SortItems;
    virtual void DrawItem(LPDRAWITEMSTRUCT pDraw) { CListBase::DrawItem(pDraw); }

    // Every command is the header menu's or swallowed; none reaches the control.
    BOOL OnCommand(WPARAM wParam, LPARAM) override { return OnColumnCommand(wParam); }
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override
    {
        return OnHeaderNotify(wParam, lParam, pResult) || TList::OnNotify(wParam, lParam, pResult);
    }
    BOOL OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override
    {
        if (nMsg != WM_DRAWITEM)
            return OnReflectedNotify(nMsg, wParam, lParam, pResult);
        DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        *pResult = TRUE;
        return TRUE;
    }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        return OnListMessage(nMsg, wParam, lParam, lResult) || TList::OnMessage(nMsg, wParam, lParam, lResult);
    }
};
