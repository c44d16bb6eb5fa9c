// CSysHandle: owns a file or volume handle opened through the system seam and closes it
// through the seam, once.
#pragma once

#include "platform/sys.h"

class CSysHandle
{
public:
    explicit CSysHandle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~CSysHandle() { Reset(); }
    CSysHandle(const CSysHandle&) = delete;
    CSysHandle& operator=(const CSysHandle&) = delete;

    bool IsOpen() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    HANDLE Get() const { return m_h; }
    HANDLE Release()
    {
        HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h;
    }
    void Reset(HANDLE h = INVALID_HANDLE_VALUE)
    {
        if (IsOpen())
            sys::CloseHandle(m_h);
        m_h = h;
    }

private:
    HANDLE m_h;
};
