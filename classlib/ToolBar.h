// CToolBar: a bar of image buttons over the common tool bar control, loaded
// from a tool bar resource (its button ids) and the bitmap of the same id.
// Every query of a button goes through the bar's own window, so a derived
// bar's DefWindowProc sees and may change each answer.
#pragma once

#include "classlib/ControlBar.h"

#include <commctrl.h>

#include <vector>

// A button's style for GetButtonStyle and SetButtonStyle: its TBSTYLE bits in
// the low word and its TBSTATE bits in the high word, the enabled bit turned
// round so that a plain enabled button is 0.
constexpr UINT TBBS_BUTTON = MAKELONG(TBSTYLE_BUTTON, 0);
constexpr UINT TBBS_SEPARATOR = MAKELONG(TBSTYLE_SEP, 0);
constexpr UINT TBBS_CHECKBOX = MAKELONG(TBSTYLE_CHECK, 0);
constexpr UINT TBBS_GROUP = MAKELONG(TBSTYLE_GROUP, 0);
constexpr UINT TBBS_CHECKGROUP = TBBS_GROUP | TBBS_CHECKBOX;
constexpr UINT TBBS_DROPDOWN = MAKELONG(TBSTYLE_DROPDOWN, 0);
constexpr UINT TBBS_CHECKED = MAKELONG(0, TBSTATE_CHECKED);
constexpr UINT TBBS_PRESSED = MAKELONG(0, TBSTATE_PRESSED);
constexpr UINT TBBS_DISABLED = MAKELONG(0, TBSTATE_ENABLED);
constexpr UINT TBBS_INDETERMINATE = MAKELONG(0, TBSTATE_INDETERMINATE);
constexpr UINT TBBS_HIDDEN = MAKELONG(0, TBSTATE_HIDDEN);
constexpr UINT TBBS_WRAPPED = MAKELONG(0, TBSTATE_WRAP);

class CToolBar : public CControlBar
{
public:
    CToolBar();

    BOOL Create(CWnd* pParent, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_TOP, UINT nID = AFX_IDW_TOOLBAR,
                DWORD dwCtrlStyle = TBSTYLE_FLAT);
    // The button ids of the tool bar resource and the images of the bitmap
    // with the same id; FALSE when either is missing or malformed.
    BOOL LoadToolBar(UINT nID) { return LoadToolBar(nID, nID); }
    // The button ids of the tool bar resource with the images of another bitmap.
    BOOL LoadToolBar(UINT nID, UINT nBitmapID);
    // One button per id, a separator for 0, the images in order.
    BOOL SetButtons(const UINT* pIDs, int nCount);
    void SetSizes(SIZE sizeButton, SIZE sizeImage);

    int GetCount() const;
    // The first button with the id, or -1.
    int CommandToIndex(UINT nID) const;
    UINT GetItemID(int nIndex) const;
    void GetItemRect(int nIndex, LPRECT pRect) const;
    void GetButtonInfo(int nIndex, UINT& nID, UINT& nStyle, int& iImage) const;
    void SetButtonInfo(int nIndex, UINT nID, UINT nStyle, int iImage);
    UINT GetButtonStyle(int nIndex) const;
    void SetButtonStyle(int nIndex, UINT nStyle);
    CSize GetButtonSize() const { return m_sizeButton; }
    CSize GetImageSize() const { return m_sizeImage; }

    CSize CalcFixedLayout(BOOL bStretch, BOOL bHorz) override;
    CSize CalcDynamicLayout(int nLength, DWORD dwMode) override;
    void OnUpdateCmdUI(CFrameWnd* pTarget, BOOL bDisableIfNoHandler) override;
    void OnBarStyleChange(DWORD dwOldStyle, DWORD dwNewStyle) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    // Buttons changed since the last layout: laid out again at the next paint.
    bool m_bDelayedButtonLayout;

protected:
    // The control's records, as the window answers TB_GETBUTTON.
    std::vector<TBBUTTON> QueryButtons() const;
    BOOL QueryButton(int nIndex, TBBUTTON& stButton) const;
    // Sets the row breaks for the mode on the records and returns the size
    // of their rows.
    CSize WrapButtons(std::vector<TBBUTTON>& buttons, int nLength, DWORD dwMode) const;
    void CommitWraps(const std::vector<TBBUTTON>& buttons);
    // Lays the buttons out for the bar's place now.
    void Layout();
    bool AnswerToolTip(NMHDR* pHeader);

    CSize m_sizeButton;
    CSize m_sizeImage;
    CString m_strTip;
};
