// CLabelTipCtrl: the tip that shows a clipped cell text whole, laid exactly
// over the cell, without a shadow and without delay.
#pragma once

#include "classlib/ToolTipCtrl.h"

#include <string>

class CListBase;

class CLabelTipCtrl : public CToolTipCtrl
{
public:
    explicit CLabelTipCtrl(CListBase* pBase) : m_pBase(pBase) {}
    ~CLabelTipCtrl() override;

    // A popup owned by the list, of a shadowless copy of the tip class when
    // that can be registered, else of the tip class itself.
    BOOL Create(CWnd* pList);
    const wchar_t* GetClassName() const { return m_strClass.c_str(); }

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    void PlaceOverCell(WINDOWPOS* pPos);

    CListBase* m_pBase;
    std::wstring m_strClass;
    bool m_bRegistered = false;
    bool m_bWidened = false;
    bool m_bTracking = false;
    bool m_bPlaced = false;
    POINT m_ptLast = {};
    RECT m_rcMargin = {};
};
