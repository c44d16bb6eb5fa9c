// The command state of a bar's item: CToolCmdUI applies what update handlers
// set to a tool bar button, CStatusCmdUI to a status bar pane. m_pOther is
// the bar and m_nIndex the item's place in it.
#pragma once

#include "classlib/CmdUI.h"

class CToolCmdUI : public CCmdUI
{
public:
    void Enable(BOOL bOn = TRUE) override;
    // 0 clear, 1 checked, 2 indeterminate.
    void SetCheck(int nCheck = 1) override;
    void SetRadio(BOOL bOn = TRUE) override { SetCheck(bOn ? 1 : 0); }
    // Buttons show images: their texts stay as they are.
    void SetText(const wchar_t*) override {}
};

class CStatusCmdUI : public CCmdUI
{
public:
    void Enable(BOOL bOn = TRUE) override;
    // A checked pane shows raised.
    void SetCheck(int nCheck = 1) override;
    void SetRadio(BOOL bOn = TRUE) override { SetCheck(bOn ? 1 : 0); }
    void SetText(const wchar_t* pszText) override;
};
