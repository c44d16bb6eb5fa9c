#include "TransportTestSupport.h"

#include "protocol/IoCanceller.h"

#include <atomic>
#include <thread>

CTestEndpoint::CTestEndpoint() : CQOVQueuedServer(m_evItems.GetHandle())
{
}

CTestEndpoint::~CTestEndpoint()
{
    Stop();
}

CItemPtr CTestEndpoint::WaitItem(DWORD dwTimeoutMs)
{
    DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        if (stQueueItem* pItem = PopItem())
            return CItemPtr(pItem);
        DWORD dwElapsed = ::GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeoutMs)
            return CItemPtr();
        ::WaitForSingleObject(m_evItems.GetHandle(), dwTimeoutMs - dwElapsed);
    }
}

CItemPtr CTestEndpoint::WaitKind(int nKind, DWORD dwTimeoutMs)
{
    DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        DWORD dwElapsed = ::GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeoutMs)
            return CItemPtr();
        CItemPtr pItem = WaitItem(dwTimeoutMs - dwElapsed);
        if (!pItem || pItem->nKind == nKind)
            return pItem;
    }
}

std::wstring MakePipeName(const wchar_t* pszCase)
{
    static std::atomic<int> s_nCounter(0);
    return L"vftest_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + pszCase + L"_" +
           std::to_wstring(++s_nCounter);
}

CBytes MakePayload(size_t nCount, BYTE bSeed)
{
    CBytes payload(nCount);
    for (size_t i = 0; i < nCount; ++i)
        payload[i] = static_cast<BYTE>(bSeed + i * 7);
    return payload;
}

CBytes MakeHeader(int32_t nLength, int32_t nVersion)
{
    CBytes frame(CFrameAssembler::PipeHeaderSize + 1);
    CFrameAssembler::WriteFrame(frame.data(), CFrameAssembler::PipeHeaderSize, nullptr, 0, 0);
    frame.pop_back();
    for (int i = 0; i < 4; ++i)
    {
        frame[1 + i] = static_cast<BYTE>(static_cast<uint32_t>(nVersion) >> (8 * i));
        frame[9 + i] = static_cast<BYTE>(static_cast<uint32_t>(nLength) >> (8 * i));
    }
    return frame;
}

CBytes MakeFrame(const CBytes& payload, int32_t nVersion, BYTE bEnd)
{
    CBytes frame = MakeHeader(static_cast<int32_t>(payload.size()), nVersion);
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(bEnd);
    return frame;
}

CBytes Concat(const CBytes& a, const CBytes& b)
{
    CBytes result(a);
    result.insert(result.end(), b.begin(), b.end());
    return result;
}

CBytes PayloadOf(const stQueueItem& stItem)
{
    return CBytes(stItem.pPayload, stItem.pPayload + stItem.nLength);
}

DWORD CountOpenHandles()
{
    // Handle values are multiples of four and handed out from the lowest free
    // one, so a long run of free values ends the table.
    const ULONG_PTR MaxGap = 4096;
    DWORD dwCount = 0;
    ULONG_PTR uLast = 0;
    for (ULONG_PTR uValue = 4; uValue < uLast + MaxGap; uValue += 4)
    {
        DWORD dwFlags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(uValue), &dwFlags))
        {
            ++dwCount;
            uLast = uValue;
        }
    }
    return dwCount;
}

bool CRawPipeClient::Open(const std::wstring& strName, DWORD dwBusyRetryMs)
{
    DWORD dwStart = ::GetTickCount();
    while (!OpenOnce(strName))
    {
        if (m_dwError != ERROR_PIPE_BUSY || ::GetTickCount() - dwStart >= dwBusyRetryMs)
            return false;
        ::Sleep(20);
    }
    return true;
}

bool CRawPipeClient::OpenOnce(const std::wstring& strName)
{
    std::wstring strBase = L"\\\\.\\PIPE\\" + strName;
    m_hRead = ::CreateFileW((strBase + L"_OUT").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (m_hRead == INVALID_HANDLE_VALUE)
    {
        m_dwError = ::GetLastError();
        return false;
    }
    m_hWrite = ::CreateFileW((strBase + L"_IN").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (m_hWrite == INVALID_HANDLE_VALUE)
    {
        m_dwError = ::GetLastError();
        Close();
        return false;
    }
    return true;
}

bool CRawPipeClient::OpenHalf(const std::wstring& strName, bool bIn)
{
    std::wstring strHalf = L"\\\\.\\PIPE\\" + strName + (bIn ? L"_IN" : L"_OUT");
    HANDLE hHalf = ::CreateFileW(strHalf.c_str(), bIn ? GENERIC_WRITE : GENERIC_READ, 0, NULL, OPEN_EXISTING, 0,
                                 NULL);
    if (hHalf == INVALID_HANDLE_VALUE)
    {
        m_dwError = ::GetLastError();
        return false;
    }
    (bIn ? m_hWrite : m_hRead) = hHalf;
    return true;
}

bool CRawPipeClient::SendRaw(const CBytes& bytes)
{
    // The handle is synchronous: a server that stops reading fails the case
    // instead of hanging it.
    CIoCanceller canceller(IoTimeoutMs);
    DWORD dwWritten = 0;
    if (::WriteFile(m_hWrite, bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten, NULL) &&
        dwWritten == bytes.size())
        return true;
    m_dwError = ::GetLastError();
    return false;
}

bool CRawPipeClient::Send(const CBytes& bytes)
{
    if (!SendRaw(bytes))
        return false;
    // The flush returns once the server has read everything.
    CIoCanceller canceller(IoTimeoutMs);
    if (::FlushFileBuffers(m_hWrite))
        return true;
    m_dwError = ::GetLastError();
    return false;
}

CBytes CRawPipeClient::Read(DWORD dwTimeoutMs, size_t nMax)
{
    // The handle is synchronous: a helper thread cancels the read when it
    // runs over its time.
    CBytes buffer(nMax);
    DWORD dwRead = 0;
    std::atomic<bool> bDone(false);
    HANDLE hThread = NULL;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &hThread, 0,
                      FALSE, DUPLICATE_SAME_ACCESS);
    std::thread watchdog([&] {
        DWORD dwStart = ::GetTickCount();
        while (!bDone && ::GetTickCount() - dwStart < dwTimeoutMs)
            ::Sleep(10);
        while (!bDone)
        {
            ::CancelSynchronousIo(hThread);
            ::Sleep(10);
        }
    });
    BOOL bRead = ::ReadFile(m_hRead, buffer.data(), static_cast<DWORD>(buffer.size()), &dwRead, NULL);
    bDone = true;
    watchdog.join();
    ::CloseHandle(hThread);
    buffer.resize(bRead ? dwRead : 0);
    return buffer;
}

void CRawPipeClient::Close()
{
    if (m_hWrite != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hWrite);
    if (m_hRead != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hRead);
    m_hWrite = m_hRead = INVALID_HANDLE_VALUE;
}
