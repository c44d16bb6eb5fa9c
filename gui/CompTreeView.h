// CCompTreeView: the tree of computers and folders from which the user picks
// a computer to connect to. Its commands work on the selected item; its
// context menu and its keys act only while the tree has the focus, and the
// frame that hosts it offers it every command. It keeps its items in memory only.
#pragma once

#include "classlib/TreeView.h"
#include "gui/CompTree.h"
#include "gui/CompTreeCtrlItems.h"
#include "gui/CompTreeHighlight.h"

class IComputerConnector;

class CCompTreeView : public CTreeView
{
public:
    CCompTreeView();

    static CWnd* CreateObject() { return new CCompTreeView; }

    // The image lists of the application, the large one for styles 0 and 1.
    void SetImageLists(HIMAGELIST hSmall, HIMAGELIST hLarge);
    // The look-and-feel style 0, 1 or 2; style 0 leaves the painting to the control.
    void SetStyle(int nStyle);
    // The width that shows every visible label; false without a device context.
    bool GetIdealWidth(int& nWidth) const;

    CCompTree& GetModel() { return m_model; }
    const CCompTreeHighlight& GetHighlight() const { return m_highlight; }

    void OnInitialUpdate() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    BOOL OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    // Whether the command applies now, as its menu item shows it.
    bool IsCommandEnabled(UINT nID) const;
    // Asks the user for the computer's texts; false when cancelled.
    virtual bool EditComputer(CCompItemData& record);

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;

private:
    void RunCommand(UINT nID);
    void ConnectTo(HTREEITEM hItem);
    bool CanConnectTo(HTREEITEM hItem) const;
    IComputerConnector* GetConnector() const;
    void AddComputer();
    void AddFolder();
    void ChangeSelection();
    void OnContextMenu(POINT ptScreen);
    // The item under a point of the client area, when the point is on its icon or label.
    HTREEITEM ItemOnPoint(POINT pt) const;
    LRESULT OnCustomDraw(NMTVCUSTOMDRAW* pDraw);
    bool IsHighlighted(HTREEITEM hItem) const;
    int IconWidth() const;
    void AttachImageList();

    CCompTreeCtrlItems m_items;
    CCompTree m_model;
    CCompTreeHighlight m_highlight;
    bool m_bFirstUpdate;
    bool m_bSmallImages;
    int m_nSavedIndent;
    int m_nStyle;
    HIMAGELIST m_hSmallImages;
    HIMAGELIST m_hLargeImages;
    // Loaded from the resources: the system frees it with the module.
    HACCEL m_hAccelerators;
};
