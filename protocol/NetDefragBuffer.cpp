#include "protocol/NetDefragBuffer.h"

#include "base/UnicodeString.h"
#include "protocol/NetDefragException.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

CNetDefragBuffer::CNetDefragBuffer(bool bStoring, UINT, int nGrowthStep)
    : m_pStart(nullptr), m_pCurrent(nullptr), m_pEnd(nullptr), m_nGrowthStep(nGrowthStep),
      m_nSize(0), m_nCapacity(0), m_bOwns(true), m_bStoring(bStoring), m_bFailed(false)
{
}

CNetDefragBuffer::~CNetDefragBuffer()
{
    Free();
}

void CNetDefragBuffer::Attach(const BYTE* pBytes, UINT nLength)
{
    Free();
    // Only read through: writes are refused while the archive does not own it.
    m_pStart = m_pCurrent = const_cast<BYTE*>(pBytes);
    m_pEnd = m_pStart + nLength;
    m_nSize = m_nCapacity = nLength;
    m_bOwns = false;
}

void CNetDefragBuffer::Free()
{
    if (m_bOwns)
        std::free(m_pStart);
    m_pStart = m_pCurrent = m_pEnd = nullptr;
    m_nSize = m_nCapacity = 0;
    m_bOwns = true;
    m_bFailed = false;
}

bool CNetDefragBuffer::Grow(UINT nBytes, bool bZeroFill)
{
    if (!m_bOwns || nBytes > MaxSize - m_nSize)
        return false;
    UINT nNewSize = m_nSize + nBytes;
    if (nNewSize > m_nCapacity)
    {
        // The size grows by the caller's steps, which is what goes out; the allocation grows
        // by half at least, so that a message written field by field is not copied over and
        // over. Without room for that, exactly the size is asked for.
        ptrdiff_t nOffset = m_pCurrent - m_pStart;
        UINT nCapacity = m_nCapacity + m_nCapacity / 2;
        if (nCapacity < nNewSize || nCapacity > MaxSize)
            nCapacity = nNewSize;
        BYTE* pNew = static_cast<BYTE*>(std::realloc(m_pStart, nCapacity));
        if (pNew == nullptr && nCapacity > nNewSize)
            pNew = static_cast<BYTE*>(std::realloc(m_pStart, nCapacity = nNewSize));
        if (pNew == nullptr)
            return false;
        m_pCurrent = pNew + nOffset;
        m_pStart = pNew;
        m_nCapacity = nCapacity;
    }
    // The bytes after the last field go out with the message: send zeros.
    if (bZeroFill)
        memset(m_pStart + m_nSize, 0, nBytes);
    m_pEnd = m_pStart + nNewSize;
    m_nSize = nNewSize;
    return true;
}

bool CNetDefragBuffer::MakeRoom(int64_t nBytes, int64_t nGrowBy)
{
    if (m_bFailed || !m_bOwns)
    {
        m_bFailed = true;
        return false;
    }
    if (m_pEnd - m_pCurrent >= nBytes)
        return true;
    if (nGrowBy > MaxSize || !Grow(static_cast<UINT>(nGrowBy)))
    {
        m_bFailed = true;
        return false;
    }
    return true;
}

bool CNetDefragBuffer::WriteRaw(const void* pBytes, int64_t nBytes)
{
    if (nBytes < 0 || (nBytes > 0 && pBytes == nullptr))
        m_bFailed = true;
    if (m_bFailed)
        return false;
    if (nBytes == 0)
        return true;
    // A block that does not fit leaves exactly one spare byte behind it.
    if (!MakeRoom(nBytes, nBytes - (m_pEnd - m_pCurrent) + 1))
        return false;
    memcpy(m_pCurrent, pBytes, static_cast<size_t>(nBytes));
    m_pCurrent += nBytes;
    return true;
}

bool CNetDefragBuffer::WriteString(const CUnicodeString& str)
{
    int nBytes = 2 * str.GetLength();
    WriteInt32(nBytes);
    return WriteRaw(str.GetBuffer(), nBytes);
}

void CNetDefragBuffer::CheckReadable(int64_t nBytes) const
{
    if (nBytes < 0 || nBytes > m_pEnd - m_pCurrent)
        throw CNetDefragException(L"Read past end");
}

void CNetDefragBuffer::ReadRaw(void* pOut, int64_t nBytes)
{
    CheckReadable(nBytes);
    if (nBytes == 0)
        return;
    memcpy(pOut, m_pCurrent, static_cast<size_t>(nBytes));
    m_pCurrent += nBytes;
}

void CNetDefragBuffer::ReadString(CUnicodeString& str)
{
    int32_t nBytes = 0;
    ReadInt32(nBytes);
    str.Empty();
    if (nBytes > MaxStringBytes)
        throw CNetDefragException(L"String too long");
    // A negative or odd count cannot be UTF-16 text and must never size a copy.
    if (nBytes < 0 || nBytes % 2 != 0)
        throw CNetDefragException(L"Bad string");
    CheckReadable(nBytes);
    if (nBytes == 0)
        return;
    // Within MaxStringBytes the length is always one the string can hold.
    memcpy(str.GetBufferSetLength(nBytes / 2), m_pCurrent, nBytes);
    m_pCurrent += nBytes;
}

int32_t CNetDefragBuffer::ReadCount(int32_t nMax, int nMinEntryBytes)
{
    int32_t nCount = 0;
    ReadInt32(nCount);
    if (nCount < 0 || nCount > nMax ||
        static_cast<int64_t>(nCount) * nMinEntryBytes > m_pEnd - m_pCurrent)
        throw CNetDefragException(L"Too many entries");
    return nCount;
}

void CNetDefragBuffer::Exchange(int32_t& n)
{
    if (m_bStoring)
        WriteInt32(n);
    else
        ReadInt32(n);
}

void CNetDefragBuffer::Exchange(int64_t& n)
{
    if (m_bStoring)
        WriteInt64(n);
    else
        ReadInt64(n);
}

void CNetDefragBuffer::Exchange(CUnicodeString& str)
{
    if (m_bStoring)
        WriteString(str);
    else
        ReadString(str);
}

bool CNetDefragBuffer::Skip(int nBytes)
{
    if (nBytes < 0 || nBytes >= m_pEnd - m_pCurrent)
        return false;
    m_pCurrent += nBytes;
    return true;
}
