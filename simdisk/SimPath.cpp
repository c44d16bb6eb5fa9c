#include "simdisk/SimPath.h"

#include "simdisk/SimVolume.h"

#include <cwctype>

namespace {

bool StartsWithNoCase(const std::wstring& str, const wchar_t* pszPrefix)
{
    size_t n = wcslen(pszPrefix);
    return str.size() >= n && _wcsnicmp(str.c_str(), pszPrefix, n) == 0;
}

} // namespace

DWORD CSimPath::TypeCode(const std::wstring& strType)
{
    static const struct
    {
        const wchar_t* pszName;
        DWORD dwCode;
    } types[] = {
        {L"$STANDARD_INFORMATION", ntfs::StandardInformation}, {L"$ATTRIBUTE_LIST", ntfs::AttributeList},
        {L"$FILE_NAME", ntfs::FileName},   {L"$DATA", ntfs::Data},
        {L"$INDEX_ROOT", ntfs::IndexRoot}, {L"$INDEX_ALLOCATION", ntfs::IndexAllocation},
        {L"$BITMAP", ntfs::Bitmap},        {L"$REPARSE_POINT", ntfs::ReparsePoint},
    };
    for (const auto& type : types)
        if (_wcsicmp(strType.c_str(), type.pszName) == 0)
            return type.dwCode;
    return 0;
}

SIM_PATH CSimPath::Parse(const wchar_t* pszPath, const std::vector<SIM_MOUNT>& mounts)
{
    SIM_PATH path;
    if (!pszPath)
        return path;
    std::wstring str(pszPath);
    bool bRaw = false;
    bool bDeviceForm = false;
    if (StartsWithNoCase(str, L"\\\\?\\"))
    {
        bRaw = true;
        str = str.substr(4);
    }
    else if (StartsWithNoCase(str, L"\\\\.\\"))
    {
        bDeviceForm = true;
        str = str.substr(4);
    }
    CSimVolume* pVolume = nullptr;
    std::wstring strRest;
    if (StartsWithNoCase(str, L"Volume{"))
    {
        size_t nClose = str.find(L'}');
        if (nClose == std::wstring::npos)
            return path;
        std::wstring strGuid = str.substr(6, nClose - 5);
        for (const SIM_MOUNT& mount : mounts)
            if (_wcsicmp(mount.pVolume->Geometry().strGuid.c_str(), strGuid.c_str()) == 0)
                pVolume = mount.pVolume;
        strRest = str.substr(nClose + 1);
        bDeviceForm = bDeviceForm || bRaw;
    }
    else if (str.size() >= 2 && str[1] == L':')
    {
        for (const SIM_MOUNT& mount : mounts)
            if (mount.cLetter && std::towupper(str[0]) == std::towupper(mount.cLetter))
                pVolume = mount.pVolume;
        strRest = str.substr(2);
    }
    if (!pVolume)
        return path;
    path.pVolume = pVolume;
    if (strRest.empty())
    {
        // "X:" alone names the current directory of the drive, which is its root here.
        path.bDevice = bRaw || bDeviceForm;
        return path;
    }
    if (strRest[0] != L'\\' && !(strRest[0] == L'/' && !bRaw))
    {
        path.dwError = ERROR_INVALID_NAME;
        return path;
    }
    // Without the "\\?\" prefix Win32 holds a path to MAX_PATH, NUL included.
    if (!bRaw && wcslen(pszPath) >= MAX_PATH)
    {
        path.dwError = ERROR_PATH_NOT_FOUND;
        return path;
    }
    if (!SplitComponents(strRest, bRaw, path))
        path.dwError = ERROR_INVALID_NAME;
    return path;
}

bool CSimPath::SplitComponents(const std::wstring& strRest, bool bRaw, SIM_PATH& path)
{
    std::vector<std::wstring> parts;
    std::wstring strPart;
    auto flush = [&]() {
        if (strPart.empty())
            return;
        if (!bRaw && strPart == L".")
            ;
        else if (!bRaw && strPart == L"..")
        {
            if (!parts.empty())
                parts.pop_back();
        }
        else
            parts.push_back(strPart);
        strPart.clear();
    };
    for (wchar_t c : strRest)
    {
        if (c == L'\\' || (c == L'/' && !bRaw))
            flush();
        else
            strPart += c;
    }
    const bool bTrailing = strPart.empty();
    flush();
    path.bTrailingSlash = bTrailing;
    if (!parts.empty())
    {
        std::wstring& strLast = parts.back();
        size_t nColon = strLast.find(L':');
        if (nColon != std::wstring::npos)
        {
            std::wstring strSpec = strLast.substr(nColon + 1);
            strLast = strLast.substr(0, nColon);
            size_t nSecond = strSpec.find(L':');
            path.bStream = true;
            path.strStream = nSecond == std::wstring::npos ? strSpec : strSpec.substr(0, nSecond);
            path.strType = nSecond == std::wstring::npos ? L"" : strSpec.substr(nSecond + 1);
            if (path.strStream.find(L':') != std::wstring::npos || (nSecond != std::wstring::npos && path.strType.empty()))
                return false;
            if (strLast.empty())
                parts.pop_back();
        }
    }
    for (size_t i = 0; i < parts.size(); ++i)
    {
        if (i)
            path.strRelative += L'\\';
        path.strRelative += parts[i];
    }
    return true;
}
