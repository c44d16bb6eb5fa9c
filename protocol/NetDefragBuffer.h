// CNetDefragBuffer: the byte-stream archive that builds and reads every
// protocol message: little-endian values, raw blocks and counted UTF-16
// strings. A loading archive never reads outside the payload it is given.
#pragma once

#include "platform/LittleEndian.h"

#include <windows.h>

#include <cstdint>

class CUnicodeString;

class CNetDefragBuffer
{
public:
    static constexpr int DefaultGrowthStep = 16;
    static constexpr int MaxStringBytes = 10240;
    // A frame states the payload length as an int32, so no message can be larger.
    static constexpr UINT MaxSize = 0x7FFFFFFF;

    // The initial size is not used: the first write allocates.
    CNetDefragBuffer(bool bStoring, UINT nInitialSize = 0, int nGrowthStep = DefaultGrowthStep);
    ~CNetDefragBuffer();
    CNetDefragBuffer(const CNetDefragBuffer&) = delete;
    CNetDefragBuffer& operator=(const CNetDefragBuffer&) = delete;

    // Reads a received payload in place; the archive does not own it and
    // refuses to write into it.
    void Attach(const BYTE* pBytes, UINT nLength);
    void Free();
    // The new bytes are zeroed unless the caller says it sends only what it writes: zeroing
    // a block of a megabyte for every growth of a list that keeps growing costs more than the
    // rest of its use.
    bool Grow(UINT nBytes, bool bZeroFill = true);

    // A write that cannot grow the buffer writes nothing, and neither does any
    // later write: the message is then incomplete (HasFailed) and must not go out.
    CNetDefragBuffer& WriteInt16(int16_t n) { return WriteValue(n); }
    CNetDefragBuffer& WriteInt32(int32_t n) { return WriteValue(n); }
    CNetDefragBuffer& WriteInt64(int64_t n) { return WriteValue(n); }
    CNetDefragBuffer& WriteFloat(float f) { return WriteValue(f); }
    CNetDefragBuffer& WriteDouble(double d) { return WriteValue(d); }
    bool WriteRaw(const void* pBytes, int64_t nBytes);
    bool WriteString(const CUnicodeString& str);
    bool HasFailed() const { return m_bFailed; }

    // Every read throws CNetDefragException rather than pass the end.
    CNetDefragBuffer& ReadInt16(int16_t& n) { return ReadValue(n); }
    CNetDefragBuffer& ReadInt32(int32_t& n) { return ReadValue(n); }
    CNetDefragBuffer& ReadInt64(int64_t& n) { return ReadValue(n); }
    void ReadRaw(void* pOut, int64_t nBytes);
    void ReadString(CUnicodeString& str);
    // A list count: refused when negative, above nMax, or more entries than
    // the unread bytes can hold at nMinEntryBytes each.
    int32_t ReadCount(int32_t nMax, int nMinEntryBytes);

    // Writes when storing, reads otherwise, so that an object names each of
    // its fields once for both directions.
    void Exchange(int32_t& n);
    void Exchange(int64_t& n);
    void Exchange(CUnicodeString& str);

    int GetUsed() const { return static_cast<int>(m_pCurrent - m_pStart) + 1; }
    int GetRemaining() const { return static_cast<int>(m_pEnd - m_pCurrent) - 1; }
    BYTE* GetCurrent() const { return m_pCurrent; }
    BYTE* GetBuffer() const { return m_pStart; }
    UINT GetSize() const { return m_nSize; }
    bool IsStoring() const { return m_bStoring; }
    void Rewind() { m_pCurrent = m_pStart; }
    bool Skip(int nBytes);

private:
    bool MakeRoom(int64_t nBytes, int64_t nGrowBy);
    void CheckReadable(int64_t nBytes) const;

    template <class T> CNetDefragBuffer& WriteValue(T value);
    template <class T> CNetDefragBuffer& ReadValue(T& value);

    BYTE* m_pStart;
    BYTE* m_pCurrent;
    BYTE* m_pEnd;       // of the size, which is what goes out
    int m_nGrowthStep;
    UINT m_nSize;
    UINT m_nCapacity;   // allocated, at least the size
    bool m_bOwns;
    bool m_bStoring;
    bool m_bFailed;
};

template <class T> CNetDefragBuffer& CNetDefragBuffer::WriteValue(T value)
{
    // One growth step at a time, as the peers size their buffers; a step
    // smaller than the value still makes room for it.
    int64_t nMissing = static_cast<int64_t>(sizeof(T)) - (m_pEnd - m_pCurrent);
    if (MakeRoom(sizeof(T), nMissing > m_nGrowthStep ? nMissing : m_nGrowthStep))
    {
        le::Put(m_pCurrent, 0, value);
        m_pCurrent += sizeof(T);
    }
    return *this;
}

template <class T> CNetDefragBuffer& CNetDefragBuffer::ReadValue(T& value)
{
    CheckReadable(sizeof(T));
    value = le::Get<T>(m_pCurrent, 0);
    m_pCurrent += sizeof(T);
    return *this;
}
