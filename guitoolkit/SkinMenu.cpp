#include "guitoolkit/SkinMenu.h"

#include "classlib/WinApp.h"

namespace
{
// The flags the record matching works with: the item's state and type bits.
// The right-justify and right-order bits are taken over only for items that
// are not system-menu items, and right order only for non-bitmap items.
UINT ItemFlags(const MENUITEMINFOW& stInfo)
{
    UINT nFlags = stInfo.fState | (stInfo.fType & ~(MFT_RIGHTJUSTIFY | MFT_RIGHTORDER));
    if (stInfo.hSubMenu != NULL)
        nFlags |= MF_POPUP;
    if (!(stInfo.fState & MF_SYSMENU))
    {
        nFlags |= stInfo.fType & MFT_RIGHTJUSTIFY;
        if (!(stInfo.fType & MFT_BITMAP))
            nFlags |= stInfo.fType & MFT_RIGHTORDER;
    }
    return nFlags;
}

CSkinMenuItemData* TakeFreeRecord(std::vector<CSkinMenuItemData*>& records, UINT nID)
{
    for (CSkinMenuItemData* pRecord : records)
    {
        if (!pRecord->m_bUsed && pRecord->m_nID == nID)
        {
            pRecord->m_bUsed = TRUE;
            return pRecord;
        }
    }
    return nullptr;
}
} // namespace

CSkinMenu::CSkinMenu(HMENU hParentMenu)
    : m_nIconWidth(16), m_nIconHeight(15), m_hOwnerWnd(NULL), m_crMask(0xFF000000), m_hParentMenu(hParentMenu),
      m_bPopup(TRUE), m_rcMenuBarItem(), m_nOpenPopups(0), m_hAccelTable(reinterpret_cast<HACCEL>(-1))
{
}

CSkinMenu::~CSkinMenu()
{
    DestroyMenu();
}

BOOL CSkinMenu::LoadMenu(UINT nID)
{
    return LoadMenu(MAKEINTRESOURCEW(nID));
}

BOOL CSkinMenu::LoadMenu(const wchar_t* pszName)
{
    if (m_hMenu != NULL)
        return FALSE;
    HMENU hMenu = ::LoadMenuW(CWinApp::FindResourceModule(pszName, RT_MENU), pszName);
    if (hMenu == NULL)
        return FALSE;
    if (!ConvertToOwnerDraw(hMenu))
    {
        ::DestroyMenu(hMenu);
        return FALSE;
    }
    return TRUE;
}

BOOL CSkinMenu::ConvertToOwnerDraw(HMENU hMenu)
{
    if (!::IsMenu(hMenu) || !Attach(hMenu))
        return FALSE;
    m_bPopup = FALSE;
    int nCount = ::GetMenuItemCount(hMenu);
    for (int nPos = 0; nPos < nCount; ++nPos)
    {
        HMENU hSub = ::GetSubMenu(hMenu, nPos);
        if (hSub == NULL)
            continue;
        // A popup that already has an object (it stands in another menu too)
        // keeps that one.
        CSkinMenu* pSub = new CSkinMenu(m_hMenu);
        if (!pSub->ConvertToOwnerDraw(hSub))
        {
            delete pSub;
            continue;
        }
        m_subMenus.push_back(hSub);
        pSub->m_bPopup = TRUE;
    }
    RebuildItemData();
    return TRUE;
}

BOOL CSkinMenu::DestroyMenu()
{
    DeleteSubMenus();
    DeleteItems();
    return CMenu::DestroyMenu();
}

void CSkinMenu::RebuildItemData()
{
    for (CSkinMenuItemData* pRecord : m_items)
        pRecord->m_bUsed = FALSE;
    std::vector<CSkinMenuItemData*> oldItems;
    oldItems.swap(m_items);
    int nCount = m_hMenu != NULL ? ::GetMenuItemCount(m_hMenu) : 0;
    for (int nPos = 0; nPos < nCount; ++nPos)
    {
        CSkinMenuItemData* pRecord = MatchPosition(nPos, oldItems);
        pRecord->m_bUsed = TRUE;
        m_items.push_back(pRecord);
    }
    for (CSkinMenuItemData* pRecord : oldItems)
    {
        if (!pRecord->m_bUsed)
            delete pRecord;
    }
}

CSkinMenuItemData* CSkinMenu::MatchPosition(int nPos, std::vector<CSkinMenuItemData*>& oldItems)
{
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE | MIIM_SUBMENU;
    // A position the system cannot describe still takes a record, so that
    // the records stay in step with the positions.
    if (!::GetMenuItemInfoW(m_hMenu, nPos, TRUE, &stInfo))
        return new CSkinMenuItemData;
    UINT nFlags = ItemFlags(stInfo);
    // Wine keeps an item's old string after the item is made owner-drawn; the
    // record holds the text from then on, so only a plain item's string counts.
    CString strText;
    if (!(stInfo.fType & MFT_OWNERDRAW) && !(nFlags & (MF_BITMAP | MF_SEPARATOR)))
        GetMenuString(nPos, strText, MF_BYPOSITION);

    if (nFlags & MF_BITMAP)
    {
        CSkinMenuItemData* pRecord = TakeFreeRecord(oldItems, stInfo.wID);
        return pRecord != nullptr ? pRecord : CreateItemData(nPos, nFlags, stInfo.wID, nullptr);
    }
    if (stInfo.hSubMenu != NULL)
    {
        if (CSkinMenu* pSub = SkinMenuOf(stInfo.hSubMenu))
            pSub->m_hParentMenu = m_hMenu;
        UINT nID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(stInfo.hSubMenu));
        CSkinMenuItemData* pRecord = TakeFreeRecord(oldItems, nID);
        if (pRecord == nullptr)
            return CreateItemData(nPos, (nFlags & ~(MF_SEPARATOR | MFT_RADIOCHECK)) | MF_OWNERDRAW | MF_BYPOSITION | MF_POPUP,
                                  nID, strText);
        if (!strText.IsEmpty())
            pRecord->SetText(strText);
        return pRecord;
    }
    nFlags |= MF_BYPOSITION | MF_OWNERDRAW;
    UINT nID = (nFlags & MF_SEPARATOR) ? 0 : stInfo.wID;
    CSkinMenuItemData* pRecord = TakeFreeRecord(oldItems, nID);
    if (pRecord == nullptr)
        return CreateItemData(nPos, nFlags, nID, strText);
    pRecord->m_nFlags = nFlags;
    if (!strText.IsEmpty())
        pRecord->SetText(strText);
    SetItemOwnerDraw(nPos, *pRecord);
    return pRecord;
}

CSkinMenuItemData* CSkinMenu::CreateItemData(int nPos, UINT nFlags, UINT nID, const wchar_t* pszText)
{
    CSkinMenuItemData* pRecord = new CSkinMenuItemData;
    pRecord->m_nFlags = nFlags;
    pRecord->m_nID = nID;
    if (!(nFlags & MF_BITMAP))
        pRecord->SetText(pszText);
    HMENU hSub = (nFlags & MF_POPUP) ? ::GetSubMenu(m_hMenu, nPos) : NULL;
    if (CSkinMenu* pSub = SkinMenuOf(hSub))
        pSub->m_hParentMenu = m_hMenu;
    // A bitmap item keeps its bitmap.
    if (nFlags & MF_OWNERDRAW)
        SetItemOwnerDraw(nPos, *pRecord);
    else if (nFlags & MF_SEPARATOR)
        ::ModifyMenuW(m_hMenu, nPos, nFlags | MF_BYPOSITION, 0, nullptr);
    else if (!(nFlags & MF_BITMAP))
        ::ModifyMenuW(m_hMenu, nPos, nFlags | MF_BYPOSITION, hSub != NULL ? reinterpret_cast<UINT_PTR>(hSub) : nID,
                      pRecord->GetDisplayText(GetAcceleratorTexts() ? m_hAccelTable : NULL));
    return pRecord;
}

CSkinMenuItemData* CSkinMenu::GetItemData(int nPos) const
{
    return nPos >= 0 && nPos < static_cast<int>(m_items.size()) ? m_items[nPos] : nullptr;
}

CSkinMenuItemData* CSkinMenu::RecordOfItem(int nPos, UINT nCommand)
{
    CSkinMenuItemData* pRecord = GetItemData(nPos);
    if (pRecord == nullptr || pRecord->m_nID != nCommand)
    {
        RebuildItemData();
        pRecord = GetItemData(nPos);
    }
    return pRecord;
}

// Through the item information rather than a modification: that keeps the
// item's state as it is now, and a popup keeps its submenu (replacing a popup
// item can destroy the submenu it held).
BOOL CSkinMenu::SetItemOwnerDraw(int nPos, const CSkinMenuItemData& record)
{
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_FTYPE | MIIM_SUBMENU;
    if (!::GetMenuItemInfoW(m_hMenu, nPos, TRUE, &stInfo))
        return FALSE;
    stInfo.fMask = MIIM_FTYPE | MIIM_DATA;
    if (stInfo.hSubMenu == NULL)
    {
        stInfo.fMask |= MIIM_ID;
        stInfo.wID = record.m_nID;
    }
    stInfo.fType |= MFT_OWNERDRAW;
    stInfo.dwItemData = reinterpret_cast<ULONG_PTR>(&record);
    return ::SetMenuItemInfoW(m_hMenu, nPos, TRUE, &stInfo);
}

BOOL CSkinMenu::ApplyItemText(int nPos, CSkinMenuItemData& record)
{
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_FTYPE;
    if (!::GetMenuItemInfoW(m_hMenu, nPos, TRUE, &stInfo))
        return FALSE;
    // The system's own string matters too: mnemonics and Wine's own
    // matching of typed letters read it.
    stInfo.fMask = MIIM_FTYPE | MIIM_STRING;
    stInfo.fType &= ~MFT_OWNERDRAW;
    stInfo.dwTypeData = const_cast<wchar_t*>(record.m_strText.GetString());
    BOOL bString = ::SetMenuItemInfoW(m_hMenu, nPos, TRUE, &stInfo);
    BOOL bOwnerDraw = SetItemOwnerDraw(nPos, record);
    return bString && bOwnerDraw;
}

CSkinMenuItemData* CSkinMenu::FindItemData(UINT nCommand) const
{
    for (CSkinMenuItemData* pRecord : m_items)
    {
        if (pRecord->m_nID == nCommand)
            return pRecord;
    }
    for (HMENU hSub : m_subMenus)
    {
        CSkinMenu* pSub = SkinMenuOf(hSub);
        if (CSkinMenuItemData* pRecord = pSub != nullptr ? pSub->FindItemData(nCommand) : nullptr)
            return pRecord;
    }
    return nullptr;
}

BOOL CSkinMenu::ChangeItemId(UINT nFrom, UINT nTo)
{
    int nPos = -1;
    CSkinMenu* pMenu = FindMenuOfCommand(m_hMenu, nFrom, nPos);
    CSkinMenuItemData* pRecord = pMenu != nullptr ? pMenu->RecordOfItem(nPos, nFrom) : nullptr;
    if (pRecord == nullptr)
        return FALSE;
    pRecord->m_nID = nTo;
    return pMenu->SetItemOwnerDraw(nPos, *pRecord);
}

void CSkinMenu::DeleteSubMenus()
{
    for (auto it = m_subMenus.rbegin(); it != m_subMenus.rend(); ++it)
    {
        CSkinMenu* pSub = SkinMenuOf(*it);
        if (pSub == nullptr)
            continue;
        // The popup's handle goes with the handle of the menu that holds it:
        // destroying a menu destroys its popups, and a second destroy could
        // hit a handle that was given out again meanwhile.
        pSub->Detach();
        delete pSub;
    }
    m_subMenus.clear();
}

void CSkinMenu::DeleteItems()
{
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
        delete *it;
    m_items.clear();
}
