// CSeamVolume: a volume served behind the system seam for a test. It owns the handle the
// engine reaches it by and the file pointer of raw reads, and routes the calls the engine
// makes on that handle to the volume in force; other handles go to the system. A derived
// volume answers the controls and the raw reads.
#pragma once

#include "platform/sys.h"

#include <memory>

namespace ntfstest {

class CSeamVolume
{
public:
    CSeamVolume();
    virtual ~CSeamVolume();
    CSeamVolume(const CSeamVolume&) = delete;
    CSeamVolume& operator=(const CSeamVolume&) = delete;

    HANDLE Handle() const { return m_hVolume; }

protected:
    // Puts this volume behind the seam until it is destroyed.
    void Install();

    virtual BOOL AnswerControl(DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned) = 0;
    // Reads at a byte offset; a read that succeeds moves the file pointer past what it read.
    virtual BOOL ReadAt(LONGLONG llOffset, BYTE* pBuffer, DWORD dwBytes, LPDWORD pdwRead) = 0;

private:
    static BOOL WINAPI DeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    static BOOL WINAPI SetFilePointerEx(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD);
    static BOOL WINAPI ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    static CSeamVolume* For(HANDLE h);

    static CSeamVolume* s_pCurrent;

    HANDLE m_hVolume;
    LONGLONG m_llPosition = 0;
    sys::SYS_TABLE m_table;
    std::unique_ptr<sys::CScopedInstall> m_pInstall;
};

} // namespace ntfstest
