// Dispatches this thread's messages until a condition holds or the time is up.
#pragma once

#include <windows.h>

#include <functional>

// True when the condition held in time.
bool PumpUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs);
