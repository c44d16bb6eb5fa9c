#include "classlib/WinApp.h"
#include "classlib/Wnd.h"
#include "guitoolkit/SingleInstance.h"
#include "guitoolkit/TrayAnimation.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{
// The first copy's main window: notes the text handed over.
class CMainWindow : public CWnd
{
public:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_COPYDATA)
        {
            const COPYDATASTRUCT* pCopy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            m_dwData = pCopy->dwData;
            m_cbData = pCopy->cbData;
            m_strText.assign(static_cast<const wchar_t*>(pCopy->lpData));
            ++m_nCopies;
            lResult = TRUE;
            return true;
        }
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
    ULONG_PTR m_dwData = 0;
    DWORD m_cbData = 0;
    std::wstring m_strText;
    int m_nCopies = 0;
};

// Starts the helper as the program's second copy; its exit code, or -1.
DWORD RunSecondCopy(const std::wstring& strArguments, const std::function<void()>& whileRunning)
{
    wchar_t szPath[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring strExe(szPath, n);
    strExe = strExe.substr(0, strExe.rfind(L'\\') + 1) + L"vf_single_instance_helper.exe";
    std::wstring strCommand = L"\"" + strExe + L"\" " + strArguments;
    STARTUPINFOW stStart = {};
    stStart.cb = sizeof(stStart);
    PROCESS_INFORMATION stProcess = {};
    if (!::CreateProcessW(strExe.c_str(), &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &stStart,
                          &stProcess))
        return static_cast<DWORD>(-1);
    // The first copy must keep its queue going: the second one sends to it.
    PumpUntil([&] { return ::WaitForSingleObject(stProcess.hProcess, 0) == WAIT_OBJECT_0; }, 60000);
    whileRunning();
    DWORD dwExit = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(stProcess.hProcess, &dwExit);
    ::CloseHandle(stProcess.hThread);
    ::CloseHandle(stProcess.hProcess);
    return dwExit;
}

std::wstring UniqueName(const wchar_t* pszCase)
{
    return std::wstring(L"VfSI_") + pszCase + L"_" + std::to_wstring(::GetCurrentProcessId());
}

// Where the first copy's window waits: minimised, or in the notification area.
class SingleInstanceTest : public ::testing::TestWithParam<bool>
{
};

TEST_P(SingleInstanceTest, SecondStartBringsTheFirstWindowBackAndHandsItTheText)
{
    CWinApp app;
    CMainWindow wnd;
    ASSERT_TRUE(wnd.CreateEx(0, nullptr, L"first copy", WS_OVERLAPPEDWINDOW, 50, 50, 300, 200, NULL, NULL));
    app.m_pMainWnd = &wnd;
    wnd.ShowWindow(SW_SHOW);
    bool bInTray = GetParam();
    if (bInTray)
    {
        AnimateToTray(wnd.m_hWnd, FALSE);
        ASSERT_FALSE(wnd.IsWindowVisible());
        ASSERT_NE(::GetWindow(wnd.m_hWnd, GW_OWNER), HWND(NULL));
    }
    else
    {
        wnd.ShowWindow(SW_MINIMIZE);
        ASSERT_TRUE(wnd.IsIconic());
    }
    PumpPending();

    std::wstring strName = UniqueName(bInTray ? L"tray" : L"minimised");
    {
        // A local object of the start-up: the published window outlives it.
        CSingleInstance first(strName.c_str());
        first.LockInstance();
        EXPECT_FALSE(first.IsOtherInstanceRunning());
        ASSERT_TRUE(first.PublishMainWindow());
        EXPECT_FALSE(first.PublishMainWindow()) << "published once";
    }

    DWORD dwExit = RunSecondCopy(strName + L" /minimize 42", [] {});
    EXPECT_EQ(dwExit, 0u);
    EXPECT_EQ(wnd.m_nCopies, 1);
    EXPECT_EQ(wnd.m_dwData, 42u);
    EXPECT_EQ(wnd.m_strText, L"/minimize");
    EXPECT_EQ(wnd.m_cbData, (9u + 1) * 2);
    EXPECT_FALSE(wnd.IsIconic());
    EXPECT_TRUE(wnd.IsWindowVisible());
    EXPECT_EQ(::GetWindow(wnd.m_hWnd, GW_OWNER), HWND(NULL)) << "back on the taskbar";
    app.m_pMainWnd = nullptr;
    wnd.DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(Waiting, SingleInstanceTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "InTheTray" : "Minimised");
                         });

TEST(SingleInstance, WithoutAFirstCopyNothingIsActivated)
{
    std::wstring strName = UniqueName(L"alone");
    EXPECT_EQ(RunSecondCopy(strName + L" text 1", [] {}), 1u);
    CSingleInstance instance(strName.c_str());
    EXPECT_EQ(instance.ActivateOtherInstance(L"text", 1), HWND(NULL));
}

TEST(SingleInstance, NameTakenByAnotherKindOfObjectIsNoCrash)
{
    std::wstring strName = UniqueName(L"squatted");
    HANDLE hEvent = ::CreateEventW(nullptr, TRUE, FALSE, strName.c_str());
    ASSERT_NE(hEvent, HANDLE(NULL));
    std::unique_ptr<CSingleInstance> pInstance;
    EXPECT_NO_THROW(pInstance.reset(new CSingleInstance(strName.c_str())));
    if (pInstance)
    {
        pInstance->LockInstance();
        EXPECT_FALSE(pInstance->IsOtherInstanceRunning());
        EXPECT_EQ(pInstance->ActivateOtherInstance(L"text", 1), HWND(NULL));
    }
    ::CloseHandle(hEvent);
}

TEST(SingleInstance, MappingNameFollowsTheInstanceName)
{
    CSingleInstance instance(L"Defrag SI Instance");
    EXPECT_EQ(instance.GetMappingName(), L"Defrag SI Instance_CSingleInstance_MMF");
    EXPECT_EQ(instance.GetWindowToActivate(), HWND(NULL)) << "no application, no window";
}
} // namespace
