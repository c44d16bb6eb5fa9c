#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
// Light system colours as Wine's default visual style has them.
std::map<int, COLORREF> g_sysColors;

DWORD WINAPI FixedSysColor(int nIndex)
{
    auto it = g_sysColors.find(nIndex);
    return it != g_sysColors.end() ? it->second : 0x123456;
}

BOOL WINAPI StyleOn()
{
    return TRUE;
}

int g_nTimerCalls = 0;

UINT_PTR WINAPI RefusingSetTimer(HWND, UINT_PTR, UINT, TIMERPROC)
{
    ++g_nTimerCalls;
    return 0;
}

// Puts the environment back after every case.
class ColorsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved = ToolkitEnvironment();
        g_sysColors = {{COLOR_WINDOW, 0xFFFFFF},     {COLOR_HIGHLIGHT, 0xFA9630}, {COLOR_MENU, 0xFFFFFF},
                       {COLOR_MENUBAR, 0xFFFFFE},    {COLOR_BTNFACE, 0xF5F5F5},   {COLOR_ACTIVECAPTION, 0xFA9632}};
        stToolkitEnvironment& stEnv = ToolkitEnvironment();
        stEnv.pfnGetSysColor = FixedSysColor;
        stEnv.nVersionClass = 7;
        stEnv.bHighContrast = false;
        stEnv.pfnIsThemeActive = nullptr;
        stEnv.bModernStyle = 0;
        stEnv.nCurrentTheme = 1;
        stEnv.nScreenColors = 64000;
    }
    void TearDown() override { ToolkitEnvironment() = m_saved; }

    stToolkitEnvironment m_saved;
};

struct stArithmeticCase
{
    const char* pszName;
    COLORREF crResult;
    COLORREF crExpected;
};

TEST(ColorArithmetic, ChannelsRoundLikeMulDivAndStopAt255)
{
    const stArithmeticCase cases[] = {
        {"darken toward blue, white", DarkenTowardBlue(0xFFFFFF), 0xD9B3B3},
        {"darken toward blue, black", DarkenTowardBlue(0x000000), 0x270000},
        {"darken 10, white", DarkenColor(10, 0xFFFFFF), 0xF5F5F5},
        {"darken 0 keeps", DarkenColor(0, 0xFA9630), 0xFA9630},
        {"darken 255, black", DarkenColor(255, 0x808080), 0x000000},
        {"lighten 115, black", LightenColor(115, 0x000000), 0x737373},
        {"lighten 255, white", LightenColor(255, 0x123456), 0xFFFFFF},
        {"blend 86, white on black", BlendColors86(0xFFFFFF, 0x000000), 0xDBDBDB},
        {"blend 86 caps", BlendColors86(0xFFFFFF, 0xFFFFFF), 0xFFFFFF},
        {"blend 86, selection", BlendColors86(0xFFFFFF, 0xFA9630), 0xFEF0E2},
        {"blend 70, white on black", BlendColors70(0xFFFFFF, 0x000000), 0xB3B3B3},
        {"blend 70, selection", BlendColors70(0xFFFFFF, 0xFA9630), 0xFEE0C1},
        {"blend 70 caps", BlendColors70(0xFFFFFF, 0xFFFFFF), 0xFFFFFF},
        {"mix 100", MixColors(0xFFFFFF, 0x000000, 100), 0x9A9A9A},
        {"mix 0 keeps less than a", MixColors(0xFFFFFF, 0x000000, 0), 0xFEFEFE},
        {"mix with -1", MixColors(0xFFFFFF, static_cast<COLORREF>(-1), 100), static_cast<COLORREF>(-1)},
        {"snap", SnapBarColor(0xF0C5AC), 0xF5C2A3},
        {"snap 2", SnapBarColor(0xE6E6E6), 0xE5D7D7},
        {"snap 3", SnapBarColor(0xCCDCD6), 0xAADADA},
        {"no snap", SnapBarColor(0xCCDCD7), 0xCCDCD7},
    };
    for (const stArithmeticCase& c : cases)
        EXPECT_EQ(c.crResult, c.crExpected) << c.pszName;
}

TEST(ColorArithmetic, TextOnADarkGroundIsWhite)
{
    const COLORREF crText = RGB(1, 2, 3);
    struct CASE
    {
        COLORREF crGround, crExpected;
    } cases[] = {
        {RGB(0, 0, 0), RGB(255, 255, 255)},     {RGB(64, 64, 64), RGB(255, 255, 255)},
        {RGB(0, 0, 255), RGB(255, 255, 255)},   {RGB(255, 255, 255), crText},
        {RGB(0xC8, 0xDC, 0xF5), crText},        {RGB(128, 128, 128), crText},
        {CLR_INVALID, crText},
    };
    for (const CASE& c : cases)
        EXPECT_EQ(c.crExpected, ReadableTextColor(c.crGround, crText)) << std::hex << c.crGround;
}

TEST(VersionClass, EveryFamilyAndVersion)
{
    struct stCase
    {
        DWORD dwGetVersion, dwMajor, dwMinor;
        int nClass;
    } cases[] = {
        {0x80000003, 3, 10, 0}, {0x80000004, 4, 0, 2},  {0x80000004, 4, 10, 3}, {0x80000004, 4, 90, 4},
        {0x80000004, 5, 0, 2},  {0x00000003, 3, 51, 1}, {0x00000004, 4, 0, 5},  {0x00000005, 5, 0, 6},
        {0x00000105, 5, 1, 7},  {0x00000206, 6, 2, 7},  {0x1DB10106, 6, 1, 7},
    };
    for (const stCase& c : cases)
        EXPECT_EQ(VersionClassOf(c.dwGetVersion, c.dwMajor, c.dwMinor), c.nClass)
            << std::hex << c.dwGetVersion << " " << c.dwMajor << "." << c.dwMinor;
    EXPECT_EQ(GetWinVersionClass(), 7) << "Wine reports Windows 7";
}

TEST_F(ColorsTest, FreeTimerSkipsIdsAlreadyHandedOutAndStaysInRange)
{
    HWND hWnd = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    ASSERT_NE(hWnd, HWND(NULL));
    EXPECT_EQ(SetFreeTimer(hWnd, 1000), 31u);
    EXPECT_EQ(SetFreeTimer(hWnd, 1000), 32u);
    EXPECT_TRUE(KillFreeTimer(hWnd, 31));
    EXPECT_EQ(SetFreeTimer(hWnd, 1000), 31u);
    for (UINT_PTR nID = 33; nID <= 99; ++nID)
        ASSERT_EQ(SetFreeTimer(hWnd, 1000), nID);
    EXPECT_EQ(SetFreeTimer(hWnd, 1000), 0u) << "no id above 99";

    HWND hOther = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    EXPECT_EQ(SetFreeTimer(hOther, 1000), 31u) << "ids are per window";
    ::DestroyWindow(hWnd);
    EXPECT_EQ(SetFreeTimer(hWnd, 1000), 0u) << "a window that is gone";

    ToolkitEnvironment().pfnSetTimer = RefusingSetTimer;
    g_nTimerCalls = 0;
    EXPECT_EQ(SetFreeTimer(hOther, 1000), 0u);
    EXPECT_EQ(g_nTimerCalls, 68) << "32 to 99 tried once each";
    ::DestroyWindow(hOther);
}

TEST_F(ColorsTest, SelectionColourByContrastColoursAndStyle)
{
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    EXPECT_EQ(GetSelectionColor(), 0xFEF0E2u) << "no style, bright highlight: the 86 blend";
    g_sysColors[COLOR_HIGHLIGHT] = 0x800000;
    EXPECT_EQ(GetSelectionColor(), BlendColors70(0xFFFFFF, 0x800000)) << "dark highlight: the 70 blend";
    g_sysColors[COLOR_HIGHLIGHT] = 0xFA9630;
    stEnv.pfnIsThemeActive = StyleOn;
    EXPECT_EQ(GetSelectionColor(), 0xFEE0C1u);
    stEnv.nScreenColors = 256;
    EXPECT_EQ(GetSelectionColor(), 0xFFFFFFu) << "a palette screen takes the window colour";
    stEnv.bHighContrast = true;
    EXPECT_EQ(GetSelectionColor(), 0xFA9630u);
}

TEST_F(ColorsTest, BarColoursStepByStep)
{
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    COLORREF crFirst = 1, crSecond = 1;
    stEnv.nVersionClass = 5;
    EXPECT_EQ(GetBarColors(crFirst, crSecond, TRUE), 0xFFFFFFu);
    EXPECT_EQ(crSecond, 0xFFFFFFu);
    EXPECT_EQ(GetBarFaceColor(), 0xFFFFFFu) << "menu colour on NT 4";

    stEnv.nVersionClass = 7;
    EXPECT_EQ(GetBarFaceColor(), 0xF5F5F5u);
    stEnv.bModernStyle = 1;
    EXPECT_EQ(GetBarBackgroundColor(), 0u);
    stEnv.bModernStyle = 0;

    stEnv.nCurrentTheme = 11;
    EXPECT_EQ(GetBarColors(crFirst, crSecond, FALSE), 0xF7D9BBu);
    EXPECT_EQ(crSecond, 0xFAE9D8u);

    stEnv.nCurrentTheme = 3;
    EXPECT_EQ(GetBarColors(crFirst, crSecond, TRUE), 0xF5F5F5u) << "no style: the button face";
    EXPECT_EQ(crSecond, MixColors(0xF5F5F5, 0xFFFFFF, 220));
}

TEST_F(ColorsTest, BarColoursOfAnActiveStyleUseItsWindowColours)
{
    if (!::GetModuleHandleW(L"uxtheme.dll") && !::LoadLibraryW(L"uxtheme.dll"))
        GTEST_SKIP() << "no visual-style library";
    auto pfnActive = reinterpret_cast<BOOL(WINAPI*)()>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"uxtheme.dll"), "IsThemeActive")));
    if (pfnActive == nullptr || !pfnActive())
        GTEST_SKIP() << "no visual style in this prefix";
    ToolkitEnvironment().pfnIsThemeActive = pfnActive;
    // Wine's light style defines the window colour (white) but not the caption's.
    COLORREF crFirst, crSecond;
    EXPECT_EQ(GetBarColors(crFirst, crSecond, TRUE), 0xFEE0C2u);
    EXPECT_EQ(crSecond, LightenColor(110, 0xFEE0C2));
    EXPECT_EQ(GetBarColors(crFirst, crSecond, FALSE), DarkenColor(20, 0xFEE0C2));
    EXPECT_EQ(crSecond, LightenColor(200, 0xFEE0C2));
}

TEST_F(ColorsTest, MenuColoursTakeASolidBrushOnlyAndFlatMenusOtherwise)
{
    HMENU hMenu = ::CreatePopupMenu();
    EXPECT_EQ(GetMenuBackgroundColor(hMenu), 0xFFFFFEu) << "Wine has flat menus: the menu-bar colour";
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    stEnv.nVersionClass = 6;
    EXPECT_EQ(GetMenuBackgroundColor(hMenu), 0xFFFFFFu);
    EXPECT_EQ(GetMenuBarColor(hMenu), 0xF5F5F5u) << "before XP: the bar face";
    stEnv.nVersionClass = 7;

    HBRUSH hSolid = ::CreateSolidBrush(0x336699);
    MENUINFO stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIM_BACKGROUND;
    stInfo.hbrBack = hSolid;
    ASSERT_TRUE(::SetMenuInfo(hMenu, &stInfo));
    EXPECT_EQ(GetMenuBackgroundColor(hMenu), 0x336699u);
    EXPECT_EQ(GetMenuBarColor(hMenu), 0x336699u);

    // A pattern brush has no colour; it must not read as black.
    HBITMAP hPattern = ::CreateBitmap(8, 8, 1, 1, nullptr);
    HBRUSH hBrush = ::CreatePatternBrush(hPattern);
    stInfo.hbrBack = hBrush;
    ASSERT_TRUE(::SetMenuInfo(hMenu, &stInfo));
    EXPECT_EQ(GetMenuBarColor(hMenu), 0xFFFFFEu);
    ::DestroyMenu(hMenu);
    ::DeleteObject(hSolid);
    ::DeleteObject(hBrush);
    ::DeleteObject(hPattern);
}

// A 32-bit section of a few pixels and the colours in it.
struct stPixels
{
    stPixels(int cx, int cy) : hBitmap(CreateSection(cx, cy, &pBits)), nWidth(cx) {}
    ~stPixels() { ::DeleteObject(hBitmap); }
    void Set(int x, int y, COLORREF cr)
    {
        static_cast<DWORD*>(pBits)[y * nWidth + x] = (GetRValue(cr) << 16) | (GetGValue(cr) << 8) | GetBValue(cr);
    }
    COLORREF At(int x, int y) const
    {
        ::GdiFlush();
        return PixelOf(pBits, nWidth, x, y);
    }

    void* pBits = nullptr;
    HBITMAP hBitmap;
    int nWidth;
};

TEST(Bitmaps, MaskMarksTheTransparentColourAndBlackensItInTheSource)
{
    stPixels source(3, 1);
    source.Set(0, 0, RGB(255, 0, 255));
    source.Set(1, 0, RGB(10, 20, 30));
    source.Set(2, 0, RGB(255, 0, 255));
    HBITMAP hMask = CreateMaskBitmap(source.hBitmap, RGB(255, 0, 255));
    ASSERT_NE(hMask, HBITMAP(NULL));
    EXPECT_EQ(source.At(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(source.At(1, 0), RGB(10, 20, 30));
    EXPECT_EQ(source.At(2, 0), RGB(0, 0, 0));

    HDC hDC = ::CreateCompatibleDC(NULL);
    HGDIOBJ hOld = ::SelectObject(hDC, hMask);
    EXPECT_EQ(::GetPixel(hDC, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(::GetPixel(hDC, 1, 0), RGB(0, 0, 0));
    ::SelectObject(hDC, hOld);
    ::DeleteDC(hDC);
    ::DeleteObject(hMask);
}

TEST(Bitmaps, NoMaskOfABitmapThatAnotherContextHolds)
{
    stPixels source(2, 1);
    source.Set(0, 0, RGB(255, 0, 255));
    source.Set(1, 0, RGB(10, 20, 30));
    HDC hHolder = ::CreateCompatibleDC(NULL);
    HGDIOBJ hOld = ::SelectObject(hHolder, source.hBitmap);
    ASSERT_NE(hOld, HGDIOBJ(NULL));
    HBITMAP hMask = CreateMaskBitmap(source.hBitmap, RGB(255, 0, 255));
    EXPECT_EQ(hMask, HBITMAP(NULL));
    if (hMask != NULL)
        ::DeleteObject(hMask);
    ::SelectObject(hHolder, hOld);
    ::DeleteDC(hHolder);
    EXPECT_EQ(source.At(0, 0), RGB(255, 0, 255)) << "the source is untouched";
}

TEST(Bitmaps, GreyBlendTintsTheGreyOfEveryPixel)
{
    stPixels bitmap(2, 1);
    bitmap.Set(0, 0, RGB(30, 60, 90));
    bitmap.Set(1, 0, RGB(255, 255, 255));
    // Grey 60: (110 * 60 + 145 * c) >> 8 for c = 0, 100, 200.
    EXPECT_EQ(GreyBlendBitmap(bitmap.hBitmap, 110, RGB(0, 100, 200)), RGB(25, 82, 139));
    EXPECT_EQ(bitmap.At(1, 0), RGB(109, 166, 222));
}

TEST(Bitmaps, ColourCountComesFromTheResourceHeader)
{
    struct stCase
    {
        UINT nID;
        int nColors;
    } cases[] = {{100, 0}, {101, 16}, {102, 5}};
    for (const stCase& c : cases)
    {
        int nColors = -1;
        HBITMAP hBitmap = LoadBitmapWithColors(c.nID, ::GetModuleHandleW(nullptr), &nColors);
        EXPECT_NE(hBitmap, HBITMAP(NULL)) << c.nID;
        EXPECT_EQ(nColors, c.nColors) << c.nID;
        ::DeleteObject(hBitmap);
    }
    int nColors = -1;
    EXPECT_EQ(LoadBitmapWithColors(999, nullptr, &nColors), HBITMAP(NULL));
    EXPECT_EQ(nColors, 0);
}

TEST(Screen, WorkAreaOfTheNearestMonitor)
{
    RECT rcWork = {};
    RECT rcFar = {5000, 5000, 5100, 5100};
    RECT& rcResult = GetMonitorWorkArea(rcWork, rcFar);
    EXPECT_EQ(&rcResult, &rcWork);
    RECT rcExpected = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcExpected, 0);
    EXPECT_TRUE(::EqualRect(&rcWork, &rcExpected));
    EXPECT_GT(GetScreenColorCount(), 256) << "a true-colour screen";
}
} // namespace
