#include "tests/engine/SeamVolume.h"

namespace ntfstest {

CSeamVolume* CSeamVolume::s_pCurrent = nullptr;

CSeamVolume::CSeamVolume()
    : m_hVolume(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_table(sys::RealTable())
{
    m_table.pfnDeviceIoControl = &CSeamVolume::DeviceIoControl;
    m_table.pfnSetFilePointerEx = &CSeamVolume::SetFilePointerEx;
    m_table.pfnReadFile = &CSeamVolume::ReadFile;
}

CSeamVolume::~CSeamVolume()
{
    m_pInstall.reset();
    if (s_pCurrent == this)
        s_pCurrent = nullptr;
    ::CloseHandle(m_hVolume);
}

void CSeamVolume::Install()
{
    s_pCurrent = this;
    m_pInstall.reset(new sys::CScopedInstall(&m_table));
}

CSeamVolume* CSeamVolume::For(HANDLE h)
{
    return s_pCurrent != nullptr && h == s_pCurrent->m_hVolume ? s_pCurrent : nullptr;
}

BOOL WINAPI CSeamVolume::DeviceIoControl(HANDLE h, DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut,
                                         LPDWORD pdwReturned, LPOVERLAPPED pOverlapped)
{
    CSeamVolume* pVolume = For(h);
    if (pVolume == nullptr)
        return sys::RealTable().pfnDeviceIoControl(h, dwCode, pIn, dwIn, pOut, dwOut, pdwReturned, pOverlapped);
    *pdwReturned = 0;
    return pVolume->AnswerControl(dwCode, pIn, dwIn, pOut, dwOut, pdwReturned);
}

BOOL WINAPI CSeamVolume::SetFilePointerEx(HANDLE h, LARGE_INTEGER liDistance, PLARGE_INTEGER pliNew, DWORD dwMethod)
{
    CSeamVolume* pVolume = For(h);
    if (pVolume == nullptr)
        return sys::RealTable().pfnSetFilePointerEx(h, liDistance, pliNew, dwMethod);
    if (dwMethod != FILE_BEGIN || liDistance.QuadPart < 0)
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pVolume->m_llPosition = liDistance.QuadPart;
    if (pliNew != nullptr)
        *pliNew = liDistance;
    return TRUE;
}

BOOL WINAPI CSeamVolume::ReadFile(HANDLE h, LPVOID pBuffer, DWORD dwBytes, LPDWORD pdwRead, LPOVERLAPPED pOverlapped)
{
    CSeamVolume* pVolume = For(h);
    if (pVolume == nullptr)
        return sys::RealTable().pfnReadFile(h, pBuffer, dwBytes, pdwRead, pOverlapped);
    *pdwRead = 0;
    if (!pVolume->ReadAt(pVolume->m_llPosition, static_cast<BYTE*>(pBuffer), dwBytes, pdwRead))
        return FALSE;
    pVolume->m_llPosition += *pdwRead;
    return TRUE;
}

} // namespace ntfstest
