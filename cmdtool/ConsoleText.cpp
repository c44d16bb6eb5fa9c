#include "cmdtool/ConsoleText.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace console {

// The C library's wide output stops at the first character its "C" locale cannot convert,
// so the text is converted here and written as bytes.
void Print(const std::wstring& strText)
{
    if (strText.empty())
        return;
    UINT uCodePage = ::GetConsoleOutputCP();
    if (uCodePage == 0)
        uCodePage = ::GetACP();
    const int nUnits = static_cast<int>(strText.size());
    const int nBytes = ::WideCharToMultiByte(uCodePage, 0, strText.data(), nUnits, NULL, 0, NULL, NULL);
    if (nBytes <= 0)
        return;
    std::vector<char> bytes(static_cast<size_t>(nBytes));
    if (::WideCharToMultiByte(uCodePage, 0, strText.data(), nUnits, bytes.data(), nBytes, NULL, NULL) != nBytes)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

} // namespace console
