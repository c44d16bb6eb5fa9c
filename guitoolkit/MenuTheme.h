// CMenuTheme: one look of the owner-drawn menus. A menu neither measures nor
// paints its items; it hands both to the current theme, told apart from the
// others by its id (0-11). A theme with its own border (even ids) also lays
// out and paints the frame and shadow of the popup windows the menu hook
// subclasses; the others leave them to the system.
#pragma once

#include <windows.h>

class CDC;
class CSkinMenu;

class CMenuTheme
{
public:
    using MeasureFunction = void (*)(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar);
    using DrawFunction = void (*)(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar);
    using TitleFunction = void (*)(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw);

    // A theme that measures and draws nothing and keeps the system border.
    explicit CMenuTheme(int nThemeId) : CMenuTheme(nThemeId, 0, nullptr, nullptr, nullptr) {}
    CMenuTheme(int nThemeId, int nBorderFlag, MeasureFunction pfnMeasure, DrawFunction pfnDraw,
               TitleFunction pfnTitle);
    virtual ~CMenuTheme() = default;
    CMenuTheme(const CMenuTheme&) = delete;
    CMenuTheme& operator=(const CMenuTheme&) = delete;

    int GetThemeId() const { return m_nThemeId; }

    // bMenuBar: the item stands in a menu bar, not in a popup.
    virtual void MeasureItem(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar);
    virtual void DrawItem(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar);
    virtual void DrawTitle(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw);

    // A popup window was subclassed; TRUE when the theme took its border styles off.
    virtual BOOL AttachPopup(HWND hPopup);
    // The popup window goes: its menu hears of it and the styles come back.
    virtual void DetachPopup(HWND hPopup);
    virtual BOOL HasOwnBorder() const { return (m_nBorderFlag & 1) != 0; }
    virtual void UpdateSysColors();
    virtual void UpdateBorderSize();
    // Frame and own shadow of a popup, on its window context; bSkipFrame
    // leaves the bands between frame and client alone.
    virtual void DrawBorder(HWND hPopup, CDC* pWindowDC, BOOL bSkipFrame);
    // Fills the popup's client area; TRUE when it painted.
    virtual BOOL EraseBackground(HWND hPopup, CDC* pDC);
    virtual BOOL CalcClientRect(HWND hPopup, LPRECT pRect);
    virtual BOOL AdjustWindowPos(HWND hPopup, WINDOWPOS* pPos);
    // The part of the window (screen coordinates) the system may paint.
    virtual void GetPaintRect(HWND hPopup, LPRECT pRect);
    // The gripper of a docked bar that has one and does not float.
    virtual void DrawGripper(CDC* pDC, const RECT& rc, DWORD dwBarStyle, const RECT& rcBorders);
    virtual void RoundBarCorners(CDC* pDC, const RECT& rc, DWORD dwBarStyle);
    // The four colours of bars in the 2003 look, lightest to darkest.
    virtual void GetBarColors(COLORREF& crFirst, COLORREF& crSecond, COLORREF& crThird, COLORREF& crFourth,
                              BOOL bForce);

    // The theme's copies of the system colours.
    enum : int
    {
        ColorFace,
        ColorShadow,
        ColorHighlight,
        ColorText,
        ColorFrame,
        ColorCount
    };
    COLORREF m_acrSysColors[ColorCount] = {};
    // Width and height of the popup border: the frame, then the shadow side.
    SIZE m_aszBorder[2] = {};

protected:
    // The rectangle the frame covers (window coordinates): less the own
    // shadow's four pixels when the system draws none.
    static RECT FrameRect(HWND hPopup);
    // The client rectangle in window coordinates.
    static RECT ClientRectInWindow(HWND hPopup);
    void PaintShadowIfOwn(HWND hPopup, CDC* pWindowDC) const;
    BOOL FillClient(HWND hPopup, CDC* pDC, COLORREF cr) const;

    int m_nThemeId;
    int m_nBorderFlag;
    MeasureFunction m_pfnMeasure;
    DrawFunction m_pfnDraw;
    TitleFunction m_pfnTitle;
};
