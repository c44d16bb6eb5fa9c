// The measuring rules: classic, gradient and XP.
#include "guitoolkit/MenuPainters.h"

#include "classlib/DC.h"
#include "guitoolkit/MenuItemParts.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuIcons.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <algorithm>

namespace
{
enum class Look
{
    Classic,
    Gradient,
    XP
};

// A separator that is no title: a small square the line is drawn across.
constexpr UINT SeparatorSize = 3;

SIZE TextSize(const CString& strText, CFont& font)
{
    CDC dc;
    SIZE sz = {0, 0};
    if (!dc.CreateCompatibleDC(nullptr))
        return sz;
    dc.SelectObject(&font);
    sz = dc.GetTextExtent(strText, strText.GetLength());
    if (strText.IsEmpty())
    {
        TEXTMETRICW stMetrics = {};
        if (dc.GetTextMetrics(&stMetrics))
            sz.cy = stMetrics.tmHeight;
    }
    return sz;
}

bool IsDefaultItem(const CSkinMenu& menu, UINT nID)
{
    UINT nDefault = ::GetMenuDefaultItem(menu.m_hMenu, FALSE, 0);
    return nDefault != static_cast<UINT>(-1) && nDefault == nID;
}

void MeasureTitle(const CSkinMenu& menu, const CSkinMenuItemData& record, LPMEASUREITEMSTRUCT pMeasure)
{
    CFont font;
    SIZE szText = CreateTitleFont(font, 0) ? TextSize(record.m_strText, font) : SIZE{0, 0};
    int cxIcon = 0, cyIcon = 0;
    if (record.m_pIcons != nullptr && record.m_nImage >= 0)
    {
        cxIcon = menu.m_nIconWidth + 2;
        cyIcon = menu.m_nIconHeight + 2;
    }
    UINT nFlags = record.m_nToolkitFlags;
    if (nFlags & MenuTitleVertical)
    {
        int nWidth = std::max<int>(cxIcon, szText.cy);
        // Wine's popups add no check-mark column to owner-drawn items.
        if (!ToolkitEnvironment().bWine)
            nWidth -= ::GetSystemMetrics(SM_CXMENUCHECK);
        if (nFlags & MenuTitleEtched)
            nWidth += 8;
        else if (nFlags & MenuTitleRounded)
            nWidth += 4;
        pMeasure->itemWidth = std::max(0, nWidth);
        pMeasure->itemHeight = 0;
        return;
    }
    pMeasure->itemWidth = cxIcon + szText.cx;
    pMeasure->itemHeight = std::max<int>(cyIcon, szText.cy) + ((nFlags & MenuTitleEtched) ? 8 : 0);
}

void MeasureOnce(CSkinMenu& menu, const CSkinMenuItemData& record, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar,
                 Look look)
{
    if (record.m_nFlags & MF_SEPARATOR)
    {
        if (record.m_nToolkitFlags & MenuItemTitle)
            MeasureTitle(menu, record, pMeasure);
        else
            pMeasure->itemWidth = pMeasure->itemHeight = SeparatorSize;
        return;
    }
    CString strText = DisplayText(menu, record);
    if (look != Look::Classic)
        strText.Replace(L"\t", L"nnn");
    CFont font;
    SIZE szText = CreateMenuFont(font, IsDefaultItem(menu, record.m_nID), 0) ? TextSize(strText, font) : SIZE{0, 0};
    int nMenuHeight = ::GetSystemMetrics(SM_CYMENU);
    int nIconHeight = menu.m_nIconHeight;
    int nBarHeight = std::max(nMenuHeight, nIconHeight + (look == Look::Classic ? 4 : look == Look::Gradient ? 6 : 2));
    if (bMenuBar)
    {
        int nWidth = szText.cx;
        if (strText.Find(L'&') >= 0)
            nWidth -= look == Look::XP ? 6 : ::GetSystemMetrics(SM_CXMENUCHECK) / 2;
        pMeasure->itemWidth = std::max(0, nWidth);
        pMeasure->itemHeight = std::max<int>(nBarHeight, szText.cy);
        return;
    }
    if (look == Look::XP)
    {
        bool bSubmenu = (record.m_nFlags & MF_POPUP) != 0;
        pMeasure->itemWidth = menu.m_nIconWidth + szText.cx + 6 + (bSubmenu ? nMenuHeight : nMenuHeight / 2);
        int nHeight = nIconHeight + 8 < nMenuHeight ? nMenuHeight : nIconHeight + 7;
        pMeasure->itemHeight = std::max<int>(nHeight, szText.cy);
        return;
    }
    pMeasure->itemWidth = szText.cx + 2 * menu.m_nIconWidth + 2;
    pMeasure->itemHeight = std::max<int>(nBarHeight, szText.cy);
}

// The record after this one in its menu with a command of its own.
const CSkinMenuItemData* NextCommandRecord(const CSkinMenu& menu, const CSkinMenuItemData* pRecord)
{
    auto it = std::find(menu.m_items.begin(), menu.m_items.end(), pRecord);
    if (it == menu.m_items.end())
        return nullptr;
    auto itNext = std::find_if(std::next(it), menu.m_items.end(), [](const CSkinMenuItemData* p) { return p->m_nID != 0; });
    return itNext != menu.m_items.end() ? *itNext : nullptr;
}

void Measure(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar, Look look)
{
    const CSkinMenuItemData* pRecord = RecordOfItem(menu, pMeasure->itemData, pMeasure->itemID);
    if (pRecord == nullptr)
        return;
    MeasureOnce(menu, *pRecord, pMeasure, bMenuBar, look);
    if (!IsSystemCommand(pRecord->m_nID))
        return;
    // System commands measure as wide as the item after them, so that the
    // system's own items and ours line up.
    if (const CSkinMenuItemData* pNext = NextCommandRecord(menu, pRecord))
    {
        MEASUREITEMSTRUCT stNext = *pMeasure;
        MeasureOnce(menu, *pNext, &stNext, bMenuBar, look);
        pMeasure->itemWidth = std::max(pMeasure->itemWidth, stNext.itemWidth);
    }
    pMeasure->itemHeight = ::GetSystemMetrics(SM_CYMENU);
}
} // namespace

void MeasureItemClassic(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar)
{
    Measure(menu, pMeasure, bMenuBar, Look::Classic);
}

void MeasureItemGradient(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar)
{
    Measure(menu, pMeasure, bMenuBar, Look::Gradient);
}

void MeasureItemXP(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar)
{
    Measure(menu, pMeasure, bMenuBar, Look::XP);
}
