#include "cmdtool/CmdClient.h"

#include "cmdtool/CmdOptions.h"
#include "cmdtool/ServiceConnection.h"
#include "cmdtool/TextCompare.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionObject.h"
#include "protocol/NetDefragVersionInfo.h"

#include <cstdio>
#include <new>

namespace
{
// The reported volume states of a running job: analysing, defragmenting and
// checking, manual or in the background, and stopping. Monitoring, faulty
// and suspended volumes are not busy.
const int32_t BusyStates[] = {
    2,  // automatic analysis
    3,  // automatic defragmentation
    4,  // analysis
    5,  // defragmentation
    8,  // stopping
    10, // automatic check
    11, // check
};

const wchar_t* TextOf(const CUnicodeString& str)
{
    return str.GetBuffer() != nullptr ? str.GetBuffer() : L"";
}

void Print(const wchar_t* pszText)
{
    std::wprintf(L"%ls", pszText);
}

// Sends a bare request and awaits its reply as an object of type T; null,
// with the matching text printed, when no reply came or no object could be
// made for it.
template <class T>
std::unique_ptr<T> Ask(CServiceConnection& connection, int32_t nRequest, int32_t nReply,
                       const wchar_t* pszNoReply, const wchar_t* pszNoObject)
{
    connection.SendCode(nRequest);
    std::unique_ptr<T> pObject(new (std::nothrow) T);
    if (!connection.AwaitReply(nReply, CCmdClient::ReplySeconds, pObject.get()))
    {
        Print(pszNoReply);
        return nullptr;
    }
    if (!pObject)
        Print(pszNoObject);
    return pObject;
}
}

int CCmdClient::Run(int32_t nAction, const std::wstring& strDrive)
{
    CServiceConnection connection;
    if (!connection.Create())
        return 1;
    if (!connection.Connect(CServiceConnection::PipeName))
    {
        Print(L"Error: Can't start connection to Service\n");
        return 1;
    }
    if (!connection.StartReceiver())
        return 1;
    if (!connection.WaitConnected())
    {
        Print(L"Error: Can't connect to Service\n");
        return 1;
    }
    if (!CheckVersion(connection))
        return 1;
    std::unique_ptr<CNetDefragPartitionList> pList = FetchDriveList(connection);
    if (!pList)
        return 1;

    if (nAction == CCmdOptions::ActionList)
    {
        PrintVolumes(*pList);
        return 0;
    }
    int32_t nVolumeIndex = -1;
    bool bFound = FindVolume(*pList, strDrive, &nVolumeIndex);
    pList.reset();
    if (nAction == CCmdOptions::ActionWait)
        return WaitUntilIdle(connection);
    if (!bFound)
    {
        std::wprintf(L"Error: Can't find drive in Partition information: %ls\n", strDrive.c_str());
        return 1;
    }
    return SendAction(connection, nAction, nVolumeIndex);
}

void CCmdClient::PrintVolumes(const CNetDefragPartitionList& list)
{
    for (int i = 0; i < list.GetCount(); ++i)
    {
        const CNetDefragPartitionListEntry* pEntry = list.GetEntry(i);
        std::wprintf(L"%ls %ls\n", TextOf(pEntry->m_strDriveRoot), TextOf(pEntry->m_strVolumeGuidPath));
    }
}

bool CCmdClient::FindVolume(const CNetDefragPartitionList& list, const std::wstring& strDrive,
                            int32_t* pnVolumeIndex)
{
    // The drive path of each volume first, then its GUID path.
    for (int i = 0; i < list.GetCount(); ++i)
    {
        const CNetDefragPartitionListEntry* pEntry = list.GetEntry(i);
        if (IsSameTextNoCase(strDrive.c_str(), TextOf(pEntry->m_strDriveRoot)) ||
            IsSameTextNoCase(strDrive.c_str(), TextOf(pEntry->m_strVolumeGuidPath)))
        {
            *pnVolumeIndex = pEntry->m_nVolumeIndex;
            return true;
        }
    }
    return false;
}

bool CCmdClient::IsBusyState(int32_t nState)
{
    for (int32_t nBusy : BusyStates)
        if (nState == nBusy)
            return true;
    return false;
}

bool CCmdClient::CheckVersion(CServiceConnection& connection)
{
    return Ask<CNetDefragVersionInfo>(connection, CMD_GET_SERVICE_INFO, RESPONSE_SERVICE_INFO,
                                      L"Error: Can't get Version information from Service\n",
                                      L"Error: Version information from Service is 0\n") != nullptr;
}

std::unique_ptr<CNetDefragPartitionList> CCmdClient::FetchDriveList(CServiceConnection& connection)
{
    return Ask<CNetDefragPartitionList>(connection, CMD_GET_PARTITION_LIST, RESPONSE_PARTITION_LIST,
                                        L"Error: Can't get Partition information from Service\n",
                                        L"Error: Partition information from Service is 0\n");
}

int CCmdClient::WaitUntilIdle(CServiceConnection& connection)
{
    for (;;)
    {
        std::unique_ptr<CNetDefragPartitionList> pList = FetchDriveList(connection);
        if (!pList)
            return 1;
        bool bBusy = false;
        for (int i = 0; i < pList->GetCount(); ++i)
            bBusy |= IsBusyState(pList->GetEntry(i)->m_nState);
        pList.reset();
        ::Sleep(WaitPollMs);
        if (!bBusy)
            return 0;
    }
}

int CCmdClient::SendAction(CServiceConnection& connection, int32_t nAction, int32_t nVolumeIndex)
{
    CNetDefragPartitionObject volume;
    volume.m_nVolumeIndex = nVolumeIndex;
    // No reply is awaited, but a request that never left must not pass for
    // one that did.
    if (!connection.SendObject(nAction, volume))
    {
        Print(L"Error: Can't send command to Service\n");
        return 1;
    }
    return 0;
}
