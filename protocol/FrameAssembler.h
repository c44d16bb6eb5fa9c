// CFrameAssembler: writes frames around payloads and reassembles the frames
// that arrive split over reads in any way. A frame is 0x02, int32 frame
// version, int32 reserved, int32 payload length N, on TCP an int32 sequence
// number, N payload bytes and 0x03; all integers little-endian.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct stFrameRecord
{
    int32_t nFrameVersion;
    int32_t nReserved;
    BYTE* pPayload;
    int32_t nReceived;
    int32_t nExpected; // N + 1: the payload and its end byte
    bool bComplete;
    int32_t nCapacity;
};

class CFrameAssembler
{
public:
    static constexpr int PipeHeaderSize = 13;
    static constexpr int TcpHeaderSize = 17;
    static constexpr int32_t FrameVersion = 1;
    // Far above any real message (a full cluster map is about 110 KiB): a
    // longer length is taken as hostile and never allocated.
    static constexpr int32_t MaxPayload = 16 * 1024 * 1024;

    enum EResult { NeedMore, FrameDone, BadEndByte, BadLength, NoMemory };

    explicit CFrameAssembler(int nHeaderSize);
    ~CFrameAssembler();
    CFrameAssembler(const CFrameAssembler&) = delete;
    CFrameAssembler& operator=(const CFrameAssembler&) = delete;

    static size_t GetFrameSize(int nHeaderSize, int32_t nLength) { return nHeaderSize + nLength + 1; }
    // Writes the whole frame into pOut, which holds GetFrameSize bytes; the
    // sequence number goes out only with the TCP header.
    static void WriteFrame(BYTE* pOut, int nHeaderSize, const BYTE* pPayload, int32_t nLength,
                           int32_t nSequence);

    // Takes bytes until one frame is complete or the input is used up; the
    // count taken is stored in *pnUsed. After FrameDone the record holds the
    // payload, zero-terminated, until the next call.
    EResult Take(const BYTE* pBytes, size_t nCount, size_t* pnUsed);
    const stFrameRecord* GetRecord() const { return m_pRecord; }
    int32_t GetPayloadLength() const { return m_pRecord->nExpected - 1; }
    // No frame and no header in progress.
    bool IsIdle() const;
    void Reset();

private:
    size_t TakeHeader(const BYTE* pBytes, size_t nCount);
    EResult StartFrame();
    size_t TakePayload(const BYTE* pBytes, size_t nCount);

    int m_nHeaderSize;
    BYTE m_abHeader[TcpHeaderSize];
    int m_nHeaderBytes;
    stFrameRecord* m_pRecord;
};
