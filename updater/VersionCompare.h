// CompareVersions: orders two dotted version strings of up to four decimal
// fields. Portable, so that it also runs natively under sanitizers.
#pragma once

#include <cstdint>
#include <string_view>

enum : int32_t
{
    VERSION_FIRST_MALFORMED = -21,
    VERSION_SECOND_MALFORMED = -22,
};

// 1 when a is the newer version, -1 when b is, 0 when they are equal;
// -21 or -22 when a or b is not a version (fields missing count as 0).
int32_t CompareVersions(std::u16string_view strA, std::u16string_view strB);
