#include "classlib/DockBar.h"

#include "classlib/FrameWnd.h"
#include "classlib/ResourceException.h"

#include <algorithm>

CDockBar::CDockBar(BOOL bFloating) : m_arrBars{nullptr}, m_bFloating(bFloating), m_bAutoDelete(FALSE)
{
    // The strip is as thick as its rows: no edges of its own.
    m_cxLeftBorder = m_cxRightBorder = m_cyTopBorder = m_cyBottomBorder = 0;
}

CDockBar::~CDockBar()
{
    for (CControlBar* pBar : m_arrBars)
    {
        if (pBar != nullptr && pBar->m_pDockBar == this)
            pBar->m_pDockBar = nullptr;
    }
}

BOOL CDockBar::Create(CWnd* pParent, DWORD dwStyle, UINT nID)
{
    m_dwStyle = dwStyle & CBRS_ALL;
    const wchar_t* pszClass = RegisterDefaultClass(0, ::LoadCursorW(NULL, IDC_ARROW),
                                                   reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    return CreateEx(0, pszClass, nullptr, dwStyle & ~CBRS_ALL, CRect(0, 0, 0, 0), pParent, nID);
}

int CDockBar::FindBar(const CControlBar* pBar) const
{
    auto it = std::find(m_arrBars.begin(), m_arrBars.end(), pBar);
    return pBar != nullptr && it != m_arrBars.end() ? static_cast<int>(it - m_arrBars.begin()) : -1;
}

int CDockBar::GetDockedCount() const
{
    return static_cast<int>(std::count_if(m_arrBars.begin(), m_arrBars.end(),
                                          [](CControlBar* p) { return p != nullptr; }));
}

int CDockBar::GetDockedVisibleCount() const
{
    return static_cast<int>(std::count_if(m_arrBars.begin(), m_arrBars.end(),
                                          [](CControlBar* p) { return p != nullptr && p->IsVisible(); }));
}

void CDockBar::DockControlBar(CControlBar* pBar, LPCRECT pRect)
{
    if (pBar == nullptr || pBar == this)
        return;
    if (pBar->m_pDockBar != nullptr && pBar->m_pDockBar != this)
        pBar->m_pDockBar->RemoveControlBar(pBar);
    RemoveControlBar(pBar);

    BOOL bHorz = (m_dwStyle & CBRS_ORIENT_HORZ) != 0 || m_bFloating;
    size_t nInsert = m_arrBars.size();
    bool bNewRow = true;
    if (pRect != nullptr)
    {
        CRect rcWant(*pRect);
        int nMid = bHorz ? rcWant.CenterPoint().y : rcWant.CenterPoint().x;
        int nAlong = bHorz ? rcWant.left : rcWant.top;
        // The row whose bars span the middle of the rectangle takes the bar,
        // in the order of the bars' leading edges.
        for (size_t i = 0; i < m_arrBars.size(); ++i)
        {
            CControlBar* pOther = m_arrBars[i];
            if (pOther == nullptr)
                continue;
            CRect rcOther;
            pOther->GetWindowRect(rcOther);
            int nLow = bHorz ? rcOther.top : rcOther.left;
            int nHigh = bHorz ? rcOther.bottom : rcOther.right;
            if (nMid < nLow || nMid >= nHigh)
                continue;
            size_t j = i;
            while (j < m_arrBars.size() && m_arrBars[j] != nullptr)
            {
                CRect rc;
                m_arrBars[j]->GetWindowRect(rc);
                if ((bHorz ? rc.left : rc.top) > nAlong)
                    break;
                ++j;
            }
            nInsert = j;
            bNewRow = false;
            break;
        }
    }
    if (bNewRow)
    {
        // The array ends with a break; the new row goes after it.
        if (m_arrBars.back() != nullptr)
            m_arrBars.push_back(nullptr);
        m_arrBars.push_back(pBar);
        m_arrBars.push_back(nullptr);
    }
    else
    {
        m_arrBars.insert(m_arrBars.begin() + static_cast<std::ptrdiff_t>(nInsert), pBar);
    }

    if (::GetParent(pBar->m_hWnd) != m_hWnd)
        ::SetParent(pBar->m_hWnd, m_hWnd);
    pBar->m_pDockBar = this;
    DWORD dwAlign = m_bFloating ? CBRS_ALIGN_TOP : (m_dwStyle & CBRS_ALIGN_ANY);
    DWORD dwStyle = (pBar->GetBarStyle() & ~(CBRS_ALIGN_ANY | CBRS_FLOATING)) | dwAlign;
    if (m_bFloating)
        dwStyle |= CBRS_FLOATING;
    pBar->SetBarStyle(dwStyle);
}

BOOL CDockBar::RemoveControlBar(CControlBar* pBar)
{
    int nIndex = FindBar(pBar);
    if (nIndex < 0)
        return FALSE;
    m_arrBars.erase(m_arrBars.begin() + nIndex);
    if (pBar->m_pDockBar == this)
        pBar->m_pDockBar = nullptr;
    RemoveEmptyRows();
    return TRUE;
}

void CDockBar::RemoveEmptyRows()
{
    std::vector<CControlBar*> arrKept{nullptr};
    for (CControlBar* pBar : m_arrBars)
    {
        if (pBar != nullptr || arrKept.back() != nullptr)
            arrKept.push_back(pBar);
    }
    m_arrBars.swap(arrKept);
}

CSize CDockBar::SizeOfBar(CControlBar* pBar, BOOL bStretch, BOOL bHorz) const
{
    if (pBar->GetBarStyle() & CBRS_SIZE_DYNAMIC)
    {
        DWORD dwMode = (bStretch ? LM_STRETCH : 0) | (bHorz ? (LM_HORZ | LM_HORZDOCK) : LM_VERTDOCK);
        if (m_bFloating)
            dwMode = LM_HORZ | LM_MRUWIDTH;
        return pBar->CalcDynamicLayout(-1, dwMode);
    }
    return pBar->CalcFixedLayout(bStretch, bHorz);
}

int CDockBar::LayoutRow(size_t nFirst, size_t nEnd, int nOffset, int nLength, BOOL bStretch, BOOL bHorz)
{
    std::vector<std::pair<CControlBar*, CSize>> row;
    for (size_t i = nFirst; i < nEnd; ++i)
    {
        CControlBar* pBar = m_arrBars[i];
        if (pBar->IsVisible())
            row.emplace_back(pBar, SizeOfBar(pBar, bStretch, bHorz));
    }
    // A bar that asks for the whole side takes what the row's other bars leave.
    int nFixed = 0;
    for (auto& entry : row)
    {
        int nAlong = bHorz ? entry.second.cx : entry.second.cy;
        if (nAlong < 32767)
            nFixed += nAlong;
    }
    int nThickness = 0;
    int nPos = 0;
    for (auto& entry : row)
    {
        CSize& size = entry.second;
        LONG& nAlong = bHorz ? size.cx : size.cy;
        if (nAlong >= 32767)
            nAlong = std::max(0, nLength - nFixed);
        nAlong = std::max(0L, std::min(nAlong, static_cast<LONG>(nLength - nPos)));
        CRect rc = bHorz ? CRect(nPos, nOffset, nPos + size.cx, nOffset + size.cy)
                         : CRect(nOffset, nPos, nOffset + size.cx, nPos + size.cy);
        RepositionInLayout(nullptr, entry.first->m_hWnd, rc);
        nPos += nAlong;
        nThickness = std::max(nThickness, static_cast<int>(bHorz ? size.cy : size.cx));
    }
    return nThickness;
}

CSize CDockBar::CalcFixedLayout(BOOL bStretch, BOOL bHorz)
{
    int nLength = 32767;
    if (!m_bFloating && !m_rectLayout.IsRectEmpty())
        nLength = bHorz ? m_rectLayout.Width() : m_rectLayout.Height();
    int nOffset = 0;
    int nLongest = 0;
    size_t nRowStart = 0;
    for (size_t i = 0; i <= m_arrBars.size(); ++i)
    {
        if (i < m_arrBars.size() && m_arrBars[i] != nullptr)
            continue;
        if (i > nRowStart)
        {
            int nThickness = LayoutRow(nRowStart, i, nOffset, nLength, bStretch && !m_bFloating, bHorz);
            nOffset += nThickness;
            // The floating frame is as wide as its widest row.
            for (size_t j = nRowStart; j < i; ++j)
            {
                CRect rc;
                m_arrBars[j]->GetWindowRect(rc);
                if (m_arrBars[j]->IsVisible())
                    nLongest = std::max(nLongest, static_cast<int>(bHorz ? rc.Width() : rc.Height()));
            }
        }
        nRowStart = i + 1;
    }
    if (m_bFloating)
        return bHorz ? CSize(nLongest, nOffset) : CSize(nOffset, nLongest);
    return bHorz ? CSize(nLength, nOffset) : CSize(nOffset, nLength);
}

LRESULT CDockBar::OnSizeParent(stSizeParentLayout* pLayout)
{
    m_rectLayout = pLayout->rect;
    return CControlBar::OnSizeParent(pLayout);
}

bool CDockBar::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    if (nMsg == WM_NCCALCSIZE || nMsg == WM_NCPAINT)
        return false;
    return CControlBar::OnMessage(nMsg, wParam, lParam, lResult);
}

void CDockBar::PostNcDestroy()
{
    if (m_bAutoDelete)
        delete this;
}
