#include "gui/CompTree.h"

#include "gui/Resource.h"

namespace
{
// The state a moved or copied item keeps: everything but selection,
// drop highlight and expansion, which belong to where the item was.
constexpr UINT KeptStateMask = 0xFFFFFF15;
} // namespace

CCompItemData* CCompTree::RecordOf(HTREEITEM hItem) const
{
    if (hItem == NULL || hItem == TVI_ROOT)
        return nullptr;
    return reinterpret_cast<CCompItemData*>(m_items.GetItemData(hItem));
}

HTREEITEM CCompTree::InsertItem(HTREEITEM hParent, const CString& strLabel, int nImage, CCompItemData* pRecord)
{
    TVINSERTSTRUCTW stInsert = {};
    stInsert.hParent = hParent;
    stInsert.hInsertAfter = TVI_LAST;
    stInsert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    stInsert.item.pszText = const_cast<wchar_t*>(static_cast<const wchar_t*>(strLabel));
    stInsert.item.iImage = nImage;
    stInsert.item.iSelectedImage = nImage;
    stInsert.item.lParam = reinterpret_cast<LPARAM>(pRecord);
    HTREEITEM hItem = m_items.InsertItem(&stInsert);
    if (hItem == NULL)
        delete pRecord;
    return hItem;
}

HTREEITEM CCompTree::InsertRootItem()
{
    CCompItemData* pRecord = new CCompItemData;
    pRecord->m_strName = m_strRootName;
    pRecord->m_strAddress = L"0";
    pRecord->m_strPort = L"0";
    pRecord->m_nType = CCompItemData::TypeComputer;
    return InsertItem(TVI_ROOT, m_strRootName, ImageComputer, pRecord);
}

HTREEITEM CCompTree::TargetParentOf(HTREEITEM hSelection) const
{
    if (hSelection == NULL)
        return NULL;
    const CCompItemData* pRecord = RecordOf(hSelection);
    if (pRecord != nullptr && pRecord->m_nType == CCompItemData::TypeFolder)
        return hSelection;
    HTREEITEM hParent = m_items.GetParentItem(hSelection);
    return hParent != NULL ? hParent : TVI_ROOT;
}

HTREEITEM CCompTree::AddComputer(const CCompItemData& record)
{
    HTREEITEM hTarget = TargetParentOf(m_items.GetSelectedItem());
    if (hTarget == NULL)
        return NULL;
    CCompItemData* pRecord = new CCompItemData(record);
    pRecord->m_nType = CCompItemData::TypeComputer;
    return InsertItem(hTarget, pRecord->m_strName, ImageComputer, pRecord);
}

HTREEITEM CCompTree::AddFolder(const CString& strLabel)
{
    HTREEITEM hSelection = m_items.GetSelectedItem();
    if (RecordOf(hSelection) == nullptr)
        return NULL;
    CCompItemData* pRecord = new CCompItemData;
    pRecord->m_strName = strLabel;
    pRecord->m_strAddress = L"0";
    pRecord->m_strPort = L"0";
    pRecord->m_nType = CCompItemData::TypeFolder;
    return InsertItem(TargetParentOf(hSelection), strLabel, ImageFolderClosed, pRecord);
}

bool CCompTree::ChangeComputer(HTREEITEM hItem, const CCompItemData& record)
{
    CCompItemData* pRecord = RecordOf(hItem);
    if (pRecord == nullptr || pRecord->m_nType != CCompItemData::TypeComputer)
        return false;
    pRecord->m_strName = record.m_strName;
    pRecord->m_strAddress = record.m_strAddress;
    pRecord->m_strPort = record.m_strPort;
    return m_items.SetItemText(hItem, record.m_strName) != FALSE;
}

HTREEITEM CCompTree::NextInPreOrder(HTREEITEM hItem) const
{
    if (HTREEITEM hChild = m_items.GetChildItem(hItem))
        return hChild;
    for (HTREEITEM hUp = hItem; hUp != NULL; hUp = m_items.GetParentItem(hUp))
    {
        if (HTREEITEM hNext = m_items.GetNextSiblingItem(hUp))
            return hNext;
    }
    return NULL;
}

bool CCompTree::IsInBranch(HTREEITEM hItem, HTREEITEM hBranch) const
{
    if (hBranch == NULL || hBranch == TVI_ROOT)
        return false;
    for (HTREEITEM hUp = hItem; hUp != NULL && hUp != TVI_ROOT; hUp = m_items.GetParentItem(hUp))
    {
        if (hUp == hBranch)
            return true;
    }
    return false;
}

void CCompTree::ForgetSourcesIn(HTREEITEM hBranch)
{
    if (IsInBranch(m_hCutSource, hBranch))
        m_hCutSource = NULL;
    if (IsInBranch(m_hCopySource, hBranch))
        m_hCopySource = NULL;
}

void CCompTree::ShowFolderFill(HTREEITEM hFolder)
{
    if (hFolder == NULL || hFolder == TVI_ROOT)
        return;
    int nImage = m_items.GetChildItem(hFolder) != NULL ? ImageFolderWithItems : ImageEmptyFolder;
    m_items.SetItemImage(hFolder, nImage, nImage);
}

bool CCompTree::DeleteBranch(HTREEITEM hItem)
{
    if (hItem == NULL || hItem == TVI_ROOT)
        return false;
    HTREEITEM hParent = m_items.GetParentItem(hItem);
    CCompItemData* pRecord = RecordOf(hItem);
    bool bKnown = pRecord != nullptr && (pRecord->m_nType == CCompItemData::TypeComputer ||
                                         pRecord->m_nType == CCompItemData::TypeFolder);
    if (bKnown)
    {
        // Records are freed before the items go: the control frees none itself.
        for (HTREEITEM hWalk = hItem; IsInBranch(hWalk, hItem); hWalk = NextInPreOrder(hWalk))
        {
            delete RecordOf(hWalk);
            m_items.SetItemData(hWalk, 0);
        }
        ForgetSourcesIn(hItem);
        m_items.DeleteItem(hItem);
    }
    ShowFolderFill(hParent);
    return bKnown;
}

void CCompTree::Cut()
{
    m_hCutSource = m_items.GetSelectedItem();
    m_hCopySource = NULL;
}

void CCompTree::Copy()
{
    m_hCopySource = m_items.GetSelectedItem();
    m_hCutSource = NULL;
}

HTREEITEM CCompTree::Paste()
{
    HTREEITEM hTarget = TargetParentOf(m_items.GetSelectedItem());
    if (hTarget == NULL)
        return NULL;
    HTREEITEM hPasted = NULL;
    if (m_hCutSource != NULL)
    {
        HTREEITEM hSource = m_hCutSource;
        HTREEITEM hFormerParent = m_items.GetParentItem(hSource);
        hPasted = CopyBranch(hSource, hTarget, false);
        if (hPasted == hSource)
            hPasted = NULL;
        if (hPasted != NULL)
            ShowFolderFill(hFormerParent);
    }
    else if (m_hCopySource != NULL)
    {
        hPasted = CopyBranch(m_hCopySource, hTarget, true);
        if (hPasted == m_hCopySource)
            hPasted = NULL;
    }
    m_hCutSource = NULL;
    m_hCopySource = NULL;
    return hPasted;
}

HTREEITEM CCompTree::CopyBranch(HTREEITEM hSource, HTREEITEM hTarget, bool bCopy)
{
    if (hSource == NULL || hSource == TVI_ROOT || hTarget == NULL)
        return NULL;
    if (hTarget == hSource || hTarget == m_items.GetParentItem(hSource))
        return hSource;
    if (IsInBranch(hTarget, hSource))
        return NULL;

    int nImage = 0;
    int nSelectedImage = 0;
    m_items.GetItemImage(hSource, nImage, nSelectedImage);
    CCompItemData* pRecord = RecordOf(hSource);
    CString strLabel = m_items.GetItemText(hSource);
    TVINSERTSTRUCTW stInsert = {};
    stInsert.hParent = hTarget;
    stInsert.hInsertAfter = TVI_LAST;
    stInsert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_STATE;
    stInsert.item.pszText = const_cast<wchar_t*>(static_cast<const wchar_t*>(strLabel));
    stInsert.item.iImage = nImage;
    stInsert.item.iSelectedImage = nSelectedImage;
    stInsert.item.stateMask = KeptStateMask;
    stInsert.item.state = m_items.GetItemState(hSource, KeptStateMask);
    CCompItemData* pNewRecord = bCopy && pRecord != nullptr ? new CCompItemData(*pRecord) : pRecord;
    stInsert.item.lParam = reinterpret_cast<LPARAM>(pNewRecord);
    HTREEITEM hNew = m_items.InsertItem(&stInsert);
    if (hNew == NULL)
    {
        // The source keeps its branch and its own record.
        if (pNewRecord != pRecord)
            delete pNewRecord;
        return NULL;
    }
    bool bWhole = true;
    for (HTREEITEM hChild = m_items.GetChildItem(hSource); hChild != NULL;)
    {
        HTREEITEM hNext = m_items.GetNextSiblingItem(hChild);
        bWhole = CopyBranch(hChild, hNew, bCopy) != NULL && bWhole;
        hChild = hNext;
    }
    if (bCopy)
        return hNew;
    if (!bWhole)
    {
        // Items the control would not take stay where they were, under the
        // source with its record; the new item gets a record of its own.
        CCompItemData* pOwnRecord = pRecord != nullptr ? new CCompItemData(*pRecord) : nullptr;
        m_items.SetItemData(hNew, reinterpret_cast<DWORD_PTR>(pOwnRecord));
        return hNew;
    }
    // The record now belongs to the new item.
    m_items.SetItemData(hSource, 0);
    ForgetSourcesIn(hSource);
    m_items.DeleteItem(hSource);
    return hNew;
}

void CCompTree::FreeAllRecords()
{
    for (HTREEITEM hItem = m_items.GetChildItem(TVI_ROOT); hItem != NULL; hItem = NextInPreOrder(hItem))
    {
        delete RecordOf(hItem);
        m_items.SetItemData(hItem, 0);
    }
    m_hCutSource = NULL;
    m_hCopySource = NULL;
}

bool CCompTree::IsRootLabel(HTREEITEM hItem) const
{
    return hItem != NULL && m_items.GetItemText(hItem) == m_strRootName;
}

bool CCompTree::CanPasteOnto(HTREEITEM hSelection) const
{
    HTREEITEM hSource = m_hCutSource != NULL ? m_hCutSource : m_hCopySource;
    if (hSource == NULL || hSelection == NULL)
        return false;
    return hSelection != m_items.GetParentItem(hSource) && !IsInBranch(hSelection, hSource);
}

bool CCompTree::IsCommandOffered(UINT nID) const
{
    switch (nID)
    {
    case ID_TREE_ADD_COMPUTER:
    case ID_TREE_ADD_FOLDER:
    case ID_TREE_CHANGE:
    case ID_TREE_DELETE:
    case ID_EDIT_COPY:
    case ID_EDIT_CUT:
    case ID_EDIT_PASTE:
        return true;
    default:
        return false;
    }
}

bool CCompTree::IsCommandEnabled(UINT nID) const
{
    HTREEITEM hSelection = m_items.GetSelectedItem();
    switch (nID)
    {
    case ID_TREE_ADD_COMPUTER:
    case ID_TREE_ADD_FOLDER:
        return true;
    case ID_TREE_CHANGE:
    case ID_EDIT_COPY:
    case ID_EDIT_CUT:
        return !IsRootLabel(hSelection);
    case ID_EDIT_PASTE:
        return CanPasteOnto(hSelection);
    case ID_TREE_DELETE:
        return hSelection == NULL || hSelection != m_items.GetChildItem(TVI_ROOT);
    default:
        return false;
    }
}

bool CCompTree::CanEditLabel(HTREEITEM hItem) const
{
    return hItem != NULL && !IsRootLabel(hItem);
}

bool CCompTree::AcceptLabel(HTREEITEM hItem, const wchar_t* pszText)
{
    // The edited item's own record: a folder is edited as soon as it is
    // added, while the selection still stays where it was.
    CCompItemData* pRecord = RecordOf(hItem);
    if (pszText == nullptr || pRecord == nullptr)
        return false;
    pRecord->m_strName = pszText;
    return true;
}

void CCompTree::OnExpanded(HTREEITEM hItem, bool bExpanded)
{
    if (hItem == NULL)
        return;
    m_items.SelectItem(hItem);
    int nImage = bExpanded ? ImageFolderOpen : ImageFolderClosed;
    m_items.SetItemImage(hItem, nImage, nImage);
}
