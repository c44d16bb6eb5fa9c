// The icons and texts CSkinMenu gives its items by command.
#include "guitoolkit/SkinMenu.h"

#include "guitoolkit/SkinMenuIcons.h"

#include <algorithm>

namespace
{
// The record takes a reference to the store before it lets go of its old one,
// so a store given again to the same record is never deleted on the way.
void TakeIcon(CSkinMenu& menu, CSkinMenuItemData& record, CSkinMenuIcons* pIcons, int nImage)
{
    if (pIcons == nullptr)
    {
        record.m_nImage = -1;
        return;
    }
    ++pIcons->m_nRefCount;
    CSkinMenuIcons::Release(record.m_pIcons);
    record.m_pIcons = pIcons;
    record.m_nImage = nImage;
    SIZE szImage = pIcons->GetImageSize();
    menu.m_nIconWidth = std::max<int>(menu.m_nIconWidth, szImage.cx);
    menu.m_nIconHeight = std::max<int>(menu.m_nIconHeight, szImage.cy);
}
} // namespace

BOOL CSkinMenu::LoadToolBar(const WORD* pToolInfo, COLORREF crMask)
{
    if (crMask == static_cast<COLORREF>(-1))
        crMask = m_crMask;
    for (CSkinMenuIcons* pIcons : CSkinMenuIcons::StoreList())
    {
        if (pIcons->MatchesToolInfo(pToolInfo, crMask))
        {
            AssignIcons(pIcons);
            return TRUE;
        }
    }
    CSkinMenuIcons* pIcons = new CSkinMenuIcons;
    if (!pIcons->LoadToolInfo(pToolInfo, crMask))
    {
        delete pIcons;
        return FALSE;
    }
    CSkinMenuIcons::StoreList().push_back(pIcons);
    AssignIcons(pIcons);
    return TRUE;
}

int CSkinMenu::AssignIcons(CSkinMenuIcons* pIcons)
{
    if (pIcons == nullptr)
        return 0;
    for (size_t i = pIcons->m_commandIDs.size(); i-- > 0;)
        AssignItemImage(pIcons->m_commandIDs[i], nullptr, pIcons, static_cast<int>(3 * i));
    return pIcons->m_nRefCount;
}

BOOL CSkinMenu::AssignItemImage(UINT nCommand, const wchar_t* pszText, CSkinMenuIcons* pIcons, int nImage)
{
    BOOL bResult = TRUE;
    auto assign = [&](CSkinMenu& menu, CSkinMenuItemData& record) {
        bool bTextChanged = pszText != nullptr && record.m_strText != pszText;
        if (bTextChanged)
            record.SetText(pszText);
        TakeIcon(menu, record, pIcons, nImage);
        record.m_nFlags = (record.m_nFlags & ~MF_BYPOSITION) | MF_OWNERDRAW;
        record.m_nID = nCommand;
        return bTextChanged;
    };
    bool bFound = ForEachOccurrence(nCommand, [&](CSkinMenu& menu, int nPos, CSkinMenuItemData& record) {
        bool bTextChanged = assign(menu, record);
        // Each item is made owner-drawn with the record of its own menu: an
        // item pointing at another menu's record would keep the pointer after
        // that menu deleted it.
        BOOL bModified = bTextChanged ? menu.ApplyItemText(nPos, record) : menu.SetItemOwnerDraw(nPos, record);
        if (!bModified)
            bResult = FALSE;
    });
    if (bFound)
        return bResult;
    // Kept for an item of that command that is added later: the next record
    // matching hands it to the item.
    CSkinMenuItemData* pRecord = new CSkinMenuItemData;
    m_items.push_back(pRecord);
    assign(*this, *pRecord);
    return FALSE;
}

BOOL CSkinMenu::SetItemText(UINT nCommand, const wchar_t* pszText)
{
    BOOL bResult = TRUE;
    bool bFound = ForEachOccurrence(nCommand, [&](CSkinMenu& menu, int nPos, CSkinMenuItemData& record) {
        record.SetText(pszText);
        if (!menu.ApplyItemText(nPos, record))
            bResult = FALSE;
    });
    return bFound && bResult;
}

bool CSkinMenu::ForEachOccurrence(UINT nCommand,
                                  const std::function<void(CSkinMenu&, int, CSkinMenuItemData&)>& step)
{
    OccurrenceSet visited;
    int nPos = -1;
    while (CSkinMenu* pMenu = FindOccurrence(m_hMenu, nCommand, visited, nPos, 0))
    {
        visited.insert({pMenu->m_hMenu, nPos});
        if (CSkinMenuItemData* pRecord = pMenu->RecordOfItem(nPos, nCommand))
            step(*pMenu, nPos, *pRecord);
    }
    return !visited.empty();
}
