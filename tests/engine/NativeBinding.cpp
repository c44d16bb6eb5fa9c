#include "NativeBinding.h"

#include <cstring>

#include "engine/NativeFunctions.h"

namespace nativetest {
namespace {

// Any address that is not a real module will do: only GetProcAddress below sees it.
HMODULE FakeFmifs() { return reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7E570000)); }

void WINAPI NeverCalled() {}

HMODULE WINAPI LoadLibraryW(LPCWSTR pszFile)
{
    if (_wcsicmp(pszFile, L"fmifs.dll") == 0)
        return FakeFmifs();
    return sys::RealTable().pfnLoadLibraryW(pszFile);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR pszName)
{
    if (hModule != FakeFmifs())
        return sys::RealTable().pfnGetProcAddress(hModule, pszName);
    if (strcmp(pszName, "ChkdskEx") == 0 || strcmp(pszName, "Chkdsk") == 0)
        return reinterpret_cast<FARPROC>(&NeverCalled);
    return nullptr;
}

} // namespace

sys::SYS_TABLE TableWithFmifs()
{
    sys::SYS_TABLE table = sys::RealTable();
    table.pfnLoadLibraryW = &LoadLibraryW;
    table.pfnGetProcAddress = &GetProcAddress;
    return table;
}

bool BindWithFmifs()
{
    sys::SYS_TABLE table = TableWithFmifs();
    sys::CScopedInstall install(&table);
    return native::BindNativeFunctions();
}

} // namespace nativetest
