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

namespace
{
// A 4 by 4 icon, opaque in its left half and transparent in its right half.
HICON MakeHalfIcon()
{
    // Mask rows are word-aligned: 1 bits are transparent.
    const WORD awMask[4] = {0x30, 0x30, 0x30, 0x30};
    HBITMAP hMask = ::CreateBitmap(4, 4, 1, 1, awMask);
    HDC hScreen = ::GetDC(NULL);
    HBITMAP hColor = ::CreateCompatibleBitmap(hScreen, 4, 4);
    ::ReleaseDC(NULL, hScreen);
    ICONINFO stInfo = {TRUE, 0, 0, hMask, hColor};
    HICON hIcon = ::CreateIconIndirect(&stInfo);
    ::DeleteObject(hMask);
    ::DeleteObject(hColor);
    return hIcon;
}
} // namespace

TEST(DeviceContext, MonochromeStateDrawingPaintsTheShapeInTheBrushColour)
{
    stSection section(8, 4);
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    dc.SelectObject(section.hBitmap);
    dc.FillSolidRect(CRect(0, 0, 8, 4), RGB(255, 255, 255));
    HICON hIcon = MakeHalfIcon();
    ASSERT_NE(hIcon, nullptr);
    CBrush brush(RGB(200, 0, 0));
    EXPECT_TRUE(dc.DrawState(CPoint(0, 0), CSize(0, 0), hIcon, DSS_MONO, brush));
    ::DestroyIcon(hIcon);
    EXPECT_EQ(section.At(0, 1), RGB(200, 0, 0)) << "the opaque half";
    EXPECT_EQ(section.At(3, 1), RGB(255, 255, 255)) << "the transparent half";

    CBitmap bitmap;
    const WORD awBits[2] = {0x0000, 0x0000};
    ASSERT_TRUE(bitmap.CreateBitmap(2, 2, 1, 1, awBits));
    EXPECT_TRUE(dc.DrawState(CPoint(5, 0), CSize(0, 0), HBITMAP(bitmap), DSS_MONO, brush));
    EXPECT_EQ(section.At(5, 0), RGB(200, 0, 0)) << "a bitmap's black is its shape";
}

TEST(DeviceContext, OriginsAndCurrentObjectsReadBack)
{
    stSection section(8, 8);
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    dc.SelectObject(section.hBitmap);
    EXPECT_EQ(dc.GetCurrentBitmap(), section.hBitmap);
    EXPECT_EQ(dc.SetWindowOrg(10, 20), CPoint(0, 0));
    dc.FillSolidRect(CRect(10, 20, 11, 21), RGB(0, 255, 0));
    EXPECT_EQ(dc.SetWindowOrg(0, 0), CPoint(10, 20));
    EXPECT_EQ(section.At(0, 0), RGB(0, 255, 0)) << "logical (10, 20) was the corner";
    EXPECT_EQ(dc.SetBrushOrg(3, 4), CPoint(0, 0));
    EXPECT_EQ(dc.SetBrushOrg(0, 0), CPoint(3, 4));

    LOGFONTW stFont = {};
    stFont.lfHeight = 12;
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&stFont));
    dc.SelectObject(&font);
    EXPECT_EQ(dc.GetCurrentFont(), HFONT(font));
    dc.SelectStockObject(SYSTEM_FONT);

    dc.FillSolidRect(CRect(0, 0, 8, 8), RGB(255, 255, 255));
    EXPECT_TRUE(dc.DrawFocusRect(CRect(0, 0, 8, 8)));
    int nInverted = 0;
    for (int x = 0; x < 8; ++x)
        nInverted += section.At(x, 0) != RGB(255, 255, 255) ? 1 : 0;
    EXPECT_GT(nInverted, 0) << "the dotted frame inverts every other pixel";
    EXPECT_EQ(section.At(4, 4), RGB(255, 255, 255));
}
