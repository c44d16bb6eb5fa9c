// CAutoHandle: closes a plain handle at the end of a scope. Null and
// INVALID_HANDLE_VALUE are both taken as "no handle", so it serves files and
// kernel objects alike.
#pragma once

#include <windows.h>

class CAutoHandle
{
public:
    explicit CAutoHandle(HANDLE hObject = NULL) : m_hObject(hObject) {}
    ~CAutoHandle() { Reset(); }
    CAutoHandle(const CAutoHandle&) = delete;
    CAutoHandle& operator=(const CAutoHandle&) = delete;

    HANDLE Get() const { return m_hObject; }
    HANDLE Release() { HANDLE h = m_hObject; m_hObject = NULL; return h; }
    void Reset(HANDLE hObject = NULL)
    {
        if (m_hObject != NULL && m_hObject != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_hObject);
        m_hObject = hObject;
    }

private:
    HANDLE m_hObject;
};
