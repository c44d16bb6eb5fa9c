#include "guitoolkit/ListBase.h"

#include <gtest/gtest.h>

// Hot list items show a hand: the system's, or where the system has none (4.0
// and older), the one the program carries. The program's is a cursor of its
// own, so both must load and differ.
TEST(ListHandCursor, OldSystemsTakeTheProgramsOwnHand)
{
    HCURSOR hSystem = ::LoadCursorW(NULL, IDC_HAND);
    ASSERT_NE(HCURSOR(NULL), hSystem);
    const struct
    {
        int nVersionWord;
        bool bOwn;
    } aCases[] = {{0x400, true}, {0x351, true}, {0x401, false}, {0x500, false}, {0x601, false}};
    for (const auto& stCase : aCases)
    {
        SCOPED_TRACE(stCase.nVersionWord);
        HCURSOR hCursor = CListBase::LoadHandCursor(stCase.nVersionWord);
        ASSERT_NE(HCURSOR(NULL), hCursor);
        EXPECT_EQ(stCase.bOwn, hCursor != hSystem);
    }
    ICONINFO stInfo = {};
    ASSERT_TRUE(::GetIconInfo(CListBase::LoadHandCursor(0x400), &stInfo));
    EXPECT_FALSE(stInfo.fIcon);
    EXPECT_EQ(7u, stInfo.xHotspot);
    EXPECT_EQ(0u, stInfo.yHotspot);
    ::DeleteObject(stInfo.hbmMask);
    if (stInfo.hbmColor != NULL)
        ::DeleteObject(stInfo.hbmColor);
}
