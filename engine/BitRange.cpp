#include "engine/BitRange.h"

#include <cstring>

namespace {

// The bits [llBit, llBit + 64) as one word, bit 0 first; bytes at or past llEndByte read as 0.
uint64_t WordAt(const BYTE* pBits, int64_t llBit, int64_t llEndByte)
{
    const int64_t llByte = llBit >> 3;
    uint64_t ullWord = 0;
    const int64_t llBytes = llEndByte - llByte < 9 ? llEndByte - llByte : 9;
    BYTE abWord[9] = {};
    if (llBytes > 0)
        std::memcpy(abWord, pBits + llByte, static_cast<size_t>(llBytes));
    uint64_t ullLow = 0;
    std::memcpy(&ullLow, abWord, 8);
    const int nShift = static_cast<int>(llBit & 7);
    ullWord = ullLow >> nShift;
    if (nShift != 0)
        ullWord |= static_cast<uint64_t>(abWord[8]) << (64 - nShift);
    return ullWord;
}

int64_t FindBit(const BYTE* pBits, int64_t llFrom, int64_t llTo, bool bSet)
{
    const int64_t llEndByte = (llTo + 7) >> 3;
    for (int64_t llBit = llFrom; llBit < llTo; llBit += 64)
    {
        uint64_t ullWord = WordAt(pBits, llBit, llEndByte);
        if (!bSet)
            ullWord = ~ullWord;
        if (ullWord != 0)
        {
            const int64_t llFound = llBit + __builtin_ctzll(ullWord);
            return llFound < llTo ? llFound : llTo;
        }
    }
    return llTo;
}

} // namespace

int64_t CBitRange::FindClear(const BYTE* pBits, int64_t llFrom, int64_t llTo)
{
    return FindBit(pBits, llFrom, llTo, false);
}

int64_t CBitRange::FindSet(const BYTE* pBits, int64_t llFrom, int64_t llTo)
{
    return FindBit(pBits, llFrom, llTo, true);
}

int64_t CBitRange::CountSet(const BYTE* pBits, int64_t llFrom, int64_t llTo)
{
    const int64_t llEndByte = (llTo + 7) >> 3;
    int64_t llCount = 0;
    for (int64_t llBit = llFrom; llBit < llTo; llBit += 64)
    {
        uint64_t ullWord = WordAt(pBits, llBit, llEndByte);
        if (llTo - llBit < 64)
            ullWord &= (1ull << (llTo - llBit)) - 1;
        llCount += __builtin_popcountll(ullWord);
    }
    return llCount;
}

void CBitRange::Fill(BYTE* pBits, int64_t llFrom, int64_t llCount, bool bUsed)
{
    int64_t llBit = llFrom;
    const int64_t llEnd = llFrom + llCount;
    for (; llBit < llEnd && (llBit & 7) != 0; ++llBit)
        pBits[llBit >> 3] = static_cast<BYTE>(bUsed ? pBits[llBit >> 3] | (1 << (llBit & 7))
                                                    : pBits[llBit >> 3] & ~(1 << (llBit & 7)));
    const int64_t llWhole = (llEnd - llBit) >> 3;
    if (llWhole > 0)
    {
        std::memset(pBits + (llBit >> 3), bUsed ? 0xFF : 0, static_cast<size_t>(llWhole));
        llBit += llWhole * 8;
    }
    for (; llBit < llEnd; ++llBit)
        pBits[llBit >> 3] = static_cast<BYTE>(bUsed ? pBits[llBit >> 3] | (1 << (llBit & 7))
                                                    : pBits[llBit >> 3] & ~(1 << (llBit & 7)));
}

void CBitRange::Copy(const BYTE* pSource, int64_t llSourceBit, BYTE* pDest, int64_t llDestBit, int64_t llCount)
{
    if ((llSourceBit & 7) == 0 && (llDestBit & 7) == 0)
    {
        const int64_t llWhole = llCount >> 3;
        std::memcpy(pDest + (llDestBit >> 3), pSource + (llSourceBit >> 3), static_cast<size_t>(llWhole));
        llSourceBit += llWhole * 8;
        llDestBit += llWhole * 8;
        llCount -= llWhole * 8;
    }
    for (int64_t i = 0; i < llCount; ++i)
    {
        const bool bUsed = IsSet(pSource, llSourceBit + i);
        Fill(pDest, llDestBit + i, 1, bUsed);
    }
}
