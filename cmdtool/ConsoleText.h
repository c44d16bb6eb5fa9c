// Console output of VfoldCmd: texts go out whole in the console's code page (the ANSI code
// page when there is no console), whatever characters the names in them hold.
#pragma once

#include <string>

namespace console {

void Print(const std::wstring& strText);

} // namespace console
