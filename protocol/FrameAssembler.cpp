#include "protocol/FrameAssembler.h"

#include "platform/LittleEndian.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace
{
const BYTE FrameStart = 0x02;
const BYTE FrameEnd = 0x03;

}

CFrameAssembler::CFrameAssembler(int nHeaderSize)
    : m_nHeaderSize(nHeaderSize), m_abHeader(), m_nHeaderBytes(0), m_pRecord(nullptr)
{
}

CFrameAssembler::~CFrameAssembler()
{
    Reset();
}

void CFrameAssembler::WriteFrame(BYTE* pOut, int nHeaderSize, const BYTE* pPayload, int32_t nLength,
                                 int32_t nSequence)
{
    pOut[0] = FrameStart;
    le::Put<int32_t>(pOut, 1, FrameVersion);
    le::Put<int32_t>(pOut, 5, 0);
    le::Put<int32_t>(pOut, 9, nLength);
    if (nHeaderSize == TcpHeaderSize)
        le::Put<int32_t>(pOut, 13, nSequence);
    if (nLength > 0)
        std::memcpy(pOut + nHeaderSize, pPayload, nLength);
    pOut[nHeaderSize + nLength] = FrameEnd;
}

bool CFrameAssembler::IsIdle() const
{
    return m_nHeaderBytes == 0 && (m_pRecord == nullptr || m_pRecord->bComplete);
}

void CFrameAssembler::Reset()
{
    if (m_pRecord != nullptr)
    {
        delete[] m_pRecord->pPayload;
        delete m_pRecord;
        m_pRecord = nullptr;
    }
    m_nHeaderBytes = 0;
}

CFrameAssembler::EResult CFrameAssembler::Take(const BYTE* pBytes, size_t nCount, size_t* pnUsed)
{
    size_t nUsed = 0;
    if (m_pRecord == nullptr || m_pRecord->bComplete)
    {
        nUsed = TakeHeader(pBytes, nCount);
        if (m_nHeaderBytes < m_nHeaderSize)
        {
            *pnUsed = nUsed;
            return NeedMore;
        }
        m_nHeaderBytes = 0;
        EResult eStart = StartFrame();
        if (eStart != NeedMore)
        {
            *pnUsed = nUsed;
            return eStart;
        }
    }
    nUsed += TakePayload(pBytes + nUsed, nCount - nUsed);
    bool bPayloadDone = m_pRecord->nReceived == GetPayloadLength();
    if (!bPayloadDone || nUsed == nCount)
    {
        *pnUsed = nUsed;
        return NeedMore;
    }
    BYTE bEnd = pBytes[nUsed++];
    *pnUsed = nUsed;
    if (bEnd != FrameEnd)
    {
        Reset();
        return BadEndByte;
    }
    m_pRecord->pPayload[GetPayloadLength()] = 0;
    m_pRecord->bComplete = true;
    return FrameDone;
}

size_t CFrameAssembler::TakeHeader(const BYTE* pBytes, size_t nCount)
{
    size_t nSkipped = 0;
    if (m_nHeaderBytes == 0)
    {
        // Whatever comes before a start byte is not a frame.
        const BYTE* pStart = static_cast<const BYTE*>(std::memchr(pBytes, FrameStart, nCount));
        if (pStart == nullptr)
            return nCount;
        nSkipped = pStart - pBytes;
    }
    size_t nTake = std::min(nCount - nSkipped, static_cast<size_t>(m_nHeaderSize - m_nHeaderBytes));
    std::memcpy(m_abHeader + m_nHeaderBytes, pBytes + nSkipped, nTake);
    m_nHeaderBytes += static_cast<int>(nTake);
    return nSkipped + nTake;
}

CFrameAssembler::EResult CFrameAssembler::StartFrame()
{
    int32_t nLength = le::Get<int32_t>(m_abHeader, 9);
    if (nLength < 0 || nLength > MaxPayload)
        return BadLength;
    if (m_pRecord == nullptr)
    {
        m_pRecord = new (std::nothrow) stFrameRecord();
        if (m_pRecord == nullptr)
            return NoMemory;
    }
    if (m_pRecord->nCapacity < nLength + 1)
    {
        delete[] m_pRecord->pPayload;
        m_pRecord->nCapacity = 0;
        m_pRecord->pPayload = new (std::nothrow) BYTE[nLength + 1];
        if (m_pRecord->pPayload == nullptr)
        {
            Reset();
            return NoMemory;
        }
        m_pRecord->nCapacity = nLength + 1;
    }
    m_pRecord->nFrameVersion = le::Get<int32_t>(m_abHeader, 1);
    m_pRecord->nReserved = le::Get<int32_t>(m_abHeader, 5);
    m_pRecord->nReceived = 0;
    m_pRecord->nExpected = nLength + 1;
    m_pRecord->bComplete = false;
    return NeedMore;
}

size_t CFrameAssembler::TakePayload(const BYTE* pBytes, size_t nCount)
{
    size_t nMissing = static_cast<size_t>(GetPayloadLength() - m_pRecord->nReceived);
    size_t nTake = std::min(nMissing, nCount);
    if (nTake > 0)
        std::memcpy(m_pRecord->pPayload + m_pRecord->nReceived, pBytes, nTake);
    m_pRecord->nReceived += static_cast<int32_t>(nTake);
    return nTake;
}
