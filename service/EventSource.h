// CEventSource: the registry entries that make a program an event source of
// the Application log: its own key with the message file, and its name in
// the log's "Sources" list, which holds each name once.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CEventSource
{
public:
    static std::wstring GetKeyPath(const wchar_t* pszName);
    static bool Register(const wchar_t* pszName, const wchar_t* pszMessageFile, DWORD dwTypes);
    static bool Unregister(const wchar_t* pszName);
    // Empty when the value is missing, as in a fresh system. False when a list is
    // there but cannot be read: it must then not be written back, or the other
    // sources in it would be lost.
    static bool ReadSources(std::vector<std::wstring>& sources);

private:
    static bool WriteSources(const std::vector<std::wstring>& sources);
};
