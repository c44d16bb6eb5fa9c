// Small services of the graphical program: a message pump for long work on
// the GUI thread, the administrator test, Unix-time conversion and a one-line
// local date and time text.
#pragma once

#include <windows.h>

// The connection's event message, which the pump runs last.
constexpr UINT WM_SERVER_DATA = 2334;

// Dispatches what waits in the thread's queue; the first WM_SERVER_DATA is
// held back and dispatched last (its result is returned, else 0). A WM_QUIT
// taken from the queue is posted again and ends the pump.
LRESULT PumpMessages();
// 1 when the thread's token (else the process token) lists the local
// Administrators group, whatever the group's attributes; else 0.
BOOL IsUserAdministrator();
// Seconds from 1601-01-01 to 1970-01-01.
ULONGLONG UnixEpochSeconds();
// The calendar time (UTC) of that instant. Instants beyond the system's file
// time range are refused: FALSE, and the output is zeroed.
BOOL UnixTimeToSystemTime(ULONGLONG ullSeconds, SYSTEMTIME* pTime);
// Short date, a blank, the time without seconds, in the user's locale. Returns
// the time formatting's result, the date's length when no room was left for
// the time, and 0 with an empty text when not even the date fits.
int FormatDateTime(const SYSTEMTIME& stTime, wchar_t* pszBuffer, int nBufferChars);
