// The cluster explorer, fragmented files, drive and service information
// windows as real dialogs: filled from the service's answers, made once and
// reused, and what their buttons ask of the view.
#include "gui/ClientInfo.h"
#include "gui/ConnectionController.h"
#include "gui/ClusterExplorer.h"
#include "gui/DefragListView.h"
#include "gui/DriveInfo.h"
#include "gui/FragmentedFilesDlg.h"
#include "gui/InfoWindows.h"
#include "gui/Resource.h"

#include "gui/BitmapDC.h"
#include "classlib/FrameWnd.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"
#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPacketHeader.h"
#include "protocol/NetDefragString.h"
#include "protocol/NetDefragVersionInfo.h"
#include "tests/transport/TransportTestSupport.h"

#include "GuiTestSupport.h"
#include "ServiceRequests.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace
{
// The view with the map in use, noting what it is asked to mark and show.
class CInfoTestView : public CDefragListView
{
public:
    using CDefragListView::Connection;
    bool IsClusterPaneInUse() const override { return true; }
    void ExploreMapSelection(int64_t llCluster) override { m_explored.push_back(llCluster); }

    std::vector<int64_t> m_explored;
};

std::wstring ItemText(HWND hWnd, int nId)
{
    wchar_t szText[256] = {};
    ::GetDlgItemTextW(hWnd, nId, szText, 256);
    return szText;
}

std::vector<std::wstring> ListRows(CListCtrlEx& list)
{
    std::vector<std::wstring> rows;
    LVCOLUMNW stColumn = {};
    stColumn.mask = LVCF_WIDTH;
    int nColumns = 0;
    while (list.GetColumn(nColumns, &stColumn))
        ++nColumns;
    for (int nRow = 0; nRow < list.GetItemCount(); ++nRow)
    {
        std::wstring strRow;
        for (int nColumn = 0; nColumn < nColumns; ++nColumn)
            strRow += (nColumn > 0 ? L"|" : L"") + list.GetItemText(nRow, nColumn).Str();
        rows.push_back(strRow);
    }
    return rows;
}

void SelectRow(CListCtrlEx& list, int nRow)
{
    list.SetItemState(nRow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    // What a click on the row tells the dialog.
    NMITEMACTIVATE stClick = {};
    stClick.hdr.hwndFrom = list.m_hWnd;
    stClick.hdr.idFrom = IDC_INFO_LIST;
    stClick.hdr.code = NM_CLICK;
    stClick.iItem = nRow;
    ::SendMessageW(::GetParent(list.m_hWnd), WM_NOTIFY, IDC_INFO_LIST, reinterpret_cast<LPARAM>(&stClick));
}

bool IsEnabled(HWND hDlg, int nId)
{
    return ::IsWindowEnabled(::GetDlgItem(hDlg, nId)) != FALSE;
}

// Each run from its cluster to the next run's, of kind 4, to the view.
void AnswerExplorer(CDefragListView& view, int64_t llFirst, int64_t llLast,
                    const std::vector<std::pair<const wchar_t*, int64_t>>& runs)
{
    CNetDefragPartitionClusterExplorerResponse answer;
    answer.m_nVolumeIndex = 7;
    answer.m_strDriveRoot = L"S:\\";
    answer.m_llFirstCluster = llFirst;
    answer.m_llLastCluster = llLast;
    for (size_t i = 0; i < runs.size(); ++i)
    {
        int64_t llEnd = i + 1 < runs.size() ? runs[i + 1].second - 1 : runs[i].second + 9;
        answer.AddFile(runs[i].first, runs[i].second, llEnd, 4);
    }
    view.OnClusterExplorer(answer);
}

// Two files of the drive, the most fragmented first, to the view.
void AnswerFragmentedFiles(CDefragListView& view, int32_t nDriveId, const wchar_t* pszRoot)
{
    CNetDefragPartitionFragFiles answer;
    answer.m_nVolumeIndex = nDriveId;
    answer.m_strDriveRoot = pszRoot;
    answer.AddFile(L"big.dat", 40);
    answer.AddFile(L"dir\\small.txt", 2);
    view.OnFragmentedFiles(answer);
}

class InfoWindowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CFrameWnd;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Information", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(40, 40, 640, 440)));
        m_pView = new CInfoTestView;
        ASSERT_TRUE(m_pView->Create(nullptr, L"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 400, 200), m_pFrame,
                                    AFX_IDW_PANE_FIRST));
        m_pFrame->RecalcLayout();
    }
    void TearDown() override
    {
        if (m_pFrame != nullptr)
            m_pFrame->DestroyWindow();
        PumpPending();
    }

    CInfoWindows& Windows() { return m_pView->GetInfoWindows(); }

    CFrameWnd* m_pFrame = nullptr;
    CInfoTestView* m_pView = nullptr;
};
} // namespace

TEST_F(InfoWindowsTest, TheExplorerListsTheAnsweredRunsAndIsMadeOnce)
{
    m_pView->OpenClusterExplorer();
    CClusterExplorer* pExplorer = Windows().GetClusterExplorer();
    ASSERT_NE(nullptr, pExplorer);
    HWND hExplorer = pExplorer->m_hWnd;
    EXPECT_TRUE(::IsWindowVisible(hExplorer));
    EXPECT_EQ(L"Searching...", ItemText(hExplorer, IDC_INFO_DRIVE));
    EXPECT_EQ(L"", ItemText(hExplorer, IDC_EXPLORER_START));

    AnswerExplorer(*m_pView, 100, 199, {{L"a.txt", 100}, {L"a.txt", 120}, {L"b", 150}});
    EXPECT_EQ(std::vector<std::wstring>({L"100|149|S:\\a.txt", L"150|159|S:\\b", L"160|199| "}),
              ListRows(pExplorer->GetList()));
    EXPECT_EQ(L"S:\\", ItemText(hExplorer, IDC_INFO_DRIVE));
    EXPECT_EQ(L"100", ItemText(hExplorer, IDC_EXPLORER_START));
    EXPECT_EQ(L"199", ItemText(hExplorer, IDC_EXPLORER_END));
    EXPECT_EQ(L"100", ItemText(hExplorer, IDC_EXPLORER_CLUSTER));
    EXPECT_FALSE(pExplorer->IsClusterEdited());
    EXPECT_EQ(12, ImageList_GetImageCount(pExplorer->GetList().GetImageList(LVSIL_SMALL)));

    // OK hides it and clears the map's marks; the next answer shows the same window again.
    ::SendMessageW(hExplorer, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindowVisible(hExplorer));
    EXPECT_EQ(std::vector<int64_t>{-1}, m_pView->m_explored);
    AnswerExplorer(*m_pView, 200, 299, {});
    EXPECT_EQ(pExplorer, Windows().GetClusterExplorer());
    EXPECT_EQ(hExplorer, pExplorer->m_hWnd);
    EXPECT_TRUE(::IsWindowVisible(hExplorer));
    EXPECT_EQ(std::vector<std::wstring>{L"200|299| "}, ListRows(pExplorer->GetList()));
    // The edit follows each answer while the user has not typed in it.
    EXPECT_EQ(L"200", ItemText(hExplorer, IDC_EXPLORER_CLUSTER));
}

TEST_F(InfoWindowsTest, TheExplorerKeepsWhatTheUserTypesAndAFirstNamelessRunIsARow)
{
    AnswerExplorer(*m_pView, 100, 199, {{L"a", 100}});
    CClusterExplorer* pExplorer = Windows().GetClusterExplorer();
    ASSERT_NE(nullptr, pExplorer);
    ::SetDlgItemTextW(pExplorer->m_hWnd, IDC_EXPLORER_CLUSTER, L"4711");
    EXPECT_TRUE(pExplorer->IsClusterEdited());
    AnswerExplorer(*m_pView, 300, 399, {{L"", 300}, {L"", 320}});
    EXPECT_EQ(L"4711", ItemText(pExplorer->m_hWnd, IDC_EXPLORER_CLUSTER));
    EXPECT_EQ(std::vector<std::wstring>({L"300|329|", L"330|399| "}), ListRows(pExplorer->GetList()));

    // Refresh asks the map for the block of the typed cluster.
    ::SendMessageW(pExplorer->m_hWnd, WM_COMMAND, MAKEWPARAM(ID_EXPLORER_REFRESH, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(pExplorer->m_hWnd, ID_EXPLORER_REFRESH)));
    EXPECT_EQ(std::vector<int64_t>{4711}, m_pView->m_explored);
}

TEST_F(InfoWindowsTest, TheSpinPagesByTheShownRangeAndReturnsToTheMiddle)
{
    AnswerExplorer(*m_pView, 100, 199, {});
    CClusterExplorer* pExplorer = Windows().GetClusterExplorer();
    ASSERT_NE(nullptr, pExplorer);
    HWND hSpin = ::GetDlgItem(pExplorer->m_hWnd, IDC_EXPLORER_SPIN);
    ASSERT_NE(HWND(NULL), hSpin);
    RECT rcSpin = {};
    ::GetClientRect(hSpin, &rcSpin);
    // A click on the upper arrow, then two on the lower one.
    auto click = [hSpin, &rcSpin](bool bUp) {
        LPARAM lPoint = MAKELPARAM(rcSpin.right / 2, bUp ? rcSpin.bottom / 4 : rcSpin.bottom * 3 / 4);
        ::SendMessageW(hSpin, WM_LBUTTONDOWN, MK_LBUTTON, lPoint);
        ::SendMessageW(hSpin, WM_LBUTTONUP, 0, lPoint);
    };
    const std::pair<bool, const wchar_t*> steps[] = {{true, L"200"}, {false, L"100"}, {false, L"0"}, {false, L"0"}};
    for (const auto& step : steps)
    {
        click(step.first);
        EXPECT_EQ(step.second, ItemText(pExplorer->m_hWnd, IDC_EXPLORER_CLUSTER));
        EXPECT_EQ(1, ::SendMessageW(hSpin, UDM_GETPOS32, 0, 0));
    }
    EXPECT_EQ(std::vector<int64_t>({200, 100, 0, 0}), m_pView->m_explored);
    EXPECT_FALSE(pExplorer->IsClusterEdited());
}

TEST_F(InfoWindowsTest, ShowAsksForTheSelectedFileOnlyAndSortingReversesTheOrder)
{
    AnswerExplorer(*m_pView, 100, 199, {{L"a", 100}, {L"b", 150}});
    CClusterExplorer* pExplorer = Windows().GetClusterExplorer();
    ASSERT_NE(nullptr, pExplorer);
    HWND hExplorer = pExplorer->m_hWnd;
    CListCtrlEx& list = pExplorer->GetList();
    EXPECT_FALSE(IsEnabled(hExplorer, ID_INFO_SHOW));
    SelectRow(list, 1);
    EXPECT_TRUE(IsEnabled(hExplorer, ID_INFO_SHOW));
    ASSERT_NE(nullptr, pExplorer->GetSelectedRow());
    EXPECT_EQ(L"b", pExplorer->GetSelectedRow()->strName.Str());

    // Sorting by Start twice puts the free end row first.
    HWND hHeader = ListView_GetHeader(list.m_hWnd);
    NMLISTVIEW stClick = {};
    stClick.hdr.hwndFrom = list.m_hWnd;
    stClick.hdr.idFrom = IDC_INFO_LIST;
    stClick.hdr.code = LVN_COLUMNCLICK;
    stClick.iItem = -1;
    stClick.iSubItem = 0;
    ASSERT_NE(HWND(NULL), hHeader);
    for (int i = 0; i < 2; ++i)
        ::SendMessageW(hExplorer, WM_NOTIFY, IDC_INFO_LIST, reinterpret_cast<LPARAM>(&stClick));
    EXPECT_EQ(std::vector<std::wstring>({L"160|199| ", L"150|159|S:\\b", L"100|149|S:\\a"}), ListRows(list));

    // The free row has nothing to show.
    SelectRow(list, 0);
    EXPECT_FALSE(IsEnabled(hExplorer, ID_INFO_SHOW));
}

TEST_F(InfoWindowsTest, ShowSendsTheSelectedFileOfTheAnsweredDrive)
{
    std::unique_ptr<CTestEndpoint> pServer(new CTestEndpoint);
    std::wstring strPipe = MakePipeName(L"info");
    ASSERT_TRUE(pServer->StartServer(strPipe.c_str()));
    m_pView->Connection().SetPipeName(strPipe.c_str());
    ASSERT_TRUE(m_pView->ConnectToComputer(L"My Computer", L"0", L"0", true));
    CNetDefragString file;
    ASSERT_EQ(CMD_GET_VERSION_INFO, ReceiveCommand(*pServer, CMD_SHOW_FILE, &file));

    AnswerFragmentedFiles(*m_pView, 5, L"S:\\");
    CFragmentedFilesDlg* pDlg = Windows().GetFragmentedFiles();
    ASSERT_NE(nullptr, pDlg);
    SelectRow(pDlg->GetList(), 1);
    ASSERT_TRUE(IsEnabled(pDlg->m_hWnd, ID_INFO_SHOW));
    ::SendMessageW(pDlg->m_hWnd, WM_COMMAND, MAKEWPARAM(ID_INFO_SHOW, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(pDlg->m_hWnd, ID_INFO_SHOW)));
    ASSERT_EQ(CMD_SHOW_FILE, ReceiveCommand(*pServer, CMD_SHOW_FILE, &file));
    EXPECT_EQ(5, file.m_nVolumeIndex);
    // The name as the service sent it, without the drive.
    EXPECT_EQ(std::wstring(L"dir\\small.txt"), std::wstring(file.m_strFileName.GetBuffer(), file.m_strFileName.GetLength()));
    m_pView->Disconnect();
}

TEST_F(InfoWindowsTest, TheFragmentedFilesListFillsAndCountsItsRows)
{
    // Not connected: the request fails, the window still waits for it.
    EXPECT_FALSE(m_pView->OpenFragmentedFiles(3));
    CFragmentedFilesDlg* pDlg = Windows().GetFragmentedFiles();
    ASSERT_NE(nullptr, pDlg);
    HWND hDlg = pDlg->m_hWnd;
    EXPECT_EQ(L"Searching...", ItemText(hDlg, IDC_INFO_DRIVE));
    EXPECT_EQ(L"0", ItemText(hDlg, IDC_FRAG_COUNT));
    EXPECT_EQ(L"Drive", ItemText(hDlg, IDC_FRAG_DRIVE_LABEL));
    EXPECT_EQ(L"Files", ItemText(hDlg, IDC_FRAG_FILES_LABEL));

    AnswerFragmentedFiles(*m_pView, 3, L"T:\\");
    EXPECT_EQ(hDlg, Windows().GetFragmentedFiles()->m_hWnd);
    EXPECT_EQ(std::vector<std::wstring>({L"40|T:\\big.dat", L"2|T:\\dir\\small.txt"}), ListRows(pDlg->GetList()));
    EXPECT_EQ(L"T:\\", ItemText(hDlg, IDC_INFO_DRIVE));
    EXPECT_EQ(L"2", ItemText(hDlg, IDC_FRAG_COUNT));
    EXPECT_EQ(3, pDlg->GetDriveId());

    // An answer without files empties the list.
    CNetDefragPartitionFragFiles empty;
    m_pView->OnFragmentedFiles(empty);
    EXPECT_EQ(0, pDlg->GetList().GetItemCount());
    EXPECT_EQ(L"0", ItemText(hDlg, IDC_FRAG_COUNT));

    m_pView->ResetWindows();
    EXPECT_FALSE(::IsWindowVisible(hDlg));
}

TEST_F(InfoWindowsTest, DriveAndServiceInformationShowTheirAnswers)
{
    m_pView->OpenDriveInfo(1);
    m_pView->OpenServiceInfo();
    CDriveInfo* pDriveInfo = Windows().GetDriveInfo();
    CClientInfo* pServiceInfo = Windows().GetServiceInfo();
    ASSERT_NE(nullptr, pDriveInfo);
    ASSERT_NE(nullptr, pServiceInfo);
    EXPECT_EQ(L"Searching...", ItemText(pDriveInfo->m_hWnd, 226));
    EXPECT_EQ(L"0", ItemText(pDriveInfo->m_hWnd, 238));
    EXPECT_EQ(L"Searching...", ItemText(pServiceInfo->m_hWnd, IDC_CLIENT_VERSION));
    const struct
    {
        int nId;
        const wchar_t* pszLabel;
    } aLabels[] = {
        {225, L"Drive"},          {235, L"Name"},        {218, L"Filesystem"},   {222, L"GUID"},
        {237, L"Size (MB)"},      {220, L"Free (MB)"},   {214, L"Bytes/Cluster"}, {216, L"Cluster"},
        {244, L"Free Cluster"},   {233, L"MFT Size (MB)"}, {227, L"MFT Cluster"}, {231, L"MFT res. Start"},
        {229, L"MFT res. End"},
    };
    for (const auto& stLabel : aLabels)
        EXPECT_EQ(stLabel.pszLabel, ItemText(pDriveInfo->m_hWnd, stLabel.nId)) << stLabel.nId;

    CNetDefragPartitionInfo info;
    info.m_strDriveRoot = L"S:\\";
    info.m_strFileSystemName = L"NTFS";
    info.m_llTotalBytes = 64LL << 20;
    info.m_llFreeBytes = 1048575;
    info.m_llMftZoneEnd = -1;
    m_pView->OnPartitionInfo(info);
    EXPECT_EQ(L"S:\\", ItemText(pDriveInfo->m_hWnd, 226));
    EXPECT_EQ(L"NTFS", ItemText(pDriveInfo->m_hWnd, 219));
    EXPECT_EQ(L"64", ItemText(pDriveInfo->m_hWnd, 238));
    EXPECT_EQ(L"0", ItemText(pDriveInfo->m_hWnd, 221));
    EXPECT_EQ(L" ", ItemText(pDriveInfo->m_hWnd, 230));

    CNetDefragVersionInfo version;
    version.m_strVersionText = L"1.0.0.0";
    HWND hServiceInfo = pServiceInfo->m_hWnd;
    ::SendMessageW(hServiceInfo, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindowVisible(hServiceInfo));
    m_pView->OnServiceInfo(version);
    EXPECT_EQ(hServiceInfo, Windows().GetServiceInfo()->m_hWnd);
    EXPECT_TRUE(::IsWindowVisible(hServiceInfo));
    EXPECT_EQ(L"1.0.0.0", ItemText(hServiceInfo, IDC_CLIENT_VERSION));
    // An answer without a text shows none rather than a stale one.
    m_pView->OnServiceInfo(CNetDefragVersionInfo());
    EXPECT_EQ(L"", ItemText(hServiceInfo, IDC_CLIENT_VERSION));
}

TEST_F(InfoWindowsTest, TheDrivePictureLetsTheBackgroundThroughItsTransparentColour)
{
    m_pView->OnPartitionInfo(CNetDefragPartitionInfo());
    CDriveInfo* pDriveInfo = Windows().GetDriveInfo();
    ASSERT_NE(nullptr, pDriveInfo);
    RECT rcPlace = WindowRectIn(::GetDlgItem(pDriveInfo->m_hWnd, IDC_DRIVE_INFO_PICTURE), pDriveInfo->m_hWnd);

    CBitmap picture;
    ASSERT_TRUE(picture.LoadBitmap(IDB_DRIVE_INFO));
    BITMAP stBitmap = {};
    ASSERT_NE(0, picture.GetBitmap(&stBitmap));
    CDC dcPicture;
    ASSERT_TRUE(dcPicture.CreateCompatibleDC(nullptr));
    dcPicture.SelectObject(&picture);

    const COLORREF crBackground = RGB(10, 200, 30);
    RECT rcClient = {};
    pDriveInfo->GetClientRect(&rcClient);
    CBitmapDC dc(rcClient.right, rcClient.bottom, pDriveInfo, crBackground);
    ASSERT_TRUE(dc.IsValid());
    // Painted twice, as every WM_PAINT does: the mask is made once and kept.
    pDriveInfo->DrawPicture(dc);
    pDriveInfo->DrawPicture(dc);
    int nTransparent = 0;
    int nDrawn = 0;
    for (int y = 0; y < stBitmap.bmHeight; ++y)
    {
        for (int x = 0; x < stBitmap.bmWidth; ++x)
        {
            COLORREF crSource = dcPicture.GetPixel(x, y);
            COLORREF crShown = dc.GetPixel(rcPlace.left + x, rcPlace.top + y);
            if (crSource == CDriveInfo::TransparentColor)
            {
                ++nTransparent;
                ASSERT_EQ(crBackground, crShown) << x << "," << y;
            }
            else
            {
                ++nDrawn;
                ASSERT_EQ(crSource, crShown) << x << "," << y;
            }
        }
    }
    // The picture has both kinds of pixel, so both rules were tried.
    EXPECT_GT(nTransparent, 0);
    EXPECT_GT(nDrawn, 0);
    ::RedrawWindow(pDriveInfo->m_hWnd, nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpPending();
    SaveWindowPicture(pDriveInfo->m_hWnd, L"info\\driveinfo");
}
