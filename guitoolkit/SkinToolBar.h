// CSkinToolBar: a tool bar drawn in the look of the current menu theme. It
// keeps three image lists of its bitmaps (normal, darkened, disabled), sees
// every bitmap added to or replaced in the control, and hosts child controls
// on separators, hiding them while the bar is docked down a side.
#pragma once

#include "classlib/ImageList.h"
#include "classlib/ToolBar.h"

#include <vector>

class CSkinToolBar : public CToolBar
{
public:
    // The mask colour that stands for "the colour of the bitmap's pixel (0, 0)".
    static constexpr COLORREF MaskFromCorner = 0xFF000000;

    BOOL LoadToolBar(UINT nID) { return LoadToolBar(nID, nID); }
    BOOL LoadToolBar(UINT nID, UINT nBitmapID);
    BOOL LoadImages(UINT nBitmapID, COLORREF crMask = MaskFromCorner);
    // The control goes on a separator of its width, with its dialog id; a
    // negative or too large index puts it at the end.
    BOOL InsertControl(int nIndex, CWnd* pControl, DWORD_PTR dwData);

    CSize CalcDynamicLayout(int nLength, DWORD dwMode) override;
    void DrawBorders(CDC* pDC, CRect& rect) override;
    void DrawGripper(CDC* pDC, const CRect& rect) override;
    void OnBarStyleChange(DWORD dwOldStyle, DWORD dwNewStyle) override;
    BOOL OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    LRESULT DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    // The custom-draw state of a button from its control state: hot and
    // pressed only when the pointer is over it while the application is active.
    static UINT ItemState(BYTE fsState, bool bActiveUnderCursor);
    // Where a button's text goes: under the image, or beside it on a list bar.
    static CRect TextRect(const CRect& rc, SIZE sizeText, bool bList, bool bDropDown, int cxImage);

    CImageList m_imagesNormal;
    CImageList m_imagesDarkened;
    CImageList m_imagesDisabled;

protected:
    // Which layout runs: the control's answers about hosted separators
    // depend on it.
    enum : int
    {
        NoLayoutPass,
        VerticalLayoutPass,
        OtherLayoutPass
    };

    struct stVisibleButton
    {
        TBBUTTON stButton;
        CRect rc;
    };

    struct stAddedBitmap
    {
        HINSTANCE hInst;
        UINT_PTR nID;
        int nFirstImage;
    };

    // The bar's own painting: one custom-draw record through the parent for
    // the bar and each visible button, the separators drawn in between.
    void Paint(CDC* pDC);
    void PaintButtons(CDC* pDC, NMTBCUSTOMDRAW& stDraw);
    void DrawSeparator(CDC* pDC, const CRect& rcSeparator, const CRect& rcPrevious, bool bWrap);
    LRESULT NotifyParent(NMTBCUSTOMDRAW& stDraw, DWORD dwStage);
    // The buttons that are not hidden, in order, with their rectangles.
    std::vector<stVisibleButton> VisibleButtons() const;
    // The text the bar keeps for the button; empty when it has none.
    CString ButtonText(int nID) const;
    // Whether the focus is inside the frame the bar belongs to.
    bool IsApplicationActive() const;
    // The pointer in client coordinates when it is over the bar itself.
    bool CursorOverBar(POINT& pt) const;
    // Each row of a floating bar gets gradients of its own height, over the
    // one that runs down the whole ground.
    void DrawFloatingRows(CDC* pDC, const CRect& rcBar, COLORREF crLight, COLORREF crMiddle, COLORREF crDark);
    void OnNcPaint();

    void RebuildDarkenedImages();
    // Colour scheme and borders of the theme, at creation.
    void ApplyThemeStyle();
    // The bar's ground by theme; TRUE.
    BOOL EraseBackground(CDC* pDC);
    void DrawGroundGradients(CDC* pDC, const CRect& rcBar, COLORREF crLight, COLORREF crMiddle, COLORREF crDark);
    // A button's background, image and arrow: the control draws none of them.
    void DrawButton(NMTBCUSTOMDRAW* pDraw);
    void DrawButtonBackground(CDC* pDC, CRect rc, UINT nState, bool bDropDown, int nThemeId);
    void DrawButtonImage(CDC* pDC, const CRect& rc, int iImage, UINT nState, bool bDropDown, int nThemeId,
                         bool bWithText = false);
    void DrawButtonText(CDC* pDC, const CRect& rcText, const CString& strText, UINT nState, int nThemeId);
    // The downward triangle in the 13 pixels at the button's right edge.
    static void DrawDropDownArrow(CDC* pDC, const CRect& rc, UINT nState);
    LRESULT OnAddBitmap(WPARAM wParam, LPARAM lParam);
    LRESULT OnReplaceBitmap(LPARAM lParam);
    // Shows the hosted controls on their separators, or hides both while
    // the bar is docked down a side.
    void PlaceHostedControls(bool bVertical);

    int m_nLayoutPass = NoLayoutPass;
    COLORREF m_crMask = MaskFromCorner;
    // The first image of each bitmap as the control numbered it when it came:
    // the control gives a known bitmap its old index again, so it cannot be
    // asked later.
    std::vector<stAddedBitmap> m_addedBitmaps;
};
