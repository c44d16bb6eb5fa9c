#include "updater/VersionCompare.h"

#include <gtest/gtest.h>

namespace {

struct stVersionCase
{
    const char16_t* pszA;
    const char16_t* pszB;
    int32_t nExpected;
};

TEST(CompareVersions, OrdersFieldByFieldAndRefusesWhatIsNoVersion)
{
    const stVersionCase aCases[] = {
        {u"2.0", u"1.9.9.9", 1},
        {u"1.2", u"1.2.0.0", 0},
        {u"1.9.9.9", u"2.0", -1},
        {u"10", u"9", 1},
        {u"01.2", u"1.2", 0},
        {u"1.2.3.4", u"1.2.3.5", -1},
        {u"4294967296", u"4294967295", 1},
        {u"9999999999999999999", u"1", 1},
        {u"1.a", u"1.0", -21},
        {u"", u"1.0", -21},
        {u"1..2", u"1.0", -21},
        {u" 1", u"1.0", -21},
        {u"1.", u"1.0", -21},
        {u"1.0.0.0.1", u"1.0", -21},
        {u"10000000000000000000", u"1", -21},
        {u"1.0", u"1.0.0.0.1", -22},
        {u"1.0", u"", -22},
        {u"1.0", u"-1", -22},
        {u"x", u"y", -21},
    };
    for (const stVersionCase& test : aCases)
    {
        SCOPED_TRACE(std::string(test.pszA, test.pszA + std::char_traits<char16_t>::length(test.pszA)) + " / " +
                     std::string(test.pszB, test.pszB + std::char_traits<char16_t>::length(test.pszB)));
        EXPECT_EQ(CompareVersions(test.pszA, test.pszB), test.nExpected);
    }
}

} // namespace
