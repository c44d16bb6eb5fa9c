// Splits a path given to a seam call into the simulated volume it names (if any), the path
// below the volume's root and the stream part, with the Win32 rules: "\\?\" paths are taken
// as they stand, others are normalised and held to MAX_PATH.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CSimVolume;

struct SIM_MOUNT
{
    CSimVolume* pVolume;
    wchar_t cLetter; // 0: no drive letter
};

struct SIM_PATH
{
    CSimVolume* pVolume = nullptr; // null: not a simulated path
    DWORD dwError = 0;             // a Win32 error for a path that cannot be taken
    bool bDevice = false;          // the volume itself ("\\.\X:", "\\?\Volume{...}")
    bool bTrailingSlash = false;
    std::wstring strRelative;      // below the root, "" for the root itself
    bool bStream = false;          // a ":" part was given
    std::wstring strStream;        // stream name, "" for the unnamed one
    std::wstring strType;          // "$DATA", "$BITMAP", ... or "" when not given
};

class CSimPath
{
public:
    static SIM_PATH Parse(const wchar_t* pszPath, const std::vector<SIM_MOUNT>& mounts);
    // The attribute type code of a stream type name, 0 for an unknown one.
    static DWORD TypeCode(const std::wstring& strType);

private:
    static bool SplitComponents(const std::wstring& strRest, bool bRaw, SIM_PATH& path);
};
