// CCmdClient: what VfoldCmd does once its options are read: connect to the
// service, check its version, fetch the drive list, then list the volumes,
// wait until none is busy, or send one action for one volume.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class CNetDefragPartitionList;
class CServiceConnection;

class CCmdClient
{
public:
    static constexpr DWORD ReplySeconds = 5;
    static constexpr DWORD WaitPollMs = 1000;

    // The program's exit code: 0 on success, 1 otherwise.
    int Run(int32_t nAction, const std::wstring& strDrive);

    // True while the reported state is one of a running job's.
    static bool IsBusyState(int32_t nState);

private:
    // Connects and starts the receiver; false with the error printed.
    static bool Open(CServiceConnection& connection);
    static bool CheckVersion(CServiceConnection& connection);
    static std::unique_ptr<CNetDefragPartitionList> FetchDriveList(CServiceConnection& connection);
    static void PrintVolumes(const CNetDefragPartitionList& list);
    // False when no volume has the drive text as its drive path or GUID path.
    static bool FindVolume(const CNetDefragPartitionList& list, const std::wstring& strDrive,
                           int32_t* pnVolumeIndex, int32_t* pnState);
    static bool IsAnyBusy(const CNetDefragPartitionList& list);
    // Takes the connection over and ends it between its looks at the volumes.
    static int WaitUntilIdle(std::unique_ptr<CServiceConnection> pConnection);
    static int SendAction(CServiceConnection& connection, int32_t nAction, int32_t nVolumeIndex, int32_t nState,
                          const std::wstring& strDrive);
};
