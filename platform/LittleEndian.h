// Reads and writes of fixed-width little-endian fields at byte offsets of a buffer, as the
// system's structures (file records, control answers, handle tables) lay them out.
#pragma once

#include <windows.h>

#include <cstring>

namespace le {

template <typename T> T Get(const BYTE* p, size_t nOffset)
{
    T value;
    std::memcpy(&value, p + nOffset, sizeof(T));
    return value;
}

template <typename T> void Put(BYTE* p, size_t nOffset, T value) { std::memcpy(p + nOffset, &value, sizeof(T)); }

} // namespace le
