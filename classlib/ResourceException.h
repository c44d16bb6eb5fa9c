// CResourceException: thrown when a resource the code cannot do without
// (a menu, a bitmap, a window class) cannot be loaded or created.
#pragma once

#include <stdexcept>

class CResourceException : public std::runtime_error
{
public:
    explicit CResourceException(const char* pszWhat) : std::runtime_error(pszWhat) {}
};
