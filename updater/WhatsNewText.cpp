#include "updater/WhatsNewText.h"

std::u16string WhatsNewText(std::u16string_view strValue)
{
    std::u16string strText;
    for (size_t i = 0; i < strValue.size(); ++i)
    {
        char16_t ch = strValue[i];
        if (ch == u'\\' && i + 1 < strValue.size() && (strValue[i + 1] == u'n' || strValue[i + 1] == u'r'))
            ch = strValue[++i] == u'n' ? u'\n' : u'\r';
        if (ch == u'\n' && (strText.empty() || strText.back() != u'\r'))
            strText += u'\r';
        strText += ch;
    }
    return strText;
}
