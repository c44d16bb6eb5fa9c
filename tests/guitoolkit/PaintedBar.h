// A control bar of a fixed size that paints itself in one colour with its
// title: something to dock and to see in pictures.
#pragma once

#include "classlib/ControlBar.h"
#include "classlib/FrameWnd.h"

template <class TBase>
class CPaintedBar : public TBase
{
public:
    // A length of 32767 stretches along the side the bar is docked at.
    CPaintedBar(int cx, int cy, COLORREF cr) : m_size(cx, cy), m_cr(cr) {}

    BOOL Create(CFrameWnd* pFrame, const wchar_t* pszTitle, UINT nID, DWORD dwBarStyle = CBRS_TOP)
    {
        if (!this->CreateEx(0, nullptr, pszTitle, WS_CHILD | WS_VISIBLE, CRect(0, 0, 10, 10), pFrame, nID))
            return FALSE;
        this->SetBarStyle(dwBarStyle);
        this->EnableDocking(CBRS_ALIGN_ANY);
        return TRUE;
    }
    CSize CalcFixedLayout(BOOL, BOOL bHorz) override { return bHorz ? m_size : CSize(m_size.cy, m_size.cx); }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg != WM_PAINT)
            return TBase::OnMessage(nMsg, wParam, lParam, lResult);
        PAINTSTRUCT stPaint;
        HDC hDC = ::BeginPaint(this->m_hWnd, &stPaint);
        RECT rc;
        ::GetClientRect(this->m_hWnd, &rc);
        HBRUSH hBrush = ::CreateSolidBrush(m_cr);
        ::FillRect(hDC, &rc, hBrush);
        ::DeleteObject(hBrush);
        ::FrameRect(hDC, &rc, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
        wchar_t szTitle[64] = {};
        ::GetWindowTextW(this->m_hWnd, szTitle, 64);
        ::SetBkMode(hDC, TRANSPARENT);
        ::DrawTextW(hDC, szTitle, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::EndPaint(this->m_hWnd, &stPaint);
        lResult = 0;
        return true;
    }

    CSize m_size;
    COLORREF m_cr;
};
