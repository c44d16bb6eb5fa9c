// CDefragListView: the drive list and the program's one connection to the
// service of this computer. The connection's rules live in a window-less
// controller; the view gives it the window's timer, messages and boxes.
#pragma once

#include "gui/ConfigurationDlg.h"
#include "gui/ConnectionMessages.h"
#include "gui/DlgConfigWizard.h"
#include "gui/DlgWelcome.h"
#include "gui/DriveListCtrl.h"
#include "gui/ListViewSettingsHost.h"
#include "gui/ListViewPaneOwner.h"
#include "gui/OwnVersionFile.h"
#include "gui/ReplySender.h"
#include "gui/ReplyUi.h"
#include "gui/ViewFlags.h"

#include "base/SyncObjects.h"
#include "classlib/String.h"
#include "guitoolkit/ListViewEx.h"

#include <windows.h>

#include <cstdint>
#include <memory>

class CConnectionController;
class CDefragOutputView;
class CDlgAnalyzeFinish;
class CDlgDefragFinish;
class CDriveRows;
class CInfoWindows;
class IConnectionTransport;
class CNetDefragBuffer;
class CNetDefragObject;
class CReplyDispatcher;
struct stDriveRow;

class CDefragListView : public CListViewEx, public IReplyUi, public IReplySender, public IDriveListCtrl
{
public:
    static constexpr UINT_PTR RetryTimerId = 80204;
    static constexpr UINT_PTR DrainTimerId = 80205;
    static constexpr UINT DrainResumeMs = 10;

    CDefragListView();
    ~CDefragListView() override;

    // True when connected, or already connected to that computer. Only this
    // computer is accepted; the address and port are not used.
    bool ConnectToComputer(const wchar_t* pszComputer, const wchar_t* pszAddress, const wchar_t* pszPort,
                           bool bStopRetry);
    // Codes from 1000 carry an object, codes up to 1000 travel bare; a code on
    // the wrong side is reported as an assertion and still sent.
    bool SendCommand(int32_t nCode, CNetDefragObject& object) override;
    bool SendBareCommand(int32_t nCode) override;
    // Orderly close; always true.
    bool Disconnect();
    // Close after a failed send, with a box telling the user.
    void OnConnectionLost();

    bool IsConnected() const override;
    // Upper case; empty while not connected.
    CString GetComputerName() const;
    // The service's version line for the About box.
    const CString& GetServiceVersion() const { return m_strServiceVersion; }
    void SetServiceVersion(const wchar_t* pszVersion) { m_strServiceVersion = pszVersion; }
    // The kept password: typed by the user, used once for the next password request.
    const CString& GetPassword() const;
    void SetPassword(const wchar_t* pszPassword);

    // Row style 0 to 2.
    void SetStyle(int nStyle);
    // Hides the windows that show the service's answers and empties the list.
    virtual void ResetWindows();

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    // What the reply handling asks of the windows (DefragListViewReplies.cpp).
    const stViewFlags& GetViewFlags() const override { return m_stViewFlags; }
    void ShowMessage(const CString& strText) override;
    void PostServerLost() override;
    bool AskPassword(const CString& strPrompt, CString& strTyped) override;
    void DisconnectAndReset() override;
    void SetServiceVersionText(const CString& strText) override;
    void ShowSplash(const CString& strFirstLine, const CString& strSecondLine) override;
    void PumpMessages() override;
    void Sleep(DWORD dwMilliseconds) override;
    void SetTrayState(int nState) override;

    // The cluster-map pane and the result dialogs (DefragListViewPane.cpp).
    void OpenAnalysisResult(const CNetDefragPartitionListEntry& entry) override;
    void OpenDefragResult(const CNetDefragPartitionListEntry& entry) override;
    bool IsClusterPaneInUse() const override;
    void SyncClusterView() override;
    void OnDriveFinished(int32_t nDriveId, bool bUnfragmented) override;
    void OnClusterMap(std::unique_ptr<CNetDefragPartitionClustermap> pMap) override;
    void OnClusterMapChanges(std::unique_ptr<CNetDefragClustermapModList> pChanges) override;
    void OnFileClusters(std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> pAnswer) override;

    // The settings dialogs and the welcome screen (DefragListViewSettings.cpp).
    bool HasWelcomeDialog() const override;
    void OpenWelcome() override;
    void OnSettings(const CNetDefragSettingsLight2& settings) override;
    void OnWizardSettings(const CNetDefragSettingsLight2& settings) override;

    // The information windows (DefragListViewInfo.cpp).
    void OnClusterExplorer(const CNetDefragPartitionClusterExplorerResponse& answer) override;
    void OnPartitionInfo(const CNetDefragPartitionInfo& info) override;
    void OnFragmentedFiles(const CNetDefragPartitionFragFiles& files) override;
    void OnServiceInfo(const CNetDefragVersionInfo& version) override;
    // Each window made on first use, reset and shown; the requests sent.
    void OpenClusterExplorer();
    bool OpenDriveInfo(int32_t nDriveId);
    bool OpenFragmentedFiles(int32_t nDriveId);
    bool OpenServiceInfo();
    void HideInfoWindows();
    // Asks for every cluster of the file while the map is in use.
    bool SendShowFile(int32_t nDriveId, const CString& strFileName);
    // Asks the map for the block that holds the cluster; -1 clears its marks.
    virtual void ExploreMapSelection(int64_t llCluster);
    CInfoWindows& GetInfoWindows();
    // Drive Information and Fragmented Files for the right-clicked row, else
    // the first selected one; Service Information while connected.
    BOOL HandleInfoCommand(UINT nID, int nCode, void* pExtra);

protected:
    // One received message, its header already read; the reply handling
    // answers it. Throwing refuses the peer as incompatible.
    virtual void DispatchPacket(int32_t nClientId, int32_t nCommand, CNetDefragBuffer& ar);
    void OnTimer(UINT_PTR nID);
    CConnectionController& Connection() { return *m_pConnection; }
    // Every row's object freed, the rows deleted.
    virtual void EmptyList();
    // Gives up the cluster maps the pane shows; bUnsubscribe tells the
    // service too, while it is still there.
    virtual void ReleaseClusterMaps(bool bUnsubscribe);

    // The configuration dialog, wizard and welcome screen (DefragListViewSettings.cpp).
public:
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra) override;
    void SetShowSplashScreen(bool bShow) { m_stViewFlags.bShowSplashScreen = bShow; }
    // Stored under the window's key at once, when it changes.
    void SetShowWelcomeScreen(bool bShow);
    CConfigurationDlg* GetConfigurationDlg() const { return m_pConfigurationDlg.get(); }
    CDlgConfigWizard* GetConfigWizard() const { return m_pConfigWizard.get(); }
    CDlgWelcome* GetWelcomeDlg() const { return m_pWelcomeDlg.get(); }

protected:
    // The start-up options are the administrator's; tests answer for the token.
    virtual bool IsElevated() const;
    // Drops the service's pages from the configuration dialog.
    void ResetSettingsWindows();

private:
    ISettingsHost& SettingsHost();
    CConfigurationDlg* EnsureConfigurationDlg();
    void OnConfiguration();

    std::unique_ptr<CListViewSettingsHost> m_pSettingsHost;
    std::unique_ptr<CConfigurationDlg> m_pConfigurationDlg;
    std::unique_ptr<CDlgConfigWizard> m_pConfigWizard;
    std::unique_ptr<CDlgWelcome> m_pWelcomeDlg;

private:
    class CHost;

    std::unique_ptr<CHost> m_pHost;
    std::unique_ptr<CConnectionController> m_pConnection;
    CString m_strServiceVersion;
    stViewFlags m_stViewFlags;

    // The cluster-map pane and the result dialogs (DefragListViewPane.cpp).
public:
    // Null while the cluster view is off, and once the pane's window is gone.
    CDefragOutputView* GetClusterPane() const;
    // The pane follows the legend's check mark, which is kept for the next start.
    void ToggleClusterLegend();
    // The drive's selection (the first drive's for -1) in the cluster explorer.
    void ExploreClusterOfDrive(int32_t nDriveId);
    // Marks the cluster on the drive's map, or clears every mark without bHighlight.
    void HighlightCluster(int32_t nDriveId, bool bHighlight, int64_t llCluster);
    // Ends the cluster view: the service stops sending maps, the pane goes.
    void HideClusterView();
    // The same, but the view shows again on the next connection.
    void EndClusterView();
    // Null until the first result of its kind.
    CDlgAnalyzeFinish* GetAnalysisResult() const { return m_pAnalysisResult; }
    CDlgDefragFinish* GetDefragResult() const { return m_pDefragResult; }

private:
    friend class CListViewPaneOwner;
    // Clusterview, Clusterview Legend and Explore this cluster, with their menu states.
    bool HandlePaneCommand(UINT nID, int nCode, void* pExtra);
    void StopClusterView(bool bKeepShown);
    void WriteWindowFlag(const wchar_t* pszName, bool bOn);

    CListViewPaneOwner m_paneOwner{*this};
    // Kept by its window: when the frame closes, the pane may go before this view.
    HWND m_hClusterPane = NULL;
    bool m_bShowClusterLegend = true;
    bool m_bLegendFlagRead = false;
    // The result dialogs go with the frame that owns them, never with this view.
    CCriticalSection m_csAnalysisResult;
    CDlgAnalyzeFinish* m_pAnalysisResult = nullptr;
    CCriticalSection m_csDefragResult;
    CDlgDefragFinish* m_pDefragResult = nullptr;

    // The drive list: its rows, the reply handling over them, and the drive commands.
public:
    static constexpr int StyleRowHeight = 22;
    static constexpr int ClassicRowHeight = 18;

    void OnInitialUpdate() override;
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    BOOL OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    CDriveRows& GetRows() { return *m_pRows; }
    CReplyDispatcher& GetDispatcher() { return *m_pDispatcher; }
    int GetFixedRowHeight() const { return m_nFixedRowHeight; }
    // The row a context menu or a map click applies to; -1 forgets it.
    void SelectRowByDrive(int32_t nDriveId);
    void ForgetRightClickedRow() { m_pRightClicked = nullptr; }

    // IDriveListCtrl, over the list control.
    int GetRowCount() const override;
    stDriveRow* GetRow(int nRow) const override;
    int InsertRow(int nRow, const wchar_t* pszDrive, stDriveRow* pRow) override;
    void DeleteAllRows() override;
    CString GetCellText(int nRow, int nColumn) const override;
    void SetCellText(int nRow, int nColumn, const wchar_t* pszText) override;
    void SetRedraw(bool bRedraw) override;
    bool IsRowSelected(int nRow) const override;
    void SelectAndFocusRow(int nRow) override;
    void SortRows() override;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;
    // The transport of a new connection; tests put a scripted one in its place.
    virtual std::unique_ptr<IConnectionTransport> CreateTransport(HANDLE hItemsQueued);
    std::unique_ptr<IConnectionTransport> StartConnection(HANDLE hItemsQueued);

private:
    void InsertColumns();
    void ReadViewFlags();
    void SaveLayout();
    int FontRowHeight() const;
    void OnDriveCommand(UINT nID);
    void OnSetPassword();
    bool IsOnHeader(POINT ptScreen) const;
    // The drive menu over the row under the point, which the chosen command then acts on.
    void OnContextMenu(POINT ptScreen);
    bool UpdateDriveCommand(UINT nID, bool& bEnabled) const;
    int StrategySelection() const;
    static int CALLBACK CompareRows(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort);

    COwnVersionFile m_ownVersion;
    std::unique_ptr<CDriveRows> m_pRows;
    std::unique_ptr<CReplyDispatcher> m_pDispatcher;
    stDriveRow* m_pRightClicked = nullptr;
    int m_nFixedRowHeight = StyleRowHeight;
    // The command being handled; a service that ends the connection itself may come back.
    int32_t m_nDispatching = 0;

    // The cluster explorer, fragmented files, drive and service information windows.
    static void DeleteInfoWindows(CInfoWindows* pWindows);
    std::unique_ptr<CInfoWindows, void (*)(CInfoWindows*)> m_pInfoWindows{nullptr, &DeleteInfoWindows};
};
