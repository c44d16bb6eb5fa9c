#include "classlib/Controls.h"

CString CComboBox::GetLBText(int nIndex) const
{
    CString str;
    LRESULT nLength = SendMessage(CB_GETLBTEXTLEN, nIndex);
    if (nLength == CB_ERR || nLength < 0)
        return str;
    LRESULT nCopied = SendMessage(CB_GETLBTEXT, nIndex,
                                  reinterpret_cast<LPARAM>(str.GetBuffer(static_cast<int>(nLength) + 1)));
    str.ReleaseBuffer(nCopied > 0 ? static_cast<int>(nCopied) : 0);
    return str;
}
