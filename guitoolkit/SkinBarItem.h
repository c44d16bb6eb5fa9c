// The buttons of the menu bar: one per top-level item of the frame's menu,
// drawn by the menu theme through the frame's WM_DRAWITEM, and the icon
// buttons of a maximized MDI child (its icon, minimize, restore, close).
#pragma once

#include <windows.h>

class CSkinBarItem
{
public:
    CSkinBarItem() = default;
    virtual ~CSkinBarItem() = default;
    CSkinBarItem(const CSkinBarItem&) = delete;
    CSkinBarItem& operator=(const CSkinBarItem&) = delete;

    // The rectangle in bar client coordinates; the layout is kept
    // horizontal and turned for a bar docked down a side.
    virtual RECT GetItemRect(BOOL bVertical) const = 0;
    BOOL HitTest(POINT pt, BOOL bVertical) const;
    virtual void Draw(HWND hFrame, HDC hDC) = 0;
    virtual HMENU GetPopupMenu(HWND hFrame) const = 0;
    virtual UINT GetCommandId() const = 0;

    // Horizontal layout, from the left of the bar's client area.
    RECT m_rcItem = {};
    // MBS_* bits.
    UINT m_nState = 0;
};

class CSkinMenuBarItem : public CSkinBarItem
{
public:
    CSkinMenuBarItem(HMENU hMenu, int nPosition) : m_hMenu(hMenu), m_nPosition(nPosition) {}

    RECT GetItemRect(BOOL bVertical) const override;
    void Draw(HWND hFrame, HDC hDC) override;
    HMENU GetPopupMenu(HWND hFrame) const override;
    UINT GetCommandId() const override;
    // The id the owner-draw messages carry: a popup item names its popup.
    UINT GetDrawId() const;

    HMENU m_hMenu;
    int m_nPosition;
};

// Kinds of icon item; any larger value is a bitmap handle.
enum : UINT_PTR
{
    ICONITEM_CHILDICON = 1,
    ICONITEM_RESTORE = 2,
    ICONITEM_MINIMIZE = 3,
    ICONITEM_CLOSE = 5,
    ICONITEM_LASTKIND = 11,
};

class CSkinIconBarItem : public CSkinBarItem
{
public:
    // The MDI child the buttons act on; null for a bitmap item.
    CSkinIconBarItem(UINT_PTR nKindOrBitmap, UINT nCommandId, HWND hChild = NULL);

    RECT GetItemRect(BOOL bVertical) const override;
    void Draw(HWND hFrame, HDC hDC) override;
    HMENU GetPopupMenu(HWND hFrame) const override;
    UINT GetCommandId() const override { return m_nCommandId; }
    SIZE GetSize() const;

    UINT_PTR m_nKindOrBitmap;
    UINT m_nCommandId;
    HWND m_hChild;

private:
    void DrawBackground(HDC hDC, const RECT& rc) const;
    void DrawGlyph(HDC hDC, RECT rc) const;
    bool IsAvailable() const;
};
