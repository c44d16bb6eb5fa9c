// CMenuTheme: one look of the owner-drawn menus. A menu neither measures nor
// paints its items; it hands both to the current theme, told apart from the
// others by its id (0-11).
#pragma once

#include <windows.h>

class CSkinMenu;

class CMenuTheme
{
public:
    explicit CMenuTheme(int nThemeId) : m_nThemeId(nThemeId) {}
    virtual ~CMenuTheme() = default;
    CMenuTheme(const CMenuTheme&) = delete;
    CMenuTheme& operator=(const CMenuTheme&) = delete;

    int GetThemeId() const { return m_nThemeId; }

    // bMenuBar: the item stands in a menu bar, not in a popup.
    virtual void MeasureItem(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar) = 0;
    virtual void DrawItem(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar) = 0;
    virtual void DrawTitle(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw) = 0;

protected:
    int m_nThemeId;
};
