#include "gui/CommandTail.h"

#include <cwchar>

namespace
{
bool IsBlank(wchar_t ch)
{
    return ch == L' ' || ch == L'\t';
}
} // namespace

CString CommandTail(const wchar_t* pszCommandLine)
{
    if (pszCommandLine == nullptr)
        return CString();
    const wchar_t* p = pszCommandLine;
    if (*p == L'"')
    {
        // A quoted name ends at its closing quote, whatever follows it.
        p = std::wcschr(p + 1, L'"');
        if (p == nullptr)
            return CString();
        ++p;
    }
    else
    {
        while (*p != L'\0' && !IsBlank(*p))
            ++p;
    }
    while (IsBlank(*p))
        ++p;
    return CString(p);
}

CString CopyDataText(const COPYDATASTRUCT* pData)
{
    if (pData == nullptr || pData->lpData == nullptr)
        return CString();
    const wchar_t* pszText = static_cast<const wchar_t*>(pData->lpData);
    size_t nChars = pData->cbData / sizeof(wchar_t);
    return CString(pszText, static_cast<int>(wcsnlen(pszText, nChars)));
}

bool AsksToStayHidden(const wchar_t* pszCommandTail)
{
    // Switches are read without regard to case, as the system's own programs read them.
    CString strTail(pszCommandTail);
    return strTail.MakeLower().Find(L"/minimize") >= 0;
}
