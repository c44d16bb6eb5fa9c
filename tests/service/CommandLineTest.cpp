#include "service/WinService.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// Records which operation the command line selected instead of running it.
class CRecordingService : public CWinService
{
public:
    CRecordingService() : CWinService(L"VfRecordSvc", L"Recording") {}

    bool Run() override { return true; }
    void OnStop() override {}
    bool Install() override { return Record("install"); }
    bool Remove() override { return Record("remove"); }
    bool StartInstalled() override { return Record("start"); }
    bool StopInstalled() override { return Record("stop"); }
    bool RunAsService() override { return Record("dispatcher"); }
    bool RunDirect(int, wchar_t**, bool bForeground) override
    {
        return Record(bForeground ? "foreground -f" : "foreground -d");
    }

    std::string Ran() const { return m_strRan; }
    std::wstring Account() const { return HasAccount() ? GetAccount().GetBuffer() : L"(none)"; }
    std::wstring Password() const { return HasPassword() ? GetPassword().GetBuffer() : L"(none)"; }

private:
    bool Record(const char* pszOperation)
    {
        m_strRan += m_strRan.empty() ? pszOperation : std::string(" ") + pszOperation;
        return true;
    }

    std::string m_strRan;
};

struct stCase
{
    std::vector<const wchar_t*> arguments;
    bool bResult;
    const char* pszRan;
    const wchar_t* pszAccount;
    const wchar_t* pszPassword;
};
}

TEST(ServiceCommandLine, SelectsTheOperationOfTheLastSwitch)
{
    const stCase aCases[] = {
        {{L"-i"}, true, "install", L"(none)", L"(none)"},
        {{L"-u"}, true, "remove", L"(none)", L"(none)"},
        {{L"-s"}, true, "start", L"(none)", L"(none)"},
        {{L"-e"}, true, "stop", L"(none)", L"(none)"},
        {{L"-s", L"-e"}, true, "stop", L"(none)", L"(none)"},
        {{L"-e", L"-s"}, true, "start", L"(none)", L"(none)"},
        {{L"other", L"-u"}, true, "remove", L"(none)", L"(none)"},
        {{}, true, "dispatcher", L"(none)", L"(none)"},
        {{L"/i"}, true, "dispatcher", L"(none)", L"(none)"},
        {{L"-I"}, true, "dispatcher", L"(none)", L"(none)"},
        {{L"-"}, true, "dispatcher", L"(none)", L"(none)"},
        {{L"-f", L"-i"}, true, "foreground -f", L"(none)", L"(none)"},
        {{L"-d"}, true, "foreground -d", L"(none)", L"(none)"},
        {{L"-i", L"-l", L"acct", L"-p", L"secret"}, true, "install", L"acct", L"secret"},
        {{L"-i", L"-lacct", L"-psecret"}, true, "install", L"acct", L"secret"},
        // A consumed value is never read as a switch.
        {{L"-i", L"-p", L"-secret", L"-l", L"-d"}, true, "install", L"-d", L"-secret"},
        {{L"-i", L"-l"}, false, "", L"(none)", L"(none)"},
        {{L"-i", L"-lacct", L"-p"}, false, "", L"acct", L"(none)"},
    };
    for (const stCase& stC : aCases)
    {
        std::vector<wchar_t*> argv{const_cast<wchar_t*>(L"VfoldSvc.exe")};
        std::wstring strShown;
        for (const wchar_t* pszArgument : stC.arguments)
        {
            argv.push_back(const_cast<wchar_t*>(pszArgument));
            strShown += std::wstring(L" ") + pszArgument;
        }
        std::string strCase(strShown.begin(), strShown.end());
        CRecordingService service;
        EXPECT_EQ(service.ParseCommandLine(static_cast<int>(argv.size()), argv.data()), stC.bResult) << strCase;
        EXPECT_EQ(service.Ran(), stC.pszRan) << strCase;
        EXPECT_EQ(service.Account(), stC.pszAccount) << strCase;
        EXPECT_EQ(service.Password(), stC.pszPassword) << strCase;
        EXPECT_EQ(service.IsRunningDirectly(), std::string(stC.pszRan).rfind("foreground", 0) == 0) << strCase;
    }
}
