// A bit array with the searches a volume bitmap needs: one bit per cluster (or per MFT
// record), 1 meaning in use, with a running count of the bits that are set.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

class CSimBitmap
{
public:
    explicit CSimBitmap(LONGLONG llBits = 0);

    LONGLONG Size() const { return m_llBits; }
    LONGLONG CountSet() const { return m_llSet; }
    void Resize(LONGLONG llBits);

    bool Test(LONGLONG llBit) const;
    void Set(LONGLONG llBit, LONGLONG llCount = 1);
    void Clear(LONGLONG llBit, LONGLONG llCount = 1);
    void Flip(LONGLONG llBit);
    bool IsClear(LONGLONG llBit, LONGLONG llCount) const;

    // First bit at or after llFrom with the value, or -1; NextSet looks no further than llLimit.
    LONGLONG NextSet(LONGLONG llFrom, LONGLONG llLimit = -1) const;
    LONGLONG NextClear(LONGLONG llFrom) const;
    // Highest set bit at or below llFrom, or -1.
    LONGLONG PrevSet(LONGLONG llFrom) const;
    // Start of the first clear run of at least llLength bits at or after llFrom, or -1.
    LONGLONG FindClearRun(LONGLONG llFrom, LONGLONG llLength) const;

    // Copies the bytes from byte index llFirstByte; bits past the end read as set, or as clear
    // when bPastSet is false.
    void CopyBytes(LONGLONG llFirstByte, BYTE* pOut, size_t nBytes, bool bPastSet = true) const;
    const std::vector<uint64_t>& Words() const { return m_words; }
    LONGLONG Recount() const;
    // Replaces the whole array from its bytes (llBits bits).
    void Assign(const std::vector<uint64_t>& words, LONGLONG llBits);

private:
    void SetRange(LONGLONG llBit, LONGLONG llCount, bool bValue);

    std::vector<uint64_t> m_words;
    LONGLONG m_llBits;
    LONGLONG m_llSet;
};
