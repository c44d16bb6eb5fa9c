#include "gui/Resource.h"

#include "base/FileVersionInfo.h"

#include "TestProgramFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace
{
const wchar_t* const SettingsKey = L"Software\\Varnefold";
// Generous: the program's first start in a fresh prefix is slow on a loaded machine.
constexpr DWORD StartLimitMs = 90000;
constexpr DWORD PollMs = 100;

// A program of the build, by its path below the build folder.
std::wstring BuildPath(const wchar_t* pszRelative)
{
    return TestProgramFolder() + L"..\\..\\" + pszRelative;
}

bool WaitFor(const std::function<bool()>& condition, DWORD dwLimitMs = StartLimitMs)
{
    for (DWORD dwWaited = 0; !condition(); dwWaited += PollMs)
    {
        if (dwWaited >= dwLimitMs)
            return false;
        ::Sleep(PollMs);
    }
    return true;
}

// One run of Varnefold.exe; a run the test leaves behind is asked to exit,
// and ended when it does not.
class CProgramRun
{
public:
    explicit CProgramRun(const wchar_t* pszArguments)
    {
        std::wstring strExe = BuildPath(L"gui\\Varnefold.exe");
        std::wstring strCommand = L"\"" + strExe + L"\" " + pszArguments;
        STARTUPINFOW stStart = {};
        stStart.cb = sizeof(stStart);
        m_bStarted = ::CreateProcessW(strExe.c_str(), &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                      &stStart, &m_stProcess) != FALSE;
    }
    ~CProgramRun()
    {
        if (!m_bStarted)
            return;
        if (!HasEnded())
        {
            if (HWND hFrame = FindFrame())
                ::PostMessageW(hFrame, WM_COMMAND, ID_APP_EXIT, 0);
            if (::WaitForSingleObject(m_stProcess.hProcess, 20000) != WAIT_OBJECT_0)
                ::TerminateProcess(m_stProcess.hProcess, 1);
        }
        ::CloseHandle(m_stProcess.hThread);
        ::CloseHandle(m_stProcess.hProcess);
    }
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    bool IsStarted() const { return m_bStarted; }
    bool HasEnded() const { return ::WaitForSingleObject(m_stProcess.hProcess, 0) == WAIT_OBJECT_0; }
    DWORD ExitCode() const
    {
        DWORD dwCode = STILL_ACTIVE;
        ::GetExitCodeProcess(m_stProcess.hProcess, &dwCode);
        return dwCode;
    }
    bool WaitForEnd() const { return ::WaitForSingleObject(m_stProcess.hProcess, StartLimitMs) == WAIT_OBJECT_0; }

    // The run's main frame: its top-level window with a caption and the program's title (its
    // menu belongs to the menu bar, not to the window).
    HWND FindFrame() const
    {
        struct stSearch
        {
            DWORD dwProcessId;
            HWND hFound;
        } stFind = {m_stProcess.dwProcessId, NULL};
        ::EnumWindows(
            [](HWND hWnd, LPARAM lParam) -> BOOL {
                auto* pFind = reinterpret_cast<stSearch*>(lParam);
                DWORD dwProcessId = 0;
                ::GetWindowThreadProcessId(hWnd, &dwProcessId);
                wchar_t szTitle[64] = {};
                ::GetWindowTextW(hWnd, szTitle, 64);
                if (dwProcessId != pFind->dwProcessId ||
                    (::GetWindowLongW(hWnd, GWL_STYLE) & WS_CAPTION) != WS_CAPTION ||
                    std::wstring(szTitle) != L"Varnefold")
                    return TRUE;
                pFind->hFound = hWnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&stFind));
        return stFind.hFound;
    }
    HWND WaitForFrame() const
    {
        HWND hFrame = NULL;
        WaitFor([&] { return (hFrame = FindFrame()) != NULL || HasEnded(); });
        return hFrame;
    }
    bool Exit() const
    {
        HWND hFrame = FindFrame();
        return hFrame != NULL && ::PostMessageW(hFrame, WM_COMMAND, ID_APP_EXIT, 0) && WaitForEnd();
    }

private:
    bool m_bStarted = false;
    PROCESS_INFORMATION m_stProcess = {};
};

class ProgramInstanceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The first start of the program is all these cases look at.
        WriteWindowSetting(L"ShowSplashScreen", 0);
        WriteWindowSetting(L"ShowWelcomeScreen", 0);
    }
    void TearDown() override { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, SettingsKey, L"SingleInstance"); }
    static void WriteSetting(const wchar_t* pszKey, const wchar_t* pszName, DWORD dwValue)
    {
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, pszKey, pszName, REG_DWORD, &dwValue, sizeof(dwValue)),
                  ERROR_SUCCESS);
    }
    static void WriteWindowSetting(const wchar_t* pszName, DWORD dwValue)
    {
        WriteSetting(L"Software\\Varnefold\\Window", pszName, dwValue);
    }
};

TEST_F(ProgramInstanceTest, ALaterStartBringsBackTheFirstAndEnds)
{
    // The value missing counts as 1.
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, SettingsKey, L"SingleInstance");
    CProgramRun first(L"");
    ASSERT_TRUE(first.IsStarted());
    HWND hFirst = first.WaitForFrame();
    ASSERT_NE(hFirst, nullptr) << "the first start shows no frame";
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(hFirst) != FALSE; }));

    ::ShowWindow(hFirst, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return ::IsIconic(hFirst) != FALSE; }));
    {
        CProgramRun second(L"");
        ASSERT_TRUE(second.WaitForEnd()) << "a second copy keeps running";
        EXPECT_EQ(second.ExitCode(), 0u);
    }
    EXPECT_TRUE(WaitFor([&] { return !::IsIconic(hFirst) && ::IsWindowVisible(hFirst); }));

    // "/minimize" handed over: the first copy keeps to the tray.
    {
        CProgramRun hidden(L"/minimize");
        ASSERT_TRUE(hidden.WaitForEnd());
    }
    EXPECT_TRUE(WaitFor([&] { return !::IsWindowVisible(hFirst); }));
    {
        CProgramRun again(L"");
        ASSERT_TRUE(again.WaitForEnd());
    }
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(hFirst) != FALSE; })) << "back from the tray";

    EXPECT_TRUE(first.Exit());
    EXPECT_EQ(first.ExitCode(), 0u);
}

TEST_F(ProgramInstanceTest, WithSingleInstanceOffEveryStartRuns)
{
    WriteSetting(SettingsKey, L"SingleInstance", 0);
    CProgramRun first(L"");
    ASSERT_NE(first.WaitForFrame(), nullptr);
    CProgramRun second(L"");
    HWND hSecond = second.WaitForFrame();
    ASSERT_NE(hSecond, nullptr) << "the second start ended";
    EXPECT_NE(hSecond, first.FindFrame());
    EXPECT_FALSE(first.HasEnded());

    EXPECT_TRUE(second.Exit());
    EXPECT_TRUE(first.Exit());
}

std::wstring Text(const CUnicodeString& str)
{
    return str.GetLength() == 0 ? std::wstring() : std::wstring(str.GetBuffer(), str.GetLength());
}

TEST(ProgramVersion, EveryProgramCarriesTheSameProductVersion)
{
    CFileVersionInfo program;
    ASSERT_TRUE(program.Open(BuildPath(L"gui\\Varnefold.exe").c_str()));
    ULONGLONG nVersion = program.GetProductVersionNumber();
    // The service's check of the program refuses 1.10 whatever the other side says.
    EXPECT_FALSE(HIWORD(nVersion >> 32) == 1 && LOWORD(nVersion >> 32) == 10);
    wchar_t szText[64];
    swprintf(szText, 64, L"%u.%u.%u.%u", HIWORD(nVersion >> 32), LOWORD(nVersion >> 32), HIWORD(nVersion),
             LOWORD(nVersion));
    EXPECT_EQ(Text(program.GetProductVersion()), szText) << "the text and the numbers agree";
    EXPECT_EQ(Text(program.GetFileVersion()), szText);
    EXPECT_EQ(Text(program.GetOriginalFileName()), L"Varnefold.exe");

    for (const wchar_t* pszOther : {L"service\\VfoldSvc.exe", L"updater\\Update.exe"})
    {
        CFileVersionInfo other;
        ASSERT_TRUE(other.Open(BuildPath(pszOther).c_str())) << pszOther;
        EXPECT_EQ(other.GetProductVersionNumber(), nVersion) << pszOther;
        EXPECT_EQ(Text(other.GetProductVersion()), szText) << pszOther;
    }
}
} // namespace
