#include "guitoolkit/SkinBrushList.h"

#include "classlib/DC.h"
#include "guitoolkit/Gradient.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <algorithm>

namespace
{
constexpr int GradientKind8 = 8;
constexpr int GradientKind10 = 10;
constexpr int PatternHeight = 20;
// The gradient runs this far; a wider bar continues in the second colour.
constexpr int GradientLength = 700;

bool OldShell()
{
    int nClass = ToolkitEnvironment().nVersionClass;
    return nClass == 2 || nClass == 5;
}

// A bitmap as wide as a full-screen bar, rounded down to whole 8-pixel
// pattern cells, with the gradient laid in.
HBITMAP CreateGradientBitmap(COLORREF crFirst, COLORREF crSecond)
{
    int nWidth = ((::GetSystemMetrics(SM_CXFULLSCREEN) + 16) / 8) * 8;
    CDC screen;
    CDC memory;
    if (!screen.Attach(::GetDC(NULL)))
        return NULL;
    HBITMAP hBitmap = NULL;
    if (memory.CreateCompatibleDC(&screen))
    {
        hBitmap = ::CreateCompatibleBitmap(screen.m_hDC, nWidth, PatternHeight);
        if (hBitmap != NULL && memory.SelectObject(hBitmap) != NULL)
        {
            RECT rc = {0, 0, std::min(nWidth, GradientLength), PatternHeight};
            DrawGradient(&memory, rc, crFirst, crSecond, TRUE, FALSE);
            RECT rcRest = {rc.right, 0, nWidth, PatternHeight};
            if (!::IsRectEmpty(&rcRest))
                memory.FillSolidRect(&rcRest, crSecond);
        }
        memory.DeleteDC();
    }
    ::ReleaseDC(NULL, screen.Detach());
    return hBitmap;
}
} // namespace

CSkinBrush::CSkinBrush(int nKind, COLORREF crFirst, COLORREF crSecond)
    : m_nKind(nKind), m_crFirst(crFirst), m_crSecond(crSecond)
{
    bool bPattern = (nKind == GradientKind8 || nKind == GradientKind10) && !OldShell();
    if (bPattern)
    {
        // The brush keeps its own copy of the pattern.
        HBITMAP hBitmap = CreateGradientBitmap(crFirst, crSecond);
        if (hBitmap != NULL)
        {
            m_brush.CreatePatternBrush(hBitmap);
            ::DeleteObject(hBitmap);
        }
    }
    if (m_brush.GetSafeHandle() == NULL)
        m_brush.CreateSolidBrush(crFirst);
}

CSkinBrushList& CSkinBrushList::Menus()
{
    static CSkinBrushList s_list;
    return s_list;
}

HBRUSH CSkinBrushList::GetBrush(int nKind, COLORREF crFirst, COLORREF crSecond)
{
    if (m_pLast != nullptr && m_pLast->Matches(nKind, crFirst, crSecond))
        return m_pLast->GetSafeHandle();
    for (const auto& pBrush : m_brushes)
    {
        if (pBrush->Matches(nKind, crFirst, crSecond))
        {
            m_pLast = pBrush.get();
            return m_pLast->GetSafeHandle();
        }
    }
    auto pBrush = std::make_unique<CSkinBrush>(nKind, crFirst, crSecond);
    if (pBrush->GetSafeHandle() == NULL)
        return NULL;
    m_pLast = pBrush.get();
    m_brushes.push_back(std::move(pBrush));
    return m_pLast->GetSafeHandle();
}

bool CSkinBrushList::FindColor(HBRUSH hBrush, COLORREF& cr) const
{
    for (const auto& pBrush : m_brushes)
    {
        if (hBrush != NULL && pBrush->GetSafeHandle() == hBrush)
        {
            cr = pBrush->m_crFirst;
            return true;
        }
    }
    return false;
}

HBRUSH GetMenuBrush()
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    bool bGradients = GetScreenColorCount() >= 256 && !stEnv.bHighContrast;
    COLORREF crFirst = 0, crSecond = 0;
    switch (stEnv.nCurrentTheme)
    {
    case 8:
    case 9:
        ::GetBarColors(crFirst, crSecond, TRUE);
        if (bGradients)
            return CSkinBrushList::Menus().GetBrush(GradientKind8, crFirst, crSecond);
        return CSkinBrushList::Menus().GetBrush(0, stEnv.SysColor(COLOR_BTNFACE), 0);
    case 2:
    case 3:
        return CSkinBrushList::Menus().GetBrush(0, stEnv.SysColor(COLOR_BTNFACE), 0);
    case 10:
    case 11:
        ::GetBarColors(crFirst, crSecond, TRUE);
        return CSkinBrushList::Menus().GetBrush(bGradients ? GradientKind10 : 0, crFirst, bGradients ? crSecond : 0);
    default:
        return NULL;
    }
}
