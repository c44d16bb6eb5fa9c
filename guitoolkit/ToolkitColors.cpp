#include "guitoolkit/ToolkitColors.h"

#include "classlib/WinApp.h"
#include "guitoolkit/SkinBrushList.h"
#include "guitoolkit/ToolkitEnvironment.h"
#include "guitoolkit/UxTheme.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

namespace
{
constexpr UINT_PTR FirstFreeTimer = 31;
constexpr UINT_PTR LastFreeTimer = 99;

// SetTimer on an id the window already uses replaces that timer and
// succeeds, so "the first id that SetTimer accepts" would always be 31. The
// ids handed out here are remembered until released or the window is gone.
std::set<std::pair<HWND, UINT_PTR>>& TimersInUse()
{
    static std::set<std::pair<HWND, UINT_PTR>> s_timers;
    return s_timers;
}

void ForgetGoneWindows()
{
    auto& timers = TimersInUse();
    for (auto it = timers.begin(); it != timers.end();)
        it = ::IsWindow(it->first) ? std::next(it) : timers.erase(it);
}

int Channel(int nValue)
{
    return std::clamp(nValue, 0, 255);
}

COLORREF PerChannel(COLORREF a, COLORREF b, int (*pfn)(int, int))
{
    return RGB(Channel(pfn(GetRValue(a), GetRValue(b))), Channel(pfn(GetGValue(a), GetGValue(b))),
               Channel(pfn(GetBValue(a), GetBValue(b))));
}

COLORREF NearestScreenColor(COLORREF cr)
{
    HDC hScreen = ::GetDC(NULL);
    if (hScreen == NULL)
        return cr;
    COLORREF crNearest = ::GetNearestColor(hScreen, cr);
    ::ReleaseDC(NULL, hScreen);
    return crNearest == CLR_INVALID ? cr : crNearest;
}

// The colour of a menu's own background brush, when it has a solid one.
bool MenuBrushColor(HMENU hMenu, COLORREF& cr)
{
    MENUINFO stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIM_BACKGROUND;
    if (hMenu == NULL || !::GetMenuInfo(hMenu, &stInfo) || stInfo.hbrBack == NULL)
        return false;
    // A pattern brush has no colour of its own (GetObject answers 0, black):
    // the themes' gradient brushes count with their first colour.
    if (CSkinBrushList::Menus().FindColor(stInfo.hbrBack, cr))
        return true;
    LOGBRUSH stBrush = {};
    if (::GetObjectW(stInfo.hbrBack, sizeof(stBrush), &stBrush) != sizeof(stBrush) || stBrush.lbStyle != BS_SOLID)
        return false;
    cr = stBrush.lbColor;
    return true;
}

bool FlatMenusOn()
{
    BOOL bFlat = FALSE;
    return ::SystemParametersInfoW(SPI_GETFLATMENU, 0, &bFlat, 0) && bFlat;
}

// The base colour of bars under an active visual style: the style's own
// window colours replace a and b where it defines them (bStyleColours).
COLORREF StyledBarColor(COLORREF a, COLORREF b, bool& bStyleColours)
{
    uxtheme::HTHEME hTheme = uxtheme::OpenThemeData(NULL, L"Window");
    bStyleColours = hTheme != NULL;
    if (hTheme == NULL)
        return SnapBarColor(NearestScreenColor(BlendColors70(a, b)));
    // Some styles report 1 for a colour they do not define.
    COLORREF cr = 0;
    if (SUCCEEDED(uxtheme::GetThemeColor(hTheme, 1, 1, 3821, &cr)) && cr != 1)
        b = cr;
    if (SUCCEEDED(uxtheme::GetThemeColor(hTheme, 1, 1, 3805, &cr)) && cr != 1)
        a = cr;
    uxtheme::CloseThemeData(hTheme);
    switch (b)
    {
    case 0x86B8AA:
        return 0xAADADA;
    case 0xBEA3A4:
        return 0xE5D7D7;
    case 0xE55400:
        return 0xF5C2A3;
    default:
        return NearestScreenColor(BlendColors70(a, b));
    }
}

} // namespace

int VersionClassOf(DWORD dwGetVersion, DWORD dwMajor, DWORD dwMinor)
{
    if (dwGetVersion & 0x80000000)
    {
        if (LOBYTE(LOWORD(dwGetVersion)) < 4)
            return 0;
        if (dwMajor != 4)
            return 2;
        return dwMinor == 10 ? 3 : dwMinor == 90 ? 4 : 2;
    }
    if (dwMajor < 4)
        return 1;
    if (dwMajor == 4)
        return 5;
    if (dwMajor == 5)
        return dwMinor == 0 ? 6 : 7;
    return 7;
}

int GetWinVersionClass()
{
    OSVERSIONINFOW stVersion = {};
    stVersion.dwOSVersionInfoSize = sizeof(stVersion);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    DWORD dwVersion = ::GetVersion();
    if (!::GetVersionExW(&stVersion))
        stVersion.dwMajorVersion = stVersion.dwMinorVersion = 0;
#pragma GCC diagnostic pop
    return VersionClassOf(dwVersion, stVersion.dwMajorVersion, stVersion.dwMinorVersion);
}

UINT_PTR SetFreeTimer(HWND hWnd, UINT nElapse)
{
    if (!::IsWindow(hWnd))
        return 0;
    ForgetGoneWindows();
    auto& timers = TimersInUse();
    for (UINT_PTR nID = FirstFreeTimer; nID <= LastFreeTimer; ++nID)
    {
        if (timers.count({hWnd, nID}) != 0)
            continue;
        if (ToolkitEnvironment().pfnSetTimer(hWnd, nID, nElapse, nullptr) != 0)
        {
            timers.insert({hWnd, nID});
            return nID;
        }
    }
    return 0;
}

BOOL KillFreeTimer(HWND hWnd, UINT_PTR nID)
{
    TimersInUse().erase({hWnd, nID});
    return ::KillTimer(hWnd, nID);
}

HBITMAP CreateMaskBitmap(HBITMAP hSource, COLORREF crTransparent)
{
    BITMAP stBitmap = {};
    if (::GetObjectW(hSource, sizeof(stBitmap), &stBitmap) != sizeof(stBitmap))
        return NULL;
    HBITMAP hMask = ::CreateBitmap(stBitmap.bmWidth, stBitmap.bmHeight, 1, 1, nullptr);
    HDC hSourceDC = ::CreateCompatibleDC(NULL);
    HDC hMaskDC = ::CreateCompatibleDC(NULL);
    // A bitmap that another context holds cannot be selected here: without
    // both selections the copies would work on the contexts' empty bitmaps.
    HGDIOBJ hOldSource = hSourceDC != NULL ? ::SelectObject(hSourceDC, hSource) : NULL;
    HGDIOBJ hOldMask = hMaskDC != NULL && hMask != NULL ? ::SelectObject(hMaskDC, hMask) : NULL;
    bool bMade = hOldSource != NULL && hOldMask != NULL;
    if (bMade)
    {
        // Colour to monochrome maps the source's background colour to 1;
        // monochrome to colour maps 1 to the background colour and 0 to the
        // text colour, so the inverting copy blackens exactly those pixels.
        COLORREF crOldBack = ::SetBkColor(hSourceDC, crTransparent);
        COLORREF crOldText = ::SetTextColor(hSourceDC, RGB(0, 0, 0));
        bMade = ::BitBlt(hMaskDC, 0, 0, stBitmap.bmWidth, stBitmap.bmHeight, hSourceDC, 0, 0, SRCCOPY) &&
                ::BitBlt(hSourceDC, 0, 0, stBitmap.bmWidth, stBitmap.bmHeight, hMaskDC, 0, 0, SRCINVERT);
        ::SetBkColor(hSourceDC, crOldBack);
        ::SetTextColor(hSourceDC, crOldText);
    }
    if (hOldSource != NULL)
        ::SelectObject(hSourceDC, hOldSource);
    if (hOldMask != NULL)
        ::SelectObject(hMaskDC, hOldMask);
    if (hSourceDC != NULL)
        ::DeleteDC(hSourceDC);
    if (hMaskDC != NULL)
        ::DeleteDC(hMaskDC);
    if (!bMade && hMask != NULL)
    {
        ::DeleteObject(hMask);
        hMask = NULL;
    }
    return hMask;
}

COLORREF DarkenTowardBlue(COLORREF cr)
{
    return RGB(Channel(::MulDiv(GetRValue(cr), 7, 10)), Channel(::MulDiv(GetGValue(cr), 7, 10)),
               Channel(::MulDiv(GetBValue(cr) + 55, 7, 10)));
}

COLORREF DarkenColor(int nAmount, COLORREF cr)
{
    int nKeep = 255 - nAmount;
    return RGB(Channel(::MulDiv(GetRValue(cr), nKeep, 255)), Channel(::MulDiv(GetGValue(cr), nKeep, 255)),
               Channel(::MulDiv(GetBValue(cr), nKeep, 255)));
}

COLORREF LightenColor(int nAmount, COLORREF cr)
{
    auto lighten = [nAmount](int c) { return Channel(c + ::MulDiv(255 - c, nAmount, 255)); };
    return RGB(lighten(GetRValue(cr)), lighten(GetGValue(cr)), lighten(GetBValue(cr)));
}

COLORREF BlendColors86(COLORREF a, COLORREF b)
{
    return PerChannel(a, b, [](int x, int y) { return ::MulDiv(x, 86, 100) + ::MulDiv(y, 14, 100); });
}

COLORREF BlendColors70(COLORREF a, COLORREF b)
{
    return PerChannel(a, b, [](int x, int y) { return ::MulDiv(x, 7, 10) + ::MulDiv(y, 3, 10); });
}

COLORREF MixColors(COLORREF a, COLORREF b, int nWeight)
{
    if (b == static_cast<COLORREF>(-1))
        return static_cast<COLORREF>(-1);
    auto mix = [nWeight](int x, int y) { return Channel((x * (255 - nWeight) + y * nWeight) >> 8); };
    return RGB(mix(GetRValue(a), GetRValue(b)), mix(GetGValue(a), GetGValue(b)), mix(GetBValue(a), GetBValue(b)));
}

COLORREF GetMenuBackgroundColor(HMENU hMenu)
{
    COLORREF cr;
    if (MenuBrushColor(hMenu, cr))
        return cr;
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    if (stEnv.nVersionClass == 7 && FlatMenusOn())
        return stEnv.SysColor(COLOR_MENUBAR);
    return stEnv.SysColor(COLOR_MENU);
}

COLORREF GetBarFaceColor()
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    bool bMenuFace = stEnv.nVersionClass == 2 || stEnv.nVersionClass == 5;
    return stEnv.SysColor(bMenuFace ? COLOR_MENU : COLOR_BTNFACE);
}

COLORREF GetMenuBarColor(HMENU hMenu)
{
    COLORREF cr;
    if (MenuBrushColor(hMenu, cr))
        return cr;
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    if (stEnv.nVersionClass == 7 && (FlatMenusOn() || stEnv.IsVisualStyleActive()))
        return stEnv.SysColor(COLOR_MENUBAR);
    return GetBarFaceColor();
}

int GetScreenColorCount()
{
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    if (stEnv.nScreenColors == 0)
    {
        HDC hScreen = ::GetDC(NULL);
        int nColors = hScreen != NULL ? ::GetDeviceCaps(hScreen, NUMCOLORS) : -1;
        if (hScreen != NULL)
            ::ReleaseDC(NULL, hScreen);
        // More than a palette holds.
        stEnv.nScreenColors = nColors == -1 ? 64000 : nColors;
    }
    return stEnv.nScreenColors;
}

HBITMAP LoadBitmapWithColors(UINT nID, HINSTANCE hModule, int* pnColors)
{
    return LoadBitmapWithColors(MAKEINTRESOURCEW(nID), hModule, pnColors);
}

HBITMAP LoadBitmapWithColors(const wchar_t* pszName, HINSTANCE hModule, int* pnColors)
{
    if (pnColors != nullptr)
        *pnColors = 0;
    if (hModule == NULL)
        hModule = CWinApp::GetResourceModule();
    HRSRC hResource = ::FindResourceW(hModule, pszName, RT_BITMAP);
    if (hResource == NULL)
        return NULL;
    HGLOBAL hData = ::LoadResource(hModule, hResource);
    const BITMAPINFOHEADER* pHeader = hData != NULL ? static_cast<const BITMAPINFOHEADER*>(::LockResource(hData))
                                                    : nullptr;
    if (pHeader != nullptr && pnColors != nullptr && ::SizeofResource(hModule, hResource) >= sizeof(*pHeader))
    {
        if (pHeader->biClrUsed != 0)
            *pnColors = static_cast<int>(pHeader->biClrUsed);
        else if (pHeader->biBitCount <= 8 && (pHeader->biBitCount == 1 || pHeader->biBitCount == 4 ||
                                              pHeader->biBitCount == 8))
            *pnColors = 1 << pHeader->biBitCount;
    }
    return ::LoadBitmapW(hModule, pszName);
}

// Through a screen-compatible context.
bool ReadBitmapPixels(HBITMAP hBitmap, BITMAPINFO& stInfo, std::vector<DWORD>& pixels)
{
    BITMAP stBitmap = {};
    if (::GetObjectW(hBitmap, sizeof(stBitmap), &stBitmap) != sizeof(stBitmap) || stBitmap.bmWidth <= 0 ||
        stBitmap.bmHeight <= 0)
        return false;
    stInfo = {};
    stInfo.bmiHeader.biSize = sizeof(stInfo.bmiHeader);
    stInfo.bmiHeader.biWidth = stBitmap.bmWidth;
    stInfo.bmiHeader.biHeight = -stBitmap.bmHeight;
    stInfo.bmiHeader.biPlanes = 1;
    stInfo.bmiHeader.biBitCount = 32;
    stInfo.bmiHeader.biCompression = BI_RGB;
    pixels.resize(static_cast<size_t>(stBitmap.bmWidth) * stBitmap.bmHeight);
    HDC hScreen = ::GetDC(NULL);
    int nRows = ::GetDIBits(hScreen, hBitmap, 0, stBitmap.bmHeight, pixels.data(), &stInfo, DIB_RGB_COLORS);
    ::ReleaseDC(NULL, hScreen);
    return nRows == stBitmap.bmHeight;
}
bool WriteBitmapPixels(HBITMAP hBitmap, const BITMAPINFO& stInfo, const std::vector<DWORD>& pixels)
{
    int nHeight = -stInfo.bmiHeader.biHeight;
    if (nHeight <= 0 || pixels.size() < static_cast<size_t>(stInfo.bmiHeader.biWidth) * nHeight)
        return false;
    HDC hScreen = ::GetDC(NULL);
    int nRows = ::SetDIBits(hScreen, hBitmap, 0, nHeight, pixels.data(), &stInfo, DIB_RGB_COLORS);
    ::ReleaseDC(NULL, hScreen);
    return nRows == nHeight;
}

COLORREF GreyBlendBitmap(HBITMAP hBitmap, int nWeight, COLORREF cr)
{
    BITMAPINFO stInfo;
    std::vector<DWORD> pixels;
    if (!ReadBitmapPixels(hBitmap, stInfo, pixels))
        return CLR_INVALID;
    auto blend = [nWeight](int nGrey, int nChannel) {
        return static_cast<DWORD>(Channel((nWeight * nGrey + (255 - nWeight) * nChannel) >> 8));
    };
    for (DWORD& dwPixel : pixels)
    {
        int r = (dwPixel >> 16) & 0xFF, g = (dwPixel >> 8) & 0xFF, b = dwPixel & 0xFF;
        int nGrey = (r + g + b) / 3;
        dwPixel = (blend(nGrey, GetRValue(cr)) << 16) | (blend(nGrey, GetGValue(cr)) << 8) |
                  blend(nGrey, GetBValue(cr));
    }
    if (!WriteBitmapPixels(hBitmap, stInfo, pixels))
        return CLR_INVALID;
    DWORD dwFirst = pixels.front();
    return RGB((dwFirst >> 16) & 0xFF, (dwFirst >> 8) & 0xFF, dwFirst & 0xFF);
}

RECT& GetMonitorWorkArea(RECT& rcWork, const RECT& rc)
{
    MONITORINFO stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    HMONITOR hMonitor = ::MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST);
    if (hMonitor != NULL && ::GetMonitorInfoW(hMonitor, &stInfo))
        rcWork = stInfo.rcWork;
    else
        ::SetRect(&rcWork, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    return rcWork;
}

COLORREF GetSelectionColor()
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    COLORREF crHighlight = stEnv.SysColor(COLOR_HIGHLIGHT);
    if (stEnv.bHighContrast)
        return crHighlight;
    COLORREF crWindow = stEnv.SysColor(COLOR_WINDOW);
    if (GetScreenColorCount() <= 256)
        return crWindow;
    if (!stEnv.IsVisualStyleActive() && GetRValue(crHighlight) + GetGValue(crHighlight) + GetBValue(crHighlight) > 384)
        return BlendColors86(crWindow, crHighlight);
    return BlendColors70(crWindow, crHighlight);
}

COLORREF SnapBarColor(COLORREF cr)
{
    switch (cr)
    {
    case 0xF0C5AC:
        return 0xF5C2A3;
    case 0xE6E6E6:
        return 0xE5D7D7;
    case 0xCCDCD6:
        return 0xAADADA;
    default:
        return cr;
    }
}

COLORREF GetBarColors(COLORREF& crFirst, COLORREF& crSecond, BOOL bLight)
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    if (stEnv.nVersionClass == 2 || stEnv.nVersionClass == 5)
    {
        crFirst = crSecond = stEnv.SysColor(COLOR_MENU);
        return crFirst;
    }
    if (stEnv.bModernStyle)
    {
        crFirst = crSecond = 0;
        return crFirst;
    }
    COLORREF a = DarkenColor(10, stEnv.SysColor(COLOR_WINDOW));
    COLORREF b = stEnv.SysColor(COLOR_ACTIVECAPTION);
    if (stEnv.nCurrentTheme == 10 || stEnv.nCurrentTheme == 11)
    {
        COLORREF c = SnapBarColor(NearestScreenColor(BlendColors70(a, b)));
        crFirst = c;
        crSecond = LightenColor(110, c);
        return crFirst;
    }
    if (!stEnv.IsVisualStyleActive())
    {
        COLORREF crFace = stEnv.SysColor(COLOR_BTNFACE);
        crFirst = crFace;
        crSecond = MixColors(crFace, stEnv.SysColor(COLOR_WINDOW), 220);
        return crFirst;
    }

    bool bStyleColours = false;
    COLORREF c = StyledBarColor(a, b, bStyleColours);
    if (bLight)
    {
        crFirst = c;
        crSecond = LightenColor(bStyleColours ? 110 : 100, c);
        return crFirst;
    }
    crSecond = LightenColor(200, c);
    crFirst = DarkenColor(20, c);
    return crFirst;
}

COLORREF GetBarBackgroundColor()
{
    COLORREF crFirst, crSecond;
    return GetBarColors(crFirst, crSecond, TRUE);
}

COLORREF ReadableTextColor(COLORREF crGround, COLORREF crText)
{
    if (crGround == CLR_INVALID)
        return crText;
    int nLuma = (GetRValue(crGround) * 299 + GetGValue(crGround) * 587 + GetBValue(crGround) * 114) / 1000;
    return nLuma < 80 ? RGB(255, 255, 255) : crText;
}
