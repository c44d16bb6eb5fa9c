#include "gui/ResourceText.h"

CString ResourceText(UINT nId)
{
    CString str;
    str.LoadString(nId);
    return str;
}
