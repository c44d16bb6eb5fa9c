// The process of the program under test, seen from the driver: whether it still runs, and
// memory inside it for the messages whose arguments are pointers.
#pragma once

#include <windows.h>

#include <string>

class CTargetProcess
{
public:
    CTargetProcess() = default;
    ~CTargetProcess();
    CTargetProcess(const CTargetProcess&) = delete;
    CTargetProcess& operator=(const CTargetProcess&) = delete;

    // Opens the process that owns the window; false with the system's error when it cannot.
    bool Open(HWND hWnd, DWORD& dwError);
    bool IsOpen() const { return m_hProcess != NULL; }
    DWORD Id() const { return m_dwId; }
    HANDLE Handle() const { return m_hProcess; }
    // True once the process has ended, with its exit code.
    bool Ended(DWORD& dwExitCode) const;
    // Reads a NUL-terminated text of at most nMaxChars characters at an address in the
    // process, page by page, since the text may end just before an unreadable page.
    bool ReadText(const void* pAddress, size_t nMaxChars, std::wstring& strText) const;

private:
    HANDLE m_hProcess = NULL;
    DWORD m_dwId = 0;
};

// A block of memory allocated inside the target, released with it. A message such as
// LVM_GETITEMTEXTW carries an address that the target's own control writes to: the
// driver's addresses mean nothing there, and the system marshals only its own messages.
class CRemoteBuffer
{
public:
    CRemoteBuffer(const CTargetProcess& process, SIZE_T nBytes);
    ~CRemoteBuffer();
    CRemoteBuffer(const CRemoteBuffer&) = delete;
    CRemoteBuffer& operator=(const CRemoteBuffer&) = delete;

    bool Allocated() const { return m_pBase != nullptr; }
    // The address, in the target, of a byte of the block.
    BYTE* At(SIZE_T nOffset) const { return static_cast<BYTE*>(m_pBase) + nOffset; }
    bool Write(SIZE_T nOffset, const void* pData, SIZE_T nBytes) const;
    bool Read(SIZE_T nOffset, void* pData, SIZE_T nBytes) const;

private:
    HANDLE m_hProcess;
    SIZE_T m_nBytes;
    void* m_pBase = nullptr;
};
