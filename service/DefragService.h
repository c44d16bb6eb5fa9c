// CDefragService: the service object. Its Run starts the two pipe servers, reads the
// settings, keeps the drive list, runs the background scheduler and serves every client
// request on the service thread until it is told to stop.
//
// Lock order: the pause lock before the drive-list lock; the drive-list lock may be held
// while the graphical program's server lock is taken (every sender takes that one); a server
// lock is never held while the drive-list lock is taken, and the two server locks are never
// held together. The senders reach both servers under the graphical program's server lock.
//
// Client keys: a queue item names its client by the id its server gave it (-1 or -2 for the
// pipe, 0-19 for a TCP slot), ids that the two servers share and that collide with the volume
// object's reserved subscriber ids (0 free, -2 every subscriber, -3 build only). Every client
// is therefore known here, and to the volume objects, by a key of its own (CClientTable): its
// server, its slot and its connection's generation, so that a reply, a disconnection or a
// subscription of a client that left never reaches the next client of the same slot.
//
// Once a password is stored, a connection that has not given it is answered 102 and 1512
// only (and 101 with 502), and gets no broadcast.
#pragma once

#include "engine/DefragPartition.h"
#include "engine/EventLock.h"
#include "engine/FileChangeMonitor.h"
#include "engine/PartitionOwner.h"
#include "base/PointerArray.h"
#include "base/Registry.h"
#include "base/UnicodeString.h"
#include "protocol/NetDefragObjectTable.h"
#include "protocol/QOVQueuedServer.h"
#include "base/SyncObjects.h"
#include "service/ClientTable.h"
#include "service/ServiceSettings.h"
#include "service/WinService.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class CNetDefragBuffer;
class CNetDefragObject;
class CNetDefragPartitionList;
class CNetDefragSettingsLight2;
class CNetDefragVersionInfo;

class CDefragService : public CWinService, public CPartitionOwner
{
public:
    static constexpr DWORD ControlsAccepted = 0x4F;
    static constexpr DWORD WaitLoopTimeoutMs = 10000;
    static constexpr DWORD SchedulerStopWaitMs = 20000;
    static constexpr DWORD DriveNamesDelayMs = 3000;
    static constexpr int MaxClientsPerServer = 10;
    // What one client may have waiting for the service thread: requests are small and the
    // thread is slow by design, so a client past either cap is dropped.
    static constexpr int MaxQueuedItemsPerClient = 128;
    static constexpr int64_t MaxQueuedBytesPerClient = 1024 * 1024;
    // Items the wait loop takes from one server before it turns to the other.
    static constexpr int ItemsPerTurn = 1;

    CDefragService();
    ~CDefragService() override;

    bool Run() override;
    void OnStop() override;
    void OnPause() override;
    void OnContinue() override;
    void OnShutdown() override;
    void OnDeviceEvent(DWORD dwEventType, LPVOID pEventData, LPVOID pContext) override;
    virtual void PauseService(bool bForced);

    // The senders; nClient is a client key. Nothing is sent while the graphical program's
    // server does not exist, nor a message that could not be built whole.
    bool SendCode(int32_t nClient, int32_t nCode);
    bool SendObject(int32_t nClient, int32_t nCode, CNetDefragObject& object) override;
    bool BroadcastCode(int32_t nCode);
    bool BroadcastObject(int32_t nCode, CNetDefragObject& object) override;
    void LogVolumeEvent(WORD wType, const wchar_t* pszText) override { LogEvent(pszText, wType); }
    CEventLock& GetCheckLock() override { return m_checkLock; }

    // Carries out one request whose header was read; malformed objects and bad indexes
    // raise exceptions for the caller, which answers 504 and drops the client.
    bool DispatchCommand(int32_t nClient, int32_t nCommand, CNetDefragBuffer& ar);

    // True when a volume was added or removed.
    bool UpdateDriveList();
    void UpdateBootExecute();
    void ClearDriveList();
    bool IsNewVolume(const CUnicodeString& strName);
    CDefragPartition* FindVolume(const CUnicodeString& strName);

    static int32_t ClientKey(bool bCommandServer, int nServerClientId, uint32_t nGeneration);
    bool IsPaused() const { return m_bPaused; }

protected:
    // One listed volume with what the drive list and the scheduler keep of it.
    struct stLISTED_VOLUME
    {
        CDefragPartition* pVolume;
        int64_t llLastAnalysis; // seconds since 1970
        bool bAnalysisWanted;
        bool bManual;           // added from AddDrivesManually under its root path
        bool bSeen;
    };

    // The volume object for a name; tests hand in their own.
    virtual CDefragPartition* CreatePartition(const CUnicodeString& strName);
    // The scheduler's work on one volume, run on the scheduler thread with the drive-list
    // lock released: an analysis that returns when it has ended, and a background step of
    // at most nDuration seconds over files that rested nWait seconds; false when the step
    // did not run to its end.
    virtual bool RunScheduledAnalysis(CDefragPartition& volume);
    virtual bool RunBackgroundStep(CDefragPartition& volume, int32_t nDuration, int32_t nWait, uint32_t& uRemaining);
    bool QueryPowerStatus(SYSTEM_POWER_STATUS* pStatus) override;

    int GetVolumeCount() const { return m_arrVolumes.GetSize(); }
    stLISTED_VOLUME& ListedAt(int nIndex) const { return *static_cast<stLISTED_VOLUME*>(m_arrVolumes.GetAt(nIndex)); }

    CCriticalSection m_csDriveList;
    CEventLock m_checkLock;             // one volume's check at a time, across the service
    CPointerArray m_arrVolumes;
    std::unique_ptr<CFileChangeMonitor> m_pMonitor;
    HANDLE m_hSchedulerStop;
    HANDLE m_hSchedulerThread;
    CCriticalSection m_csGuiServer;
    CQOVQueuedServer* m_pGuiServer;
    CCriticalSection m_csCommandServer;
    CQOVQueuedServer* m_pCommandServer;
    CClientTable m_clients;
    // Whether m_strPassword is not empty, for the senders on other threads.
    std::atomic<bool> m_bPasswordSet;
    bool m_bOverCapLogged;
    stBACKGROUND_SETTINGS m_stBackground;
    int32_t m_nManualAnalysisArgument;
    CUnicodeString m_strPassword;
    HANDLE m_hStopEvent;
    // Taken before the drive-list lock, by pause and continue alone.
    CCriticalSection m_csPause;
    std::atomic<bool> m_bPaused;
    int32_t m_nPauseOnBattery;
    // How long the stop waits for the scheduler before it ends the thread.
    DWORD m_dwSchedulerStopWaitMs;

private:
    // Start-up and stop.
    bool StartUp();
    bool CreateServers();
    bool EnablePrivileges();
    bool StartServers();
    void ReadServiceSettings();
    void ArmMountedDevicesNotification();
    bool StartScheduler();
    void StopSequence();
    void StopScheduler();
    void EndSchedulerThread();
    void StopServers();
    // Ends a pause: volumes and scheduler go on.
    void ResumeWork();

    // Wait loop.
    void WaitLoop();
    void ServeInTurn();
    // The items handled; -1 when the service is told to stop.
    int DrainServer(bool bCommandServer, int nMaxItems);
    void HandleItem(bool bCommandServer, const stQueueItem& stItem);
    void HandleData(int32_t nClient, const stQueueItem& stItem);
    void LogOverCap();
    void HandleConnected(bool bCommandServer, int32_t nClient);
    void HandleDisconnected(bool bCommandServer, const stQueueItem& stItem);
    void HandleError(bool bCommandServer, const stQueueItem& stItem);
    void IdleServers();
    void ReleaseMapsWithoutClients();
    void SetClientFlags(bool bConnected);
    int CountClients(bool bCommandServer);
    void DisconnectClient(int32_t nClient);
    static void TrimWorkingSet();

    // Senders.
    bool SendArchive(int32_t nClient, CNetDefragBuffer& ar);
    void BroadcastToServer(bool bCommandServer, CNetDefragBuffer& ar, bool* pbAllSent);
    // Whether a client may be answered and sent broadcasts: no password is stored, or it
    // has given it on this connection.
    bool IsAuthorised(int32_t nClient);
    // Requests a connection may make before it has logged in.
    static bool IsOpenRequest(int32_t nCommand);
    void SetStoredPassword(const CUnicodeString& strPassword);
    bool BroadcastArchive(CNetDefragBuffer& ar);
    static bool BuildMessage(CNetDefragBuffer& ar, int32_t nCode, CNetDefragObject* pObject);
    // The server of a client key, its id there and the full generation of the connection the
    // key names; null when there is no such server, or that connection has ended.
    CQOVQueuedServer* ServerOfClient(int32_t nClient, int* pnServerClientId, uint32_t* pnGeneration) const;

    // Requests.
    bool DispatchVolumeCommand(int32_t nClient, int32_t nCommand, CNetDefragBuffer& ar);
    void ActOnVolume(int32_t nClient, int32_t nCommand, CNetDefragObject& request, CDefragPartition& volume);
    void SendDriveList(int32_t nClient);
    void FillDriveList(CNetDefragPartitionList& list);
    // One entry per listed volume, filled by fnFill(volume, entry); false leaves it out.
    template <class TEntry, class TFill> void FillTable(CNetDefragObjectTable<TEntry>& table, TFill fnFill);
    void SendDriveNames(int32_t nClient);
    bool FillVersionInfo(CNetDefragVersionInfo& info, CUnicodeString* pstrFileVersion);
    void SendSettings(int32_t nClient, int32_t nCode);
    void CheckPassword(int32_t nClient, CNetDefragBuffer& ar);
    void SetPassword(int32_t nClient, CNetDefragBuffer& ar);
    void StorePassword(int32_t nClient, const CUnicodeString& strPassword);
    void WriteSettings(int32_t nClient, CNetDefragBuffer& ar);
    void WriteWizardSettings(int32_t nClient, CNetDefragBuffer& ar);
    void ReportPausedStart(CDefragPartition& volume);
    void SendRangeFilesUnlocked(int32_t nClient, const CNetDefragObject& request, CDefragPartition& volume);
    void StartRun(CDefragPartition& volume, const CDefragPartition::RUN_REQUEST& request);

    // Drive list.
    void ListVolume(const CUnicodeString& strName, const stDRIVE_LIST_SETTINGS& stSettings,
                    bool bClients, bool& bChanged);
    bool AddVolume(const CUnicodeString& strName, UINT uDriveType, bool bManual,
                   const stDRIVE_LIST_SETTINGS& stSettings, bool bClients);
    void KeepManualVolumes(const stDRIVE_LIST_SETTINGS& stSettings);
    void AddManualVolumes(const stDRIVE_LIST_SETTINGS& stSettings, bool bClients, bool& bChanged);
    int FindListed(const CUnicodeString& strName) const;
    void RemoveListedAt(int nIndex);
    void ReapRetired();

    // Scheduler.
    struct stSCHEDULER_STATE;
    static DWORD WINAPI SchedulerThreadProc(LPVOID pParam);
    void RunScheduler();
    bool WaitSchedulerPeriod(DWORD dwMs);
    bool SchedulerTurn(stSCHEDULER_STATE& stState);
    bool IsSchedulerStopped() const;
    void SetSchedulerPriority(int nPriority);
    void ResetElevation(stSCHEDULER_STATE& stState);
    // Runs one piece of the scheduler's work with the drive-list lock released; the
    // volume's listed position afterwards, -1 when a rebuild dropped it meanwhile.
    template <class TWork> int Unlocked(CDefragPartition* pVolume, TWork fnWork);
    int PositionOf(const CDefragPartition* pVolume) const;
    bool AnyJobRunning() const;

    CRegistry m_registry;
    HANDLE m_hGuiItems;
    HANDLE m_hCommandItems;
    HKEY m_hMountedDevices;
    HANDLE m_hMountedDevicesEvent;
    // Set while the service is not paused; the scheduler waits for it at the start of
    // every turn, where it holds no lock.
    HANDLE m_hSchedulerRun;
    // The volume the scheduler works on with the drive-list lock released; a rebuild that
    // drops it parks it among the retired volumes instead of freeing it.
    CDefragPartition* m_pSchedulerVolume;
    // The volume whose cluster-range report the service thread builds with the drive-list
    // lock released; kept like the scheduler's.
    CDefragPartition* m_pReportVolume;
    std::vector<CDefragPartition*> m_retired;
    // The scheduler outlived the bound of the stop and was ended.
    bool m_bSchedulerEnded;
};

// The program's entry: the service object on the stack, its command line, 1 or 0.
int RunDefragServiceProgram(int argc, wchar_t** argv);
