// The two service programs as processes: the shipped one under Wine, which has no chkdsk
// library, and the one on simulated images, installed and run by the service control
// manager. This test process is the anchor that keeps a Wine service alive.
#include "ServiceFixture.h"
#include "ServiceTestSupport.h"

#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionList.h"
#include "simdisk/SimImage.h"
#include "simdisk/SimVerifier.h"

#include <gtest/gtest.h>

namespace
{
const wchar_t ServiceName[] = L"VfoldSvc";
const DWORD StateWaitMs = 15000;

std::wstring ServiceProgram(const wchar_t* pszName)
{
    return GetProgramDir() + L"..\\..\\service\\" + pszName;
}

DWORD QueryState()
{
    SC_HANDLE hManager = ::OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE hService = hManager ? ::OpenServiceW(hManager, ServiceName, SERVICE_QUERY_STATUS) : NULL;
    SERVICE_STATUS stStatus = {};
    const bool bQueried = hService != NULL && ::QueryServiceStatus(hService, &stStatus);
    if (hService != NULL)
        ::CloseServiceHandle(hService);
    if (hManager != NULL)
        ::CloseServiceHandle(hManager);
    return bQueried ? stStatus.dwCurrentState : 0;
}

bool Control(DWORD dwControl)
{
    SC_HANDLE hManager = ::OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE hService = hManager ? ::OpenServiceW(hManager, ServiceName, SERVICE_ALL_ACCESS) : NULL;
    SERVICE_STATUS stStatus = {};
    const bool bSent = hService != NULL && ::ControlService(hService, dwControl, &stStatus);
    if (hService != NULL)
        ::CloseServiceHandle(hService);
    if (hManager != NULL)
        ::CloseServiceHandle(hManager);
    return bSent;
}

bool WaitForState(DWORD dwState)
{
    const DWORD dwStart = ::GetTickCount();
    while (QueryState() != dwState)
    {
        if (::GetTickCount() - dwStart > StateWaitMs)
            return false;
        ::Sleep(100);
    }
    return true;
}

class ServicePrograms : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ForceRemove();
        m_strImage = GetProgramDir() + L"scm_run_s.img";
        SIM_FORMAT format;
        format.llTotalClusters = 65536;
        format.strGuid = L"{5E7A1C00-0000-4000-8000-00000000A5C0}";
        std::wstring strError;
        ASSERT_TRUE(CSimImage::Save(*CSimVolume::Format(format), m_strImage, &strError));
        HKEY hKey = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold", 0, NULL, 0,
                                                   KEY_ALL_ACCESS, NULL, &hKey, NULL));
        // A pause of the service manager pauses only with this setting.
        const DWORD dwOne = 1;
        ::RegSetValueExW(hKey, L"PauseOnBattery", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwOne), 4);
        ::RegCloseKey(hKey);
    }
    void TearDown() override
    {
        ForceRemove();
        ::DeleteFileW(m_strImage.c_str());
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold");
    }

    void ForceRemove()
    {
        if (QueryState() == 0)
            return;
        RunProgram(ServiceProgram(L"VfoldSvcSim.exe"), L"-u");
    }

    static FILETIME WriteTime(const std::wstring& strPath)
    {
        WIN32_FILE_ATTRIBUTE_DATA stData = {};
        ::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &stData);
        return stData.ftLastWriteTime;
    }

    std::wstring m_strImage;
};
}

TEST_F(ServicePrograms, TheShippedServiceWithoutItsChkdskLibraryEndsWithExitCodeZero)
{
    EXPECT_EQ(RunProgram(ServiceProgram(L"VfoldSvc.exe"), L"-f", 30000), 0u);
    CServiceClient client;
    EXPECT_FALSE(client.Open(CServiceClient::CommandPipe, 300));
}

TEST_F(ServicePrograms, TheSimulatedServiceInstallsStartsPausesContinuesStopsAndSavesItsImage)
{
    const std::wstring strProgram = ServiceProgram(L"VfoldSvcSim.exe");
    ASSERT_EQ(RunProgram(strProgram, L"--image \"S:=" + m_strImage + L"\" -i"), 1u);
    ASSERT_EQ(RunProgram(strProgram, L"-s"), 1u);
    EXPECT_EQ(QueryState(), static_cast<DWORD>(SERVICE_RUNNING));
    const FILETIME ftBefore = WriteTime(m_strImage);

    CServiceClient command;
    ASSERT_TRUE(command.Open(CServiceClient::CommandPipe));
    ASSERT_TRUE(command.Send(CMD_GET_PARTITION_LIST));
    stRECEIVED received;
    ASSERT_TRUE(command.WaitFor(RESPONSE_PARTITION_LIST, received));
    CNetDefragPartitionList list;
    ASSERT_TRUE(DecodeObject(received, list));
    ASSERT_EQ(list.GetCount(), 1) << "only its images are volumes";
    EXPECT_EQ(std::wstring(list.GetEntry(0)->m_strDriveRoot.GetBuffer()), L"S:\\");

    for (int nRound = 0; nRound < 2; ++nRound)
    {
        ASSERT_TRUE(Control(SERVICE_CONTROL_PAUSE));
        EXPECT_TRUE(WaitForState(SERVICE_PAUSED)) << nRound;
        ASSERT_TRUE(Control(SERVICE_CONTROL_CONTINUE));
        EXPECT_TRUE(WaitForState(SERVICE_RUNNING)) << nRound;
    }
    ASSERT_EQ(RunProgram(strProgram, L"-e"), 1u);
    EXPECT_EQ(QueryState(), static_cast<DWORD>(SERVICE_STOPPED));
    ASSERT_TRUE(command.WaitFor(CMD_DISCONNECT, received));
    EXPECT_TRUE(command.WaitEnd());
    ASSERT_EQ(RunProgram(strProgram, L"-u"), 1u);
    EXPECT_EQ(QueryState(), 0u);

    // The service process writes its image back after the stop.
    EXPECT_TRUE(WaitFor([&] {
        const FILETIME ftAfter = WriteTime(m_strImage);
        return ::CompareFileTime(&ftBefore, &ftAfter) != 0;
    }));
    std::wstring strError;
    std::unique_ptr<CSimVolume> pVolume = CSimImage::Load(m_strImage, &strError);
    ASSERT_TRUE(pVolume) << std::string(strError.begin(), strError.end());
    CSimVerifier verifier(*pVolume);
    EXPECT_TRUE(verifier.Run());
}
