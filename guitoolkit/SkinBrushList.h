// CSkinBrush and CSkinBrushList: the menu and bar background brushes of the
// themes, made once per (kind, colour 1, colour 2) and kept until the program
// ends. Kinds 8 and 10 are horizontal gradients held in a pattern brush, whose
// colour the system cannot tell; the list can.
#pragma once

#include "classlib/GdiObject.h"

#include <windows.h>

#include <memory>
#include <vector>

class CSkinBrush
{
public:
    CSkinBrush(int nKind, COLORREF crFirst, COLORREF crSecond);

    bool Matches(int nKind, COLORREF crFirst, COLORREF crSecond) const
    {
        return m_nKind == nKind && m_crFirst == crFirst && m_crSecond == crSecond;
    }
    HBRUSH GetSafeHandle() const { return m_brush; }

    int m_nKind;
    COLORREF m_crFirst;
    COLORREF m_crSecond;

private:
    CBrush m_brush;
};

class CSkinBrushList
{
public:
    // The program's one list.
    static CSkinBrushList& Menus();

    // The cached brush, made on first use; null when it cannot be made.
    HBRUSH GetBrush(int nKind, COLORREF crFirst, COLORREF crSecond);
    // The first colour of a brush of the list.
    bool FindColor(HBRUSH hBrush, COLORREF& cr) const;

private:
    std::vector<std::unique_ptr<CSkinBrush>> m_brushes;
    CSkinBrush* m_pLast = nullptr;
};

// The current theme's menu background brush, or null for themes that keep
// the system's.
HBRUSH GetMenuBrush();
