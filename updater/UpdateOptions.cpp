#include "updater/UpdateOptions.h"

bool CUpdateOptions::Parse(const std::vector<std::u16string>& vecFields)
{
    for (size_t i = 1; i < vecFields.size(); ++i)
    {
        const std::u16string& strField = vecFields[i];
        // Only the letter is compared: "-U=x" sets the URL as "/U:x" does.
        char16_t chLetter = strField.size() >= 2 ? strField[1] : 0;
        std::u16string strValue = strField.size() > 3 ? strField.substr(3) : std::u16string();
        switch (chLetter)
        {
        case u'N':
            m_strProductName = std::move(strValue);
            break;
        case u'U':
            m_strUrl = std::move(strValue);
            break;
        case u'V':
            m_strVersion = std::move(strValue);
            break;
        default:
            return false;
        }
    }
    return true;
}
