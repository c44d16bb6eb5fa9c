#include "gui/MainFrame.h"

#include "gui/CommandTail.h"
#include "gui/DefragOutputView.h"
#include "gui/MapDrawingSettings.h"
#include "gui/Resource.h"

#include "classlib/WinApp.h"
#include "guitoolkit/MenuBackground.h"
#include "guitoolkit/Registry.h"
#include "guitoolkit/SkinDockBar.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <iterator>

namespace
{
constexpr int SplitterId = 2;
constexpr int ComboWidth = 150;
constexpr int ComboDropHeight = 200;

const UINT StrategyStrings[] = {IDS_DEFRAGMENT, IDS_DEFRAGMENT_SMART, IDS_DEFRAGMENT_SMART_M};

CString LoadText(UINT nID)
{
    CString str;
    str.LoadString(nID);
    return str;
}

// Removes count items from the popup at the position, as far as it has them.
void RemoveItems(HMENU hPopup, int nPos, int nCount)
{
    for (int i = 0; i < nCount && hPopup != NULL && nPos < ::GetMenuItemCount(hPopup); ++i)
        ::RemoveMenu(hPopup, nPos, MF_BYPOSITION);
}
} // namespace

const WORD CMainFrame::MenuIconInfo[] = {
    IDB_TOOLBAR,         20,          20,
    ID_DEFRAG_ANALYZE,   ID_DEFRAG_CHECKDISK,      ID_DEFRAG_START,    ID_DEFRAG_STOP, ID_DEFRAG_MONITOR,
    ID_VIEW_CLUSTERVIEW, ID_VIEW_FRAGMENTED_FILES, ID_VIEW_DRIVE_INFO, ID_APP_ABOUT,   0};

CMainFrame::CMainFrame() : m_trayIcon(*this)
{
}

CMainFrame::~CMainFrame() = default;

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTW& cs)
{
    m_nNetworkMode = 0;
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    DWORD dwNetworkMode = 0;
    if (key.Open(HKEY_CURRENT_USER, L"Software\\Varnefold") && key.ReadDWORD(L"NetworkMode", dwNetworkMode))
        m_nNetworkMode = dwNetworkMode == 1 ? 1 : 0;
    if (!CSkinFrameWnd::PreCreateWindow(cs))
        return FALSE;
    // The frame's own class takes no class styles: the frame has no use for
    // double clicks on what its bars and panes leave uncovered.
    WNDCLASSW stClass = {};
    if (!::GetClassInfoW(::GetModuleHandleW(nullptr), cs.lpszClass, &stClass))
        return TRUE;
    cs.lpszClass = CWnd::RegisterDefaultClass(0, stClass.hCursor, stClass.hbrBackground, stClass.hIcon);
    return cs.lpszClass != nullptr;
}

BOOL CMainFrame::OnCreateClient(LPCREATESTRUCTW, CCreateContext*)
{
    if (!m_wndInnerSplitter.CreateStatic(this, 2, 1, WS_CHILD | WS_VISIBLE, AFX_IDW_PANE_FIRST))
        return FALSE;
    m_wndInnerSplitter.SetSplitterId(SplitterId);
    if (!m_wndInnerSplitter.CreateView(0, 0, ListViewFactory(), CSize(100, 100)) ||
        !m_wndInnerSplitter.CreateView(1, 0, CDefragOutputView::CreateObject, CSize(100, 100)))
        return FALSE;
    m_pListView = m_wndInnerSplitter.GetPane(0, 0);
    m_pOutputView = static_cast<CDefragOutputView*>(m_wndInnerSplitter.GetPane(1, 0));
    m_wndInnerSplitter.HideRow(0, 1);
    SetActiveView(m_pListView);
    return TRUE;
}

bool CMainFrame::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_CREATE:
        if (!CSkinFrameWnd::OnMessage(nMsg, wParam, lParam, lResult))
            lResult = Default();
        if (lResult != -1)
            lResult = OnCreate(reinterpret_cast<LPCREATESTRUCTW>(lParam));
        return true;
    case WM_SETFOCUS:
    {
        CFlatSplitterWnd& splitter = m_wndOuterSplitter.m_hWnd != NULL ? m_wndOuterSplitter : m_wndInnerSplitter;
        if (splitter.m_hWnd == NULL)
            break;
        splitter.SetFocus();
        lResult = 0;
        return true;
    }
    case WM_CLOSE:
        OnClose();
        lResult = 0;
        return true;
    case WM_SYSCOMMAND:
        if (!OnSysCommand(wParam))
            break;
        lResult = 0;
        return true;
    case WM_TRAYNOTIFY:
        lResult = OnTrayNotify(wParam, lParam);
        return true;
    case WM_COPYDATA:
        lResult = OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return true;
    default:
        break;
    }
    return CSkinFrameWnd::OnMessage(nMsg, wParam, lParam, lResult);
}

int CMainFrame::OnCreate(LPCREATESTRUCTW)
{
    ModifyStyleEx(WS_EX_CLIENTEDGE, 0);
    if (!CreateToolBar())
        return -1;
    TrimMenus();
    CString strTitle = LoadText(IDS_MAINFRAME);
    for (int i = 0; i < static_cast<int>(std::size(StrategyStrings)); ++i)
    {
        int nItem = m_wndStrategy.AddString(LoadText(StrategyStrings[i]));
        if (nItem < 0)
            return -1;
        m_wndStrategy.SetItemData(nItem, static_cast<DWORD_PTR>(i));
    }
    if (!m_wndMenuBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_SIZE_DYNAMIC))
        return -1;
    m_wndMenuBar.SetWindowText(strTitle + L" Menubar");
    m_wndToolBar.SetWindowText(strTitle + L" Toolbar");
    if (!CreateStatusBar())
        return -1;
    m_wndMenuBar.EnableDocking(CBRS_ALIGN_ANY);
    m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableSkinDocking(this, CBRS_ALIGN_ANY);
    DockControlBar(&m_wndMenuBar);
    DockControlBar(&m_wndToolBar);

    ReadSettings();
    SetRunAtStartup(m_bStartOnWindowsStart, m_bStartMinimized);
    ApplyStyle(static_cast<int>(m_stSettings.dwStyle));
    CreateTrayIcon();
    // Only a tray icon that takes clicks can bring a hidden window back.
    bool bHidden = AsksToStayHidden(CommandLine()) && m_nTrayIconMode >= 2;
    PlaceWindow(bHidden);
    SizeSplitterRows();
    // The drive list takes its columns and settings before the first reply can fill it.
    InitialUpdateFrame(FALSE);
    ConnectLocalComputer();
    return 0;
}

BOOL CMainFrame::CreateToolBar()
{
    if (!m_wndToolBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER | CBRS_TOOLTIPS | CBRS_FLYBY |
                                       CBRS_SIZE_DYNAMIC,
                             AFX_IDW_TOOLBAR, TBSTYLE_FLAT | TBSTYLE_TRANSPARENT) ||
        !m_wndToolBar.LoadToolBar(IDR_TOOLBAR, IDB_TOOLBAR))
        return FALSE;
    m_wndToolBar.SetSizes(ToolButtonSize, ToolImageSize);
    int nStop = m_wndToolBar.CommandToIndex(ID_DEFRAG_STOP);
    if (!m_wndStrategy.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL,
                              CRect(0, 0, ComboWidth, ComboDropHeight), &m_wndToolBar, ID_STRATEGY_COMBO) ||
        !m_wndToolBar.InsertControl(nStop, &m_wndStrategy, 0))
        return FALSE;
    m_skinMenu.LoadToolBar(MenuIconInfo, MenuIconMask);
    return TRUE;
}

BOOL CMainFrame::CreateStatusBar()
{
    const stStatusPane panes[] = {{ID_SEPARATOR, nullptr, 0, nullptr}, {ID_INDICATOR_COMPUTER, nullptr, 0, nullptr}};
    return m_wndStatusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR, SBARS_SIZEGRIP) &&
           m_wndStatusBar.SetIndicators(panes, static_cast<int>(std::size(panes)));
}

void CMainFrame::TrimMenus()
{
    HMENU hMenu = ::GetMenu(m_hWnd);
    if (hMenu == NULL)
        return;
    for (UINT nCommand : {ID_FILE_CONNECT, ID_FILE_DISCONNECT, ID_FILE_SET_PASSWORD})
        ::RemoveMenu(hMenu, nCommand, MF_BYCOMMAND);
    // File keeps Exit, Edit keeps Configuration; View loses its separator,
    // "Show Network Interface" and "Service Information", which keys reach.
    RemoveItems(::GetSubMenu(hMenu, 0), 0, 1);
    RemoveItems(::GetSubMenu(hMenu, 1), 0, 9);
    HMENU hView = ::GetSubMenu(hMenu, 2);
    RemoveItems(hView, 11, 2);
    RemoveItems(hView, 10, 1);
    // The window's menu is plain until now: drawn by the theme from here on.
    m_skinMenu.ConvertToOwnerDraw(hMenu);
    UpdateMenuBackground(hMenu);
    DrawMenuBar();
}

void CMainFrame::ReadSettings()
{
    WINDOWPLACEMENT stPlacement = {};
    stPlacement.length = sizeof(stPlacement);
    ::GetWindowPlacement(m_hWnd, &stPlacement);
    m_stSettings = {static_cast<LONG>(stPlacement.showCmd),
                    stPlacement.rcNormalPosition.left,
                    stPlacement.rcNormalPosition.top,
                    stPlacement.rcNormalPosition.right,
                    stPlacement.rcNormalPosition.bottom,
                    0,
                    0,
                    0,
                    1,
                    1,
                    2,
                    2,
                    0};
    ReadFrameSettings(m_stSettings);
    m_dwAlwaysOnTop = m_stSettings.dwAlwaysOnTop;
    m_wndStrategy.SetCurSel(static_cast<int>(m_stSettings.dwDefaultDefragMethod));
    m_bStartOnWindowsStart = m_stSettings.dwStartOnWindowsStart != 0;
    m_bStartMinimized = m_stSettings.dwStartMinimized != 0;
    m_nTrayIconMode = static_cast<int>(m_stSettings.dwTrayIconMode);
    m_bCloseWillExit = m_stSettings.dwCloseWillExit != 0;
}

void CMainFrame::CreateTrayIcon()
{
    HINSTANCE hModule = CWinApp::GetResourceModule();
    for (int nState = 0; nState < static_cast<int>(std::size(m_hTrayIcons)); ++nState)
    {
        static const UINT StateIcons[] = {IDI_TRAY_NOT_CONNECTED, IDI_TRAY_NOT_CONNECTED, IDI_TRAY_IDLE,
                                          IDI_TRAY_SUSPENDED,    IDI_TRAY_MONITORING,   IDI_TRAY_ANALYZING,
                                          IDI_TRAY_DEFRAGMENTING, IDI_TRAY_CHECKING};
        m_hTrayIcons[nState] = ::LoadIconW(hModule, MAKEINTRESOURCEW(StateIcons[nState]));
    }
    m_trayIcon.SetMenuTarget(this);
    m_trayIcon.SetMenuDefaultItem(0, TRUE);
    m_trayIcon.Create(this, WM_TRAYNOTIFY, LoadText(IDS_MAINFRAME), m_hTrayIcons[2], TrayIconId, TRUE);
    if (m_nTrayIconMode > 0)
        m_trayIcon.ShowIcon();
}

void CMainFrame::PlaceWindow(bool bHidden)
{
    const int nShow = bHidden ? SW_HIDE : SW_SHOW;
    if (!IsStoredPlacementUsable(m_stSettings))
    {
        CRect rcWindow, rcWork;
        GetWindowRect(rcWindow);
        if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0))
            rcWork = CRect(0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
        SetWindowPos(HWND_NOTOPMOST, rcWork.left + (rcWork.Width() - rcWindow.Width()) / 2,
                     rcWork.top + (rcWork.Height() - rcWindow.Height()) / 2, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        ShowWindow(nShow);
        return;
    }
    // The rectangle as saved, in workspace coordinates.
    WINDOWPLACEMENT stPlacement = {};
    stPlacement.length = sizeof(stPlacement);
    stPlacement.showCmd = SW_HIDE;
    ::SetRect(&stPlacement.rcNormalPosition, m_stSettings.nLeft, m_stSettings.nTop, m_stSettings.nRight,
              m_stSettings.nBottom);
    ::SetWindowPlacement(m_hWnd, &stPlacement);
    SetWindowPos(m_dwAlwaysOnTop == 1 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(nShow);
}

void CMainFrame::SizeSplitterRows()
{
    RecalcLayout();
    CRect rcClient;
    GetClientRect(rcClient);
    stSPLITTER_ROWS stRows = ComputeSplitterRows(rcClient.Height(), m_stSettings.nDriveList);
    m_wndInnerSplitter.SetRowInfo(0, stRows.nHeight0, stRows.nMin0);
    m_wndInnerSplitter.SetRowInfo(1, stRows.nHeight1, stRows.nMin1);
    int cxCur = 0, cxMin = 0;
    m_wndInnerSplitter.GetColumnInfo(0, cxCur, cxMin);
    m_wndInnerSplitter.SetColumnInfo(0, cxCur, 100);
    m_wndInnerSplitter.RecalcLayout();
}

void CMainFrame::ConnectLocalComputer()
{
    wchar_t szName[256] = {};
    DWORD dwChars = 255;
    CString strName;
    if (::GetComputerNameW(szName, &dwChars) && szName[0] != L'\0')
        strName = szName;
    else
        strName = LoadText(IDS_MY_COMPUTER);
    strName.MakeUpper();
    if (m_nTrayIconMode != 0)
        m_trayIcon.SetIcon(m_hTrayIcons[0]);
    ConnectComputer(strName, L"0", L"0");
    TrimWorkingSet();
}

void CMainFrame::TrimWorkingSet()
{
    ::SetProcessWorkingSetSize(::GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

BOOL CMainFrame::ConnectComputer(const wchar_t* pszName, const wchar_t* pszAddress, const wchar_t* pszPort)
{
    return m_pListView != nullptr && ListConnect(pszName, pszAddress, pszPort, TRUE);
}

BOOL CMainFrame::IsConnectedTo(const wchar_t* pszName) const
{
    CString strName = pszName;
    strName.MakeUpper();
    return m_pListView != nullptr && ListConnectedName() == strName;
}

CDefragOutputView* CMainFrame::ShowClusterView()
{
    m_wndInnerSplitter.ShowRow(0, 1);
    int cyCur = 0, cyMin = 0;
    m_wndInnerSplitter.GetRowInfo(1, cyCur, cyMin);
    if (cyCur > 0)
        return m_pOutputView;
    int cyCur0 = 0, cyMin0 = 0;
    m_wndInnerSplitter.GetRowInfo(0, cyCur0, cyMin0);
    m_wndInnerSplitter.SetRowInfo(0, cyCur0 - 85, cyMin0);
    m_wndInnerSplitter.SetRowInfo(1, 85, cyMin);
    m_wndInnerSplitter.RecalcLayout();
    return m_pOutputView;
}

void CMainFrame::HideClusterView()
{
    m_wndInnerSplitter.HideRow(0, 1);
}

void CMainFrame::ApplyStyle(int nStyle)
{
    if (nStyle == m_nStyle)
        return;
    // The shaded look (styles 1 and 2) is read from the frame's style.
    ToolkitEnvironment().bModernStyle = nStyle == 2 ? 1 : 0;
    // The cluster map's blocks are shaded in the same two styles.
    MapDrawingSettings().bShaded = nStyle != 0;
    ListSetStyle(nStyle);
    m_nStyle = nStyle;
    CSkinMenu::RefreshIcons();
    m_wndToolBar.SendMessage(WM_SYSCOLORCHANGE);
    m_wndToolBar.Invalidate();
    m_wndStatusBar.Invalidate();
    m_wndInnerSplitter.RecalcLayout();
    RecalcLayout();
    CSkinMenu::RefreshIcons();
    HMENU hMenu = GetFrameMenu();
    UpdateMenuBackground(hMenu);
    RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    // The menu set again makes the menu bar measure its items anew.
    if (m_wndMenuBar.GetMenu() != NULL)
    {
        m_wndMenuBar.SetMenu(hMenu);
        return;
    }
    ::SetMenu(m_hWnd, NULL);
    ::SetMenu(m_hWnd, hMenu);
}

HMENU CMainFrame::GetFrameMenu() const
{
    return m_wndMenuBar.GetMenu() != NULL ? m_wndMenuBar.GetMenu() : ::GetMenu(m_hWnd);
}

BOOL CMainFrame::PreTranslateMessage(MSG* pMsg)
{
    if (m_wndMenuBar.m_hWnd != NULL && m_wndMenuBar.TranslateFrameMessage(pMsg))
        return TRUE;
    return CSkinFrameWnd::PreTranslateMessage(pMsg);
}

void CMainFrame::SetTrayIconMode(int nMode)
{
    if (nMode > 0 && m_nTrayIconMode == 0)
        m_trayIcon.ShowIcon();
    else if (nMode == 0 && m_nTrayIconMode > 0)
        m_trayIcon.RemoveIcon();
    m_nTrayIconMode = nMode;
}

void CMainFrame::SetTrayState(int nState)
{
    // States beyond the known ones have no picture: the icon stays as it is.
    if (m_nTrayIconMode == 0 || nState < 0 || nState >= static_cast<int>(std::size(m_hTrayIcons)))
        return;
    m_trayIcon.SetIcon(m_hTrayIcons[nState]);
}

void CMainFrame::SetMessageText(const wchar_t* pszText)
{
    if (m_wndStatusBar.m_hWnd != NULL)
        m_wndStatusBar.SetPaneText(0, pszText);
}

void CMainFrame::SetComputerText(const wchar_t* pszText)
{
    int nPane = m_wndStatusBar.m_hWnd != NULL ? m_wndStatusBar.CommandToIndex(ID_INDICATOR_COMPUTER) : -1;
    if (nPane < 0)
        return;
    m_wndStatusBar.SetPaneText(nPane, pszText);
    // A long name widens the pane; a short one keeps the width of the
    // pane's own text, or the size grip would cover it.
    UINT nID = 0, nStyle = 0;
    int cxBefore = 0, cxText = 0;
    m_wndStatusBar.GetPaneInfo(nPane, nID, nStyle, cxBefore);
    m_wndStatusBar.AutoSizePane(nPane);
    m_wndStatusBar.GetPaneInfo(nPane, nID, nStyle, cxText);
    if (cxText < cxBefore)
        m_wndStatusBar.SetPaneInfo(nPane, nID, nStyle, cxBefore);
}

void CMainFrame::ToggleNetworkMode()
{
    m_nNetworkMode = m_nNetworkMode == 1 ? 0 : 1;
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    if (key.Create(HKEY_CURRENT_USER, L"Software\\Varnefold"))
        key.WriteDWORD(L"NetworkMode", static_cast<DWORD>(m_nNetworkMode));
}

BOOL CMainFrame::IsTrayControlAllowed() const
{
    return m_nTrayIconMode == 2 || (m_nTrayIconMode == 3 && IsAdministrator());
}
