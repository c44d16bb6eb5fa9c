#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "classlib/WinApp.h"
#include "guitoolkit/SplashWnd.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
const UINT SplashBitmap = 100;
const int SplashWidth = 160;
const int SplashHeight = 100;
const COLORREF Orange = RGB(255, 128, 0);

int g_nSplashesGone = 0;

// Counts its deletion; can be built without window animation.
class CTestSplash : public CSplashWnd
{
public:
    explicit CTestSplash(bool bAnimation = true)
    {
        if (!bAnimation)
            m_pfnAnimateWindow = nullptr;
    }
    ~CTestSplash() override { ++g_nSplashesGone; }
    POINT Position() const { return {m_x, m_y}; }
};

bool Exists(HWND hWnd)
{
    return ::IsWindow(hWnd) != FALSE;
}

TEST(SplashRegion, RunsOfOpaquePixelsRowByRowFromTheBottom)
{
    const COLORREF T = RGB(255, 0, 255), O = Orange;
    // Rows top-down: two runs; a run open at the end; one lone last pixel; all opaque.
    std::vector<COLORREF> pixels = {
        O, T, O, O, T,
        T, T, O, O, O,
        T, T, T, T, O,
        O, O, O, O, O,
    };
    std::vector<RECT> rects = CSplashWnd::RegionRects(pixels, 5, 4, T);
    std::vector<RECT> expected = {{0, 3, 5, 4}, {2, 1, 5, 2}, {0, 0, 1, 1}, {2, 0, 4, 1}};
    ASSERT_EQ(rects.size(), expected.size());
    for (size_t i = 0; i < rects.size(); ++i)
        EXPECT_TRUE(::EqualRect(&rects[i], &expected[i])) << i;

    std::vector<COLORREF> opaque(3 * 2, O);
    rects = CSplashWnd::RegionRects(opaque, 3, 2, T);
    expected = {{0, 1, 3, 2}, {0, 0, 3, 1}};
    ASSERT_EQ(rects.size(), 2u) << "a colour found nowhere: one rectangle per row";
    EXPECT_TRUE(::EqualRect(&rects[0], &expected[0]));
    EXPECT_TRUE(::EqualRect(&rects[1], &expected[1]));
}

class SplashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_nSplashesGone = 0;
        m_pFrame = new CFrameWnd;
        ASSERT_TRUE(m_pFrame->CreateEx(0, nullptr, L"owner", WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, NULL, NULL));
        m_app.m_pMainWnd = m_pFrame;
    }
    void TearDown() override
    {
        m_app.m_pMainWnd = nullptr;
        m_pFrame->DestroyWindow();
        PumpPending();
    }
    CTestSplash* MakeSplash(int nTime, int nStyle, bool bAnimation = true)
    {
        auto* pSplash = new CTestSplash(bAnimation);
        if (!pSplash->Create(m_pFrame, L"Varnefold", nTime, nStyle) || !pSplash->SetBitmap(SplashBitmap, 255, 0, 255))
        {
            ADD_FAILURE() << "splash not made";
            return nullptr;
        }
        return pSplash;
    }

    CWinApp m_app;
    CFrameWnd* m_pFrame = nullptr;
};

TEST_F(SplashTest, RegionLeavesOutTheTransparentColour)
{
    CTestSplash* pSplash = MakeSplash(0, CSplashWnd::CenterOnScreen);
    ASSERT_NE(pSplash, nullptr);
    HRGN hRegion = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(pSplash->m_hWnd, hRegion), ERROR);
    EXPECT_FALSE(::PtInRegion(hRegion, 5, 5)) << "transparent corner";
    EXPECT_TRUE(::PtInRegion(hRegion, 20, 5));
    EXPECT_TRUE(::PtInRegion(hRegion, SplashWidth - 1, SplashHeight - 1));
    EXPECT_FALSE(::PtInRegion(hRegion, SplashWidth - 1, 20)) << "a run that begins on the last pixel is dropped";
    ::DeleteObject(hRegion);

    POINT pt = pSplash->Position();
    EXPECT_EQ(pt.x, (::GetSystemMetrics(SM_CXFULLSCREEN) - SplashWidth) / 2);
    EXPECT_EQ(pt.y, (::GetSystemMetrics(SM_CYFULLSCREEN) - SplashHeight) / 2);
    pSplash->Hide();
    EXPECT_EQ(g_nSplashesGone, 1);
}

TEST_F(SplashTest, ColourOfMinusOneKeepsTheWindowRectangularAndCentresOnTheParent)
{
    auto* pSplash = new CTestSplash;
    ASSERT_EQ(pSplash->Create(m_pFrame, nullptr, 0, CSplashWnd::CenterOnParent), 1);
    ASSERT_EQ(pSplash->SetBitmap(SplashBitmap, 255, 0, 0xFFFF), 1);
    HRGN hRegion = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(pSplash->m_hWnd, hRegion), ERROR);
    ::DeleteObject(hRegion);
    POINT pt = pSplash->Position();
    EXPECT_EQ(pt.x, 100 + (400 - SplashWidth) / 2);
    EXPECT_EQ(pt.y, 100 + (300 - SplashHeight) / 2);
    EXPECT_EQ(pSplash->SetBitmap(999, 255, 0, 255), 0) << "missing bitmap";
    pSplash->Hide();
}

TEST_F(SplashTest, PaintsTheBitmapAndTheTextsOverIt)
{
    auto* pSplash = new CTestSplash;
    ASSERT_EQ(pSplash->Create(m_pFrame, nullptr, 0, 0), 1);
    ASSERT_EQ(pSplash->SetBitmap(SplashBitmap, 255, 0, 255), 1);
    pSplash->AddTextItem(L"\x2588\x2588\x2588", CRect(10, 12, 40, 30), DT_LEFT | DT_TOP | DT_SINGLELINE, L"Arial",
                         200, CSplashScreenText::FontBold, RGB(0, 0, 255));
    pSplash->AddTextItem(L"\x2588\x2588\x2588", CRect(10, 0, 40, 12), DT_LEFT | DT_TOP | DT_SINGLELINE, L"Arial",
                         80, 0, RGB(0, 0, 255));
    // The colour of the first item.
    pSplash->SetTextColor(RGB(0, 255, 0));

    void* pBits = nullptr;
    HBITMAP hTarget = CreateSection(SplashWidth, SplashHeight, &pBits);
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    dc.SelectObject(hTarget);
    HGDIOBJ hFontBefore = ::GetCurrentObject(dc, OBJ_FONT);
    pSplash->SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.m_hDC), PRF_CLIENT);
    ::GdiFlush();
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), hFontBefore) << "the font is put back";
    EXPECT_EQ(PixelOf(pBits, SplashWidth, 5, 15), Orange);
    EXPECT_EQ(PixelOf(pBits, SplashWidth, 2, 2), RGB(255, 0, 255)) << "the bitmap is copied whole";
    int nBlue = 0, nGreen = 0;
    for (int y = 0; y < SplashHeight; ++y)
        for (int x = 0; x < SplashWidth; ++x)
        {
            nBlue += PixelOf(pBits, SplashWidth, x, y) == RGB(0, 0, 255);
            nGreen += PixelOf(pBits, SplashWidth, x, y) == RGB(0, 255, 0);
        }
    EXPECT_GT(nGreen, 20) << "the first item in the colour set last";
    EXPECT_GT(nBlue, 0) << "the second item in its own colour";
    dc.DeleteDC();
    ::DeleteObject(hTarget);

    pSplash->AddTextItem(L"Varnefold", CRect(0, 60, SplashWidth, SplashHeight), CSplashScreenText::DefaultFormat,
                         L"Arial", 140, CSplashScreenText::FontBold | CSplashScreenText::FontItalic,
                         RGB(255, 255, 255));
    pSplash->Show();
    PumpPending();
    SaveWindowPicture(pSplash->m_hWnd, L"guitoolkit_splash");
    pSplash->Hide();
}

TEST_F(SplashTest, DisplayTimeEndsTheSplashAndZeroKeepsIt)
{
    CTestSplash* pStaying = MakeSplash(0, 0);
    CTestSplash* pTimed = MakeSplash(100, 0);
    ASSERT_TRUE(pStaying && pTimed);
    HWND hStaying = pStaying->m_hWnd;
    pStaying->Show();
    pTimed->Show();
    EXPECT_TRUE(PumpUntil([] { return g_nSplashesGone == 1; }, 5000));
    PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(Exists(hStaying));
    EXPECT_EQ(g_nSplashesGone, 1);
    // The owner's end takes the splash with it.
    m_app.m_pMainWnd = nullptr;
    m_pFrame->DestroyWindow();
    m_pFrame = new CFrameWnd;
    m_pFrame->CreateEx(0, nullptr, L"owner", WS_POPUP, 0, 0, 1, 1, NULL, NULL);
    EXPECT_FALSE(Exists(hStaying));
    EXPECT_EQ(g_nSplashesGone, 2);
}

struct stInputCase
{
    const char* pszName;
    bool bAnimation;
    UINT nMsg;
    bool bToFrame;
};

class SplashInputTest : public SplashTest, public ::testing::WithParamInterface<stInputCase>
{
};

TEST_P(SplashInputTest, InputAnywhereInTheProgramClosesItAtOnce)
{
    const stInputCase& c = GetParam();
    CTestSplash* pSplash =
        MakeSplash(0, CSplashWnd::CloseOnInput | CSplashWnd::FadeIn | CSplashWnd::FadeOut, c.bAnimation);
    ASSERT_NE(pSplash, nullptr);
    HWND hSplash = pSplash->m_hWnd;
    pSplash->Show();
    EXPECT_TRUE(::IsWindowVisible(hSplash)) << "shown at once";
    ::PostMessageW(c.bToFrame ? m_pFrame->m_hWnd : hSplash, c.nMsg, c.nMsg == WM_KEYDOWN ? 'A' : 0, 0);
    ASSERT_TRUE(m_app.PumpMessage());
    EXPECT_FALSE(Exists(hSplash));
    EXPECT_EQ(g_nSplashesGone, 1);
    EXPECT_EQ(CWinThread::GetInputPreview(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Input, SplashInputTest,
                         ::testing::Values(stInputCase{"click", true, WM_LBUTTONDOWN, false},
                                           stInputCase{"right click, no animation", false, WM_RBUTTONDOWN, false},
                                           stInputCase{"key to the frame", true, WM_KEYDOWN, true},
                                           stInputCase{"system key, no animation", false, WM_SYSKEYDOWN, true}),
                         [](const ::testing::TestParamInfo<stInputCase>& info) {
                             std::string str = info.param.pszName;
                             for (char& ch : str)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return str;
                         });

TEST_F(SplashTest, InputLeavesASplashWithoutTheStyleAlone)
{
    CTestSplash* pSplash = MakeSplash(0, 0);
    ASSERT_NE(pSplash, nullptr);
    pSplash->Show();
    pSplash->PostMessage(WM_LBUTTONDOWN);
    ASSERT_TRUE(m_app.PumpMessage());
    EXPECT_TRUE(Exists(pSplash->m_hWnd));
    pSplash->Hide();
}
} // namespace
