#include "simdisk/SimBitmap.h"

#include <algorithm>
#include <cstring>

namespace {

int PopCount(uint64_t v) { return __builtin_popcountll(v); }

uint64_t RangeMask(int nFirst, int nCount)
{
    if (nCount >= 64)
        return ~0ull;
    return ((1ull << nCount) - 1) << nFirst;
}

} // namespace

CSimBitmap::CSimBitmap(LONGLONG llBits) : m_llBits(0), m_llSet(0) { Resize(llBits); }

void CSimBitmap::Resize(LONGLONG llBits)
{
    if (llBits < m_llBits)
    {
        Clear(llBits, m_llBits - llBits);
    }
    m_words.resize(static_cast<size_t>((llBits + 63) / 64), 0);
    m_llBits = llBits;
}

bool CSimBitmap::Test(LONGLONG llBit) const
{
    if (llBit < 0 || llBit >= m_llBits)
        return false;
    return (m_words[static_cast<size_t>(llBit / 64)] >> (llBit % 64)) & 1;
}

void CSimBitmap::SetRange(LONGLONG llBit, LONGLONG llCount, bool bValue)
{
    llCount = std::min(llCount, m_llBits - llBit);
    while (llCount > 0)
    {
        size_t nWord = static_cast<size_t>(llBit / 64);
        int nFirst = static_cast<int>(llBit % 64);
        int nTake = static_cast<int>(std::min<LONGLONG>(64 - nFirst, llCount));
        uint64_t mask = RangeMask(nFirst, nTake);
        uint64_t before = m_words[nWord];
        m_words[nWord] = bValue ? (before | mask) : (before & ~mask);
        m_llSet += PopCount(m_words[nWord]) - PopCount(before);
        llBit += nTake;
        llCount -= nTake;
    }
}

void CSimBitmap::Set(LONGLONG llBit, LONGLONG llCount) { SetRange(llBit, llCount, true); }
void CSimBitmap::Clear(LONGLONG llBit, LONGLONG llCount) { SetRange(llBit, llCount, false); }
void CSimBitmap::Flip(LONGLONG llBit) { SetRange(llBit, 1, !Test(llBit)); }

bool CSimBitmap::IsClear(LONGLONG llBit, LONGLONG llCount) const
{
    if (llBit < 0 || llBit + llCount > m_llBits)
        return false;
    return NextSet(llBit, llBit + llCount) < 0;
}

LONGLONG CSimBitmap::NextSet(LONGLONG llFrom, LONGLONG llLimit) const
{
    if (llFrom < 0)
        llFrom = 0;
    if (llLimit < 0 || llLimit > m_llBits)
        llLimit = m_llBits;
    if (llFrom >= llLimit)
        return -1;
    size_t nWord = static_cast<size_t>(llFrom / 64);
    const size_t nLastWord = static_cast<size_t>((llLimit - 1) / 64);
    uint64_t w = m_words[nWord] & (~0ull << (llFrom % 64));
    while (true)
    {
        if (w)
        {
            LONGLONG llBit = static_cast<LONGLONG>(nWord) * 64 + __builtin_ctzll(w);
            return llBit < llLimit ? llBit : -1;
        }
        if (++nWord > nLastWord)
            return -1;
        w = m_words[nWord];
    }
}

LONGLONG CSimBitmap::NextClear(LONGLONG llFrom) const
{
    if (llFrom < 0)
        llFrom = 0;
    if (llFrom >= m_llBits)
        return -1;
    size_t nWord = static_cast<size_t>(llFrom / 64);
    uint64_t w = ~m_words[nWord] & (~0ull << (llFrom % 64));
    while (true)
    {
        if (w)
        {
            LONGLONG llBit = static_cast<LONGLONG>(nWord) * 64 + __builtin_ctzll(w);
            return llBit < m_llBits ? llBit : -1;
        }
        if (++nWord >= m_words.size())
            return -1;
        w = ~m_words[nWord];
    }
}

LONGLONG CSimBitmap::PrevSet(LONGLONG llFrom) const
{
    if (llFrom >= m_llBits)
        llFrom = m_llBits - 1;
    if (llFrom < 0)
        return -1;
    LONGLONG nWord = llFrom / 64;
    int nBit = static_cast<int>(llFrom % 64);
    uint64_t w = m_words[static_cast<size_t>(nWord)] & (nBit == 63 ? ~0ull : ((1ull << (nBit + 1)) - 1));
    while (true)
    {
        if (w)
            return nWord * 64 + 63 - __builtin_clzll(w);
        if (--nWord < 0)
            return -1;
        w = m_words[static_cast<size_t>(nWord)];
    }
}

LONGLONG CSimBitmap::FindClearRun(LONGLONG llFrom, LONGLONG llLength) const
{
    LONGLONG llStart = NextClear(llFrom);
    while (llStart >= 0 && llStart + llLength <= m_llBits)
    {
        // Look only as far as the run needs, so a search in a large free area stays short.
        LONGLONG llEnd = NextSet(llStart, llStart + llLength);
        if (llEnd < 0)
            return llStart;
        llStart = NextClear(llEnd);
    }
    return -1;
}

void CSimBitmap::CopyBytes(LONGLONG llFirstByte, BYTE* pOut, size_t nBytes, bool bPastSet) const
{
    const BYTE* pBytes = reinterpret_cast<const BYTE*>(m_words.data());
    const LONGLONG llHave = (m_llBits + 7) / 8;
    size_t nCopy = static_cast<size_t>(std::max<LONGLONG>(0, std::min<LONGLONG>(nBytes, llHave - llFirstByte)));
    std::memcpy(pOut, pBytes + llFirstByte, nCopy);
    std::memset(pOut + nCopy, bPastSet ? 0xFF : 0, nBytes - nCopy);
    // Bits past the end of the volume's bitmap read as in use, so that a reader that ignores
    // the bitmap size finds no free space beyond the volume.
    LONGLONG llLastByte = (m_llBits - 1) / 8;
    if (bPastSet && m_llBits % 8 && llLastByte >= llFirstByte && llLastByte < llFirstByte + static_cast<LONGLONG>(nBytes))
        pOut[llLastByte - llFirstByte] |= static_cast<BYTE>(0xFF << (m_llBits % 8));
}

LONGLONG CSimBitmap::Recount() const
{
    LONGLONG llCount = 0;
    for (uint64_t w : m_words)
        llCount += PopCount(w);
    return llCount;
}

void CSimBitmap::Assign(const std::vector<uint64_t>& words, LONGLONG llBits)
{
    m_words = words;
    m_words.resize(static_cast<size_t>((llBits + 63) / 64), 0);
    m_llBits = llBits;
    if (llBits % 64 && !m_words.empty())
        m_words.back() &= (1ull << (llBits % 64)) - 1;
    m_llSet = Recount();
}
