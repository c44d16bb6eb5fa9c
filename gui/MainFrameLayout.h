// The main frame's window settings as stored per user, and the rules that
// turn them into the window's place and the heights of the splitter rows.
#pragma once

#include <windows.h>

// The values of HKCU "Software\Varnefold\Window", all DWORD.
struct stFRAME_SETTINGS
{
    LONG nShow;
    LONG nLeft;
    LONG nTop;
    LONG nRight;
    LONG nBottom;
    DWORD dwAlwaysOnTop;
    LONG nDriveList;
    DWORD dwDefaultDefragMethod;
    DWORD dwStartOnWindowsStart;
    DWORD dwStartMinimized;
    DWORD dwStyle;
    DWORD dwTrayIconMode;
    DWORD dwCloseWillExit;
};

// The key of the frame's settings under HKEY_CURRENT_USER.
extern const wchar_t* const FrameSettingsKey;

// The stored values over the defaults the caller preset; values out of their
// range fall back to the default, so a damaged entry cannot steer the window.
void ReadFrameSettings(stFRAME_SETTINGS& stSettings);
// Writes every value but CloseWillExit, which only the user sets; FALSE when a
// value could not be written.
BOOL WriteFrameSettings(const stFRAME_SETTINGS& stSettings);

// Whether the stored rectangle may be used as it stands; otherwise the window is centred.
bool IsStoredPlacementUsable(const stFRAME_SETTINGS& stSettings);

struct stSPLITTER_ROWS
{
    int nHeight0;
    int nMin0;
    int nHeight1;
    int nMin1;
};
// Row 0 takes the stored drive-list height when the client area leaves the
// map row its minimum; otherwise the two rows share the height.
stSPLITTER_ROWS ComputeSplitterRows(int nClientHeight, LONG nDriveList);
