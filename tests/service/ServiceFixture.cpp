#include "ServiceFixture.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragException.h"
#include "protocol/NetDefragPacketHeader.h"
#include "protocol/NetDefragPartitionList.h"
#include "simdisk/SimBuilder.h"

#include <stdexcept>

namespace
{
const wchar_t ServiceKey[] = L"Software\\Varnefold";
}

std::wstring Text(const CUnicodeString& str)
{
    return str.GetLength() == 0 ? std::wstring() : std::wstring(str.GetBuffer(), str.GetLength());
}

void CTestDefragService::LogEvent(const wchar_t* pszText, WORD, DWORD)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_logged.push_back(pszText);
}

std::vector<std::wstring> CTestDefragService::Logged()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_logged;
}

std::vector<CTestDefragService::stWORK> CTestDefragService::Work()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_work;
}

CDefragPartition* CTestDefragService::CreatePartition(const CUnicodeString& strName)
{
    if (m_createPartition)
        return m_createPartition(strName, this);
    return CDefragService::CreatePartition(strName);
}

bool CTestDefragService::RunScheduledAnalysis(CDefragPartition& volume)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_work.push_back({true, volume.GetIndex(), 0, 0, ::GetTickCount()});
    }
    return !m_bRealWork || CDefragService::RunScheduledAnalysis(volume);
}

bool CTestDefragService::RunBackgroundStep(CDefragPartition& volume, int32_t nDuration, int32_t nWait,
                                           uint32_t& uRemaining)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_work.push_back({false, volume.GetIndex(), nDuration, nWait, ::GetTickCount()});
    }
    if (m_onStep)
        m_onStep(volume);
    if (m_bRealWork)
        return CDefragService::RunBackgroundStep(volume, nDuration, nWait, uRemaining);
    uRemaining = m_uStepRemaining;
    return m_bStepFinishes;
}

void ServiceFixture::SetUp()
{
    m_hRelease = ::CreateEventW(NULL, TRUE, FALSE, NULL);
    m_hInStep = ::CreateEventW(NULL, TRUE, FALSE, NULL);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ServiceKey);
    // The scheduler stays out of the way unless a case asks for it, and no job waits for
    // an idle disk.
    SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", 3600);
    SetSetting(L"UseIOGuard", DWORD(0));
}

void ServiceFixture::TearDown()
{
    // Held jobs and steps end first: nothing of a test that ended early may hold the stop.
    ::SetEvent(m_hRelease);
    if (m_hThread != NULL)
    {
        EXPECT_TRUE(StopService());
    }
    ::CloseHandle(m_hRelease);
    ::CloseHandle(m_hInStep);
    m_system.Uninstall();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ServiceKey);
}

CSimVolume& ServiceFixture::Mount(wchar_t cLetter, bool bRemovable, BYTE byBusType)
{
    SIM_FORMAT format;
    format.llTotalClusters = 65536;
    wchar_t szGuid[48] = {};
    swprintf(szGuid, 48, L"{5E7A1C00-0000-4000-8000-%012X}", static_cast<unsigned>(++m_nMounted));
    format.strGuid = szGuid;
    format.strLabel = std::wstring(L"VOL") + cLetter;
    CSimVolume& volume = m_system.Mount(CSimVolume::Format(format), cLetter);
    volume.m_bRemovable = bRemovable;
    volume.m_byBusType = byBusType;
    return volume;
}

CSimVolume& ServiceFixture::MountBuilt(wchar_t cLetter, LONGLONG llFiles, int nFragmentedPercent)
{
    SIM_BUILD build;
    build.format.llTotalClusters = 262144;
    wchar_t szGuid[48] = {};
    swprintf(szGuid, 48, L"{5E7A1C00-0000-4000-8000-%012X}", static_cast<unsigned>(++m_nMounted));
    build.format.strGuid = szGuid;
    build.llFiles = llFiles;
    build.nFragmentedPercent = nFragmentedPercent;
    std::wstring strError;
    std::unique_ptr<CSimVolume> pVolume = CSimBuilder::Build(build, &strError);
    if (!pVolume)
        throw std::runtime_error("volume not built");
    return m_system.Mount(std::move(pVolume), cLetter);
}

void ServiceFixture::SetSetting(const wchar_t* pszName, DWORD dwValue)
{
    HKEY hKey = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, ServiceKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                               &hKey, NULL));
    ::RegSetValueExW(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
    ::RegCloseKey(hKey);
}

void ServiceFixture::SetSetting(const wchar_t* pszName, const wchar_t* pszValue)
{
    HKEY hKey = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, ServiceKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                               &hKey, NULL));
    ::RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszValue),
                     static_cast<DWORD>((wcslen(pszValue) + 1) * sizeof(wchar_t)));
    ::RegCloseKey(hKey);
}

bool ServiceFixture::ReadSetting(const wchar_t* pszName, DWORD& dwValue)
{
    DWORD dwSize = sizeof(dwValue);
    return ::RegGetValueW(HKEY_LOCAL_MACHINE, ServiceKey, pszName, RRF_RT_REG_DWORD, NULL, &dwValue, &dwSize) ==
           ERROR_SUCCESS;
}

bool ServiceFixture::ReadSetting(const wchar_t* pszName, std::wstring& strValue)
{
    wchar_t szValue[1024] = {};
    DWORD dwSize = sizeof(szValue) - sizeof(wchar_t);
    DWORD dwType = 0;
    HKEY hKey = NULL;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, ServiceKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    const LONG lResult = ::RegQueryValueExW(hKey, pszName, NULL, &dwType, reinterpret_cast<BYTE*>(szValue), &dwSize);
    ::RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || dwType != REG_SZ)
        return false;
    strValue.assign(szValue, dwSize / sizeof(wchar_t));
    while (!strValue.empty() && strValue.back() == L'\0')
        strValue.pop_back();
    return true;
}

DWORD WINAPI ServiceFixture::RunProc(LPVOID pParam)
{
    auto* pFixture = static_cast<ServiceFixture*>(pParam);
    pFixture->m_bRunResult = pFixture->m_pService->Run();
    return 0;
}

void ServiceFixture::HoldJobs()
{
    m_pService = std::make_unique<CTestDefragService>();
    m_pService->m_createPartition = [this](const CUnicodeString& strName, CPartitionOwner* pOwner) {
        m_held.push_back(new CHeldJobPartition(strName, pOwner, &m_nFreed, m_hRelease));
        return m_held.back();
    };
}

bool ServiceFixture::StartService(bool bInstallSimulator)
{
    if (bInstallSimulator)
        m_system.Install();
    if (!m_pService)
        m_pService = std::make_unique<CTestDefragService>();
    m_hThread = ::CreateThread(NULL, 0, RunProc, this, 0, NULL);
    if (m_hThread == NULL)
        return false;
    CServiceClient probe;
    const DWORD dwStart = ::GetTickCount();
    while (::GetTickCount() - dwStart < GenerousWaitMs)
    {
        if (::WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0)
            return false;
        // The pipes serve before the drive list is built; an answer comes from the wait
        // loop, which runs once the start is complete.
        if (probe.Open(CServiceClient::CommandPipe, 200))
            return Answered(probe);
    }
    return false;
}

bool ServiceFixture::StopService(DWORD dwTimeoutMs)
{
    if (m_hThread == NULL)
        return true;
    m_pService->OnStop();
    const bool bEnded = ::WaitForSingleObject(m_hThread, dwTimeoutMs) == WAIT_OBJECT_0;
    if (bEnded)
    {
        ::CloseHandle(m_hThread);
        m_hThread = NULL;
        m_pService.reset();
    }
    return bEnded;
}

std::vector<std::wstring> ServiceFixture::ListedRoots(std::vector<int32_t>* pIndexes, const wchar_t* pszPipe)
{
    std::vector<std::wstring> roots;
    CServiceClient client;
    stRECEIVED received;
    CNetDefragPartitionList list;
    if (!client.Open(pszPipe) || !client.Send(CMD_GET_PARTITION_LIST) ||
        !client.WaitFor(RESPONSE_PARTITION_LIST, received) || !DecodeObject(received, list))
        return roots;
    for (int i = 0; i < list.GetCount(); ++i)
    {
        roots.push_back(Text(list.GetEntry(i)->m_strDriveRoot));
        if (pIndexes != nullptr)
            pIndexes->push_back(list.GetEntry(i)->m_nVolumeIndex);
    }
    return roots;
}

bool DecodeObject(const stRECEIVED& received, CNetDefragObject& object)
{
    try
    {
        CNetDefragBuffer ar(false);
        ar.Attach(received.payload.data(), static_cast<UINT>(received.payload.size()));
        CNetDefragPacketHeader header;
        header.Serialize(ar);
        object.Serialize(ar);
        return true;
    }
    catch (const CNetDefragException&)
    {
        return false;
    }
}

bool Answered(CServiceClient& client)
{
    stRECEIVED received;
    return client.Send(CMD_GET_VERSION_INFO) && client.WaitFor(RESPONSE_VERSION_INFO, received);
}
