// CListBase: what the report lists of the program add to the system list
// view: columns the user hides and shows again from a header menu while
// their cells are kept, a signed sort column with its header mark and tint,
// owner-drawn rows with a shaded selection, label and info tips, label
// editing that the parent finishes, and a column layout kept in the profile.
// No window of its own: CListCtrlEx and CListViewEx route their messages here.
// Callers always speak of logical columns, as if every column were shown.
#pragma once

#include "classlib/ListCtrl.h"
#include "classlib/ToolTipCtrl.h"
#include "guitoolkit/ColumnLayout.h"
#include "guitoolkit/SortArrows.h"

#include <memory>
#include <string>
#include <vector>

class CDC;
class CLabelEdit;
class CLabelTipCtrl;
class CListItemRecord;

class CListBase
{
public:
    CListBase();
    virtual ~CListBase();
    CListBase(const CListBase&) = delete;
    CListBase& operator=(const CListBase&) = delete;

    // The list style of the program's look: shaded rounded selection and
    // centred images in owner-drawn lists. Read at every paint.
    static void SetListStyle(bool bOn);
    static bool GetListStyle();
    // The hand over a hot item: the system's, or on systems of version 4.0 and
    // older (nVersionWord major.minor as 0x400), the program's own "IDC_HAND".
    static HCURSOR LoadHandCursor(int nVersionWord);

    // Once the list window exists: the tips and the label edit.
    void Init();

    BOOL ShowColumn(int nColumn, BOOL bShow);
    void EnableColumnHiding(int nColumn, BOOL bEnable);
    BOOL IsColumnVisible(int nColumn) const;
    void SetSortColumn(int nSortColumn);
    int GetSortColumn() const { return m_layout.GetSortColumn(); }
    void ShowSortArrow(BOOL bShow, int nSortColumn = 0);
    void ColorSortColumn(BOOL bOn, int nSortColumn = 0);
    COLORREF GetSortColumnColor() const { return m_crTint; }
    BOOL SetLeftmostColumnAsLabel(BOOL bOn);
    void DrawItem(LPDRAWITEMSTRUCT pDraw);
    // The caller's comparison gets the caller's own item data.
    BOOL SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData);
    BOOL SaveColumnState(const wchar_t* pszSection, const wchar_t* pszEntry);
    BOOL RestoreColumnState(const wchar_t* pszSection, const wchar_t* pszEntry);

    BOOL OnHeaderNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    void OnContextMenu(CWnd* pWnd, POINT pt);
    // The header menu's choice: the logical column to show or hide.
    BOOL OnColumnCommand(WPARAM wParam);

    // The list's own messages, window messages and reflected notifications
    // that the base takes; false leaves the message to the list window.
    bool OnListMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    BOOL OnReflectedNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    // Which common controls draw the sort mark; read from the loaded library.
    void SetCommonControlsClass(int nClass);
    CLabelTipCtrl* GetLabelTip() const { return m_pLabelTip.get(); }
    CToolTipCtrl* GetInfoTip() const { return m_pInfoTip.get(); }

protected:
    virtual void DrawSmallIcon(CDC* pDC, LVITEMW* pItem, LPRECT pRect);
    virtual void DrawStateIcon(CDC* pDC, LVITEMW* pItem, LPRECT pRect);
    virtual void DrawSubItemText(CDC* pDC, LVITEMW* pItem, LVCOLUMNW* pColumn, LPRECT pRect);
    virtual std::wstring GetSubItemToolTipText(int nItem, int nSubItem);
    virtual std::wstring GetItemToolTipText(int nItem);

    // The list window's operations; messages the base takes go to the
    // control's own procedure through PassOn, never back through the base.
    void SetListWnd(CWnd* pWnd) { m_pListWnd = pWnd; }
    // Frees the rows' records of a window that is still there.
    void ReleaseItemRecords();
    CWnd* GetListWnd() const { return m_pListWnd; }

private:
    friend class CLabelEdit;

    // Hot-item styles that owner-drawn lists emulate.
    static constexpr DWORD HotStyles = LVS_EX_ONECLICKACTIVATE | LVS_EX_TWOCLICKACTIVATE | LVS_EX_UNDERLINEHOT;
    // Room a cell leaves on each side of its text: the label column's is narrower.
    static constexpr int LabelMargin = 2;
    static constexpr int CellMargin = 6;
    friend class CLabelTipCtrl;

    struct stSAVED_COLUMN
    {
        LVCOLUMNW stColumn;
        std::wstring strText;
    };

    LRESULT PassOn(UINT nMsg, WPARAM wParam, LPARAM lParam) const;
    LRESULT Send(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    HWND GetHeader() const;
    DWORD WindowStyle() const;
    bool IsOwnerDrawn() const { return (WindowStyle() & LVS_OWNERDRAWFIXED) != 0; }
    bool IsOwnerData() const { return (WindowStyle() & LVS_OWNERDATA) != 0; }
    bool KeepsRealText() const { return (WindowStyle() & (LVS_SORTASCENDING | LVS_SORTDESCENDING)) != 0; }
    int ItemCount() const;
    CListItemRecord* RecordOf(int nItem) const;
    int GetLabelColumn() const;
    int PhysicalOf(int nColumn) const { return m_layout.ToPhysical(nColumn); }
    int LogicalOf(int nPhysical) const { return m_layout.ToLogical(nPhysical); }

    // Columns (ListBaseColumns.cpp).
    LRESULT OnInsertColumn(WPARAM wParam, LPARAM lParam);
    LRESULT OnDeleteColumn(WPARAM wParam);
    LRESULT OnGetColumn(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetColumn(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetColumnWidth(WPARAM wParam);
    LRESULT OnSetColumnWidth(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetColumnOrderArray(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetColumnOrderArray(WPARAM wParam, LPARAM lParam);
    void MoveColumnOrder(int nColumn, int nOrder);
    void SyncOrdersFromControl();
    void PutColumnBack(int nColumn);

    // Items (ListBaseItems.cpp).
    LRESULT OnInsertItem(LPARAM lParam);
    LRESULT OnGetItem(UINT nMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnSetItem(UINT nMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnDeleteItem(WPARAM wParam);
    LRESULT OnDeleteAllItems();
    LRESULT OnFindItem(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetSubItemRect(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetItemRect(WPARAM wParam, LPARAM lParam);
    BOOL GetLabelPartRect(int nItem, int nColumn, int nArea, RECT& rc) const;
    LRESULT OnHitTest(UINT nMsg, LPARAM lParam);
    LRESULT OnSetExtendedStyle(WPARAM wParam, LPARAM lParam);
    BOOL OnGetDispInfo(NMLVDISPINFOW* pInfo, LRESULT* pResult);
    BOOL OnColumnClick(NMLISTVIEW* pInfo);
    BOOL OnBeginLabelEdit(NMLVDISPINFOW* pInfo);
    BOOL OnEndLabelEdit(NMLVDISPINFOW* pInfo, LRESULT* pResult);
    LRESULT NotifyParent(NMHDR* pHeader) const;
    // The cell's text, however long; fetched as the control would show it.
    std::wstring GetCellText(int nItem, int nColumn) const;
    static int CALLBACK CompareRecords(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort);

    // Painting (ListBasePaint.cpp).
    void UpdateSortArrows();
    void UpdateTint();
    // The sort column's strip in client coordinates, empty when not shown.
    CRect GetSortStrip() const;
    void InvalidateSortStrip();
    bool OnEraseBackground(HDC hDC, LRESULT& lResult);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* pDraw);
    void RedrawCellImages(NMLVCUSTOMDRAW* pDraw);
    // The selection's colour of a selected row, CLR_NONE when it shows none.
    COLORREF SelectionColor(int nItem, bool bFocused) const;
    void DrawRowBackground(CDC& dc, const CRect& rcRow, bool bSelected, bool bFocused, COLORREF& crText);
    void DrawCell(CDC& dc, int nItem, int nColumn, const CRect& rcCell, bool bHighlight, COLORREF crText, HFONT hFont);
    static int ImageWidth(HIMAGELIST hImages);
    // The system's version, major and minor swapped (4.0 reads 0x400).
    static int VersionWord();
    void DrawImage(CDC& dc, HIMAGELIST hImages, int nImage, UINT nOverlay, const CRect& rc, bool bBlend);

    // Keys, clicks and column sizing (ListBaseInput.cpp).
    bool OnCheckBoxInput(UINT nMsg, WPARAM wParam, LPARAM lParam);
    bool IsLabelMoved() const;
    bool OnKeyDown(WPARAM wParam, LPARAM lParam);
    void SizeColumnToTexts(int nColumn);
    bool OnDividerDblClick(const NMHEADERW* pHeader);

    // Pointer feedback and tips (ListBaseTips.cpp).
    void OnMouseMove(UINT nMsg, WPARAM wParam, LPARAM lParam);
    void ClearTipTracking();
    void TrackMouseLeave();
    void SetHotItem(int nItem);
    bool FindLabelTip(int nItem, int nColumn, std::wstring& strText, CRect& rcLabel) const;
    // The tracked cell's label in screen coordinates, for the label tip.
    bool GetTrackedLabelRect(CRect& rcLabel, bool& bLabelColumn) const;

    CWnd* m_pListWnd = nullptr;
    CColumnLayout m_layout;
    std::vector<stSAVED_COLUMN> m_savedColumns;
    int m_nHideable = 0;
    std::unique_ptr<CSortArrows> m_pArrows;
    BOOL m_bSortArrow = FALSE;
    BOOL m_bTint = FALSE;
    COLORREF m_crTint = CLR_NONE;
    BOOL m_bLeftmostLabel = FALSE;
    DWORD m_dwExStyle = 0;
    // Column 0 narrower than this shows no state image; taken once from the
    // state images' width.
    int m_nIconOffset = 4;
    bool m_bIconOffsetTaken = false;
    int m_nHotItem = -1;
    COLORREF m_crHot;
    HCURSOR m_hCurrentCursor = NULL;
    HCURSOR m_hArrowCursor = NULL;
    HCURSOR m_hHandCursor = NULL;
    PFNLVCOMPARE m_pfnCompare = nullptr;
    DWORD_PTR m_dwCompareData = 0;
    int m_nCacheFrom = 0;
    int m_nCacheTo = -1;
    bool m_bRelaying = false;
    bool m_bSorting = false;
    bool m_bCtrlDown = false;
    BOOL m_bInfoTip = FALSE;
    BOOL m_bLabelTip = FALSE;
    std::unique_ptr<CToolTipCtrl> m_pInfoTip;
    std::unique_ptr<CLabelTipCtrl> m_pLabelTip;
    std::unique_ptr<CLabelEdit> m_pLabelEdit;
    std::wstring m_strInfoText;
    std::wstring m_strLabelText;
    int m_nEditItem = -1;
    bool m_bEditCancelled = false;
    bool m_bTrackingLeave = false;
    int m_nTipItem = -1;
    int m_nTipSubItem = -1;
    UINT m_nTipPart = 0;
    bool m_bLabelTipActive = false;
};
