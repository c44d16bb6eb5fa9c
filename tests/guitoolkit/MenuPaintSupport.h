// A memory context over a 32-bit section whose pixels tests read, and a
// fixture that makes the menu hook with its twelve themes and puts the
// toolkit's environment back afterwards.
#pragma once

#include "classlib/DC.h"
#include "guitoolkit/SkinMenuHook.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "ScreenPicture.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class CPaintSurface
{
public:
    CPaintSurface(int cx, int cy, COLORREF crFill = RGB(1, 2, 3)) : m_nWidth(cx), m_nHeight(cy)
    {
        m_hBitmap = CreateSection(cx, cy, &m_pBits);
        m_dc.CreateCompatibleDC(nullptr);
        m_dc.SelectObject(m_hBitmap);
        m_dc.FillSolidRect(0, 0, cx, cy, crFill);
    }
    ~CPaintSurface()
    {
        m_dc.DeleteDC();
        ::DeleteObject(m_hBitmap);
    }
    CDC& DC() { return m_dc; }
    HBITMAP Bitmap() const { return m_hBitmap; }
    COLORREF At(int x, int y) const
    {
        ::GdiFlush();
        return PixelOf(m_pBits, m_nWidth, x, y);
    }
    // How many pixels of the rectangle have the colour.
    int Count(const RECT& rc, COLORREF cr) const
    {
        ::GdiFlush();
        int n = 0;
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x)
                n += PixelOf(m_pBits, m_nWidth, x, y) == cr ? 1 : 0;
        return n;
    }
    // How many pixels of the rectangle match the test.
    int CountIf(const RECT& rc, const std::function<bool(COLORREF)>& test) const
    {
        ::GdiFlush();
        int n = 0;
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x)
                n += test(PixelOf(m_pBits, m_nWidth, x, y)) ? 1 : 0;
        return n;
    }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

private:
    int m_nWidth;
    int m_nHeight;
    void* m_pBits = nullptr;
    HBITMAP m_hBitmap = NULL;
    CDC m_dc;
};

class MenuHookTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_savedEnvironment = ToolkitEnvironment();
        m_pHook = std::make_unique<CSkinMenuHook>();
        // Bars and menu bars take their colours only once a style is applied.
        ToolkitEnvironment().bModernStyle = 0;
        ToolkitEnvironment().nScreenColors = 64000;
    }
    void TearDown() override
    {
        m_pHook.reset();
        ToolkitEnvironment() = m_savedEnvironment;
    }

    stToolkitEnvironment m_savedEnvironment;
    std::unique_ptr<CSkinMenuHook> m_pHook;
};
