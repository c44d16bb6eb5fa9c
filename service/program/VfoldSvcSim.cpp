// VfoldSvcSim.exe: the service on simulated volumes, for tests and the demo.
//   VfoldSvcSim --image S:=s.img [--image T:=t.img ...] [service switches]
// The images are mounted before the service's own command line runs; the service then lists
// them as its only volumes, and each is written back when the service has stopped. With "-i"
// the installed service's command line carries the same images.
#include "SimImages.h"

#include "service/DefragService.h"

#include <cstdio>
#include <vector>

namespace {

// The switch of the service's command line that decides what runs: the first "-d" or "-f",
// else the last of "-i", "-u", "-s", "-e"; 0 for a run under the service manager.
wchar_t SelectedOperation(const std::vector<wchar_t*>& arguments)
{
    wchar_t chSelected = 0;
    for (size_t i = 1; i < arguments.size(); ++i)
    {
        const wchar_t* pszArgument = arguments[i];
        if (pszArgument[0] != L'-')
            continue;
        switch (pszArgument[1])
        {
        case L'd':
        case L'f':
            return pszArgument[1];
        case L'i':
        case L'u':
        case L's':
        case L'e':
            chSelected = pszArgument[1];
            break;
        case L'l':
        case L'p':
            // Their value may be the next argument, which is then no switch.
            if (pszArgument[2] == L'\0')
                ++i;
            break;
        default:
            break;
        }
    }
    return chSelected;
}

bool PutImagesIntoServiceCommand(const CSimImages& images, const CUnicodeString& strServiceName)
{
    wchar_t szModule[MAX_PATH + 1] = {};
    const DWORD dwLength = ::GetModuleFileNameW(NULL, szModule, MAX_PATH + 1);
    if (dwLength == 0 || dwLength > MAX_PATH)
        return false;
    std::wstring strCommand = L"\"" + std::wstring(szModule) + L"\"" + images.GetArguments();
    SC_HANDLE hManager = ::OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (hManager == NULL)
        return false;
    SC_HANDLE hService = ::OpenServiceW(hManager, strServiceName.GetBuffer(), SERVICE_CHANGE_CONFIG);
    bool bChanged = hService != NULL &&
                    ::ChangeServiceConfigW(hService, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                           strCommand.c_str(), NULL, NULL, NULL, NULL, NULL, NULL);
    if (hService != NULL)
        ::CloseServiceHandle(hService);
    ::CloseServiceHandle(hManager);
    return bChanged;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    CSimImages images;
    int nFirst = 1;
    std::wstring strError;
    if (!images.MountFromArguments(argc, argv, &nFirst, &strError))
    {
        std::fwprintf(stderr, L"VfoldSvcSim: %ls\n", strError.c_str());
        return 0;
    }
    std::vector<wchar_t*> arguments(1, argv[0]);
    for (int i = nFirst; i < argc; ++i)
        arguments.push_back(argv[i]);
    const wchar_t chOperation = SelectedOperation(arguments);
    bool bDone = false;
    {
        CDefragService service;
        bDone = service.ParseCommandLine(static_cast<int>(arguments.size()), arguments.data());
        if (bDone && chOperation == L'i')
            bDone = PutImagesIntoServiceCommand(images, service.GetServiceName());
    }
    if (chOperation == 0 || chOperation == L'd' || chOperation == L'f')
    {
        if (!images.SaveAll(&strError))
        {
            std::fwprintf(stderr, L"VfoldSvcSim: %ls", strError.c_str());
            return 0;
        }
    }
    return bDone ? 1 : 0;
}
