#include "guitoolkit/ListBase.h"

#include "classlib/Menu.h"
#include "classlib/WinApp.h"
#include "guitoolkit/LabelEdit.h"
#include "guitoolkit/LabelTipCtrl.h"
#include "guitoolkit/ListItemRecord.h"

#include <windowsx.h>

namespace
{
bool s_bListStyle = false;

// Posted to the list after a header drag: the control takes the new order
// only after the drag's notification has returned.
UINT SyncOrderMessage()
{
    static const UINT s_nMessage = ::RegisterWindowMessageW(L"Varnefold.ListBase.SyncOrder");
    return s_nMessage;
}

} // namespace

void CListBase::SetListStyle(bool bOn)
{
    s_bListStyle = bOn;
}

bool CListBase::GetListStyle()
{
    return s_bListStyle;
}

int CListBase::VersionWord()
{
    // Major and minor swapped, so that 4.0 reads 0x400.
    static const int s_nVersion = [] {
        DWORD dwVersion = ::GetVersion();
        return static_cast<int>((LOBYTE(LOWORD(dwVersion)) << 8) | HIBYTE(LOWORD(dwVersion)));
    }();
    return s_nVersion;
}

HCURSOR CListBase::LoadHandCursor(int nVersionWord)
{
    if (nVersionWord <= 0x400)
        return ::LoadCursorW(::GetModuleHandleW(NULL), L"IDC_HAND");
    return ::LoadCursorW(NULL, IDC_HAND);
}

CListBase::CListBase()
    : m_pArrows(std::make_unique<CSortArrows>()),
      m_crHot(VersionWord() <= 0x400 ? RGB(0, 0, 0x80) : ::GetSysColor(COLOR_HOTLIGHT))
{
}

CListBase::~CListBase()
{
    // The companions go before the list's records: a tip or the edit may
    // still hold the list window as its owner.
    m_pLabelEdit.reset();
    m_pLabelTip.reset();
    m_pInfoTip.reset();
}

void CListBase::SetCommonControlsClass(int nClass)
{
    m_pArrows = std::make_unique<CSortArrows>(nClass);
    UpdateSortArrows();
}

void CListBase::Init()
{
    if (m_pListWnd == nullptr || m_pListWnd->m_hWnd == NULL || m_pInfoTip)
        return;
    m_pInfoTip = std::make_unique<CToolTipCtrl>();
    if (m_pInfoTip->Create(m_pListWnd, TTS_ALWAYSTIP | TTS_NOPREFIX))
    {
        TOOLINFOW stTool = {};
        stTool.cbSize = TTTOOLINFOW_V2_SIZE;
        stTool.uFlags = TTF_IDISHWND;
        stTool.hwnd = m_pListWnd->m_hWnd;
        stTool.uId = reinterpret_cast<UINT_PTR>(m_pListWnd->m_hWnd);
        stTool.lpszText = const_cast<wchar_t*>(L"");
        m_pInfoTip->SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&stTool));
        m_pInfoTip->Activate(FALSE);
    }
    m_pLabelTip = std::make_unique<CLabelTipCtrl>(this);
    m_pLabelTip->Create(m_pListWnd);
    m_pLabelEdit = std::make_unique<CLabelEdit>(this);
    TrackMouseLeave();
}

LRESULT CListBase::PassOn(UINT nMsg, WPARAM wParam, LPARAM lParam) const
{
    return m_pListWnd->DefWindowProc(nMsg, wParam, lParam);
}

LRESULT CListBase::Send(UINT nMsg, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessageW(m_pListWnd->m_hWnd, nMsg, wParam, lParam);
}

HWND CListBase::GetHeader() const
{
    return reinterpret_cast<HWND>(Send(LVM_GETHEADER));
}

DWORD CListBase::WindowStyle() const
{
    return m_pListWnd != nullptr ? m_pListWnd->GetStyle() : 0;
}

int CListBase::ItemCount() const
{
    return static_cast<int>(Send(LVM_GETITEMCOUNT));
}

CListItemRecord* CListBase::RecordOf(int nItem) const
{
    if (IsOwnerData())
        return nullptr;
    LVITEMW stItem = {};
    stItem.mask = LVIF_PARAM;
    stItem.iItem = nItem;
    if (!PassOn(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&stItem)))
        return nullptr;
    return reinterpret_cast<CListItemRecord*>(stItem.lParam);
}

int CListBase::GetLabelColumn() const
{
    if (!m_bLeftmostLabel)
        return 0;
    int nPhysical = static_cast<int>(::SendMessageW(GetHeader(), HDM_ORDERTOINDEX, 0, 0));
    int nColumn = LogicalOf(nPhysical);
    return nColumn >= 0 ? nColumn : 0;
}

BOOL CListBase::IsColumnVisible(int nColumn) const
{
    return m_layout.IsValid(nColumn) && m_layout.GetColumn(nColumn).visible;
}

BOOL CListBase::ShowColumn(int nColumn, BOOL bShow)
{
    if (!m_layout.IsValid(nColumn))
        return FALSE;
    COLUMN_DATA& stColumn = m_layout.GetColumn(nColumn);
    if (!stColumn.present || !stColumn.hideable || (stColumn.visible != 0) == (bShow != FALSE))
        return FALSE;
    if (!bShow)
    {
        int nPhysical = PhysicalOf(nColumn);
        stColumn.nWidth = static_cast<int>(PassOn(LVM_GETCOLUMNWIDTH, nPhysical, 0));
        if (!PassOn(LVM_DELETECOLUMN, nPhysical, 0))
            return FALSE;
        stColumn.visible = 0;
        InvalidateSortStrip();
        return TRUE;
    }
    stColumn.visible = 1;
    LVCOLUMNW stInsert = m_savedColumns[nColumn].stColumn;
    stInsert.pszText = const_cast<wchar_t*>(m_savedColumns[nColumn].strText.c_str());
    stInsert.mask = (stInsert.mask & ~(LVCF_SUBITEM | LVCF_WIDTH)) | LVCF_ORDER;
    stInsert.iOrder = m_layout.ToPhysicalOrder(stColumn.nOrder);
    if (PassOn(LVM_INSERTCOLUMNW, PhysicalOf(nColumn), reinterpret_cast<LPARAM>(&stInsert)) < 0)
    {
        stColumn.visible = 0;
        return FALSE;
    }
    PutColumnBack(nColumn);
    UpdateSortArrows();
    PassOn(LVM_SETCOLUMNWIDTH, PhysicalOf(nColumn), MAKELPARAM(stColumn.nWidth, 0));
    m_pListWnd->Invalidate();
    return TRUE;
}

void CListBase::PutColumnBack(int nColumn)
{
    int nPhysical = PhysicalOf(nColumn);
    if (IsOwnerData() || nPhysical == 0)
        return;
    for (int nItem = 0, nCount = ItemCount(); nItem < nCount; ++nItem)
    {
        const CListItemRecord* pRecord = RecordOf(nItem);
        const stSAVED_CELL* pCell = pRecord != nullptr ? pRecord->GetCell(nColumn) : nullptr;
        if (pCell == nullptr || pCell->nMask == 0)
            continue;
        LVITEMW stItem = {};
        stItem.mask = pCell->nMask & ~LVIF_PARAM;
        stItem.iItem = nItem;
        stItem.iSubItem = nPhysical;
        stItem.pszText = KeepsRealText() ? const_cast<wchar_t*>(pCell->strText.c_str()) : LPSTR_TEXTCALLBACKW;
        stItem.iImage = pCell->nImage;
        stItem.state = pCell->nState;
        stItem.stateMask = pCell->nStateMask;
        stItem.iIndent = pCell->nIndent;
        PassOn(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&stItem));
    }
}

void CListBase::EnableColumnHiding(int nColumn, BOOL bEnable)
{
    if (!m_layout.IsValid(nColumn))
        return;
    COLUMN_DATA& stColumn = m_layout.GetColumn(nColumn);
    if (bEnable)
    {
        // The control keeps the first column's cells as the item itself:
        // only an owner-drawn list paints without it.
        if (stColumn.hideable || (nColumn == 0 && !IsOwnerDrawn()))
            return;
        stColumn.hideable = 1;
        ++m_nHideable;
        return;
    }
    if (!stColumn.hideable)
        return;
    ShowColumn(nColumn, TRUE);
    stColumn.hideable = 0;
    --m_nHideable;
}

void CListBase::SetSortColumn(int nSortColumn)
{
    int nOld = m_layout.GetSortColumn();
    m_layout.SetSortColumn(nSortColumn);
    UpdateSortArrows();
    if ((nOld < 0 ? -nOld : nOld) != (nSortColumn < 0 ? -nSortColumn : nSortColumn))
        m_pListWnd->Invalidate();
}

BOOL CListBase::SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData)
{
    m_pfnCompare = pfnCompare;
    m_dwCompareData = dwData;
    m_bSorting = true;
    BOOL bSorted;
    if (IsOwnerData() || pfnCompare == nullptr)
        bSorted = FALSE;
    else
        bSorted = static_cast<BOOL>(
            PassOn(LVM_SORTITEMS, reinterpret_cast<WPARAM>(this), reinterpret_cast<LPARAM>(&CompareRecords)));
    m_bSorting = false;
    if (bSorted)
    {
        // The rows moved under the pointer: hot item and tips start again.
        ClearTipTracking();
        POINT pt;
        if (::GetCursorPos(&pt))
            ::SetCursorPos(pt.x, pt.y);
    }
    return bSorted;
}

int CALLBACK CListBase::CompareRecords(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort)
{
    const CListBase* pThis = reinterpret_cast<const CListBase*>(lParamSort);
    const auto* pFirst = reinterpret_cast<const CListItemRecord*>(lParam1);
    const auto* pSecond = reinterpret_cast<const CListItemRecord*>(lParam2);
    return pThis->m_pfnCompare(pFirst != nullptr ? pFirst->GetParam() : 0,
                               pSecond != nullptr ? pSecond->GetParam() : 0, pThis->m_dwCompareData);
}

BOOL CListBase::SaveColumnState(const wchar_t* pszSection, const wchar_t* pszEntry)
{
    CWinApp* pApp = CWinApp::GetApp();
    std::vector<int> widths(m_layout.GetCount());
    for (int i = 0; i < m_layout.GetCount(); ++i)
        widths[i] = IsColumnVisible(i) ? static_cast<int>(PassOn(LVM_GETCOLUMNWIDTH, PhysicalOf(i), 0))
                                       : m_layout.GetColumn(i).nWidth;
    std::vector<BYTE> data = m_layout.SaveLayout(widths);
    if (data.empty() || pApp == nullptr)
        return FALSE;
    return pApp->WriteProfileBinary(pszSection, pszEntry, data.data(), static_cast<UINT>(data.size()));
}

BOOL CListBase::RestoreColumnState(const wchar_t* pszSection, const wchar_t* pszEntry)
{
    CWinApp* pApp = CWinApp::GetApp();
    std::vector<BYTE> data;
    if (m_layout.GetCount() == 0 || pApp == nullptr || !pApp->GetProfileBinary(pszSection, pszEntry, data))
        return FALSE;
    stCOLUMN_LAYOUT stLayout;
    switch (m_layout.CheckLayout(data, stLayout))
    {
    case CColumnLayout::layoutMismatch:
        return TRUE;
    case CColumnLayout::layoutCorrupt:
        return FALSE;
    case CColumnLayout::layoutValid:
        break;
    }
    SetSortColumn(stLayout.nSortColumn);
    std::vector<int> display(stLayout.columns.size());
    for (int i = 0; i < m_layout.GetCount(); ++i)
    {
        const stCOLUMN_STATE& stState = stLayout.columns[i];
        const COLUMN_DATA& stColumn = m_layout.GetColumn(i);
        if ((stState.bVisible != 0) != (stColumn.visible != 0) && (stColumn.hideable || !stColumn.visible))
            ShowColumn(i, stState.bVisible);
        OnSetColumnWidth(i, LOWORD(stState.nWidth));
        display[stState.nOrder] = i;
    }
    OnSetColumnOrderArray(display.size(), reinterpret_cast<LPARAM>(display.data()));
    return TRUE;
}

void CListBase::OnContextMenu(CWnd* pWnd, POINT pt)
{
    HWND hHeader = GetHeader();
    RECT rcHeader;
    POINT ptHit = pt;
    bool bOnHeader = hHeader != NULL && ::GetWindowRect(hHeader, &rcHeader) && ::PtInRect(&rcHeader, ptHit) &&
                     ::IsWindowVisible(hHeader);
    if (!bOnHeader)
    {
        // The list area belongs to the parent's menu.
        if (HWND hParent = ::GetParent(m_pListWnd->m_hWnd))
            ::SendMessageW(hParent, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(pWnd != nullptr ? pWnd->m_hWnd : NULL),
                           MAKELPARAM(pt.x, pt.y));
        return;
    }
    if (m_nHideable == 0)
        return;
    CMenu menu;
    if (!menu.CreatePopupMenu())
        return;
    for (int i = m_layout.GetCount() - 1; i >= 0; --i)
    {
        const COLUMN_DATA& stColumn = m_layout.GetColumn(i);
        if (!stColumn.present)
            continue;
        UINT nFlags = MF_BYPOSITION | MF_STRING | (stColumn.hideable ? 0 : MF_GRAYED) |
                      (stColumn.visible ? MF_CHECKED : MF_UNCHECKED);
        menu.InsertMenu(0, nFlags, static_cast<UINT_PTR>(i), m_savedColumns[i].strText.c_str());
    }
    menu.TrackPopupMenu(0, pt.x, pt.y, m_pListWnd);
}

BOOL CListBase::OnColumnCommand(WPARAM wParam)
{
    // Control notifications come here too; they are no choice of the menu.
    if (HIWORD(wParam) != 0)
        return TRUE;
    int nColumn = LOWORD(wParam);
    if (m_layout.IsValid(nColumn))
        ShowColumn(nColumn, !m_layout.GetColumn(nColumn).visible);
    return TRUE;
}

BOOL CListBase::OnHeaderNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
    if (pHeader == nullptr || pHeader->hwndFrom != GetHeader())
        return FALSE;
    switch (pHeader->code)
    {
    case HDN_ENDDRAG:
        m_pListWnd->PostMessage(SyncOrderMessage());
        return FALSE;
    case HDN_ITEMCHANGEDA:
    case HDN_ITEMCHANGEDW:
    case HDN_ENDTRACKA:
    case HDN_ENDTRACKW:
        *pResult = PassOn(WM_NOTIFY, wParam, lParam);
        InvalidateSortStrip();
        return TRUE;
    case HDN_DIVIDERDBLCLICKA:
    case HDN_DIVIDERDBLCLICKW:
        if (!OnDividerDblClick(reinterpret_cast<const NMHEADERW*>(lParam)))
            return FALSE;
        *pResult = 0;
        return TRUE;
    case HDN_ITEMCLICKW:
        *pResult = PassOn(WM_NOTIFY, wParam, lParam);
        return TRUE;
    default:
        return FALSE;
    }
}

bool CListBase::OnListMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_CREATE:
        lResult = PassOn(nMsg, wParam, lParam);
        if (lResult != -1)
            Init();
        return true;
    case LVM_INSERTCOLUMNW: lResult = OnInsertColumn(wParam, lParam); return true;
    case LVM_DELETECOLUMN: lResult = OnDeleteColumn(wParam); return true;
    case LVM_GETCOLUMNW: lResult = OnGetColumn(wParam, lParam); return true;
    case LVM_SETCOLUMNW: lResult = OnSetColumn(wParam, lParam); return true;
    case LVM_GETCOLUMNWIDTH: lResult = OnGetColumnWidth(wParam); return true;
    case LVM_SETCOLUMNWIDTH: lResult = OnSetColumnWidth(wParam, lParam); return true;
    case LVM_GETCOLUMNORDERARRAY: lResult = OnGetColumnOrderArray(wParam, lParam); return true;
    case LVM_SETCOLUMNORDERARRAY: lResult = OnSetColumnOrderArray(wParam, lParam); return true;
    case LVM_GETSUBITEMRECT: lResult = OnGetSubItemRect(wParam, lParam); return true;
    case LVM_HITTEST:
    case LVM_SUBITEMHITTEST: lResult = OnHitTest(nMsg, lParam); return true;
    case LVM_INSERTITEMW: lResult = OnInsertItem(lParam); return true;
    case LVM_GETITEMW:
    case LVM_GETITEMTEXTW: lResult = OnGetItem(nMsg, wParam, lParam); return true;
    case LVM_SETITEMW:
    case LVM_SETITEMTEXTW: lResult = OnSetItem(nMsg, wParam, lParam); return true;
    case LVM_DELETEITEM: lResult = OnDeleteItem(wParam); return true;
    case LVM_DELETEALLITEMS: lResult = OnDeleteAllItems(); return true;
    case LVM_FINDITEMW: lResult = OnFindItem(wParam, lParam); return true;
    case LVM_SORTITEMS:
        lResult = SortItems(reinterpret_cast<PFNLVCOMPARE>(lParam), static_cast<DWORD_PTR>(wParam));
        return true;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: lResult = OnSetExtendedStyle(wParam, lParam); return true;
    case LVM_GETEXTENDEDLISTVIEWSTYLE: lResult = m_dwExStyle; return true;
    case LVM_SETBKCOLOR:
        lResult = PassOn(nMsg, wParam, lParam);
        UpdateTint();
        return true;
    case LVM_SETIMAGELIST:
        lResult = PassOn(nMsg, wParam, lParam);
        // The control gives its small images to the header too, in place of the arrows.
        if (wParam == LVSIL_SMALL)
            UpdateSortArrows();
        return true;
    case LVM_GETITEMRECT: lResult = OnGetItemRect(wParam, lParam); return true;
    case LVM_CANCELEDITLABEL:
        m_bEditCancelled = true;
        lResult = PassOn(nMsg, wParam, lParam);
        return true;
    case WM_CONTEXTMENU:
        OnContextMenu(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)), {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        lResult = 0;
        return true;
    case WM_DESTROY:
        Send(LVM_CANCELEDITLABEL);
        if (!IsOwnerData())
            Send(LVM_DELETEALLITEMS);
        return false;
    case WM_ERASEBKGND: return OnEraseBackground(reinterpret_cast<HDC>(wParam), lResult);
    case WM_HSCROLL:
        lResult = PassOn(nMsg, wParam, lParam);
        InvalidateSortStrip();
        return true;
    case WM_KEYDOWN:
        if (!OnKeyDown(wParam, lParam))
            return false;
        lResult = 0;
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (!OnCheckBoxInput(nMsg, wParam, lParam))
            return false;
        lResult = 0;
        return true;
    case WM_MOUSEWHEEL:
    {
        lResult = PassOn(nMsg, wParam, lParam);
        // The rows moved under a pointer that did not: the hot item follows it.
        POINT pt;
        if (::GetCursorPos(&pt) && ::WindowFromPoint(pt) == m_pListWnd->m_hWnd)
            ::SetCursorPos(pt.x, pt.y);
        return true;
    }
    case WM_KEYUP:
        if (wParam == VK_CONTROL)
            m_bCtrlDown = false;
        return false;
    case WM_KILLFOCUS:
    case WM_SETFOCUS:
    {
        lResult = PassOn(nMsg, wParam, lParam);
        int nSelected = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        if (nSelected >= 0)
        {
            LVITEMW stItem = {};
            stItem.stateMask = LVIS_FOCUSED;
            stItem.state = nMsg == WM_SETFOCUS ? LVIS_FOCUSED : 0;
            Send(LVM_SETITEMSTATE, nSelected, reinterpret_cast<LPARAM>(&stItem));
        }
        if (nMsg == WM_KILLFOCUS)
            ClearTipTracking();
        return true;
    }
    case WM_LBUTTONUP:
        lResult = PassOn(nMsg, wParam, lParam);
        if (IsOwnerDrawn() && m_hCurrentCursor != NULL)
            ::SetCursor(m_hCurrentCursor);
        return true;
    case WM_MOUSEMOVE:
        OnMouseMove(nMsg, wParam, lParam);
        return false;
    case WM_MOUSELEAVE:
        m_bTrackingLeave = false;
        ClearTipTracking();
        SetHotItem(-1);
        return false;
    case WM_SYSCOLORCHANGE:
        m_pArrows->BuildImages();
        UpdateSortArrows();
        UpdateTint();
        return false;
    default:
        if (nMsg == SyncOrderMessage())
        {
            SyncOrdersFromControl();
            lResult = 0;
            return true;
        }
        return false;
    }
}

BOOL CListBase::OnReflectedNotify(UINT nMsg, WPARAM, LPARAM lParam, LRESULT* pResult)
{
    if (nMsg != WM_NOTIFY || m_bRelaying)
        return FALSE;
    NMHDR* pHeader = reinterpret_cast<NMHDR*>(lParam);
    switch (pHeader->code)
    {
    case NM_CUSTOMDRAW:
        if (IsOwnerDrawn())
            return FALSE;
        *pResult = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
        return TRUE;
    case LVN_GETDISPINFOW: return OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lParam), pResult);
    case LVN_COLUMNCLICK: return OnColumnClick(reinterpret_cast<NMLISTVIEW*>(lParam));
    case LVN_BEGINLABELEDITW: return OnBeginLabelEdit(reinterpret_cast<NMLVDISPINFOW*>(lParam));
    case LVN_ENDLABELEDITW: return OnEndLabelEdit(reinterpret_cast<NMLVDISPINFOW*>(lParam), pResult);
    case LVN_ODCACHEHINT:
    {
        const NMLVCACHEHINT* pHint = reinterpret_cast<const NMLVCACHEHINT*>(lParam);
        m_nCacheFrom = pHint->iFrom;
        m_nCacheTo = pHint->iTo;
        return FALSE;
    }
    default:
        return FALSE;
    }
}
