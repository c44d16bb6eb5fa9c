#include "engine/NativeFunctions.h"

namespace native {

PFN_RTL_INITIALIZE_BITMAP RtlInitializeBitMap = nullptr;
PFN_RTL_FIND_BITS RtlFindClearBits = nullptr;
PFN_RTL_FIND_BITS RtlFindSetBits = nullptr;
PFN_RTL_FIND_NEXT_FORWARD_RUN_CLEAR RtlFindNextForwardRunClear = nullptr;
PFN_NT_FS_CONTROL_FILE NtFsControlFile = nullptr;
PFN_NT_QUERY_INFORMATION_FILE NtQueryInformationFile = nullptr;
PFN_NT_QUERY_SYSTEM_INFORMATION NtQuerySystemInformation = nullptr;
PFN_NT_QUERY_OBJECT NtQueryObject = nullptr;
PFN_NT_DUPLICATE_OBJECT NtDuplicateObject = nullptr;
PFN_CHKDSK_EX ChkdskEx = nullptr;
PFN_CHKDSK Chkdsk = nullptr;
PFN_HEAP_SET_INFORMATION HeapSetInformation = nullptr;

namespace {

// A module's export as the entry point's own type; null when the module or the export is
// missing. The cast goes through a plain function type, which GetProcAddress's FARPROC is.
template <typename T>
bool Bind(HMODULE hModule, const char* pszName, T& pfnEntry)
{
    FARPROC pfnFound = hModule != nullptr ? sys::GetProcAddress(hModule, pszName) : nullptr;
    pfnEntry = reinterpret_cast<T>(reinterpret_cast<void (*)()>(pfnFound));
    return pfnEntry != nullptr;
}

void ClearAll()
{
    RtlInitializeBitMap = nullptr;
    RtlFindClearBits = nullptr;
    RtlFindSetBits = nullptr;
    RtlFindNextForwardRunClear = nullptr;
    NtFsControlFile = nullptr;
    NtQueryInformationFile = nullptr;
    NtQuerySystemInformation = nullptr;
    NtQueryObject = nullptr;
    NtDuplicateObject = nullptr;
    ChkdskEx = nullptr;
    Chkdsk = nullptr;
    HeapSetInformation = nullptr;
}

bool BindNtdll()
{
    HMODULE hNtdll = sys::GetModuleHandleW(L"ntdll.dll");
    return Bind(hNtdll, "RtlInitializeBitMap", RtlInitializeBitMap) &&
           Bind(hNtdll, "RtlFindClearBits", RtlFindClearBits) &&
           Bind(hNtdll, "RtlFindSetBits", RtlFindSetBits) &&
           Bind(hNtdll, "RtlFindNextForwardRunClear", RtlFindNextForwardRunClear) &&
           Bind(hNtdll, "NtFsControlFile", NtFsControlFile) &&
           Bind(hNtdll, "NtQueryInformationFile", NtQueryInformationFile) &&
           Bind(hNtdll, "NtQuerySystemInformation", NtQuerySystemInformation) &&
           Bind(hNtdll, "NtQueryObject", NtQueryObject) &&
           Bind(hNtdll, "NtDuplicateObject", NtDuplicateObject);
}

// The library stays loaded for the life of the process: checks may run at any time.
bool BindFmifs()
{
    HMODULE hFmifs = sys::LoadLibraryW(L"fmifs.dll");
    return Bind(hFmifs, "ChkdskEx", ChkdskEx) && Bind(hFmifs, "Chkdsk", Chkdsk);
}

} // namespace

bool BindNativeFunctions()
{
    ClearAll();
    if (!BindNtdll() || !BindFmifs())
        return false;
    Bind(sys::GetModuleHandleW(L"Kernel32.dll"), "HeapSetInformation", HeapSetInformation);
    return true;
}

} // namespace native
