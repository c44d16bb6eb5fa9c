#include "ServiceClient.h"

#include "protocol/IoCanceller.h"

#include <chrono>
#include <cstring>

namespace
{
constexpr DWORD IoTimeoutMs = 10000;

int32_t ReadInt32(const BYTE* p)
{
    int32_t n = 0;
    std::memcpy(&n, p, 4);
    return n;
}
}

CServiceClient::~CServiceClient()
{
    Close();
}

bool CServiceClient::Open(const wchar_t* pszPipe, DWORD dwTimeoutMs, bool bRead)
{
    const std::wstring strBase = std::wstring(L"\\\\.\\PIPE\\") + pszPipe;
    const DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        m_hRead = ::CreateFileW((strBase + L"_OUT").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (m_hRead != INVALID_HANDLE_VALUE)
        {
            m_hWrite = ::CreateFileW((strBase + L"_IN").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
            if (m_hWrite != INVALID_HANDLE_VALUE)
                break;
            ::CloseHandle(m_hRead);
            m_hRead = INVALID_HANDLE_VALUE;
        }
        if (::GetTickCount() - dwStart >= dwTimeoutMs)
            return false;
        ::Sleep(50);
    }
    if (bRead)
        m_hReader = ::CreateThread(NULL, 0, ReaderProc, this, 0, NULL);
    return !bRead || m_hReader != NULL;
}

DWORD WINAPI CServiceClient::ReaderProc(LPVOID pParam)
{
    static_cast<CServiceClient*>(pParam)->ReadLoop();
    return 0;
}

void CServiceClient::ReadLoop()
{
    CBytes buffer(65536);
    for (;;)
    {
        DWORD dwRead = 0;
        if (!::ReadFile(m_hRead, buffer.data(), static_cast<DWORD>(buffer.size()), &dwRead, NULL))
            break;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stream.insert(m_stream.end(), buffer.begin(), buffer.begin() + dwRead);
        Split();
        m_cvReceived.notify_all();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bEnded = true;
    m_cvReceived.notify_all();
}

void CServiceClient::Split()
{
    // 0x02, frame version, reserved, length, payload, 0x03.
    for (;;)
    {
        if (m_stream.size() < 13)
            return;
        const int32_t nLength = ReadInt32(&m_stream[9]);
        if (m_stream[0] != 0x02 || nLength < 0)
        {
            m_stream.erase(m_stream.begin());
            continue;
        }
        if (m_stream.size() < 14 + static_cast<size_t>(nLength))
            return;
        stRECEIVED received;
        LARGE_INTEGER liNow;
        ::QueryPerformanceCounter(&liNow);
        received.llArrived = liNow.QuadPart;
        received.payload.assign(m_stream.begin() + 13, m_stream.begin() + 13 + nLength);
        received.nCode = nLength >= 12 ? ReadInt32(&received.payload[8]) : -1;
        m_messages.push_back(received);
        m_stream.erase(m_stream.begin(), m_stream.begin() + 14 + nLength);
    }
}

bool CServiceClient::SendPayload(const CBytes& payload, int32_t nFrameVersion)
{
    CBytes frame(13);
    frame[0] = 0x02;
    std::memcpy(&frame[1], &nFrameVersion, 4);
    const int32_t nLength = static_cast<int32_t>(payload.size());
    std::memcpy(&frame[9], &nLength, 4);
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(0x03);
    // The handle is synchronous: a service that stops reading fails the case, not hangs it.
    CIoCanceller canceller(IoTimeoutMs);
    DWORD dwWritten = 0;
    return ::WriteFile(m_hWrite, frame.data(), static_cast<DWORD>(frame.size()), &dwWritten, NULL) &&
           dwWritten == frame.size() && ::FlushFileBuffers(m_hWrite);
}

bool CServiceClient::SendIndex(int32_t nCode, int32_t nIndex)
{
    CBytes payload = Request(nCode);
    PutInt32(payload, nIndex);
    return SendPayload(payload);
}

bool CServiceClient::SendText(int32_t nCode, const std::wstring& strText)
{
    CBytes payload = Request(nCode);
    PutText(payload, strText);
    return SendPayload(payload);
}

void CServiceClient::Close()
{
    if (m_hWrite != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hWrite);
    m_hWrite = INVALID_HANDLE_VALUE;
    if (m_hReader != NULL)
    {
        // The reader's pending read ends when its I/O is cancelled.
        while (::WaitForSingleObject(m_hReader, 10) == WAIT_TIMEOUT)
            ::CancelSynchronousIo(m_hReader);
        ::CloseHandle(m_hReader);
        m_hReader = NULL;
    }
    if (m_hRead != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hRead);
    m_hRead = INVALID_HANDLE_VALUE;
}

bool CServiceClient::HasEnded()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bEnded;
}

bool CServiceClient::Next(stRECEIVED& received, DWORD dwTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cvReceived.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                          [this] { return m_nTaken < m_messages.size() || m_bEnded; });
    if (m_nTaken >= m_messages.size())
        return false;
    received = m_messages[m_nTaken++];
    return true;
}

bool CServiceClient::WaitFor(int32_t nCode, stRECEIVED& received, DWORD dwTimeoutMs)
{
    const DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        const DWORD dwElapsed = ::GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeoutMs || !Next(received, dwTimeoutMs - dwElapsed))
            return false;
        if (received.nCode == nCode)
            return true;
    }
}

std::vector<stRECEIVED> CServiceClient::Collect(DWORD dwTimeoutMs)
{
    std::vector<stRECEIVED> all;
    const DWORD dwStart = ::GetTickCount();
    stRECEIVED received;
    for (DWORD dwElapsed = 0; dwElapsed < dwTimeoutMs; dwElapsed = ::GetTickCount() - dwStart)
        if (Next(received, dwTimeoutMs - dwElapsed))
            all.push_back(received);
        else if (HasEnded())
            break;
    return all;
}

bool CServiceClient::WaitEnd(DWORD dwTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cvReceived.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs), [this] { return m_bEnded; });
}

CBytes CServiceClient::Request(int32_t nCode)
{
    CBytes payload;
    PutInt32(payload, 5);
    PutInt32(payload, 0);
    PutInt32(payload, nCode);
    return payload;
}

void CServiceClient::PutInt32(CBytes& bytes, int32_t n)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(&n);
    bytes.insert(bytes.end(), p, p + 4);
}

void CServiceClient::PutInt64(CBytes& bytes, int64_t n)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(&n);
    bytes.insert(bytes.end(), p, p + 8);
}

void CServiceClient::PutText(CBytes& bytes, const std::wstring& strText)
{
    PutInt32(bytes, static_cast<int32_t>(strText.size() * 2));
    const BYTE* p = reinterpret_cast<const BYTE*>(strText.data());
    bytes.insert(bytes.end(), p, p + strText.size() * 2);
}
