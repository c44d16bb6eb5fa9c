#include "guitoolkit/ToolkitEnvironment.h"

#include "guitoolkit/ToolkitColors.h"

stToolkitEnvironment& ToolkitEnvironment()
{
    static stToolkitEnvironment s_stEnvironment = [] {
        stToolkitEnvironment stEnvironment;
        stEnvironment.nVersionClass = GetWinVersionClass();
        HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
        stEnvironment.bWine = hKernel != NULL && ::GetProcAddress(hKernel, "wine_get_unix_file_name") != nullptr;
        return stEnvironment;
    }();
    return s_stEnvironment;
}
