// CInternetHandle: owns one WinINet handle (session or request) and closes it
// with InternetCloseHandle; null means none.
#pragma once

#include <windows.h>
#include <wininet.h>

class CInternetHandle
{
public:
    explicit CInternetHandle(HINTERNET hInternet = NULL) : m_hInternet(hInternet) {}
    ~CInternetHandle() { Reset(); }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;

    HINTERNET Get() const { return m_hInternet; }
    HINTERNET Release()
    {
        HINTERNET h = m_hInternet;
        m_hInternet = NULL;
        return h;
    }
    void Reset(HINTERNET hInternet = NULL)
    {
        if (m_hInternet != NULL)
            ::InternetCloseHandle(m_hInternet);
        m_hInternet = hInternet;
    }

private:
    HINTERNET m_hInternet;
};
