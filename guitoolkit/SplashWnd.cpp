#include "guitoolkit/SplashWnd.h"

#include "classlib/DC.h"
#include "classlib/WinThread.h"

namespace
{
const wchar_t* const SplashClassName = L"SplashWndClass";
constexpr UINT_PTR DisplayTimer = 0;
constexpr DWORD FadeInMs = 500;
constexpr DWORD FadeOutMs = 200;

bool RegisterSplashClass(bool bDropShadow)
{
    WNDCLASSW stClass = {};
    stClass.style = CS_DBLCLKS | CS_SAVEBITS | (bDropShadow ? CS_DROPSHADOW : 0);
    stClass.lpfnWndProc = CWnd::StandardWndProc;
    stClass.hInstance = ::GetModuleHandleW(nullptr);
    stClass.hCursor = ::LoadCursorW(NULL, IDC_ARROW);
    stClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    stClass.lpszClassName = SplashClassName;
    return ::RegisterClassW(&stClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool ClosesSplash(UINT nMsg)
{
    switch (nMsg)
    {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return true;
    default:
        return false;
    }
}
} // namespace

CSplashWnd::CSplashWnd()
    : m_pfnAnimateWindow(nullptr), m_pParent(nullptr), m_x(0), m_y(0), m_cx(0), m_cy(0), m_nDisplayTime(2000),
      m_nStyle(0), m_bCreated(false)
{
    if (HMODULE hUser = ::GetModuleHandleW(L"USER32.DLL"))
        m_pfnAnimateWindow = reinterpret_cast<BOOL(WINAPI*)(HWND, DWORD, DWORD)>(
            reinterpret_cast<void*>(::GetProcAddress(hUser, "AnimateWindow")));
}

CSplashWnd::~CSplashWnd() = default;

int CSplashWnd::Create(CWnd* pParent, const wchar_t* pszText, int nDisplayTimeMs, int nStyle)
{
    m_pParent = pParent;
    m_nDisplayTime = nDisplayTimeMs;
    m_nStyle = nStyle;
    if (pszText != nullptr)
    {
        m_texts.emplace_back(new CSplashScreenText);
        m_texts.back()->m_strText = pszText;
    }
    bool bRegistered = (nStyle & DropShadow) && RegisterSplashClass(true);
    if (!bRegistered)
        bRegistered = RegisterSplashClass(false);
    if (!bRegistered || !CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, SplashClassName, L"", WS_POPUP, 0, 0, 0, 0,
                                  pParent != nullptr ? pParent->m_hWnd : NULL, NULL))
    {
        m_texts.clear();
        return 0;
    }
    m_bCreated = true;
    return 1;
}

int CSplashWnd::SetBitmap(UINT nBitmapID, int nRed, int nGreen, int nBlue)
{
    CBitmap bitmap;
    BITMAP stBitmap = {};
    if (!bitmap.LoadBitmap(nBitmapID) || !bitmap.GetBitmap(&stBitmap))
        return 0;
    m_bitmap.Attach(bitmap.Detach());
    m_cx = stBitmap.bmWidth;
    m_cy = stBitmap.bmHeight;
    if (m_nStyle & CenterOnScreen)
    {
        m_x = (::GetSystemMetrics(SM_CXFULLSCREEN) - m_cx) / 2;
        m_y = (::GetSystemMetrics(SM_CYFULLSCREEN) - m_cy) / 2;
    }
    else if ((m_nStyle & CenterOnParent) && m_pParent != nullptr && m_pParent->m_hWnd != NULL)
    {
        CRect rcParent;
        m_pParent->GetWindowRect(&rcParent);
        m_x = rcParent.left + (rcParent.Width() - m_cx) / 2;
        m_y = rcParent.top + (rcParent.Height() - m_cy) / 2;
    }
    // The values are compared as the 16-bit numbers the callers pass.
    if (static_cast<short>(nRed) != -1 && static_cast<short>(nGreen) != -1 && static_cast<short>(nBlue) != -1)
    {
        HRGN hRegion = CreateRegionFromBitmap(RGB(nRed, nGreen, nBlue));
        // The window owns the region once it is set.
        if (hRegion != NULL && !::SetWindowRgn(m_hWnd, hRegion, TRUE))
            ::DeleteObject(hRegion);
    }
    return 1;
}

std::vector<RECT> CSplashWnd::RegionRects(const std::vector<COLORREF>& pixels, int nWidth, int nHeight,
                                          COLORREF crTransparent)
{
    std::vector<RECT> rects;
    if (nWidth <= 0 || nHeight <= 0 || pixels.size() < static_cast<size_t>(nWidth) * nHeight)
        return rects;
    for (int y = nHeight - 1; y >= 0; --y)
    {
        const COLORREF* pRow = &pixels[static_cast<size_t>(y) * nWidth];
        int nStart = -1;
        for (int x = 0; x < nWidth; ++x)
        {
            bool bOpaque = pRow[x] != crTransparent;
            if (bOpaque && nStart < 0)
                nStart = x;
            else if (!bOpaque && nStart >= 0)
            {
                rects.push_back({nStart, y, x, y + 1});
                nStart = -1;
            }
        }
        // A run still open ends at the row's end, unless it began on the last pixel.
        if (nStart >= 0 && nStart < nWidth - 1)
            rects.push_back({nStart, y, nWidth, y + 1});
    }
    return rects;
}

HRGN CSplashWnd::CreateRegionFromBitmap(COLORREF crTransparent)
{
    CDC dc;
    if (!dc.CreateCompatibleDC(nullptr))
        return NULL;
    dc.SelectObject(&m_bitmap);
    std::vector<COLORREF> pixels(static_cast<size_t>(m_cx) * m_cy);
    for (int y = 0; y < m_cy; ++y)
        for (int x = 0; x < m_cx; ++x)
            pixels[static_cast<size_t>(y) * m_cx + x] = dc.GetPixel(x, y);

    HRGN hRegion = ::CreateRectRgn(0, 0, 0, 0);
    if (hRegion == NULL)
        return NULL;
    for (const RECT& rc : RegionRects(pixels, m_cx, m_cy, crTransparent))
    {
        HRGN hPart = ::CreateRectRgnIndirect(&rc);
        if (hPart == NULL)
            continue;
        ::CombineRgn(hRegion, hRegion, hPart, RGN_OR);
        ::DeleteObject(hPart);
    }
    return hRegion;
}

void CSplashWnd::Show()
{
    SetWindowPos(NULL, m_x, m_y, m_cx, m_cy, SWP_NOZORDER | SWP_NOACTIVATE);
    if ((m_nStyle & FadeIn) && m_pfnAnimateWindow != nullptr)
        m_pfnAnimateWindow(m_hWnd, FadeInMs, AW_BLEND);
    else
        ShowWindow(SW_SHOWNOACTIVATE);
    // Input meant for other windows of the program closes the splash too.
    if (m_nStyle & CloseOnInput)
        CWinThread::SetInputPreview(this);
    if (m_nDisplayTime != 0)
        SetTimer(DisplayTimer, static_cast<UINT>(m_nDisplayTime));
}

void CSplashWnd::Hide()
{
    KillTimer(DisplayTimer);
    if ((m_nStyle & FadeOut) && m_pfnAnimateWindow != nullptr)
        m_pfnAnimateWindow(m_hWnd, FadeOutMs, AW_HIDE | AW_BLEND);
    else
        ShowWindow(SW_HIDE);
    DestroyWindow();
}

int CSplashWnd::AddTextItem(const wchar_t* pszText, const RECT& rc, UINT nFormat, const wchar_t* pszFaceName,
                            int nPointSize, int nFontFlags, COLORREF crText)
{
    m_texts.emplace_back(new CSplashScreenText(pszText, rc, nFormat, pszFaceName, nPointSize, nFontFlags, crText));
    return static_cast<int>(m_texts.size()) - 1;
}

void CSplashWnd::SetTextColor(COLORREF crText)
{
    if (m_texts.empty())
        m_texts.emplace_back(new CSplashScreenText);
    m_texts.front()->m_crText = crText;
    RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CSplashWnd::Draw(CDC& dc)
{
    CDC memory;
    if (m_bitmap.m_hObject != NULL && memory.CreateCompatibleDC(&dc))
    {
        memory.SelectObject(&m_bitmap);
        dc.BitBlt(0, 0, m_cx, m_cy, &memory, 0, 0, SRCCOPY);
    }
    HGDIOBJ hOldFont = ::GetCurrentObject(dc, OBJ_FONT);
    for (const auto& pText : m_texts)
    {
        dc.SelectObject(&pText->m_font);
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(pText->m_crText);
        CRect rc = pText->m_rect;
        dc.DrawText(pText->m_strText, -1, &rc, pText->m_nFormat);
    }
    dc.SelectObject(hOldFont);
}

BOOL CSplashWnd::PreTranslateMessage(MSG* pMsg)
{
    if ((m_nStyle & CloseOnInput) && ClosesSplash(pMsg->message))
    {
        // The window and this object are gone after this.
        Hide();
        return TRUE;
    }
    return CWnd::PreTranslateMessage(pMsg);
}

bool CSplashWnd::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_PAINT:
    {
        CPaintDC dc(this);
        Draw(dc);
        lResult = 0;
        return true;
    }
    case WM_PRINTCLIENT:
    {
        CDC dc;
        dc.Attach(reinterpret_cast<HDC>(wParam));
        Draw(dc);
        dc.Detach();
        lResult = 0;
        return true;
    }
    case WM_TIMER:
        if (wParam != DisplayTimer)
            break;
        Hide();
        lResult = 0;
        return true;
    default:
        break;
    }
    return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
}

void CSplashWnd::PostNcDestroy()
{
    if (m_bCreated)
        delete this;
}
