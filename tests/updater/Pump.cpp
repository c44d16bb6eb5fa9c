#include "Pump.h"

bool PumpUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs)
{
    ULONGLONG nEnd = ::GetTickCount64() + dwTimeoutMs;
    while (!condition())
    {
        ULONGLONG nNow = ::GetTickCount64();
        if (nNow >= nEnd)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(nEnd - nNow), QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
        {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}
