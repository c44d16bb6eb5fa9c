#include "TargetProcess.h"

#include <vector>

CTargetProcess::~CTargetProcess()
{
    if (m_hProcess != NULL)
        ::CloseHandle(m_hProcess);
}

bool CTargetProcess::Open(HWND hWnd, DWORD& dwError)
{
    DWORD dwId = 0;
    if (::GetWindowThreadProcessId(hWnd, &dwId) == 0)
    {
        dwError = ::GetLastError();
        return false;
    }
    HANDLE hProcess = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_OPERATION |
                                        PROCESS_VM_READ | PROCESS_VM_WRITE,
                                    FALSE, dwId);
    if (hProcess == NULL)
    {
        dwError = ::GetLastError();
        return false;
    }
    if (m_hProcess != NULL)
        ::CloseHandle(m_hProcess);
    m_hProcess = hProcess;
    m_dwId = dwId;
    return true;
}

bool CTargetProcess::Ended(DWORD& dwExitCode) const
{
    if (m_hProcess == NULL || ::WaitForSingleObject(m_hProcess, 0) != WAIT_OBJECT_0)
        return false;
    if (!::GetExitCodeProcess(m_hProcess, &dwExitCode))
        dwExitCode = STILL_ACTIVE;
    return true;
}

bool CTargetProcess::ReadText(const void* pAddress, size_t nMaxChars, std::wstring& strText) const
{
    const SIZE_T nPage = 4096;
    strText.clear();
    ULONG_PTR nAt = reinterpret_cast<ULONG_PTR>(pAddress);
    if (nAt == 0 || nAt % sizeof(wchar_t) != 0)
        return false;
    while (strText.size() < nMaxChars)
    {
        SIZE_T nBytes = nPage - nAt % nPage;
        std::vector<wchar_t> chunk(nBytes / sizeof(wchar_t));
        SIZE_T nRead = 0;
        if (!::ReadProcessMemory(m_hProcess, reinterpret_cast<const void*>(nAt), chunk.data(), nBytes, &nRead) ||
            nRead != nBytes)
            return false;
        for (wchar_t ch : chunk)
        {
            if (ch == L'\0' || strText.size() == nMaxChars)
                return true;
            strText += ch;
        }
        nAt += nBytes;
    }
    return true;
}

CRemoteBuffer::CRemoteBuffer(const CTargetProcess& process, SIZE_T nBytes)
    : m_hProcess(process.Handle()), m_nBytes(nBytes)
{
    if (m_hProcess != NULL)
        m_pBase = ::VirtualAllocEx(m_hProcess, nullptr, nBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

CRemoteBuffer::~CRemoteBuffer()
{
    if (m_pBase != nullptr)
        ::VirtualFreeEx(m_hProcess, m_pBase, 0, MEM_RELEASE);
}

bool CRemoteBuffer::Write(SIZE_T nOffset, const void* pData, SIZE_T nBytes) const
{
    SIZE_T nWritten = 0;
    return m_pBase != nullptr && nOffset + nBytes <= m_nBytes &&
           ::WriteProcessMemory(m_hProcess, At(nOffset), pData, nBytes, &nWritten) && nWritten == nBytes;
}

bool CRemoteBuffer::Read(SIZE_T nOffset, void* pData, SIZE_T nBytes) const
{
    SIZE_T nRead = 0;
    return m_pBase != nullptr && nOffset + nBytes <= m_nBytes &&
           ::ReadProcessMemory(m_hProcess, At(nOffset), pData, nBytes, &nRead) && nRead == nBytes;
}
