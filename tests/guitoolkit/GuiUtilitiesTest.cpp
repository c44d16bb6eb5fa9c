#include "classlib/Wnd.h"
#include "guitoolkit/GuiUtilities.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
// Notes the messages it gets, with the lParam that tells them apart.
class CQueueWnd : public CWnd
{
public:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_SERVER_DATA || nMsg == WM_USER + 1)
        {
            m_seen.push_back({nMsg, lParam});
            lResult = 100 + lParam;
            return true;
        }
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
    std::vector<std::pair<UINT, LPARAM>> m_seen;
};

class PumpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PumpPending();
        ASSERT_TRUE(m_wnd.CreateEx(0, nullptr, L"pump", WS_POPUP, 0, 0, 10, 10, NULL, NULL));
    }
    void TearDown() override { m_wnd.DestroyWindow(); }
    CQueueWnd m_wnd;
};

TEST_F(PumpTest, FirstServerMessageRunsLastAndGivesTheResult)
{
    m_wnd.PostMessage(WM_SERVER_DATA, 0, 1);
    m_wnd.PostMessage(WM_USER + 1, 0, 2);
    m_wnd.PostMessage(WM_SERVER_DATA, 0, 3);
    EXPECT_EQ(PumpMessages(), 101);
    std::vector<std::pair<UINT, LPARAM>> expected = {{WM_USER + 1, 2}, {WM_SERVER_DATA, 3}, {WM_SERVER_DATA, 1}};
    EXPECT_EQ(m_wnd.m_seen, expected);
}

TEST_F(PumpTest, EmptyQueueAnswersZeroAtOnce)
{
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_TRUE(m_wnd.m_seen.empty());
}

TEST_F(PumpTest, QuitStaysForTheProgramsLoop)
{
    m_wnd.PostMessage(WM_USER + 1, 0, 2);
    ::PostQuitMessage(7);
    m_wnd.PostMessage(WM_SERVER_DATA, 0, 1);
    PumpMessages();
    MSG stMsg;
    ASSERT_TRUE(::PeekMessageW(&stMsg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(stMsg.message, UINT(WM_QUIT));
    EXPECT_EQ(stMsg.wParam, 7u);
}

TEST(Administrator, TokenOfWinesUserListsTheGroup)
{
    EXPECT_TRUE(IsUserAdministrator());
    // With a token of its own the thread's is the one asked.
    ASSERT_TRUE(::ImpersonateSelf(SecurityImpersonation));
    EXPECT_TRUE(IsUserAdministrator());
    ::RevertToSelf();
}

TEST(UnixTime, InstantsInRangeConvertAndOthersAreRefused)
{
    EXPECT_EQ(UnixEpochSeconds(), 11644473600ULL);
    struct stCase
    {
        ULONGLONG ullSeconds;
        BOOL bConverted;
        WORD wYear, wMonth, wDay, wHour, wMinute, wSecond;
    } cases[] = {
        {0, TRUE, 1970, 1, 1, 0, 0, 0},
        {951782400, TRUE, 2000, 2, 29, 0, 0, 0},
        {4102444799ULL, TRUE, 2099, 12, 31, 23, 59, 59},
        {910692730085ULL, TRUE, 30828, 9, 14, 2, 48, 5},
        {910692730086ULL, FALSE, 0, 0, 0, 0, 0, 0},
        {~0ULL, FALSE, 0, 0, 0, 0, 0, 0},
    };
    for (const stCase& c : cases)
    {
        SYSTEMTIME st;
        memset(&st, 0xCC, sizeof(st));
        EXPECT_EQ(UnixTimeToSystemTime(c.ullSeconds, &st), c.bConverted) << c.ullSeconds;
        EXPECT_EQ(st.wYear, c.wYear) << c.ullSeconds;
        EXPECT_EQ(st.wMonth, c.wMonth) << c.ullSeconds;
        EXPECT_EQ(st.wDay, c.wDay) << c.ullSeconds;
        EXPECT_EQ(st.wHour, c.wHour) << c.ullSeconds;
        EXPECT_EQ(st.wMinute, c.wMinute) << c.ullSeconds;
        EXPECT_EQ(st.wSecond, c.wSecond) << c.ullSeconds;
    }
}

TEST(DateTimeText, BufferSizesAroundTheDate)
{
    SYSTEMTIME st;
    ASSERT_TRUE(UnixTimeToSystemTime(0, &st));
    // The user's locale decides the texts; the test takes them from the system.
    wchar_t szDate[64], szTime[64];
    int nDate = ::GetDateFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, szDate, 64) - 1;
    int nTime = ::GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, szTime, 64);
    ASSERT_GT(nDate, 0);
    ASSERT_GT(nTime, 0);
    std::wstring strFull = std::wstring(szDate) + L" " + szTime;

    struct stCase
    {
        int nBuffer;
        int nResult;
        std::wstring strText;
    } cases[] = {
        {64, nTime, strFull},
        {nDate + nTime + 1, nTime, strFull},
        {nDate + nTime, 0, szDate},
        {nDate + 2, 0, szDate},
        {nDate + 1, nDate, szDate},
        {nDate, 0, L""},
        {1, 0, L""},
    };
    for (const stCase& c : cases)
    {
        std::vector<wchar_t> buffer(c.nBuffer + 1, L'#');
        EXPECT_EQ(FormatDateTime(st, buffer.data(), c.nBuffer), c.nResult) << c.nBuffer;
        EXPECT_EQ(std::wstring(buffer.data()), c.strText) << c.nBuffer;
        EXPECT_EQ(buffer[c.nBuffer], L'#') << "nothing written past the buffer, size " << c.nBuffer;
    }
    wchar_t ch = L'#';
    EXPECT_EQ(FormatDateTime(st, &ch, 0), 0);
    EXPECT_EQ(ch, L'#');
}
} // namespace
