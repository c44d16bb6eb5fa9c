// The colour chooser over the system's dialog.
#include "classlib/ColorDialog.h"

#include <gtest/gtest.h>

namespace
{
// Answers the dialog as soon as it is up: OK, or Cancel after picking another colour.
UINT_PTR CALLBACK AnswerAtOnce(HWND hDlg, UINT nMsg, WPARAM, LPARAM lParam)
{
    if (nMsg == WM_INITDIALOG)
    {
        auto* pcc = reinterpret_cast<CHOOSECOLORW*>(lParam);
        ::PostMessageW(hDlg, WM_COMMAND, pcc->lCustData != 0 ? IDCANCEL : IDOK, 0);
    }
    return 0;
}

INT_PTR AnswerDialog(CColorDialog& dlg, bool bCancel)
{
    dlg.m_cc.Flags |= CC_ENABLEHOOK;
    dlg.m_cc.lpfnHook = AnswerAtOnce;
    dlg.m_cc.lCustData = bCancel ? 1 : 0;
    return dlg.DoModal();
}
} // namespace

TEST(ColorDialog, OpensFullOnTheGivenColourAndKeepsTheCustomColours)
{
    CColorDialog dlg(RGB(0x12, 0x34, 0x56), CC_FULLOPEN);
    EXPECT_EQ(static_cast<DWORD>(CC_FULLOPEN | CC_RGBINIT), dlg.m_cc.Flags & (CC_FULLOPEN | CC_RGBINIT));
    EXPECT_EQ(CColorDialog::GetSavedCustomColors(), dlg.m_cc.lpCustColors);
    ASSERT_EQ(IDOK, AnswerDialog(dlg, false));
    EXPECT_EQ(RGB(0x12, 0x34, 0x56), dlg.GetColor());

    CColorDialog cancelled(RGB(1, 2, 3));
    EXPECT_EQ(IDCANCEL, AnswerDialog(cancelled, true));
}
