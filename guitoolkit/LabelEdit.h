// CLabelEdit: the list control's own label edit, taken over while an edit
// runs, so that the list learns of Escape and can move the edit to the
// column painted as the label.
#pragma once

#include "classlib/Controls.h"

class CListBase;

class CLabelEdit : public CEdit
{
public:
    explicit CLabelEdit(CListBase* pBase) : m_pBase(pBase) {}

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    CListBase* m_pBase;
};
