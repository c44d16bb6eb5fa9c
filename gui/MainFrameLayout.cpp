#include "gui/MainFrameLayout.h"

#include "guitoolkit/Registry.h"

const wchar_t* const FrameSettingsKey = L"Software\\Varnefold\\Window";

namespace
{
constexpr DWORD LastStyle = 2;
constexpr DWORD LastTrayIconMode = 3;
constexpr DWORD LastDefragMethod = 2;

void ReadSigned(toolkit::CRegistry& key, const wchar_t* pszName, LONG& nValue)
{
    DWORD dwValue = static_cast<DWORD>(nValue);
    if (key.ReadDWORD(pszName, dwValue))
        nValue = static_cast<LONG>(dwValue);
}

// A value beyond the last one the program knows keeps the default.
void ReadBounded(toolkit::CRegistry& key, const wchar_t* pszName, DWORD& dwValue, DWORD dwLast)
{
    DWORD dwRead = dwValue;
    if (key.ReadDWORD(pszName, dwRead) && dwRead <= dwLast)
        dwValue = dwRead;
}
} // namespace

void ReadFrameSettings(stFRAME_SETTINGS& stSettings)
{
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    if (!key.Open(HKEY_CURRENT_USER, FrameSettingsKey))
        return;
    ReadSigned(key, L"Show", stSettings.nShow);
    ReadSigned(key, L"Left", stSettings.nLeft);
    ReadSigned(key, L"Top", stSettings.nTop);
    ReadSigned(key, L"Right", stSettings.nRight);
    ReadSigned(key, L"Bottom", stSettings.nBottom);
    ReadBounded(key, L"AlwaysOnTop", stSettings.dwAlwaysOnTop, 1);
    ReadSigned(key, L"DriveList", stSettings.nDriveList);
    ReadBounded(key, L"DefaultDefragMethod", stSettings.dwDefaultDefragMethod, LastDefragMethod);
    ReadBounded(key, L"StartOnWindowsStart", stSettings.dwStartOnWindowsStart, 1);
    ReadBounded(key, L"StartOnWindowsStartMinimized", stSettings.dwStartMinimized, 1);
    ReadBounded(key, L"Style", stSettings.dwStyle, LastStyle);
    ReadBounded(key, L"TrayIconMode", stSettings.dwTrayIconMode, LastTrayIconMode);
    ReadBounded(key, L"CloseWillExit", stSettings.dwCloseWillExit, 1);
}

BOOL WriteFrameSettings(const stFRAME_SETTINGS& stSettings)
{
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    if (!key.Create(HKEY_CURRENT_USER, FrameSettingsKey))
        return FALSE;
    const struct
    {
        const wchar_t* pszName;
        DWORD dwValue;
    } values[] = {
        {L"Show", static_cast<DWORD>(stSettings.nShow)},
        {L"Left", static_cast<DWORD>(stSettings.nLeft)},
        {L"Top", static_cast<DWORD>(stSettings.nTop)},
        {L"Right", static_cast<DWORD>(stSettings.nRight)},
        {L"Bottom", static_cast<DWORD>(stSettings.nBottom)},
        {L"AlwaysOnTop", stSettings.dwAlwaysOnTop},
        {L"DefaultDefragMethod", stSettings.dwDefaultDefragMethod},
        {L"StartOnWindowsStart", stSettings.dwStartOnWindowsStart},
        {L"StartOnWindowsStartMinimized", stSettings.dwStartMinimized},
        {L"Style", stSettings.dwStyle},
        {L"TrayIconMode", stSettings.dwTrayIconMode},
    };
    BOOL bAll = TRUE;
    for (const auto& value : values)
        bAll &= key.WriteDWORD(value.pszName, value.dwValue);
    // A row squeezed to nothing is no height to come back to.
    if (stSettings.nDriveList > 20)
        bAll &= key.WriteDWORD(L"DriveList", static_cast<DWORD>(stSettings.nDriveList));
    return bAll;
}

bool IsStoredPlacementUsable(const stFRAME_SETTINGS& st)
{
    return st.nShow != -1 && st.nLeft >= 0 && st.nRight >= 1 && st.nLeft < st.nRight && st.nTop >= 0 &&
           st.nBottom >= 1 && st.nTop < st.nBottom;
}

stSPLITTER_ROWS ComputeSplitterRows(int nClientHeight, LONG nDriveList)
{
    if (nDriveList != 0 && nDriveList != -1 && nClientHeight >= nDriveList + 80)
        return {static_cast<int>(nDriveList), 50, 0, 80};
    int nHalf = nClientHeight / 2;
    return {nHalf > 20 ? nHalf - 20 : nHalf, 50, nHalf, 80};
}
