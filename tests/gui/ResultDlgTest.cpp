#include "gui/DefragListView.h"
#include "gui/DlgAnalyzeFinish.h"
#include "gui/DlgDefragFinish.h"
#include "gui/Resource.h"
#include "gui/ResourceText.h"

#include "classlib/WinApp.h"
#include "protocol/NetDefragPartitionListEntry.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
const wchar_t* const WindowKey = L"Software\\Varnefold\\Window";

CNetDefragPartitionListEntry Entry(const wchar_t* pszRoot, const wchar_t* pszGuid, int32_t nFragmented,
                                   int32_t nPercent)
{
    CNetDefragPartitionListEntry entry;
    entry.m_strDriveRoot = CUnicodeString(pszRoot);
    entry.m_strVolumeGuidPath = CUnicodeString(pszGuid);
    entry.m_strVolumeLabel = CUnicodeString(L"Data");
    entry.m_strFileSystemName = CUnicodeString(L"NTFS");
    entry.m_nFilesWithClusters = 300;
    entry.m_nFragmentedEntries = nFragmented;
    entry.m_nFragmentationPercent = nPercent;
    entry.m_llTotalBytes = 1000;
    entry.m_llFreeBytes = 500;
    return entry;
}

class ResultDlgTest : public ::testing::Test
{
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, WindowKey); }
    void TearDown() override
    {
        PumpPending();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, WindowKey);
    }
    static CString Text(CDlgResultBase& dlg, int nPage, int k)
    {
        return dlg.GetTabs().GetItemText(CDlgResultBase::ControlId(nPage, k));
    }

    CWinApp m_app;
};

TEST_F(ResultDlgTest, EachDriveGetsOneTabThatALaterResultUpdatesInPlace)
{
    int nTurnedOff = 0;
    auto* pDlg = new CDlgAnalyzeFinish(nullptr, [&nTurnedOff] { ++nTurnedOff; });
    pDlg->SetAutoDelete(true);
    ASSERT_TRUE(pDlg->CreateModeless(nullptr));
    pDlg->Fill(Entry(L"S:\\", L"\\\\?\\Volume{1}\\", 20, 4));
    pDlg->Fill(Entry(L"T:\\", L"\\\\?\\Volume{2}\\", 3, 1));
    ASSERT_EQ(pDlg->GetTabs().GetItemCount(), 2);
    EXPECT_EQ(pDlg->GetTabs().GetActivePage(), 1);
    EXPECT_EQ(Text(*pDlg, 0, 8), ResourceText(IDS_MINIMAL_FRAGMENTATION));
    EXPECT_EQ(Text(*pDlg, 0, 12), CString(L"300"));
    EXPECT_EQ(Text(*pDlg, 0, 13), CString(L"20"));
    EXPECT_EQ(Text(*pDlg, 0, 11), CString(L"NTFS"));

    CNetDefragPartitionListEntry again = Entry(L"S:\\", L"\\\\?\\Volume{1}\\", 21, 4);
    again.m_llFreeBytes = 90;
    pDlg->Fill(again);
    EXPECT_EQ(pDlg->GetTabs().GetItemCount(), 2);
    EXPECT_EQ(pDlg->GetTabs().GetActivePage(), 0);
    EXPECT_EQ(Text(*pDlg, 0, 13), CString(L"21"));
    EXPECT_EQ(Text(*pDlg, 0, 8), ResourceText(IDS_RECOMMEND_DEFRAG) + L" " + ResourceText(IDS_FREE_SPACE_FIRST));
    EXPECT_EQ(pDlg->FindPage(CString(L"\\\\?\\Volume{2}\\")), 1);
    pDlg->ShowWindow(SW_SHOW);
    pDlg->UpdateWindow();
    PumpPending();
    SaveWindowPicture(pDlg->m_hWnd, L"result-dialogs\\analysis");

    // Closed without the tick it only hides.
    pDlg->SendMessage(WM_COMMAND, IDOK);
    EXPECT_FALSE(pDlg->IsWindowVisible());
    EXPECT_EQ(nTurnedOff, 0);
    pDlg->DestroyWindow();
}

TEST_F(ResultDlgTest, ADriveOfUnknownSizeGetsTheAdviceWithoutTheFreeSpaceNote)
{
    CNetDefragPartitionListEntry entry = Entry(L"S:\\", L"g", 30, 9);
    entry.m_llTotalBytes = 0;
    entry.m_llFreeBytes = 0;
    EXPECT_EQ(CDlgAnalyzeFinish::RecommendationText(entry), ResourceText(IDS_RECOMMEND_DEFRAG));
}

TEST_F(ResultDlgTest, TheDefragmentationDialogShowsMovedAndDefragmentedFiles)
{
    auto* pDlg = new CDlgDefragFinish(nullptr, [] {});
    pDlg->SetAutoDelete(true);
    ASSERT_TRUE(pDlg->CreateModeless(nullptr));
    CNetDefragPartitionListEntry entry = Entry(L"S:\\", L"g", 0, 0);
    entry.m_nFilesMoved = 7;
    entry.m_nFilesDefragmented = 5;
    pDlg->Fill(entry);
    EXPECT_EQ(Text(*pDlg, 0, 13), CString(L"7"));
    EXPECT_EQ(Text(*pDlg, 0, 14), CString(L"5"));
    EXPECT_EQ(Text(*pDlg, 0, 8), ResourceText(IDS_RESULT_CONGRATULATIONS));
    pDlg->ShowWindow(SW_SHOW);
    pDlg->UpdateWindow();
    PumpPending();
    SaveWindowPicture(pDlg->m_hWnd, L"result-dialogs\\defragmentation");
    pDlg->DestroyWindow();
}

TEST_F(ResultDlgTest, TheListViewReusesOneDialogAndDoNotShowAgainTurnsItOff)
{
    CDefragListView view;
    view.OpenAnalysisResult(Entry(L"S:\\", L"g1", 1, 1));
    CDlgAnalyzeFinish* pFirst = view.GetAnalysisResult();
    ASSERT_NE(pFirst, nullptr);
    HWND hFirst = pFirst->m_hWnd;
    EXPECT_TRUE(pFirst->IsWindowVisible());
    pFirst->SendMessage(WM_COMMAND, IDOK);
    EXPECT_FALSE(pFirst->IsWindowVisible());

    view.OpenAnalysisResult(Entry(L"S:\\", L"g1", 2, 1));
    EXPECT_EQ(view.GetAnalysisResult(), pFirst);
    EXPECT_EQ(pFirst->m_hWnd, hFirst);
    EXPECT_TRUE(pFirst->IsWindowVisible());
    EXPECT_EQ(pFirst->GetTabs().GetItemCount(), 1);

    pFirst->CheckDlgButton(IDC_RESULT_DO_NOT_SHOW_AGAIN, BST_CHECKED);
    pFirst->SendMessage(WM_COMMAND, IDOK);
    EXPECT_FALSE(view.GetViewFlags().bShowAnalyzeFinish);
    EXPECT_TRUE(view.GetViewFlags().bShowDefragFinish);
    DWORD dwValue = 1;
    DWORD dwSize = sizeof(dwValue);
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, WindowKey, L"ShowAnalyzeFinish", RRF_RT_REG_DWORD, nullptr, &dwValue,
                             &dwSize),
              ERROR_SUCCESS);
    EXPECT_EQ(dwValue, 0u);
    pFirst->DestroyWindow();
}
} // namespace
