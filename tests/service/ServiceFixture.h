// The service object run in this process on simulated volumes, driven over its real pipes.
#pragma once

#include "ServiceClient.h"

#include "base/UnicodeString.h"
#include "service/DefragService.h"
#include "simdisk/SimSystem.h"
#include "tests/platform/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

std::wstring Text(const CUnicodeString& str);

// The service with its event log and its scheduler's work kept for the test.
class CTestDefragService : public CDefragService
{
public:
    struct stWORK
    {
        bool bAnalysis;
        int32_t nIndex;
        int32_t nDuration;
        int32_t nWait;
        DWORD dwTick;
    };

    CTestDefragService() { m_bRunningDirectly = true; }

    void LogEvent(const wchar_t* pszText, WORD wType, DWORD dwId) override;
    std::vector<std::wstring> Logged();
    std::vector<stWORK> Work();

    // The scheduler's work runs on the volumes for real, besides being kept.
    std::atomic<bool> m_bRealWork{false};
    // What a background step reports, and a hook run inside it.
    std::atomic<uint32_t> m_uStepRemaining{0};
    std::atomic<bool> m_bStepFinishes{true};
    std::function<void(CDefragPartition&)> m_onStep;
    std::function<CDefragPartition*(const CUnicodeString&, CPartitionOwner*)> m_createPartition;

    using CDefragService::GetVolumeCount;
    using CDefragService::ListedAt;
    using CDefragService::m_csDriveList;
    using CDefragService::m_dwSchedulerStopWaitMs;

protected:
    CDefragPartition* CreatePartition(const CUnicodeString& strName) override;
    bool RunScheduledAnalysis(CDefragPartition& volume) override;
    bool RunBackgroundStep(CDefragPartition& volume, int32_t nDuration, int32_t nWait, uint32_t& uRemaining) override;

private:
    std::mutex m_mutex;
    std::vector<std::wstring> m_logged;
    std::vector<stWORK> m_work;
};

// A volume object whose job runs until the test lets it end, whatever stops it, and that
// says when it is freed.
class CHeldJobPartition : public CDefragPartition
{
public:
    CHeldJobPartition(const CUnicodeString& strName, CPartitionOwner* pOwner, std::atomic<int>* pnFreed, HANDLE hRelease)
        : CDefragPartition(strName, pOwner), m_pnFreed(pnFreed), m_hRelease(hRelease)
    {
    }
    ~CHeldJobPartition() override { ++*m_pnFreed; }
    bool StartHeldJob() { return StartJobThread(HeldJob); }

private:
    static DWORD WINAPI HeldJob(LPVOID pParam)
    {
        ::WaitForSingleObject(static_cast<CHeldJobPartition*>(pParam)->m_hRelease, 60000);
        return 0;
    }

    std::atomic<int>* m_pnFreed;
    HANDLE m_hRelease;
};

class ServiceFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    CSimVolume& Mount(wchar_t cLetter, bool bRemovable = false, BYTE byBusType = 11);
    // A volume with files, a share of them fragmented.
    CSimVolume& MountBuilt(wchar_t cLetter, LONGLONG llFiles, int nFragmentedPercent);
    static void SetSetting(const wchar_t* pszName, DWORD dwValue);
    static void SetSetting(const wchar_t* pszName, const wchar_t* pszValue);
    static bool ReadSetting(const wchar_t* pszName, DWORD& dwValue);
    static bool ReadSetting(const wchar_t* pszName, std::wstring& strValue);

    // The service makes volume objects whose jobs and scheduler steps the test holds until
    // m_hRelease is set; they are kept in m_held in the order they were made.
    void HoldJobs();

    // Runs the service on a thread of its own; true once its wait loop answers.
    bool StartService(bool bInstallSimulator = true);
    // True when Run returned within the time.
    bool StopService(DWORD dwTimeoutMs = 60000);
    bool RunResult() const { return m_bRunResult; }

    // The drive list the service answers to 101 on a fresh client of the pipe.
    std::vector<std::wstring> ListedRoots(std::vector<int32_t>* pIndexes = nullptr,
                                          const wchar_t* pszPipe = CServiceClient::GuiPipe);

    CSimSystem m_system;
    std::unique_ptr<CTestDefragService> m_pService;
    std::atomic<int> m_nFreed{0};
    HANDLE m_hRelease = NULL;
    HANDLE m_hInStep = NULL;
    std::vector<CHeldJobPartition*> m_held;

private:
    static DWORD WINAPI RunProc(LPVOID pParam);

    HANDLE m_hThread = NULL;
    bool m_bRunResult = false;
    int m_nMounted = 0;
};

// True when the client's version request was answered: the service has seen it connect.
bool Answered(CServiceClient& client);
// Reads the object of a received message; false when it is malformed.
bool DecodeObject(const stRECEIVED& received, class CNetDefragObject& object);
