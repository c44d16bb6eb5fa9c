// CMainFrame: the program's only top-level window: menu, toolbar with the
// defragmentation-strategy combo, status bar, tray icon and a two-row
// splitter with the drive list above the cluster-map pane. It keeps the
// window's settings and the Windows start-up entry, starts help and the
// updater, and asks the drive list to connect to the local service.
#pragma once

#include "classlib/Controls.h"
#include "gui/ConnectionFrame.h"
#include "gui/DefragTrayIcon.h"
#include "gui/MainFrameLayout.h"
#include "guitoolkit/FlatSplitterWnd.h"
#include "guitoolkit/SkinFrameWnd.h"
#include "guitoolkit/SkinMenuBar.h"
#include "guitoolkit/SkinToolBar.h"
#include "guitoolkit/StatusBarACT.h"


class CDefragListView;
class CDefragOutputView;

// The tray icon's callback message.
constexpr UINT WM_TRAYNOTIFY = WM_APP + 10;

class CMainFrame : public CSkinFrameWnd, public IConnectionFrame
{
public:
    // The Windows start-up entry: HKLM key and value name.
    static const wchar_t* const RunKey;
    static const wchar_t* const RunValueName;
    // The tray icon's id, which is also its menu's.
    static constexpr UINT TrayIconId = 68;
    static constexpr SIZE ToolButtonSize = {31, 31};
    static constexpr SIZE ToolImageSize = {20, 20};
    // The menus' icons: bitmap, image size, then the commands in the bitmap's
    // order; magenta shows through.
    static const WORD MenuIconInfo[];
    static constexpr COLORREF MenuIconMask = RGB(255, 0, 255);

    CMainFrame();
    ~CMainFrame() override;

    BOOL ConnectComputer(const wchar_t* pszName, const wchar_t* pszAddress, const wchar_t* pszPort);
    CDefragOutputView* ShowClusterView();
    void HideClusterView() override;
    void ApplyStyle(int nStyle);
    void SetTrayIconMode(int nMode);
    void SetTrayState(int nState) override;
    void SetRunAtStartup(BOOL bRun, BOOL bMinimized);
    void ShowHelp(int nTopic);
    void SaveSettings();
    void SetMessageText(const wchar_t* pszText);
    void SetComputerText(const wchar_t* pszText);
    void ToggleNetworkMode();
    BOOL IsConnectedTo(const wchar_t* pszName) const;

    int GetNetworkMode() const { return m_nNetworkMode; }
    int GetStyle() const { return m_nStyle; }
    int GetTrayIconMode() const { return m_nTrayIconMode; }
    BOOL GetStartOnWindowsStart() const { return m_bStartOnWindowsStart; }
    BOOL GetStartMinimized() const { return m_bStartMinimized; }
    BOOL IsPaused() const { return m_bPaused; }
    // Tray mode 3 keeps Pause for administrators; the window itself may
    // always be restored, or a non-administrator could lose it in the tray.
    BOOL IsTrayControlAllowed() const;
    // Null before creation, after Exit, or when row 0 holds another view.
    CDefragListView* GetListView() const;
    CWnd* GetListViewWnd() const { return m_pListView; }
    CDefragOutputView* GetOutputView() const { return m_pOutputView; }

    // The menu the menu bar shows, or the window's own before the bar took it.
    HMENU GetFrameMenu() const;
    CSkinMenuBar& GetMenuBar() { return m_wndMenuBar; }
    CSkinToolBar& GetToolBar() { return m_wndToolBar; }
    CComboBox& GetStrategyCombo() { return m_wndStrategy; }
    CStatusBarACT& GetStatusBar() { return m_wndStatusBar; }
    CFlatSplitterWnd& GetSplitter() { return m_wndInnerSplitter; }
    CDefragTrayIcon& GetTrayIcon() { return m_trayIcon; }

    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    // The menu bar sees every message first; one it consumes goes no further.
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

protected:
    BOOL OnCreateClient(LPCREATESTRUCTW pCreate, CCreateContext* pContext) override;
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;

    // What the frame asks of the system and of the drive list; tests answer
    // for them.
    virtual WndFactory ListViewFactory() const;
    virtual BOOL ListConnect(const wchar_t* pszName, const wchar_t* pszAddress, const wchar_t* pszPort,
                             BOOL bStopRetry);
    virtual BOOL ListSendBareCommand(int nCode);
    virtual CString ListConnectedName() const;
    virtual void ListSetStyle(int nStyle);
    virtual BOOL IsAdministrator() const;
    virtual CString CommandLine() const;
    virtual HINSTANCE OpenWithShell(const wchar_t* pszFile, const wchar_t* pszParameters);
    virtual BOOL StartProcess(const wchar_t* pszApplication, wchar_t* pszCommandLine);
    // The product version text of the file; FALSE when it has no version resource.
    virtual BOOL ReadProductVersion(const wchar_t* pszFile, CString& strVersion) const;

    int OnCreate(LPCREATESTRUCTW pCreate);
    BOOL CreateToolBar();
    BOOL CreateStatusBar();
    void TrimMenus();
    void ReadSettings();
    void CreateTrayIcon();
    void PlaceWindow(bool bHidden);
    void SizeSplitterRows();
    void ConnectLocalComputer();

    void OnClose();
    // A later start of the program hands over its command line.
    BOOL OnCopyData(const COPYDATASTRUCT* pData);
    bool OnSysCommand(WPARAM nCommand);
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void OnTrayOpen();
    void OnTrayPause();
    void OnExit();
    void OnSearchForUpdates();
    void OnOnlineFaq();
    void HideToTray();
    static void TrimWorkingSet();

    int m_nNetworkMode = 0;
    CStatusBarACT m_wndStatusBar;
    CSkinToolBar m_wndToolBar;
    CComboBox m_wndStrategy;
    CFlatSplitterWnd m_wndOuterSplitter;
    CFlatSplitterWnd m_wndInnerSplitter;
    CSkinMenuBar m_wndMenuBar;
    DWORD m_dwAlwaysOnTop = 0;
    CWnd* m_pListView = nullptr;
    CDefragOutputView* m_pOutputView = nullptr;
    int m_nStyle = -1;
    int m_nTrayIconMode = 2;
    CDefragTrayIcon m_trayIcon;
    BYTE m_bCloseWillExit = 0;
    BYTE m_bStartOnWindowsStart = 1;
    BYTE m_bStartMinimized = 1;
    BYTE m_bPaused = 0;

    // The settings as read at creation; SaveSettings writes them back with
    // what the window has now.
    stFRAME_SETTINGS m_stSettings = {};
    // The tray icons by tray state, loaded once.
    HICON m_hTrayIcons[8] = {};
};
