// CBitRange: word-wise scans and copies over an allocation bitmap held as bytes, bit i of
// byte j standing for cluster 8j + i, 1 for in use.
#pragma once

#include <windows.h>

#include <cstdint>

class CBitRange
{
public:
    // The first clear (free) or set (used) bit in [llFrom, llTo), or llTo when there is none.
    static int64_t FindClear(const BYTE* pBits, int64_t llFrom, int64_t llTo);
    static int64_t FindSet(const BYTE* pBits, int64_t llFrom, int64_t llTo);
    // The set (used) bits in [llFrom, llTo).
    static int64_t CountSet(const BYTE* pBits, int64_t llFrom, int64_t llTo);
    static bool IsSet(const BYTE* pBits, int64_t llBit) { return ((pBits[llBit >> 3] >> (llBit & 7)) & 1) != 0; }
    // Sets (bUsed) or clears bits [llFrom, llFrom + llCount).
    static void Fill(BYTE* pBits, int64_t llFrom, int64_t llCount, bool bUsed);
    // llCount bits from bit llSourceBit of pSource to bit llDestBit of pDest.
    static void Copy(const BYTE* pSource, int64_t llSourceBit, BYTE* pDest, int64_t llDestBit, int64_t llCount);
};
