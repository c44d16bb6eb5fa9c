#include "updater/VersionCompare.h"

namespace
{
// 19 digits always fit 64 bits; a longer field is refused rather than wrapped.
constexpr size_t MaxFieldDigits = 19;

bool ParseVersion(std::u16string_view strText, uint64_t (&anFields)[4])
{
    if (strText.empty())
        return false;
    for (size_t nField = 0;; ++nField)
    {
        if (nField == 4)
            return false;
        size_t nDot = strText.find(u'.');
        std::u16string_view strField = strText.substr(0, nDot);
        if (strField.empty() || strField.size() > MaxFieldDigits)
            return false;
        uint64_t nValue = 0;
        for (char16_t ch : strField)
        {
            if (ch < u'0' || ch > u'9')
                return false;
            nValue = nValue * 10 + static_cast<uint64_t>(ch - u'0');
        }
        anFields[nField] = nValue;
        if (nDot == std::u16string_view::npos)
            return true;
        strText.remove_prefix(nDot + 1);
    }
}
} // namespace

int32_t CompareVersions(std::u16string_view strA, std::u16string_view strB)
{
    uint64_t anA[4] = {0, 0, 0, 0};
    uint64_t anB[4] = {0, 0, 0, 0};
    if (!ParseVersion(strA, anA))
        return VERSION_FIRST_MALFORMED;
    if (!ParseVersion(strB, anB))
        return VERSION_SECOND_MALFORMED;
    for (int i = 0; i < 4; ++i)
        if (anA[i] != anB[i])
            return anA[i] > anB[i] ? 1 : -1;
    return 0;
}
