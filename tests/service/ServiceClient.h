// A client of the service's pipes for the tests. Requests are written byte by byte as the
// wire format has them; every frame that arrives is kept, in order, with the end of the pipe.
#pragma once

#include "tests/platform/WaitFor.h"

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

typedef std::vector<BYTE> CBytes;

struct stRECEIVED
{
    int32_t nCode;     // the header's command; -1 when the payload had no header
    CBytes payload;    // the whole payload, header included
    LONGLONG llArrived; // performance counter when its last byte was read
};

class CServiceClient
{
public:
    static constexpr const wchar_t* GuiPipe = L"qovDefragService1";
    static constexpr const wchar_t* CommandPipe = L"qovDefragServiceCMD";

    CServiceClient() = default;
    ~CServiceClient();
    CServiceClient(const CServiceClient&) = delete;
    CServiceClient& operator=(const CServiceClient&) = delete;

    // Retries while the pair is busy or not there yet. bRead false: nothing is read, as a
    // client that never reads.
    bool Open(const wchar_t* pszPipe, DWORD dwTimeoutMs = GenerousWaitMs, bool bRead = true);
    // One frame with exactly these payload bytes, flushed.
    bool SendPayload(const CBytes& payload, int32_t nFrameVersion = 1);
    bool Send(int32_t nCode) { return SendPayload(Request(nCode)); }
    bool SendIndex(int32_t nCode, int32_t nIndex);
    bool SendText(int32_t nCode, const std::wstring& strText);
    void Close();

    // The next message, or false when none came within the time (or the pipe ended).
    bool Next(stRECEIVED& received, DWORD dwTimeoutMs = GenerousWaitMs);
    // Skips other messages until one with the code arrives.
    bool WaitFor(int32_t nCode, stRECEIVED& received, DWORD dwTimeoutMs = GenerousWaitMs);
    // Every message within the time.
    std::vector<stRECEIVED> Collect(DWORD dwTimeoutMs);
    // True when the service ended the pipe within the time.
    bool WaitEnd(DWORD dwTimeoutMs = GenerousWaitMs);
    bool HasEnded();

    static CBytes Request(int32_t nCode);
    static void PutInt32(CBytes& bytes, int32_t n);
    static void PutInt64(CBytes& bytes, int64_t n);
    static void PutText(CBytes& bytes, const std::wstring& strText);

private:
    static DWORD WINAPI ReaderProc(LPVOID pParam);
    void ReadLoop();
    void Split();

    HANDLE m_hRead = INVALID_HANDLE_VALUE;
    HANDLE m_hWrite = INVALID_HANDLE_VALUE;
    HANDLE m_hReader = NULL;
    std::mutex m_mutex;
    std::condition_variable m_cvReceived;
    CBytes m_stream;
    std::vector<stRECEIVED> m_messages;
    size_t m_nTaken = 0;
    bool m_bEnded = false;
};
