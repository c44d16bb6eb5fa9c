// The drive list view in the program's main frame, its service played by a
// scripted transport: the rows the replies make, the drive commands, the row
// heights of the looks, and the boxes and the password dialog the replies open.
#include "gui/ConnectionController.h"
#include "gui/DefragListView.h"
#include "gui/ClientInfo.h"
#include "gui/ClusterExplorer.h"
#include "gui/DriveInfo.h"
#include "gui/DriveRows.h"
#include "gui/FragmentedFilesDlg.h"
#include "gui/InfoWindows.h"
#include "gui/MainFrame.h"
#include "gui/MainFrameLayout.h"
#include "gui/Resource.h"

#include "classlib/CmdUI.h"
#include "classlib/WinApp.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"
#include "protocol/NetDefragVersionInfo.h"

#include "FakeConnection.h"
#include "GuiTestSupport.h"
#include "ReplyFakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using guitest::MakeEntry;

namespace
{
constexpr DWORD FrameStyle = 0xCF8000;
// Generous: the machine may be loaded.
constexpr DWORD WaitMs = 30000;

// The service of the view the next frame makes.
stFakeService* g_pService = nullptr;

class CScriptedListView : public CDefragListView
{
public:
    static CWnd* Make() { return new CScriptedListView; }
    using CDefragListView::Connection;

protected:
    std::unique_ptr<IConnectionTransport> CreateTransport(HANDLE hItemsQueued) override
    {
        g_pService->hItemsQueued = hItemsQueued;
        return std::unique_ptr<IConnectionTransport>(new CFakeTransport(*g_pService));
    }
};

class CListTestFrame : public CMainFrame
{
protected:
    WndFactory ListViewFactory() const override { return &CScriptedListView::Make; }
    BOOL IsAdministrator() const override { return TRUE; }
    CString CommandLine() const override { return CString(L"Varnefold.exe"); }
};

// Runs the action on the first dialog of this thread that shows while a modal loop runs.
class CModalWatch
{
public:
    explicit CModalWatch(std::function<void(HWND)> action) : m_action(std::move(action))
    {
        s_pWatch = this;
        m_nTimer = ::SetTimer(NULL, 0, 50, &CModalWatch::OnTick);
    }
    ~CModalWatch()
    {
        ::KillTimer(NULL, m_nTimer);
        s_pWatch = nullptr;
    }
    std::vector<std::wstring> m_texts;

private:
    static BOOL CALLBACK FindDialog(HWND hWnd, LPARAM lParam)
    {
        wchar_t szClass[16] = {};
        ::GetClassNameW(hWnd, szClass, 16);
        if (std::wstring(szClass) != L"#32770" || !::IsWindowVisible(hWnd))
            return TRUE;
        *reinterpret_cast<HWND*>(lParam) = hWnd;
        return FALSE;
    }
    static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD)
    {
        CModalWatch* pWatch = s_pWatch;
        HWND hDlg = NULL;
        if (pWatch == nullptr || pWatch->m_bBusy)
            return;
        ::EnumThreadWindows(::GetCurrentThreadId(), &CModalWatch::FindDialog, reinterpret_cast<LPARAM>(&hDlg));
        if (hDlg == NULL)
            return;
        pWatch->m_bBusy = true;
        pWatch->m_action(hDlg);
        pWatch->m_bBusy = false;
    }

    static CModalWatch* s_pWatch;
    std::function<void(HWND)> m_action;
    UINT_PTR m_nTimer = 0;
    bool m_bBusy = false;
};
CModalWatch* CModalWatch::s_pWatch = nullptr;

// The text of every static control of a dialog, joined.
std::wstring DialogTexts(HWND hDlg)
{
    std::wstring strTexts;
    for (HWND hChild = ::GetWindow(hDlg, GW_CHILD); hChild != NULL; hChild = ::GetWindow(hChild, GW_HWNDNEXT))
    {
        wchar_t szText[512] = {};
        ::GetWindowTextW(hChild, szText, 512);
        strTexts += szText;
        strTexts += L"|";
    }
    return strTexts;
}

// Closes every box it sees with OK and notes its texts.
struct stBoxCloser
{
    std::vector<std::wstring> texts;
    CModalWatch watch{[this](HWND hDlg) {
        texts.push_back(DialogTexts(hDlg));
        ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
    }};
};

class DefragListViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, FrameSettingsKey);
        SetValue(L"ShowSplashScreen", 0);
        SetValue(L"ShowWelcomeScreen", 0);
        SetValue(L"ShowAnalyzeFinish", 0);
        SetValue(L"ShowDefragFinish", 0);
        SetValue(L"Left", 60);
        SetValue(L"Top", 50);
        SetValue(L"Right", 900);
        SetValue(L"Bottom", 560);
        g_pService = &m_service;
        m_pFrame = new CListTestFrame;
        m_pFrame->GetTrayIcon().SetNotifyFunction([](DWORD, NOTIFYICONDATAW*) { return TRUE; });
        ASSERT_TRUE(m_pFrame->LoadFrame(IDR_MAINFRAME, FrameStyle));
        m_hFrame = m_pFrame->m_hWnd;
        m_app.m_pMainWnd = m_pFrame;
        PumpPending();
        m_pView = dynamic_cast<CScriptedListView*>(m_pFrame->GetListView());
        ASSERT_NE(m_pView, nullptr);
        ASSERT_TRUE(m_pView->IsConnected());
    }
    void TearDown() override
    {
        if (::IsWindow(m_hFrame))
            ::DestroyWindow(m_hFrame);
        m_app.m_pMainWnd = nullptr;
        PumpPending();
        g_pService = nullptr;
        ::RegDeleteTreeW(HKEY_CURRENT_USER, FrameSettingsKey);
    }
    static void SetValue(const wchar_t* pszName, DWORD dwValue)
    {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, FrameSettingsKey, pszName, REG_DWORD, &dwValue, sizeof(dwValue));
    }

    // Hands the message to the view as the waiting thread does, and lets it run.
    void Deliver(const prototest::Bytes& payload, int nClientId = -1)
    {
        m_service.QueuePayload(payload, nClientId);
        m_pView->PostMessage(WM_SERVER_DATA);
        PumpUntil([this] { return m_service.queue.empty(); }, WaitMs);
        PumpPending();
    }
    void DeliverEntry(CNetDefragPartitionListEntry entry)
    {
        Deliver(prototest::BuildMessage(RESPONSE_PARTITION_ENTRY, &entry));
    }
    void DeliverList(const std::vector<CNetDefragPartitionListEntry>& entries)
    {
        CNetDefragPartitionList list;
        for (const CNetDefragPartitionListEntry& entry : entries)
            list.Add(std::make_unique<CNetDefragPartitionListEntry>(entry));
        Deliver(prototest::BuildMessage(RESPONSE_PARTITION_LIST, &list));
    }
    static CNetDefragPartitionListEntry Figures(CNetDefragPartitionListEntry entry)
    {
        entry.m_strFileSystemName = L"NTFS";
        entry.m_llTotalBytes = 64ll << 20;
        entry.m_llFreeBytes = 16ll << 20;
        entry.m_llTotalClusters = 16384;
        entry.m_llUsedClusters = 12288;
        return entry;
    }
    int RowCount() const { return m_pView->GetListCtrl().GetItemCount(); }
    std::wstring Cell(int nRow, int nColumn) const { return m_pView->GetCellText(nRow, nColumn).Str(); }
    int VisibleColumns() const
    {
        int nVisible = 0;
        for (int i = 0; i < CDriveRows::ColumnCount; ++i)
            nVisible += m_pView->IsColumnVisible(i) ? 1 : 0;
        return nVisible;
    }
    int RowHeight() const
    {
        RECT rc = {};
        rc.left = LVIR_BOUNDS;
        m_pView->SendMessage(LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rc));
        return rc.bottom - rc.top;
    }
    bool Sent(int32_t nCommand) const
    {
        for (int32_t nSent : m_service.sentCommands)
        {
            if (nSent == nCommand)
                return true;
        }
        return false;
    }
    bool CommandEnabled(UINT nID)
    {
        struct CProbeCmdUI : CCmdUI
        {
            void Enable(BOOL bOn) override { bEnabled = bOn != FALSE; }
            bool bEnabled = false;
        } probe;
        probe.m_nID = nID;
        m_pFrame->OnCmdMsg(nID, CN_UPDATE_COMMAND_UI, &probe);
        return probe.bEnabled;
    }

    CWinApp m_app;
    stFakeService m_service;
    CListTestFrame* m_pFrame = nullptr;
    HWND m_hFrame = NULL;
    CScriptedListView* m_pView = nullptr;
};
} // namespace

TEST_F(DefragListViewTest, ListOfThreeDrivesShowsThreeRowsInEightColumns)
{
    EXPECT_TRUE(Sent(CMD_GET_VERSION_INFO));
    DeliverList({Figures(MakeEntry(1, L"C:\\")), MakeEntry(2, L"D:\\", 1), MakeEntry(3, L"E:\\", 6)});
    ASSERT_EQ(RowCount(), 3);
    EXPECT_EQ(VisibleColumns(), 8);
    EXPECT_TRUE(m_pView->IsColumnVisible(0) && m_pView->IsColumnVisible(6) && m_pView->IsColumnVisible(26));
    EXPECT_FALSE(m_pView->IsColumnVisible(7));
    EXPECT_EQ(Cell(0, 0), L"C:\\");
    EXPECT_EQ(Cell(0, 5), L"25");
    EXPECT_EQ(Cell(1, 1), L"Monitoring");
    EXPECT_EQ(Cell(2, 1), L"Faulty");
    // A fresh entry has no figures yet: its "% Free" stays blank.
    EXPECT_EQ(Cell(1, 5), L" ");
    EXPECT_TRUE(m_pView->IsRowSelected(0));
    SaveWindowPicture(m_hFrame, L"drive_list\\three_drives");
}

TEST_F(DefragListViewTest, AnalyzeMarksTheRowAsWaitingUntilTheDriveIsReported)
{
    DeliverList({Figures(MakeEntry(1, L"C:\\")), Figures(MakeEntry(2, L"D:\\"))});
    ASSERT_EQ(RowCount(), 2);
    EXPECT_TRUE(CommandEnabled(ID_DEFRAG_ANALYZE));
    EXPECT_FALSE(CommandEnabled(ID_DEFRAG_STOP));

    m_pFrame->SendMessage(WM_COMMAND, ID_DEFRAG_ANALYZE);
    EXPECT_TRUE(Sent(CMD_ANALYZE));
    EXPECT_EQ(Cell(0, 1), L"Analyzing [wait]");
    EXPECT_EQ(Cell(1, 1), L"");
    EXPECT_FALSE(CommandEnabled(ID_DEFRAG_ANALYZE));

    DeliverEntry(MakeEntry(1, L"C:\\", 4, 30));
    EXPECT_EQ(Cell(0, 1), L"Analyzing");
    EXPECT_EQ(Cell(0, 2), L"30");
    EXPECT_TRUE(CommandEnabled(ID_DEFRAG_STOP));
}

TEST_F(DefragListViewTest, StartSendsTheRunOfTheChosenStrategy)
{
    DeliverList({Figures(MakeEntry(1, L"C:\\"))});
    struct stCase
    {
        int nSelection;
        int32_t nCode;
    };
    for (const stCase& c : {stCase{0, CMD_DEFRAG_QUICK}, stCase{1, CMD_DEFRAG_COMPLETE}, stCase{2, CMD_DEFRAG_ADVANCED}})
    {
        m_pFrame->GetStrategyCombo().SetCurSel(c.nSelection);
        m_service.sentCommands.clear();
        m_pFrame->SendMessage(WM_COMMAND, ID_DEFRAG_START);
        EXPECT_EQ(m_service.sentCommands, std::vector<int32_t>{c.nCode}) << c.nSelection;
        EXPECT_EQ(Cell(0, 1), L"Defragmenting [wait]");
        // The drive is reported idle again.
        DeliverEntry(MakeEntry(1, L"C:\\"));
    }
}

TEST_F(DefragListViewTest, RowHeightFollowsTheLook)
{
    DeliverList({Figures(MakeEntry(1, L"C:\\")), Figures(MakeEntry(2, L"D:\\"))});
    for (int nStyle : {0, 1, 0, 2})
    {
        m_pView->SetStyle(nStyle);
        PumpPending();
        EXPECT_EQ(RowHeight(), nStyle == 0 ? 18 : 22) << "style " << nStyle;
    }
}

struct stEndingReply
{
    int32_t nCode;
    const wchar_t* pszBox;
    bool bRetry;
};

class DefragListViewEndingTest : public DefragListViewTest, public ::testing::WithParamInterface<stEndingReply>
{
};

// A service that said it goes away may come back; one that refused the program stays refused.
TEST_P(DefragListViewEndingTest, ReplyEndsTheConnectionWithOneBox)
{
    const stEndingReply& c = GetParam();
    DeliverList({Figures(MakeEntry(1, L"C:\\"))});
    stBoxCloser closer;
    Deliver(prototest::BuildMessage(c.nCode, nullptr));
    ASSERT_TRUE(PumpUntil([this] { return !m_pView->IsConnected(); }, WaitMs));
    PumpPending();
    ASSERT_EQ(closer.texts.size(), 1u);
    EXPECT_NE(closer.texts[0].find(c.pszBox), std::wstring::npos) << closer.texts[0];
    EXPECT_EQ(RowCount(), 0);
    EXPECT_EQ(m_pView->Connection().IsRetryTimerRunning(), c.bRetry);
}

INSTANTIATE_TEST_SUITE_P(Replies, DefragListViewEndingTest,
                         ::testing::Values(stEndingReply{CMD_DISCONNECT, L"The qov Defrag service has disconnected this computer.", true},
                                           stEndingReply{RESPONSE_TOO_MANY_CLIENTS, L"The Server has already a connection.", false},
                                           stEndingReply{RESPONSE_INCOMPATIBLE, L"Remote component incompatible.", false}));

TEST_F(DefragListViewTest, MalformedReplyIsOneIncompatibleBoxAndNoRetry)
{
    DeliverList({Figures(MakeEntry(1, L"C:\\"))});
    stBoxCloser closer;
    // A list that claims more drives than any service reports, then a second message behind it.
    m_service.QueuePayload(prototest::CPayload().Header(RESPONSE_PARTITION_LIST).I32(256).Get());
    m_service.QueuePayload(prototest::BuildMessage(CMD_DISCONNECT, nullptr));
    m_pView->PostMessage(WM_SERVER_DATA);
    ASSERT_TRUE(PumpUntil([this] { return !m_pView->IsConnected(); }, WaitMs));
    PumpPending();
    ASSERT_EQ(closer.texts.size(), 1u);
    EXPECT_NE(closer.texts[0].find(L"Remote component incompatible."), std::wstring::npos);
    EXPECT_FALSE(m_pView->Connection().IsRetryTimerRunning());
}

TEST_F(DefragListViewTest, PasswordDialogHidesTypingUntilUnticked)
{
    wchar_t chAtStart = 0;
    wchar_t chUnticked = 1;
    wchar_t chTickedAgain = 0;
    CModalWatch watch([&](HWND hDlg) {
        HWND hEdit = ::GetDlgItem(hDlg, IDC_PASSWORD_EDIT);
        HWND hBox = ::GetDlgItem(hDlg, IDC_PASSWORD_HIDE_TYPING);
        auto click = [&](UINT nCheck) {
            ::SendMessageW(hBox, BM_SETCHECK, nCheck, 0);
            ::SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_PASSWORD_HIDE_TYPING, BN_CLICKED),
                           reinterpret_cast<LPARAM>(hBox));
        };
        chAtStart = static_cast<wchar_t>(::SendMessageW(hEdit, EM_GETPASSWORDCHAR, 0, 0));
        click(BST_UNCHECKED);
        chUnticked = static_cast<wchar_t>(::SendMessageW(hEdit, EM_GETPASSWORDCHAR, 0, 0));
        click(BST_CHECKED);
        chTickedAgain = static_cast<wchar_t>(::SendMessageW(hEdit, EM_GETPASSWORDCHAR, 0, 0));
        ::SetWindowTextW(hEdit, L"pw");
        ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
    });
    Deliver(prototest::BuildMessage(RESPONSE_PASSWORD_REQUIRED, nullptr));
    ASSERT_TRUE(PumpUntil([this] { return Sent(CMD_PASSWORD); }, WaitMs));
    EXPECT_NE(chAtStart, 0);
    EXPECT_EQ(chUnticked, 0);
    EXPECT_EQ(chTickedAgain, chAtStart);
    EXPECT_TRUE(m_pView->IsConnected());
}

// The information windows: their commands ask for the selected drive, and the
// service's answers fill them, each window made once.
namespace
{
std::wstring ControlText(HWND hDlg, int nId)
{
    wchar_t szText[256] = {};
    ::GetDlgItemTextW(hDlg, nId, szText, 256);
    return szText;
}
} // namespace

TEST_F(DefragListViewTest, InformationCommandsAskForTheSelectedDriveAndTheAnswersFillTheirWindows)
{
    DeliverList({Figures(MakeEntry(4, L"S:\\"))});
    ASSERT_TRUE(m_pView->IsRowSelected(0));
    EXPECT_TRUE(CommandEnabled(ID_VIEW_DRIVE_INFO));
    EXPECT_TRUE(CommandEnabled(ID_VIEW_FRAGMENTED_FILES));
    EXPECT_TRUE(CommandEnabled(ID_VIEW_SERVICE_INFO));
    CInfoWindows& windows = m_pView->GetInfoWindows();

    m_pFrame->SendMessage(WM_COMMAND, ID_VIEW_DRIVE_INFO);
    EXPECT_TRUE(Sent(CMD_GET_PARTITION_INFO));
    ASSERT_NE(nullptr, windows.GetDriveInfo());
    HWND hDriveInfo = windows.GetDriveInfo()->m_hWnd;
    EXPECT_EQ(L"Searching...", ControlText(hDriveInfo, 226));
    CNetDefragPartitionInfo info;
    info.m_nVolumeIndex = 4;
    info.m_strDriveRoot = L"S:\\";
    info.m_strFileSystemName = L"NTFS";
    info.m_llTotalBytes = 64ll << 20;
    Deliver(prototest::BuildMessage(RESPONSE_PARTITION_INFO, &info));
    EXPECT_EQ(L"NTFS", ControlText(hDriveInfo, 219));
    EXPECT_EQ(L"64", ControlText(hDriveInfo, 238));

    m_pFrame->SendMessage(WM_COMMAND, ID_VIEW_FRAGMENTED_FILES);
    EXPECT_TRUE(Sent(CMD_GET_FRAG_FILES));
    CNetDefragPartitionFragFiles files;
    files.m_nVolumeIndex = 4;
    files.m_strDriveRoot = L"S:\\";
    files.AddFile(L"a.dat", 3);
    Deliver(prototest::BuildMessage(RESPONSE_FRAG_FILES, &files));
    ASSERT_NE(nullptr, windows.GetFragmentedFiles());
    EXPECT_EQ(L"1", ControlText(windows.GetFragmentedFiles()->m_hWnd, IDC_FRAG_COUNT));
    EXPECT_EQ(L"S:\\a.dat", windows.GetFragmentedFiles()->GetList().GetItemText(0, 1).Str());

    m_pFrame->SendMessage(WM_COMMAND, ID_VIEW_SERVICE_INFO);
    EXPECT_TRUE(Sent(CMD_GET_SERVICE_INFO));
    CNetDefragVersionInfo version;
    version.m_strVersionText = L"1.0.0.0";
    Deliver(prototest::BuildMessage(RESPONSE_SERVICE_INFO, &version));
    ASSERT_NE(nullptr, windows.GetServiceInfo());
    EXPECT_EQ(L"1.0.0.0", ControlText(windows.GetServiceInfo()->m_hWnd, IDC_CLIENT_VERSION));

    CNetDefragPartitionClusterExplorerResponse answer;
    answer.m_nVolumeIndex = 4;
    answer.m_strDriveRoot = L"S:\\";
    answer.m_llFirstCluster = 0;
    answer.m_llLastCluster = 63;
    answer.AddFile(L"a.dat", 0, 31, 8);
    Deliver(prototest::BuildMessage(RESPONSE_CLUSTEREXPLORER, &answer));
    ASSERT_NE(nullptr, windows.GetClusterExplorer());
    EXPECT_EQ(2, windows.GetClusterExplorer()->GetList().GetItemCount());

    // Asked again, the same window comes back.
    m_pFrame->SendMessage(WM_COMMAND, ID_VIEW_DRIVE_INFO);
    EXPECT_EQ(hDriveInfo, windows.GetDriveInfo()->m_hWnd);
    EXPECT_EQ(L"Searching...", ControlText(hDriveInfo, 226));
    SaveWindowPicture(windows.GetFragmentedFiles()->m_hWnd, L"info\\fragmented");
}

TEST_F(DefragListViewTest, KeysSelectAllOnlyWithCtrlAndLeaveStopToTheAccelerator)
{
    DeliverList({MakeEntry(1, L"C:\\", 4, 10), MakeEntry(2, L"D:\\", 4, 10), MakeEntry(3, L"E:\\", 4, 10)});
    ASSERT_EQ(RowCount(), 3);
    auto setCtrl = [](bool bDown) {
        BYTE abKeys[256] = {};
        ::GetKeyboardState(abKeys);
        abKeys[VK_CONTROL] = bDown ? 0x80 : 0;
        ::SetKeyboardState(abKeys);
    };
    auto selectedRows = [this] {
        int nSelected = 0;
        for (int nRow = 0; nRow < RowCount(); ++nRow)
            nSelected += m_pView->IsRowSelected(nRow) ? 1 : 0;
        return nSelected;
    };
    setCtrl(false);
    m_pView->SendMessage(WM_KEYUP, 'A', 0xC01E0001);
    EXPECT_EQ(selectedRows(), 1);
    setCtrl(true);
    m_pView->SendMessage(WM_KEYUP, 'A', 0xC01E0001);
    EXPECT_EQ(selectedRows(), 3);
    // Ctrl+Break ran Stop through the accelerator already; its key-up sends nothing more.
    m_service.sentCommands.clear();
    m_pView->SendMessage(WM_KEYUP, VK_CANCEL, 0xC1460001);
    setCtrl(false);
    EXPECT_TRUE(m_service.sentCommands.empty());
    m_pFrame->SendMessage(WM_COMMAND, ID_DEFRAG_STOP);
    EXPECT_EQ(m_service.sentCommands, (std::vector<int32_t>{CMD_STOP, CMD_STOP, CMD_STOP}));
    EXPECT_EQ(Cell(2, 1), L"Stop [wait]");
}

TEST_F(DefragListViewTest, SetPasswordSendsTheDigestOfTheTypedText)
{
    EXPECT_TRUE(CommandEnabled(ID_FILE_SET_PASSWORD));
    CModalWatch watch([](HWND hDlg) {
        ::SetDlgItemTextW(hDlg, IDC_PASSWORD_EDIT, L"pw");
        ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
    });
    m_service.sentCommands.clear();
    m_pFrame->SendMessage(WM_COMMAND, ID_FILE_SET_PASSWORD);
    EXPECT_EQ(m_service.sentCommands, std::vector<int32_t>{CMD_SET_PASSWORD});
    EXPECT_EQ(m_pView->GetPassword().Str(), L"pw");
}

TEST_F(DefragListViewTest, RightClickedRowAloneIsTheTargetUntilTheMenuIsDone)
{
    DeliverList({Figures(MakeEntry(1, L"C:\\")), Figures(MakeEntry(2, L"D:\\"))});
    ASSERT_TRUE(m_pView->IsRowSelected(0));
    // The drive under the pointer, not the selected one, as after a right click on it.
    m_pView->SelectRowByDrive(2);
    m_pFrame->SendMessage(WM_COMMAND, ID_DEFRAG_ANALYZE);
    EXPECT_EQ(Cell(0, 1), L"");
    EXPECT_EQ(Cell(1, 1), L"Analyzing [wait]");
    // An id that matches no row keeps the row; the end of the menu forgets it.
    m_pView->SelectRowByDrive(2);
    m_pView->SelectRowByDrive(7);
    m_pView->SendMessage(WM_CONTEXTMENU_DONE);
    m_pFrame->SendMessage(WM_COMMAND, ID_DEFRAG_MONITOR);
    EXPECT_EQ(Cell(0, 1), L"Monitoring [wait]");
}

TEST_F(DefragListViewTest, ContextMenuActsOnTheRowUnderThePointer)
{
    DeliverList({Figures(MakeEntry(1, L"C:\\")), Figures(MakeEntry(2, L"D:\\"))});
    RECT rcRow = {};
    rcRow.left = LVIR_BOUNDS;
    ASSERT_TRUE(m_pView->SendMessage(LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&rcRow)));
    POINT pt = {rcRow.left + 20, (rcRow.top + rcRow.bottom) / 2};
    m_pView->ClientToScreen(&pt);
    // The menu is closed as soon as it runs; the choice a user makes comes as a command after it.
    static bool s_bMenuSeen = false;
    s_bMenuSeen = false;
    UINT_PTR nTimer = ::SetTimer(NULL, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
        s_bMenuSeen = true;
        ::EndMenu();
    });
    m_pView->SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_pView->m_hWnd), MAKELPARAM(pt.x, pt.y));
    ::KillTimer(NULL, nTimer);
    EXPECT_TRUE(s_bMenuSeen);
    m_pFrame->SendMessage(WM_COMMAND, ID_DEFRAG_ANALYZE);
    EXPECT_EQ(Cell(0, 1), L"");
    EXPECT_EQ(Cell(1, 1), L"Analyzing [wait]");
}

TEST_F(DefragListViewTest, SplashShowsOverTheFrameAndGoesByItself)
{
    auto splash = [] { return ::FindWindowW(L"SplashWndClass", nullptr); };
    m_pView->ShowSplash(CString(L"Version"), CString(L"Connected"));
    HWND hSplash = splash();
    ASSERT_NE(hSplash, HWND(NULL));
    EXPECT_TRUE(::IsWindowVisible(hSplash));
    RECT rc = {};
    ::GetWindowRect(hSplash, &rc);
    EXPECT_GT(rc.right - rc.left, 300) << "the bitmap gives the size";
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hSplash) || !::IsWindowVisible(hSplash); }, WaitMs));
}

TEST_F(DefragListViewTest, ColumnClickSortsTheRowsAndASecondClickTurnsTheOrder)
{
    DeliverList({MakeEntry(1, L"C:\\", 4, 50), MakeEntry(2, L"D:\\", 4, 10), MakeEntry(3, L"E:\\", 4, 30)});
    auto clickColumn = [this](int nColumn) {
        NMLISTVIEW stClick = {};
        stClick.hdr.hwndFrom = m_pView->m_hWnd;
        stClick.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(m_pView->m_hWnd));
        stClick.hdr.code = LVN_COLUMNCLICK;
        stClick.iItem = -1;
        stClick.iSubItem = nColumn;
        ::SendMessageW(::GetParent(m_pView->m_hWnd), WM_NOTIFY, stClick.hdr.idFrom, reinterpret_cast<LPARAM>(&stClick));
    };
    auto drives = [this] { return Cell(0, 0) + Cell(1, 0) + Cell(2, 0); };
    clickColumn(2);
    EXPECT_EQ(drives(), L"D:\\E:\\C:\\");
    clickColumn(2);
    EXPECT_EQ(drives(), L"C:\\E:\\D:\\");
    // A new list keeps the order chosen.
    DeliverList({MakeEntry(1, L"C:\\", 4, 5), MakeEntry(2, L"D:\\", 4, 90)});
    EXPECT_EQ(Cell(0, 0) + Cell(1, 0), L"D:\\C:\\");
}

TEST_F(DefragListViewTest, DisconnectEmptiesTheListAndTheFlagsAreKeptAtTheEnd)
{
    DeliverList({Figures(MakeEntry(1, L"C:\\"))});
    EXPECT_TRUE(CommandEnabled(ID_FILE_DISCONNECT));
    m_pFrame->SendMessage(WM_COMMAND, ID_FILE_DISCONNECT);
    EXPECT_FALSE(m_pView->IsConnected());
    EXPECT_EQ(RowCount(), 0);
    EXPECT_FALSE(CommandEnabled(ID_FILE_DISCONNECT));

    ::DestroyWindow(m_hFrame);
    PumpPending();
    DWORD dwValue = 7;
    DWORD cbValue = sizeof(dwValue);
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, FrameSettingsKey, L"ShowSplashScreen", RRF_RT_REG_DWORD, nullptr,
                             &dwValue, &cbValue),
              ERROR_SUCCESS);
    EXPECT_EQ(dwValue, 0u);
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, FrameSettingsKey, L"ShowClusterView", RRF_RT_REG_DWORD, nullptr,
                             &dwValue, &cbValue),
              ERROR_SUCCESS);
    EXPECT_EQ(dwValue, 1u);
}

// Exit from the tray while a box of the reply handling is up: the frame goes once
// the box is ended, never from under the box's modal loop.
TEST_F(DefragListViewTest, ExitWhileABoxIsOpenEndsTheBoxThenTheProgram)
{
    DeliverList({Figures(MakeEntry(1, L"C:\\"))});
    int nSeen = 0;
    CModalWatch watch([&](HWND) {
        if (nSeen++ == 0)
            m_pFrame->PostMessage(WM_COMMAND, ID_APP_EXIT);
    });
    Deliver(prototest::BuildMessage(CMD_DISCONNECT, nullptr));
    EXPECT_TRUE(PumpUntil([this] { return !::IsWindow(m_hFrame); }, WaitMs));
    EXPECT_GE(nSeen, 1);
}
