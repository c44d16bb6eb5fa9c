// CSkinMenuItemData: what an owner-drawn menu item carries as its item data:
// its text, menu flags, command and icon.
#pragma once

#include "classlib/Object.h"
#include "classlib/String.h"

#include <windows.h>

class CSkinMenuIcons;

class CSkinMenuItemData : public CObject
{
public:
    CSkinMenuItemData() = default;
    // Lets go of its icon store.
    ~CSkinMenuItemData() override;
    CSkinMenuItemData(const CSkinMenuItemData&) = delete;
    CSkinMenuItemData& operator=(const CSkinMenuItemData&) = delete;

    // The text with the keys of the table's entries for the command after a
    // TAB; (HACCEL)-1 is the main frame's table. Without a table, the text
    // before its TAB.
    virtual CString GetDisplayText(HACCEL hAccel) const;
    // Null gives an empty text.
    virtual void SetText(const wchar_t* pszText);

    CString m_strText;
    // The MF_* bits of the item.
    UINT m_nFlags = 0;
    // For a popup item, the popup's handle cut to 32 bits.
    UINT m_nID = 0;
    // Scratch of the record matching: set while the record has a position.
    BOOL m_bUsed = FALSE;
    // A counted reference, or null.
    CSkinMenuIcons* m_pIcons = nullptr;
    // The first of the command's three images, -1 for none.
    int m_nImage = -1;
    // The toolkit's flags of a title item (bit 0), its layout and frame.
    UINT m_nToolkitFlags = 0;
    // Colours of a title item; 0xFF000000 takes the theme's.
    COLORREF m_crTitleText = 0xFF000000;
    COLORREF m_crTitleStart = 0xFF000000;
    COLORREF m_crTitleEnd = 0xFF000000;
};
