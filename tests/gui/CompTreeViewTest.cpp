#include "gui/CompTreeView.h"
#include "gui/ComputerConnector.h"
#include "gui/Resource.h"

#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "classlib/WinApp.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuHook.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
constexpr UINT TreeStyles =
    TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_EDITLABELS | TVS_SHOWSELALWAYS | TVS_FULLROWSELECT;
constexpr COLORREF Blank = RGB(255, 0, 255);

class CConnectingFrame : public CFrameWnd, public IComputerConnector
{
public:
    void ConnectComputer(const CString& strName, const CString& strAddress, const CString& strPort) override
    {
        m_connects.push_back(strName.Str() + L"|" + strAddress.Str() + L"|" + strPort.Str());
    }
    bool IsConnectedTo(const CString& strName) const override { return strName == m_strConnected; }

    std::vector<std::wstring> m_connects;
    CString m_strConnected;
};

// Answers the computer dialog as a user would have.
class CAnsweringTreeView : public CCompTreeView
{
public:
    bool EditComputer(CCompItemData& record) override
    {
        m_asked.push_back(record);
        if (!m_bConfirm)
            return false;
        record = m_answer;
        return true;
    }
    std::vector<CCompItemData> m_asked;
    CCompItemData m_answer;
    bool m_bConfirm = true;
};

class CompTreeViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CConnectingFrame;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Computers", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(40, 40, 360, 360)));
        m_app.m_pMainWnd = m_pFrame;
        CRect rcClient;
        m_pFrame->GetClientRect(&rcClient);
        m_pView = new CAnsweringTreeView;
        ASSERT_TRUE(m_pView->Create(nullptr, L"", WS_CHILD | WS_VISIBLE, rcClient, m_pFrame, 0xE900));
        m_pFrame->SetActiveView(m_pView);
        m_pView->SendMessage(WM_INITIALUPDATE);
        m_pView->SetStyle(1);
        m_hRoot = Tree().GetRootItem();
    }
    void TearDown() override
    {
        if (m_app.m_pMainWnd != nullptr)
            m_pFrame->DestroyWindow();
        PumpPending();
    }
    CTreeCtrl& Tree() { return m_pView->GetTreeCtrl(); }
    CCompTree& Model() { return m_pView->GetModel(); }
    HTREEITEM Add(HTREEITEM hSelection, const wchar_t* pszName, const wchar_t* pszAddress = L"0")
    {
        Pick(hSelection);
        CCompItemData record;
        record.m_strName = pszName;
        record.m_strAddress = pszAddress;
        record.m_strPort = L"7110";
        return Model().AddComputer(record);
    }
    HTREEITEM AddFolder(HTREEITEM hSelection, const wchar_t* pszName)
    {
        Pick(hSelection);
        return Model().AddFolder(pszName);
    }
    // Selecting an item of a collapsed folder would expand the folder, and
    // an expanded folder takes the selection: the folders open first.
    void Pick(HTREEITEM hItem)
    {
        for (HTREEITEM hUp = Tree().GetParentItem(hItem); hUp != NULL; hUp = Tree().GetParentItem(hUp))
            Tree().Expand(hUp, TVE_EXPAND);
        Tree().SelectItem(hItem);
    }
    LRESULT Command(UINT nID) { return m_pView->SendMessage(WM_COMMAND, nID, 0); }
    LRESULT CustomDraw(DWORD dwStage, HTREEITEM hItem, HDC hDC)
    {
        NMTVCUSTOMDRAW stDraw = {};
        stDraw.nmcd.hdr.hwndFrom = m_pView->m_hWnd;
        stDraw.nmcd.hdr.idFrom = static_cast<UINT_PTR>(m_pView->GetDlgCtrlID());
        stDraw.nmcd.hdr.code = NM_CUSTOMDRAW;
        stDraw.nmcd.dwDrawStage = dwStage;
        stDraw.nmcd.hdc = hDC;
        stDraw.nmcd.dwItemSpec = reinterpret_cast<DWORD_PTR>(hItem);
        return m_pFrame->SendMessage(WM_NOTIFY, stDraw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&stDraw));
    }
    bool PressWithControl(HWND hTarget, WPARAM nKey)
    {
        BYTE abKeys[256] = {};
        ::GetKeyboardState(abKeys);
        abKeys[VK_CONTROL] = 0x80;
        ::SetKeyboardState(abKeys);
        MSG stMsg = {};
        stMsg.hwnd = hTarget;
        stMsg.message = WM_KEYDOWN;
        stMsg.wParam = nKey;
        stMsg.lParam = 0x00000001;
        bool bHandled = m_pView->PreTranslateMessage(&stMsg) != FALSE;
        abKeys[VK_CONTROL] = 0;
        ::SetKeyboardState(abKeys);
        return bHandled;
    }

    CWinApp m_app;
    CConnectingFrame* m_pFrame = nullptr;
    CAnsweringTreeView* m_pView = nullptr;
    HTREEITEM m_hRoot = NULL;
};

// A memory picture of the tree's size, blank to start with.
class CPicture
{
public:
    explicit CPicture(CWnd* pWnd)
    {
        CClientDC dcScreen(pWnd);
        m_dc.CreateCompatibleDC(&dcScreen);
        m_bitmap.Attach(::CreateCompatibleBitmap(dcScreen.m_hDC, Width, Height));
        m_dc.SelectObject(&m_bitmap);
        Clear();
    }
    void Clear() { m_dc.FillSolidRect(0, 0, Width, Height, Blank); }
    COLORREF At(int x, int y) const { return m_dc.GetPixel(x, y); }
    HDC Hdc() const { return m_dc.m_hDC; }

private:
    static constexpr int Width = 320;
    static constexpr int Height = 320;
    CBitmap m_bitmap;
    CDC m_dc;
};

::testing::AssertionResult Near(COLORREF crSeen, COLORREF crWanted, int nTolerance)
{
    int nWorst = std::max({std::abs(GetRValue(crSeen) - GetRValue(crWanted)),
                           std::abs(GetGValue(crSeen) - GetGValue(crWanted)),
                           std::abs(GetBValue(crSeen) - GetBValue(crWanted))});
    if (nWorst <= nTolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hex << "seen 0x" << crSeen << ", wanted 0x" << crWanted;
}

TEST_F(CompTreeViewTest, TheFirstUpdateMakesTheLocalComputerTheSelectedRoot)
{
    ASSERT_NE(m_hRoot, nullptr);
    EXPECT_EQ(Tree().GetItemText(m_hRoot), L"My Computer");
    EXPECT_EQ(Tree().GetSelectedItem(), m_hRoot);
    EXPECT_EQ(Tree().GetNextSiblingItem(m_hRoot), nullptr);
    EXPECT_EQ(m_pView->CWnd::GetStyle() & TreeStyles, TreeStyles);
    m_pView->OnInitialUpdate();
    EXPECT_EQ(Tree().GetCount(), 1u) << "later updates add nothing";
}

TEST_F(CompTreeViewTest, TheHighlightedItemGetsARoundedFrameAndAGradient)
{
    // One level down, so that the frame's reach over the icon stays in the picture.
    HTREEITEM hItem = Add(AddFolder(m_hRoot, L"Office"), L"server");
    Pick(hItem);
    m_pView->SetFocus();
    ASSERT_EQ(::GetFocus(), m_pView->m_hWnd);
    CRect rcLabel;
    ASSERT_TRUE(Tree().GetItemRect(hItem, &rcLabel, TRUE));
    const CCompTreeHighlight& colours = m_pView->GetHighlight();
    CPicture picture(m_pView);
    EXPECT_EQ(CustomDraw(CDDS_PREPAINT, NULL, picture.Hdc()), CDRF_NOTIFYITEMDRAW);

    ASSERT_EQ(CustomDraw(CDDS_ITEMPREPAINT, hItem, picture.Hdc()), CDRF_NOTIFYPOSTPAINT);
    CRect rcFrame(rcLabel.left - 21, rcLabel.top, rcLabel.right + 3, rcLabel.bottom);
    int x = (rcLabel.left + rcLabel.right) / 2;
    EXPECT_EQ(picture.At(x, rcFrame.top), RGB(170, 200, 245)) << "outer frame";
    EXPECT_EQ(picture.At(x, rcFrame.top + 1), RGB(230, 250, 250)) << "inner frame";
    EXPECT_EQ(picture.At(rcFrame.left + 3, rcFrame.bottom - 1), RGB(170, 200, 245)) << "over the icon";
    EXPECT_EQ(picture.At(rcFrame.right - 1, (rcFrame.top + rcFrame.bottom) / 2), RGB(170, 200, 245));
    EXPECT_EQ(picture.At(rcFrame.left, rcFrame.top), Blank) << "the corners are round";
    EXPECT_EQ(picture.At(rcFrame.right + 1, rcFrame.top + 4), Blank);
    EXPECT_TRUE(Near(picture.At(x, rcFrame.top + 2), RGB(210, 240, 250), 3)) << "gradient top";
    EXPECT_TRUE(Near(picture.At(x, rcFrame.bottom - 3), RGB(185, 215, 250), 4)) << "gradient bottom";

    picture.Clear();
    EXPECT_EQ(CustomDraw(CDDS_ITEMPOSTPAINT, hItem, picture.Hdc()), 0);
    EXPECT_EQ(picture.At(rcLabel.left, rcLabel.top), RGB(170, 200, 245)) << "the label's own rectangle";
    EXPECT_EQ(picture.At(rcLabel.right - 1, rcLabel.bottom - 1), RGB(170, 200, 245));
    EXPECT_EQ(picture.At(rcLabel.left, rcLabel.top + 1), RGB(230, 250, 250));
    EXPECT_EQ(picture.At(rcLabel.left, rcLabel.bottom - 2), RGB(230, 250, 250));
    EXPECT_EQ(picture.At(rcLabel.left - 1, rcLabel.top), Blank);
    EXPECT_EQ(picture.At(rcLabel.right, rcLabel.top), Blank);
    bool bText = false;
    for (int xText = rcLabel.left + 2; xText < rcLabel.right - 2 && !bText; ++xText)
        for (int yText = rcLabel.top + 2; yText < rcLabel.bottom - 2 && !bText; ++yText)
            bText = picture.At(xText, yText) == colours.m_crText;
    EXPECT_TRUE(bText) << "the label is written over the gradient";

    // Without the focus the same shapes take the grey tints.
    ::SetFocus(NULL);
    picture.Clear();
    ASSERT_EQ(CustomDraw(CDDS_ITEMPREPAINT, hItem, picture.Hdc()), CDRF_NOTIFYPOSTPAINT);
    EXPECT_EQ(picture.At(x, rcFrame.top), RGB(220, 220, 220));
    EXPECT_EQ(picture.At(x, rcFrame.top + 1), RGB(245, 245, 245));
    EXPECT_TRUE(Near(picture.At(x, rcFrame.top + 2), RGB(250, 250, 250), 3));
}

TEST_F(CompTreeViewTest, PlainItemsAreClearedOnlyWithLargeImages)
{
    HTREEITEM hPlain = Add(AddFolder(m_hRoot, L"Office"), L"plain");
    Pick(hPlain);
    Pick(m_hRoot);
    CRect rcLabel;
    ASSERT_TRUE(Tree().GetItemRect(hPlain, &rcLabel, TRUE));
    CPicture picture(m_pView);
    int y = (rcLabel.top + rcLabel.bottom) / 2;
    EXPECT_EQ(CustomDraw(CDDS_ITEMPREPAINT, hPlain, picture.Hdc()), CDRF_NOTIFYPOSTPAINT);
    EXPECT_EQ(picture.At(rcLabel.left - 21, y), m_pView->GetHighlight().m_crWindow);
    EXPECT_EQ(picture.At(rcLabel.right + 2, y), m_pView->GetHighlight().m_crWindow);
    EXPECT_EQ(picture.At(rcLabel.left - 22, y), Blank);

    struct stCase
    {
        int nStyle;
        DWORD dwStage;
        HTREEITEM hItem;
    } aNothing[] = {
        {2, CDDS_ITEMPREPAINT, hPlain},
        {0, CDDS_PREPAINT, NULL},
        {0, CDDS_ITEMPREPAINT, m_hRoot},
        {0, CDDS_ITEMPOSTPAINT, m_hRoot},
    };
    for (const stCase& stOne : aNothing)
    {
        m_pView->SetStyle(stOne.nStyle);
        picture.Clear();
        EXPECT_EQ(CustomDraw(stOne.dwStage, stOne.hItem, picture.Hdc()), 0) << stOne.nStyle;
        EXPECT_EQ(picture.At(rcLabel.left - 10, y), Blank) << stOne.nStyle;
        EXPECT_EQ(picture.At(rcLabel.left + 1, rcLabel.top), Blank) << stOne.nStyle;
    }
}

TEST_F(CompTreeViewTest, TheTreesKeysActOnlyWhileItHasTheFocus)
{
    HTREEITEM hFolder = AddFolder(m_hRoot, L"Office");
    HTREEITEM hServer = Add(hFolder, L"server");
    Pick(hServer);
    m_pView->SetFocus();
    EXPECT_TRUE(PressWithControl(m_pView->m_hWnd, 'C'));
    EXPECT_EQ(Model().GetCopySource(), hServer);
    EXPECT_TRUE(PressWithControl(m_pView->m_hWnd, 'X'));
    EXPECT_EQ(Model().GetCutSource(), hServer);
    EXPECT_EQ(Model().GetCopySource(), nullptr);

    // In a label's edit box the same keys belong to the edit box.
    HWND hEdit = Tree().EditLabel(hFolder);
    ASSERT_NE(hEdit, nullptr);
    EXPECT_FALSE(PressWithControl(hEdit, 'C'));
    EXPECT_EQ(Model().GetCutSource(), hServer);
    Tree().SendMessage(TVM_ENDEDITLABELNOW, TRUE);

    // A command that does not apply now does nothing from its key either.
    Pick(m_hRoot);
    EXPECT_TRUE(PressWithControl(m_pView->m_hWnd, 'D'));
    EXPECT_EQ(Tree().GetRootItem(), m_hRoot);
    // The cut item moves beside the root item.
    EXPECT_TRUE(PressWithControl(m_pView->m_hWnd, 'V'));
    EXPECT_EQ(Tree().GetItemText(Tree().GetNextSiblingItem(hFolder)), L"server");
    EXPECT_EQ(Tree().GetChildItem(hFolder), nullptr);
}

TEST_F(CompTreeViewTest, AddAndChangeAskTheUserAndCancelChangesNothing)
{
    HTREEITEM hFolder = AddFolder(m_hRoot, L"Office");
    Pick(hFolder);
    m_pView->m_answer.m_strName = L"db";
    m_pView->m_answer.m_strAddress = L"192.0.2.9";
    m_pView->m_answer.m_strPort = L"7110";
    Command(ID_TREE_ADD_COMPUTER);
    ASSERT_EQ(m_pView->m_asked.size(), 1u);
    EXPECT_EQ(m_pView->m_asked[0].m_strName, L"");
    EXPECT_EQ(m_pView->m_asked[0].m_strPort, L"7110") << "the port offered for a new computer";
    HTREEITEM hDb = Tree().GetChildItem(hFolder);
    ASSERT_NE(hDb, nullptr);
    EXPECT_EQ(Tree().GetItemText(hDb), L"db");

    m_pView->m_bConfirm = false;
    Pick(hDb);
    Command(ID_TREE_CHANGE);
    ASSERT_EQ(m_pView->m_asked.size(), 2u);
    EXPECT_EQ(m_pView->m_asked[1].m_strAddress, L"192.0.2.9") << "the dialog shows the computer's texts";
    Command(ID_TREE_ADD_COMPUTER);
    EXPECT_EQ(Tree().GetNextSiblingItem(hDb), nullptr);
    EXPECT_EQ(Model().RecordOf(hDb)->m_strAddress, L"192.0.2.9");

    m_pView->m_bConfirm = true;
    m_pView->m_answer.m_strName = L"db2";
    Command(ID_TREE_CHANGE);
    EXPECT_EQ(Tree().GetItemText(hDb), L"db2");
    EXPECT_EQ(Model().RecordOf(hDb)->m_strName, L"db2");
}

TEST_F(CompTreeViewTest, NewAndChangedFoldersAreNamedInPlace)
{
    Pick(m_hRoot);
    Command(ID_TREE_ADD_FOLDER);
    HTREEITEM hFolder = Tree().GetNextSiblingItem(m_hRoot);
    ASSERT_NE(hFolder, nullptr);
    EXPECT_EQ(Tree().GetItemText(hFolder), L"New Folder");
    HWND hEdit = Tree().GetEditControl();
    ASSERT_NE(hEdit, nullptr) << "the new folder's label is edited at once";
    ::SetWindowTextW(hEdit, L"Lab");
    Tree().SendMessage(TVM_ENDEDITLABELNOW, FALSE);
    EXPECT_EQ(Tree().GetItemText(hFolder), L"Lab");
    EXPECT_EQ(Model().RecordOf(hFolder)->m_strName, L"Lab");
    EXPECT_EQ(Model().RecordOf(m_hRoot)->m_strName, L"My Computer");

    Pick(hFolder);
    Command(ID_TREE_CHANGE);
    EXPECT_NE(Tree().GetEditControl(), nullptr);
    EXPECT_TRUE(m_pView->m_asked.empty());
    Tree().SendMessage(TVM_ENDEDITLABELNOW, TRUE);
    EXPECT_EQ(Tree().GetItemText(hFolder), L"Lab") << "a cancelled edit keeps the name";

    EXPECT_EQ(Tree().EditLabel(m_hRoot), nullptr) << "the local computer keeps its name";
}

TEST_F(CompTreeViewTest, F2EditsTheSelectedLabelOnlyWhenFreshlyPressed)
{
    HTREEITEM hFolder = AddFolder(m_hRoot, L"Office");
    Pick(hFolder);
    // Held down (previous state set) or with Alt: not the plain key.
    for (LPARAM lFlags : {0x403C0001, 0x203C0001})
    {
        m_pView->SendMessage(WM_KEYDOWN, VK_F2, lFlags);
        EXPECT_EQ(Tree().GetEditControl(), nullptr) << std::hex << lFlags;
    }
    m_pView->SendMessage(WM_KEYDOWN, VK_F2, 0x003C0001);
    EXPECT_NE(Tree().GetEditControl(), nullptr);
    Tree().SendMessage(TVM_ENDEDITLABELNOW, TRUE);
}

TEST_F(CompTreeViewTest, ConnectingAsksTheFrameAboutEveryComputer)
{
    HTREEITEM hFolder = AddFolder(m_hRoot, L"Office");
    HTREEITEM hByName = Add(hFolder, L"srv");
    HTREEITEM hByAddress = Add(hFolder, L"db", L"192.0.2.9");
    struct stCase
    {
        const char* pszWhat;
        const wchar_t* pszConnected;
        HTREEITEM hSelection;
        bool bEnabled;
    } aCases[] = {
        {"not connected", L"", hByAddress, true},
        {"a folder", L"", hFolder, false},
        {"connected by address", L"192.0.2.9", hByAddress, false},
        {"connected by name", L"db", hByAddress, false},
        {"address 0 means the name", L"srv", hByName, false},
        {"another computer", L"srv", hByAddress, true},
    };
    for (const stCase& stOne : aCases)
    {
        m_pFrame->m_strConnected = stOne.pszConnected;
        Pick(stOne.hSelection);
        EXPECT_EQ(m_pView->IsCommandEnabled(ID_FILE_CONNECT), stOne.bEnabled) << stOne.pszWhat;
    }
    Pick(hByAddress);
    Command(ID_FILE_CONNECT);
    m_pView->SendMessage(WM_CHAR, VK_RETURN, 0x001C0001);
    Pick(hFolder);
    Command(ID_FILE_CONNECT);
    ASSERT_EQ(m_pFrame->m_connects.size(), 2u);
    EXPECT_EQ(m_pFrame->m_connects[0], L"db|192.0.2.9|7110");
    EXPECT_EQ(m_pFrame->m_connects[1], L"db|192.0.2.9|7110");
}

TEST_F(CompTreeViewTest, TheDeleteKeyTakesAnyItemTheRootToo)
{
    HTREEITEM hFolder = AddFolder(m_hRoot, L"Office");
    Add(hFolder, L"srv");
    Pick(hFolder);
    m_pView->SendMessage(WM_KEYDOWN, VK_DELETE, 0x01530001);
    EXPECT_EQ(Tree().GetCount(), 1u);
    Pick(m_hRoot);
    m_pView->SendMessage(WM_KEYDOWN, VK_DELETE, 0x01530001);
    EXPECT_EQ(Tree().GetCount(), 0u);
}

TEST_F(CompTreeViewTest, ExpandingAFolderSelectsItAndOpensItsImage)
{
    HTREEITEM hFolder = Model().AddFolder(L"Office");
    Add(hFolder, L"srv");
    Pick(m_hRoot);
    Tree().Expand(hFolder, TVE_EXPAND);
    int nImage = 0;
    int nSelected = 0;
    ASSERT_TRUE(Tree().GetItemImage(hFolder, nImage, nSelected));
    EXPECT_EQ(nImage, CCompTree::ImageFolderOpen);
    EXPECT_EQ(Tree().GetSelectedItem(), hFolder);
    // Only the user's collapse is told: the control keeps quiet about a
    // program's second expansion or collapse of an item.
    m_pView->SendMessage(WM_KEYDOWN, VK_LEFT, 0x014B0001);
    EXPECT_EQ(Tree().GetItemState(hFolder, TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
    ASSERT_TRUE(Tree().GetItemImage(hFolder, nImage, nSelected));
    EXPECT_EQ(nImage, CCompTree::ImageFolderClosed);
}

TEST_F(CompTreeViewTest, TheIdealWidthShowsTheWidestVisibleLabel)
{
    HTREEITEM hFolder = AddFolder(m_hRoot, L"Office");
    HTREEITEM hLong = Add(hFolder, L"a computer with a rather long name");
    int nWidth = 0;
    ASSERT_TRUE(m_pView->GetIdealWidth(nWidth));
    CRect rcFolder;
    ASSERT_TRUE(Tree().GetItemRect(hFolder, &rcFolder, TRUE));
    int nCollapsed = nWidth;
    EXPECT_GE(nCollapsed, rcFolder.right + 3);
    Tree().Expand(hFolder, TVE_EXPAND);
    ASSERT_TRUE(m_pView->GetIdealWidth(nWidth));
    CRect rcLong;
    ASSERT_TRUE(Tree().GetItemRect(hLong, &rcLong, TRUE));
    EXPECT_EQ(nWidth, std::max<int>(rcLong.right, nCollapsed - 3) + 3);
    EXPECT_GT(nWidth, nCollapsed);
}

// Records what the context menu showed, then closes it.
HMENU g_hShownMenu = NULL;
std::vector<UINT> g_shownCommands;
std::vector<UINT> g_greyedCommands;
bool g_bCutHasIcon = false;

void CALLBACK InspectMenu(HWND, UINT, UINT_PTR nTimer, DWORD)
{
    HMENU hMenu = CMenu::GetTrackingMenu();
    if (hMenu == NULL)
        return;
    ::KillTimer(NULL, nTimer);
    g_hShownMenu = hMenu;
    for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i)
    {
        UINT nID = ::GetMenuItemID(hMenu, i);
        g_shownCommands.push_back(nID);
        if (nID != 0 && (::GetMenuState(hMenu, i, MF_BYPOSITION) & MF_GRAYED) != 0)
            g_greyedCommands.push_back(nID);
    }
    CSkinMenu* pSkin = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(hMenu));
    const CSkinMenuItemData* pCut = pSkin != nullptr ? pSkin->FindItemData(ID_EDIT_CUT) : nullptr;
    g_bCutHasIcon = pCut != nullptr && pCut->m_pIcons != nullptr && pCut->m_nImage >= 0;
    if (HWND hPopup = ThreadPopupMenuWindow())
    {
        ::RedrawWindow(hPopup, nullptr, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
        SaveWindowPicture(hPopup, L"gui\\computer_tree_menu");
    }
    ::EndMenu();
}

TEST_F(CompTreeViewTest, TheContextMenuIsTheSkinnedEditMenuWithItsIconsAndStates)
{
    g_hShownMenu = NULL;
    g_shownCommands.clear();
    g_greyedCommands.clear();
    Pick(m_hRoot);
    g_bCutHasIcon = false;
    m_pFrame->SetForegroundWindow();
    m_pView->SetFocus();
    // The menus' look as the program sets it up at its start.
    stToolkitEnvironment stSaved = ToolkitEnvironment();
    {
        CSkinMenuHook hook;
        CSkinMenu::SelectTheme(10);
        UINT_PTR nTimer = ::SetTimer(NULL, 0, 100, InspectMenu);
        ASSERT_NE(nTimer, 0u);
        m_pView->SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_pView->m_hWnd), MAKELPARAM(-1, -1));
        ::KillTimer(NULL, nTimer);
    }
    ToolkitEnvironment() = stSaved;
    ASSERT_NE(g_hShownMenu, nullptr) << "no menu was tracked";
    std::vector<UINT> expected = {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0, static_cast<UINT>(-1), 0,
                                  ID_TREE_CHANGE, ID_TREE_DELETE};
    EXPECT_EQ(g_shownCommands, expected);
    EXPECT_TRUE(g_bCutHasIcon);
    // The frame asks the tree, as it does for every menu it shows.
    std::vector<UINT> greyed = {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_TREE_CHANGE, ID_TREE_DELETE};
    EXPECT_EQ(g_greyedCommands, greyed) << "the local computer is selected";

    // The menu's commands go to the frame, which hands them to the tree.
    HTREEITEM hServer = Add(m_hRoot, L"server");
    Pick(hServer);
    m_pFrame->SendMessage(WM_COMMAND, ID_EDIT_COPY, 0);
    EXPECT_EQ(Model().GetCopySource(), hServer);
}

TEST_F(CompTreeViewTest, ARightClickSelectsTheItemUnderItAndOpensTheMenuThere)
{
    HTREEITEM hFolder = AddFolder(m_hRoot, L"Office");
    HTREEITEM hServer = Add(hFolder, L"server");
    Pick(hServer);
    Pick(m_hRoot);
    CRect rcLabel;
    ASSERT_TRUE(Tree().GetItemRect(hServer, &rcLabel, TRUE));
    g_hShownMenu = NULL;
    g_greyedCommands.clear();
    UINT_PTR nTimer = ::SetTimer(NULL, 0, 100, InspectMenu);
    ASSERT_NE(nTimer, 0u);
    CPoint pt = rcLabel.CenterPoint();
    m_pView->SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(pt.x, pt.y));
    ::KillTimer(NULL, nTimer);
    EXPECT_EQ(Tree().GetSelectedItem(), hServer);
    ASSERT_NE(g_hShownMenu, nullptr);
    EXPECT_EQ(g_greyedCommands, std::vector<UINT>{ID_EDIT_PASTE}) << "a computer may be cut, copied, changed, deleted";
}

TEST_F(CompTreeViewTest, ALeftClickOnAComputerConnectsToIt)
{
    HTREEITEM hFolder = AddFolder(m_hRoot, L"Office");
    HTREEITEM hServer = Add(hFolder, L"server", L"192.0.2.5");
    Pick(hServer);
    for (HTREEITEM hItem : {hFolder, hServer})
    {
        CRect rcLabel;
        ASSERT_TRUE(Tree().GetItemRect(hItem, &rcLabel, TRUE));
        CPoint pt = rcLabel.CenterPoint();
        // The control follows the mouse until the button comes up.
        m_pView->PostMessage(WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
        m_pView->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
        PumpPending();
    }
    ASSERT_EQ(m_pFrame->m_connects.size(), 1u) << "a folder is no computer";
    EXPECT_EQ(m_pFrame->m_connects[0], L"server|192.0.2.5|7110");
}

TEST_F(CompTreeViewTest, PictureOfAThreeLevelTreeWithTheSelectionHighlighted)
{
    HTREEITEM hOffice = AddFolder(m_hRoot, L"Office");
    Add(hOffice, L"reception", L"192.0.2.10");
    HTREEITEM hLab = AddFolder(hOffice, L"Lab");
    HTREEITEM hBench = Add(hLab, L"bench-1", L"192.0.2.21");
    Add(hLab, L"bench-2", L"192.0.2.22");
    HTREEITEM hHome = AddFolder(m_hRoot, L"Home");
    Add(hHome, L"laptop", L"192.0.2.30");
    Tree().Expand(hOffice, TVE_EXPAND);
    Tree().Expand(hLab, TVE_EXPAND);
    Tree().Expand(hHome, TVE_EXPAND);
    Pick(hBench);
    m_pFrame->SetForegroundWindow();
    m_pView->SetFocus();
    m_pView->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    PumpPending();
    EXPECT_TRUE(SaveWindowPicture(m_pFrame->m_hWnd, L"gui\\computer_tree"));
}
} // namespace

namespace
{
// Every command of a menu tree, its popups' included.
void CollectCommands(HMENU hMenu, std::vector<UINT>& commands)
{
    for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i)
    {
        if (HMENU hPopup = ::GetSubMenu(hMenu, i))
            CollectCommands(hPopup, commands);
        else if (UINT nID = ::GetMenuItemID(hMenu, i); nID != 0)
            commands.push_back(nID);
    }
}

std::vector<UINT> CommandsOfMenu(UINT nMenu)
{
    std::vector<UINT> commands;
    CMenu menu;
    EXPECT_TRUE(menu.LoadMenu(nMenu)) << nMenu;
    CollectCommands(menu.m_hMenu, commands);
    return commands;
}

TEST(CompTreeCommands, AreOfferedByNoMenuOrKeyOfTheFrame)
{
    CWinApp app;
    std::vector<UINT> treeCommands = CommandsOfMenu(IDR_COMP_TREE);
    ASSERT_EQ(treeCommands.size(), 7u);
    std::vector<UINT> frameCommands;
    for (UINT nMenu : {IDR_MAINFRAME, IDR_DRIVE_CONTEXT, IDR_TRAY})
    {
        std::vector<UINT> commands = CommandsOfMenu(nMenu);
        ASSERT_FALSE(commands.empty()) << nMenu;
        frameCommands.insert(frameCommands.end(), commands.begin(), commands.end());
    }
    HACCEL hFrameKeys = ::LoadAcceleratorsW(CWinApp::GetResourceModule(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_NE(hFrameKeys, nullptr);
    ACCEL aKeys[64] = {};
    int nKeys = ::CopyAcceleratorTableW(hFrameKeys, aKeys, 64);
    for (int i = 0; i < nKeys; ++i)
        frameCommands.push_back(aKeys[i].cmd);
    for (UINT nID : treeCommands)
        EXPECT_EQ(std::count(frameCommands.begin(), frameCommands.end(), nID), 0) << nID;
}
} // namespace
