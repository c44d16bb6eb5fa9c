#include "guitoolkit/UxTheme.h"

namespace
{
// Loaded once and released when the program ends.
class CThemeLibrary
{
public:
    CThemeLibrary() : m_hLibrary(::LoadLibraryW(L"UxTheme.dll")) {}
    ~CThemeLibrary()
    {
        if (m_hLibrary != NULL)
            ::FreeLibrary(m_hLibrary);
    }
    CThemeLibrary(const CThemeLibrary&) = delete;
    CThemeLibrary& operator=(const CThemeLibrary&) = delete;

    FARPROC Find(const char* pszName) const
    {
        return m_hLibrary != NULL ? ::GetProcAddress(m_hLibrary, pszName) : nullptr;
    }

private:
    HMODULE m_hLibrary;
};

FARPROC FindEntry(const char* pszName)
{
    static CThemeLibrary s_library;
    return s_library.Find(pszName);
}

template <class TFunction>
TFunction Bind(const char* pszName)
{
    return reinterpret_cast<TFunction>(reinterpret_cast<void*>(FindEntry(pszName)));
}
} // namespace

namespace uxtheme
{
HTHEME OpenThemeData(HWND hWnd, const wchar_t* pszClassList)
{
    static auto pfn = Bind<HTHEME(WINAPI*)(HWND, LPCWSTR)>("OpenThemeData");
    return pfn != nullptr ? pfn(hWnd, pszClassList) : NULL;
}

HRESULT CloseThemeData(HTHEME hTheme)
{
    static auto pfn = Bind<HRESULT(WINAPI*)(HTHEME)>("CloseThemeData");
    return pfn != nullptr ? pfn(hTheme) : 0;
}

HRESULT GetThemeColor(HTHEME hTheme, int nPart, int nState, int nProperty, COLORREF* pColor)
{
    static auto pfn = Bind<HRESULT(WINAPI*)(HTHEME, int, int, int, COLORREF*)>("GetThemeColor");
    return pfn != nullptr ? pfn(hTheme, nPart, nState, nProperty, pColor) : E_NOTIMPL;
}
} // namespace uxtheme
