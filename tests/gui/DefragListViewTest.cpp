// The drive list view in the program's main frame, its service played by a
// scripted transport: the rows the replies make, the drive commands, the row
// heights of the looks, and the boxes and the password dialog the replies open.
#include "gui/ConnectionController.h"
#include "gui/DefragListView.h"
#include "gui/DriveRows.h"
#include "gui/MainFrame.h"
#include "gui/MainFrameLayout.h"
#include "gui/Resource.h"

#include "classlib/CmdUI.h"
#include "classlib/WinApp.h"
#include "protocol/NetDefragCommand.h"

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

TEST_F(DefragListViewTest, ServiceThatDisconnectsIsToldOnceAndTriedAgain)
{
    DeliverList({Figures(MakeEntry(1, L"C:\\"))});
    stBoxCloser closer;
    Deliver(prototest::BuildMessage(CMD_DISCONNECT, nullptr));
    ASSERT_TRUE(PumpUntil([this] { return !m_pView->IsConnected(); }, WaitMs));
    ASSERT_EQ(closer.texts.size(), 1u);
    EXPECT_NE(closer.texts[0].find(L"The qov Defrag service has disconnected this computer."), std::wstring::npos);
    EXPECT_EQ(RowCount(), 0);
    EXPECT_TRUE(m_pView->Connection().IsRetryTimerRunning());
}

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
