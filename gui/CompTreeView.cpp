#include "gui/CompTreeView.h"

#include "gui/AddComputerDlg.h"
#include "gui/ComputerConnector.h"
#include "gui/Resource.h"

#include "classlib/CmdUI.h"
#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "classlib/WinApp.h"
#include "guitoolkit/SkinMenu.h"

namespace
{
constexpr UINT TreeStyles =
    TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_EDITLABELS | TVS_SHOWSELALWAYS | TVS_FULLROWSELECT;
// How far the highlight reaches left of the label: over the icon and its gap.
constexpr int SmallIconReach = 37;
constexpr int LargeIconReach = 21;
// Where a menu asked for from the keyboard opens, from the client's corner.
constexpr int KeyboardMenuOffset = 5;
constexpr int IdealWidthMargin = 3;
constexpr int MaxLabelChars = 1024;
constexpr COLORREF MenuIconMask = RGB(255, 0, 255);
// Scan code 0x3C alone: F2 pressed now, not repeated, no extended key.
constexpr UINT PlainF2Flags = 0x3C;
constexpr UINT OnItemFlags = TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON;

// The menu's bitmap, its image size, and the command of each image in turn.
const WORD MenuIcons[] = {
    IDB_COMP_TREE, 20, 20,
    ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_TREE_ADD_COMPUTER, ID_TREE_ADD_FOLDER, ID_TREE_CHANGE, ID_TREE_DELETE,
    0};
constexpr const wchar_t* DefaultPort = L"7110";

// Signed: a point left of or above a screen's corner is negative.
POINT PointOf(LPARAM lParam)
{
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

HWND FirstTopLevelAncestor(HWND hWnd)
{
    while (hWnd != NULL && (::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CHILD) != 0)
        hWnd = ::GetParent(hWnd);
    return hWnd;
}
} // namespace

CCompTreeView::CCompTreeView()
    : m_items(*this), m_model(m_items), m_bFirstUpdate(true), m_bSmallImages(false), m_nSavedIndent(0),
      m_nStyle(0), m_hSmallImages(NULL), m_hLargeImages(NULL), m_hAccelerators(NULL)
{
}

void CCompTreeView::SetImageLists(HIMAGELIST hSmall, HIMAGELIST hLarge)
{
    m_hSmallImages = hSmall;
    m_hLargeImages = hLarge;
}

void CCompTreeView::AttachImageList()
{
    GetTreeCtrl().SetImageList(m_bSmallImages ? m_hSmallImages : m_hLargeImages, TVSIL_NORMAL);
}

void CCompTreeView::SetStyle(int nStyle)
{
    m_nStyle = nStyle;
    m_bSmallImages = nStyle != 0 && nStyle != 1;
    if (m_hWnd == NULL)
        return;
    AttachImageList();
    // The control's own indent is known only from the first update on.
    if (!m_bSmallImages && !m_bFirstUpdate)
        GetTreeCtrl().SetIndent(m_nSavedIndent);
    Invalidate();
}

bool CCompTreeView::GetIdealWidth(int& nWidth) const
{
    CClientDC dc(const_cast<CCompTreeView*>(this));
    if (dc.m_hDC == NULL)
        return false;
    CTreeCtrl& tree = GetTreeCtrl();
    nWidth = 0;
    for (HTREEITEM hItem = tree.GetFirstVisibleItem(); hItem != NULL; hItem = tree.GetNextVisibleItem(hItem))
    {
        wchar_t szText[MaxLabelChars] = {};
        TVITEMW stItem = {};
        stItem.mask = TVIF_TEXT;
        stItem.hItem = hItem;
        stItem.pszText = szText;
        stItem.cchTextMax = MaxLabelChars;
        RECT rc = {};
        if (tree.GetItem(&stItem) && tree.GetItemRect(hItem, &rc, TRUE) && rc.right > nWidth)
            nWidth = rc.right + IdealWidthMargin;
    }
    return true;
}

void CCompTreeView::OnInitialUpdate()
{
    if (!m_bFirstUpdate)
        return;
    m_bFirstUpdate = false;
    CTreeCtrl& tree = GetTreeCtrl();
    m_nSavedIndent = static_cast<int>(tree.GetIndent());
    m_highlight.SetColors();
    AttachImageList();
    CTreeView::OnInitialUpdate();
    CString strRoot;
    strRoot.LoadString(IDS_MY_COMPUTER);
    m_model.SetRootName(strRoot);
    m_model.InsertRootItem();
    tree.SelectItem(tree.GetFirstVisibleItem());
    ModifyStyle(0, TreeStyles);
    m_hAccelerators = ::LoadAcceleratorsW(CWinApp::GetResourceModule(), MAKEINTRESOURCEW(IDR_COMP_TREE));
}

BOOL CCompTreeView::PreTranslateMessage(MSG* pMsg)
{
    // Only while the tree itself has the focus: in a label's edit box the
    // same keys cut, copy and paste its text.
    if (m_hAccelerators != NULL && pMsg->hwnd == m_hWnd &&
        ::TranslateAcceleratorW(m_hWnd, m_hAccelerators, pMsg))
        return TRUE;
    return CTreeView::PreTranslateMessage(pMsg);
}

IComputerConnector* CCompTreeView::GetConnector() const
{
    return dynamic_cast<IComputerConnector*>(GetParentFrame());
}

bool CCompTreeView::CanConnectTo(HTREEITEM hItem) const
{
    const CCompItemData* pRecord = m_model.RecordOf(hItem);
    IComputerConnector* pConnector = GetConnector();
    if (pConnector == nullptr || pRecord == nullptr || pRecord->m_nType != CCompItemData::TypeComputer)
        return false;
    const CString& strAddress =
        pRecord->m_strAddress.IsEmpty() || pRecord->m_strAddress == L"0" ? pRecord->m_strName : pRecord->m_strAddress;
    return !pConnector->IsConnectedTo(strAddress) && !pConnector->IsConnectedTo(pRecord->m_strName);
}

void CCompTreeView::ConnectTo(HTREEITEM hItem)
{
    const CCompItemData* pRecord = m_model.RecordOf(hItem);
    IComputerConnector* pConnector = GetConnector();
    if (pConnector == nullptr || pRecord == nullptr || pRecord->m_nType != CCompItemData::TypeComputer)
        return;
    pConnector->ConnectComputer(pRecord->m_strName, pRecord->m_strAddress, pRecord->m_strPort);
}

bool CCompTreeView::IsCommandEnabled(UINT nID) const
{
    if (nID == ID_FILE_CONNECT)
        return CanConnectTo(GetTreeCtrl().GetSelectedItem());
    return m_model.IsCommandEnabled(nID);
}

BOOL CCompTreeView::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    if (nID != ID_FILE_CONNECT && !m_model.IsCommandOffered(nID))
        return CTreeView::HandleCommand(nID, nCode, pExtra);
    if (nCode == CN_UPDATE_COMMAND_UI)
    {
        if (pExtra != nullptr)
            static_cast<CCmdUI*>(pExtra)->Enable(IsCommandEnabled(nID));
        return TRUE;
    }
    if (nCode != CN_COMMAND)
        return CTreeView::HandleCommand(nID, nCode, pExtra);
    RunCommand(nID);
    return TRUE;
}

void CCompTreeView::RunCommand(UINT nID)
{
    switch (nID)
    {
    case ID_FILE_CONNECT:
        ConnectTo(GetTreeCtrl().GetSelectedItem());
        break;
    case ID_TREE_ADD_COMPUTER:
        AddComputer();
        break;
    case ID_TREE_ADD_FOLDER:
        AddFolder();
        break;
    case ID_TREE_CHANGE:
        ChangeSelection();
        break;
    case ID_EDIT_COPY:
        m_model.Copy();
        break;
    case ID_EDIT_CUT:
        m_model.Cut();
        break;
    case ID_EDIT_PASTE:
        m_model.Paste();
        break;
    case ID_TREE_DELETE:
        m_model.DeleteBranch(GetTreeCtrl().GetSelectedItem());
        break;
    default:
        break;
    }
}

bool CCompTreeView::EditComputer(CCompItemData& record)
{
    CAddComputerDlg dlg(this);
    dlg.m_strName = record.m_strName;
    dlg.m_strAddress = record.m_strAddress;
    dlg.m_strPort = record.m_strPort;
    if (dlg.DoModal() != IDOK)
        return false;
    record.m_strName = dlg.m_strName;
    record.m_strAddress = dlg.m_strAddress;
    record.m_strPort = dlg.m_strPort;
    return true;
}

void CCompTreeView::AddComputer()
{
    if (GetTreeCtrl().GetSelectedItem() == NULL)
        return;
    CCompItemData record;
    record.m_strPort = DefaultPort;
    if (EditComputer(record))
        m_model.AddComputer(record);
}

void CCompTreeView::AddFolder()
{
    CString strLabel;
    strLabel.LoadString(IDS_NEW_FOLDER);
    if (HTREEITEM hFolder = m_model.AddFolder(strLabel))
        GetTreeCtrl().EditLabel(hFolder);
}

void CCompTreeView::ChangeSelection()
{
    HTREEITEM hItem = GetTreeCtrl().GetSelectedItem();
    const CCompItemData* pRecord = m_model.RecordOf(hItem);
    if (pRecord == nullptr)
        return;
    if (pRecord->m_nType == CCompItemData::TypeFolder)
    {
        GetTreeCtrl().EditLabel(hItem);
        return;
    }
    CCompItemData record = *pRecord;
    if (EditComputer(record))
        m_model.ChangeComputer(hItem, record);
}

HTREEITEM CCompTreeView::ItemOnPoint(POINT pt) const
{
    UINT nFlags = 0;
    HTREEITEM hItem = GetTreeCtrl().HitTest(pt, &nFlags);
    return (nFlags & OnItemFlags) != 0 ? hItem : NULL;
}

void CCompTreeView::OnContextMenu(POINT ptScreen)
{
    if (ptScreen.x == -1 && ptScreen.y == -1)
    {
        ptScreen = {0, 0};
        ClientToScreen(&ptScreen);
        ptScreen.x += KeyboardMenuOffset;
        ptScreen.y += KeyboardMenuOffset;
    }
    CSkinMenu menu;
    if (!menu.LoadMenu(IDR_COMP_TREE))
        return;
    CSkinMenu* pPopup = dynamic_cast<CSkinMenu*>(menu.GetSubMenu(0));
    if (pPopup == nullptr)
        return;
    // Without its icons the menu still works.
    pPopup->LoadToolBar(MenuIcons, MenuIconMask);
    pPopup->TrackPopupMenu(TPM_RIGHTBUTTON, ptScreen.x, ptScreen.y,
                           CWnd::FromHandle(FirstTopLevelAncestor(m_hWnd)));
}

bool CCompTreeView::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_COMMAND:
        // An accelerator of a command that does not apply now does nothing,
        // as its greyed menu item would.
        if (HIWORD(wParam) == 1 && lParam == 0 && !IsCommandEnabled(LOWORD(wParam)))
        {
            lResult = 0;
            return true;
        }
        break;
    case WM_CONTEXTMENU:
        OnContextMenu(PointOf(lParam));
        lResult = 0;
        return true;
    case WM_RBUTTONDOWN:
    {
        POINT pt = PointOf(lParam);
        if (HTREEITEM hItem = ItemOnPoint(pt))
            GetTreeCtrl().SelectItem(hItem);
        ClientToScreen(&pt);
        OnContextMenu(pt);
        lResult = 0;
        return true;
    }
    case WM_LBUTTONDOWN:
    {
        lResult = Default();
        HTREEITEM hItem = ItemOnPoint(PointOf(lParam));
        const CCompItemData* pRecord = m_model.RecordOf(hItem);
        if (pRecord != nullptr && pRecord->m_nType == CCompItemData::TypeComputer)
            ConnectTo(hItem);
        return true;
    }
    case WM_CHAR:
        if (wParam == VK_RETURN)
            ConnectTo(GetTreeCtrl().GetSelectedItem());
        break;
    case WM_KEYDOWN:
        if (wParam == VK_F2 && HIWORD(lParam) == PlainF2Flags)
            GetTreeCtrl().EditLabel(GetTreeCtrl().GetSelectedItem());
        else if (wParam == VK_DELETE)
            m_model.DeleteBranch(GetTreeCtrl().GetSelectedItem());
        break;
    case WM_DESTROY:
        m_model.FreeAllRecords();
        break;
    default:
        break;
    }
    return CTreeView::OnMessage(nMsg, wParam, lParam, lResult);
}

BOOL CCompTreeView::OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
    if (nMsg != WM_NOTIFY || pHeader == nullptr)
        return CTreeView::OnChildNotify(nMsg, wParam, lParam, pResult);
    switch (pHeader->code)
    {
    case NM_CLICK:
    case NM_RCLICK:
    case NM_DBLCLK:
    case TVN_SELCHANGEDW:
        *pResult = 0;
        return TRUE;
    case TVN_ITEMEXPANDEDW:
    {
        const NMTREEVIEWW* pView = reinterpret_cast<const NMTREEVIEWW*>(lParam);
        m_model.OnExpanded(pView->itemNew.hItem, (pView->itemNew.state & TVIS_EXPANDED) != 0);
        *pResult = 0;
        return TRUE;
    }
    case TVN_BEGINLABELEDITW:
    {
        const NMTVDISPINFOW* pInfo = reinterpret_cast<const NMTVDISPINFOW*>(lParam);
        *pResult = m_model.CanEditLabel(pInfo->item.hItem) ? 0 : 1;
        return TRUE;
    }
    case TVN_ENDLABELEDITW:
    {
        const NMTVDISPINFOW* pInfo = reinterpret_cast<const NMTVDISPINFOW*>(lParam);
        const wchar_t* pszText = (pInfo->item.mask & TVIF_TEXT) != 0 ? pInfo->item.pszText : nullptr;
        *pResult = m_model.AcceptLabel(pInfo->item.hItem, pszText) ? 1 : 0;
        return TRUE;
    }
    case NM_CUSTOMDRAW:
        *pResult = OnCustomDraw(reinterpret_cast<NMTVCUSTOMDRAW*>(lParam));
        return TRUE;
    default:
        return CTreeView::OnChildNotify(nMsg, wParam, lParam, pResult);
    }
}

bool CCompTreeView::IsHighlighted(HTREEITEM hItem) const
{
    CTreeCtrl& tree = GetTreeCtrl();
    if ((tree.GetItemState(hItem, TVIS_SELECTED | TVIS_DROPHILITED) & (TVIS_SELECTED | TVIS_DROPHILITED)) == 0)
        return false;
    // While something is dragged over the tree only the drop target shows.
    HTREEITEM hDrop = tree.GetDropHilightItem();
    return hDrop == NULL || hDrop == hItem;
}

int CCompTreeView::IconWidth() const
{
    return m_bSmallImages ? SmallIconReach : LargeIconReach;
}

LRESULT CCompTreeView::OnCustomDraw(NMTVCUSTOMDRAW* pDraw)
{
    if (m_nStyle == 0)
        return 0;
    HTREEITEM hItem = reinterpret_cast<HTREEITEM>(pDraw->nmcd.dwItemSpec);
    bool bFocused = ::GetFocus() == m_hWnd;
    RECT rcLabel = {};
    switch (pDraw->nmcd.dwDrawStage)
    {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        if (!GetTreeCtrl().GetItemRect(hItem, &rcLabel, TRUE))
            return 0;
        if (IsHighlighted(hItem))
        {
            m_highlight.DrawFrame(pDraw->nmcd.hdc, rcLabel, IconWidth(), bFocused);
            return CDRF_NOTIFYPOSTPAINT;
        }
        if (m_bSmallImages)
            return 0;
        m_highlight.EraseFrame(pDraw->nmcd.hdc, rcLabel, LargeIconReach);
        return CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPOSTPAINT:
        if (IsHighlighted(hItem) && GetTreeCtrl().GetItemRect(hItem, &rcLabel, TRUE))
            m_highlight.DrawLabel(pDraw->nmcd.hdc, rcLabel, GetTreeCtrl().GetItemText(hItem), bFocused);
        return 0;
    default:
        return 0;
    }
}
