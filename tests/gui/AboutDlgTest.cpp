#include "gui/AboutDlg.h"
#include "gui/Resource.h"

#include "classlib/WinApp.h"

#include "GuiTestSupport.h"
#include "TestProgramFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// Notes what the box showed and closes it once it is up.
class CObservedAboutDlg : public CAboutDlg
{
public:
    BOOL OnInitDialog() override
    {
        m_bInit = CAboutDlg::OnInitDialog();
        CString str;
        GetWindowText(str);
        m_strCaption = str.Str();
        GetDlgItemText(IDC_ABOUT_PROGRAM_VERSION, str);
        m_strProgramLine = str.Str();
        GetDlgItemText(IDC_ABOUT_SERVICE_VERSION, str);
        m_strServiceLine = str.Str();
        PostMessage(WM_COMMAND, IDOK);
        return m_bInit;
    }
    BOOL m_bInit = FALSE;
    std::wstring m_strCaption;
    std::wstring m_strProgramLine;
    std::wstring m_strServiceLine;
};

// A folder of its own as the current one, where version files are put under
// the names the box looks for; the previous folder comes back at the end.
class AboutDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t szPath[MAX_PATH] = {};
        ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, szPath), 0u);
        m_strPrevious = szPath;
        ASSERT_NE(::GetTempPathW(MAX_PATH, szPath), 0u);
        m_strFolder = std::wstring(szPath) + L"vf_about_" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryW(m_strFolder.c_str(), nullptr));
        ASSERT_TRUE(::SetCurrentDirectoryW(m_strFolder.c_str()));
    }
    void TearDown() override
    {
        ::SetCurrentDirectoryW(m_strPrevious.c_str());
        RemovePlaced();
        for (const wchar_t* pszFolder : {L"\\Debug", L"\\DebugVarnefold", L""})
            ::RemoveDirectoryW((m_strFolder + pszFolder).c_str());
    }
    // Copies a fake version file to the folder (relative, "" for the current one) as "Varnefold.exe".
    void Place(const wchar_t* pszFake, const std::wstring& strFolder)
    {
        std::wstring strTarget = m_strFolder + L"\\" + strFolder;
        if (!strFolder.empty())
            ::CreateDirectoryW(strTarget.c_str(), nullptr);
        strTarget += L"Varnefold.exe";
        ASSERT_TRUE(::CopyFileW((TestProgramFolder() + pszFake).c_str(), strTarget.c_str(), FALSE)) << strTarget;
        m_placed.push_back(strTarget);
    }
    void RemovePlaced()
    {
        for (const std::wstring& strFile : m_placed)
            ::DeleteFileW(strFile.c_str());
        m_placed.clear();
    }

    CWinApp m_app;
    std::wstring m_strPrevious;
    std::wstring m_strFolder;
    std::vector<std::wstring> m_placed;
};

TEST_F(AboutDlgTest, ProgramLineFromTheFirstVersionFileFound)
{
    struct stCase
    {
        const wchar_t* pszFake;
        const wchar_t* pszFolder;
        const wchar_t* pszLine;
    } cases[] = {
        // The product version's third number odd: a test build.
        {L"vf_gui_BetaVersion.dll", L"", L"Version 3.5.1.0 (3.5.1.7) BETA"},
        {L"vf_gui_BetaVersion.dll", L"Debug\\", L"Version 3.5.1.0 (3.5.1.7) BETA"},
        // Numbers without texts: each text reads as 1.0.0.0; the third number is even.
        {L"vf_gui_BareVersion.dll", L"DebugVarnefold\\", L"Version 1.0.0.0 (1.0.0.0)"},
    };
    for (const stCase& c : cases)
    {
        Place(c.pszFake, c.pszFolder);
        CObservedAboutDlg dlg;
        ASSERT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(dlg.m_strProgramLine, c.pszLine) << c.pszFolder;
        EXPECT_TRUE(dlg.m_bInit);
        EXPECT_EQ(dlg.m_strCaption, L"About qov Defrag");
        RemovePlaced();
    }
}

TEST_F(AboutDlgTest, TheNameItselfComesBeforeTheDebugFolders)
{
    Place(L"vf_gui_BareVersion.dll", L"");
    Place(L"vf_gui_BetaVersion.dll", L"Debug\\");
    CObservedAboutDlg dlg;
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strProgramLine, L"Version 1.0.0.0 (1.0.0.0)");

    CAboutDlg shown;
    shown.SetServiceVersion(L"Version: 1.0.0.0");
    ASSERT_TRUE(shown.Create(IDD_ABOUTBOX));
    shown.ShowWindow(SW_SHOW);
    shown.RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    SaveWindowPicture(shown.m_hWnd, L"dialogs\\about");
    shown.DestroyWindow();
}

TEST_F(AboutDlgTest, WithoutAVersionFileTheBoxStillOpensAndShowsTheService)
{
    CObservedAboutDlg plain;
    ASSERT_EQ(plain.DoModal(), IDOK);
    EXPECT_FALSE(plain.m_bInit);
    EXPECT_EQ(plain.m_strProgramLine, L"");
    EXPECT_EQ(plain.m_strServiceLine, L"Version: not available");

    CObservedAboutDlg connected;
    connected.SetServiceVersion(L"Version: 1.0.0.0");
    ASSERT_EQ(connected.DoModal(), IDOK);
    EXPECT_EQ(connected.m_strServiceLine, L"Version: 1.0.0.0");
}
} // namespace
