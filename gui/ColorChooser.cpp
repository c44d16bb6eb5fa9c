#include "gui/ColorChooser.h"

#include "classlib/ColorDialog.h"

bool CSystemColorChooser::Choose(CWnd* pParent, COLORREF crInitial, COLORREF& crChosen)
{
    CColorDialog dlg(crInitial, CC_FULLOPEN, pParent);
    if (dlg.DoModal() != IDOK)
        return false;
    crChosen = dlg.GetColor();
    return true;
}
