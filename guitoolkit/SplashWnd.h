// CSplashWnd: a borderless topmost popup showing a bitmap, shaped by leaving
// out one colour, with texts over it. It can fade in and out, closes on input
// or after its display time, and deletes itself with its window.
#pragma once

#include "classlib/GdiObject.h"
#include "classlib/Wnd.h"
#include "guitoolkit/SplashScreenText.h"

#include <memory>
#include <vector>

class CSplashWnd : public CWnd
{
public:
    // Style bits.
    static constexpr int FadeIn = 0x01;
    static constexpr int FadeOut = 0x02;
    static constexpr int DropShadow = 0x04;
    static constexpr int CenterOnScreen = 0x08;
    static constexpr int CenterOnParent = 0x10;
    static constexpr int CloseOnInput = 0x20;

    CSplashWnd();
    ~CSplashWnd() override;

    // 1 on success. A text adds a default text item. A splash whose window
    // could not be made is the caller's to delete.
    int Create(CWnd* pParent, const wchar_t* pszText, int nDisplayTimeMs, int nStyle);
    // 0 when the bitmap is missing. A colour value of -1 keeps the window rectangular.
    int SetBitmap(UINT nBitmapID, int nRed, int nGreen, int nBlue);
    void Show();
    void Hide();
    int AddTextItem(const wchar_t* pszText, const RECT& rc, UINT nFormat, const wchar_t* pszFaceName, int nPointSize,
                    int nFontFlags, COLORREF crText);
    void SetTextColor(COLORREF crText);

    // The one-pixel-high rectangles of every run of pixels that differ from
    // the transparent colour; rows are given top-down and scanned bottom-up.
    static std::vector<RECT> RegionRects(const std::vector<COLORREF>& pixels, int nWidth, int nHeight,
                                         COLORREF crTransparent);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    void PostNcDestroy() override;

protected:
    void Draw(CDC& dc);
    HRGN CreateRegionFromBitmap(COLORREF crTransparent);

    // Null where the system has no window animation.
    BOOL(WINAPI* m_pfnAnimateWindow)(HWND, DWORD, DWORD);

    CBitmap m_bitmap;
    CWnd* m_pParent;
    int m_x, m_y, m_cx, m_cy;
    int m_nDisplayTime;
    int m_nStyle;
    std::vector<std::unique_ptr<CSplashScreenText>> m_texts;

private:
    bool m_bCreated;
};
