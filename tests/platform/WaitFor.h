// Waiting in tests for something another thread brings about, with a bound far above what any
// machine needs, so that a loaded machine slows a test down but never fails it.
#pragma once

#include <windows.h>

#include <functional>

// Long enough for a step that takes milliseconds on an idle machine to finish beside several
// full builds; short enough that a test which never sees it fails well within its time-out.
constexpr DWORD GenerousWaitMs = 60000;

// True once the condition holds; false when the bound passes first.
inline bool WaitFor(const std::function<bool()>& condition, DWORD dwBoundMs = GenerousWaitMs)
{
    const ULONGLONG ullDeadline = ::GetTickCount64() + dwBoundMs;
    while (!condition())
    {
        if (::GetTickCount64() >= ullDeadline)
            return false;
        ::Sleep(2);
    }
    return true;
}
