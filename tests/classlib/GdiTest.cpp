#include "classlib/DC.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
// A 32-bit top-down section of the given size, readable without GetPixel.
struct stSection
{
    stSection(int cx, int cy) : nWidth(cx) { hBitmap = CreateSection(cx, cy, &pBits); }
    ~stSection() { ::DeleteObject(hBitmap); }
    COLORREF At(int x, int y) const
    {
        ::GdiFlush();
        return PixelOf(pBits, nWidth, x, y);
    }
    int nWidth;
    void* pBits = nullptr;
    HBITMAP hBitmap = NULL;
};

TEST(DeviceContext, SelectedObjectsAreReplacedByTheOriginalsWhenTheWrapperGoes)
{
    HDC hDC = ::CreateCompatibleDC(NULL);
    HGDIOBJ hOriginalBitmap = ::GetCurrentObject(hDC, OBJ_BITMAP);
    HGDIOBJ hOriginalPen = ::GetCurrentObject(hDC, OBJ_PEN);
    stSection section(4, 4);
    CPen pen(PS_SOLID, 1, RGB(1, 2, 3));
    {
        CDC dc;
        ASSERT_TRUE(dc.Attach(hDC));
        dc.SelectObject(section.hBitmap);
        dc.SelectObject(&pen);
        dc.SelectStockObject(BLACK_PEN);
        EXPECT_EQ(::GetCurrentObject(hDC, OBJ_BITMAP), section.hBitmap);
    }
    EXPECT_EQ(::GetCurrentObject(hDC, OBJ_BITMAP), hOriginalBitmap);
    EXPECT_EQ(::GetCurrentObject(hDC, OBJ_PEN), hOriginalPen);
    EXPECT_EQ(::GetObjectType(hDC), DWORD(OBJ_MEMDC)) << "an attached context is not deleted";
    ::DeleteDC(hDC);
}

TEST(DeviceContext, SolidFillsAndThreeDimensionalFrame)
{
    stSection section(10, 8);
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    dc.SelectObject(section.hBitmap);
    COLORREF crBack = dc.SetBkColor(RGB(9, 9, 9));
    dc.FillSolidRect(CRect(0, 0, 10, 8), RGB(10, 20, 30));
    EXPECT_EQ(::GetBkColor(dc), RGB(9, 9, 9)) << "the fill keeps the background colour";
    dc.SetBkColor(crBack);
    dc.Draw3dRect(CRect(1, 1, 9, 7), RGB(255, 0, 0), RGB(0, 0, 255));

    struct stPixel
    {
        int x, y;
        COLORREF cr;
    } cases[] = {
        {0, 0, RGB(10, 20, 30)}, {1, 1, RGB(255, 0, 0)}, {7, 1, RGB(255, 0, 0)}, {1, 5, RGB(255, 0, 0)},
        {8, 1, RGB(0, 0, 255)},  {1, 6, RGB(0, 0, 255)}, {8, 6, RGB(0, 0, 255)}, {4, 4, RGB(10, 20, 30)},
    };
    for (const stPixel& c : cases)
        EXPECT_EQ(section.At(c.x, c.y), c.cr) << c.x << "," << c.y;
}

TEST(Fonts, PointSizeFollowsTheScreenResolution)
{
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(120, L"Arial"));
    LOGFONTW stFont = {};
    ASSERT_TRUE(font.GetLogFont(&stFont));
    HDC hScreen = ::GetDC(NULL);
    int nExpected = -::MulDiv(120, ::GetDeviceCaps(hScreen, LOGPIXELSY), 720);
    ::ReleaseDC(NULL, hScreen);
    EXPECT_EQ(stFont.lfHeight, nExpected);
    EXPECT_STREQ(stFont.lfFaceName, L"Arial");
}
} // namespace
