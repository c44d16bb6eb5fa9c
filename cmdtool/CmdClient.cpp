#include "cmdtool/CmdClient.h"

#include "cmdtool/CmdOptions.h"
#include "cmdtool/ConsoleText.h"
#include "cmdtool/ServiceConnection.h"
#include "cmdtool/TextCompare.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionObject.h"
#include "protocol/NetDefragVersionInfo.h"

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

// The actions that start a run: the service refuses them on a volume that is busy.
bool IsRunAction(int32_t nAction)
{
    return nAction == CMD_DEFRAG_QUICK || nAction == CMD_DEFRAG_COMPLETE || nAction == CMD_DEFRAG_ADVANCED;
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
    bool bPasswordWanted = false;
    if (!connection.AwaitReply(nReply, CCmdClient::ReplySeconds, pObject.get(), &bPasswordWanted))
    {
        // The console client has no password to give.
        console::Print(bPasswordWanted ? std::wstring(L"Error: The Service asks for a password\n") : pszNoReply);
        return nullptr;
    }
    if (!pObject)
        console::Print(pszNoObject);
    return pObject;
}
}

bool CCmdClient::Open(CServiceConnection& connection)
{
    if (!connection.Create())
        return false;
    bool bBusy = false;
    if (!connection.Connect(CServiceConnection::PipeName, &bBusy))
    {
        console::Print(bBusy ? L"Error: Can't start connection to Service: it is busy with other clients\n"
                             : L"Error: Can't start connection to Service\n");
        return false;
    }
    if (!connection.StartReceiver())
        return false;
    if (!connection.WaitConnected())
    {
        console::Print(L"Error: Can't connect to Service\n");
        return false;
    }
    return true;
}

int CCmdClient::Run(int32_t nAction, const std::wstring& strDrive)
{
    std::unique_ptr<CServiceConnection> pConnection(new (std::nothrow) CServiceConnection);
    if (!pConnection || !Open(*pConnection) || !CheckVersion(*pConnection))
        return 1;
    std::unique_ptr<CNetDefragPartitionList> pList = FetchDriveList(*pConnection);
    if (!pList)
        return 1;

    if (nAction == CCmdOptions::ActionList)
    {
        PrintVolumes(*pList);
        return 0;
    }
    int32_t nVolumeIndex = -1;
    int32_t nState = 0;
    bool bFound = FindVolume(*pList, strDrive, &nVolumeIndex, &nState);
    pList.reset();
    if (nAction == CCmdOptions::ActionWait)
        return WaitUntilIdle(std::move(pConnection));
    if (!bFound)
    {
        console::Print(L"Error: Can't find drive in Partition information: " + strDrive + L"\n");
        return 1;
    }
    return SendAction(*pConnection, nAction, nVolumeIndex, nState, strDrive);
}

void CCmdClient::PrintVolumes(const CNetDefragPartitionList& list)
{
    for (int i = 0; i < list.GetCount(); ++i)
    {
        const CNetDefragPartitionListEntry* pEntry = list.GetEntry(i);
        console::Print(std::wstring(TextOf(pEntry->m_strDriveRoot)) + L" " + TextOf(pEntry->m_strVolumeGuidPath) +
                       L"\n");
    }
}

bool CCmdClient::FindVolume(const CNetDefragPartitionList& list, const std::wstring& strDrive,
                            int32_t* pnVolumeIndex, int32_t* pnState)
{
    // The drive path of each volume first, then its GUID path.
    for (int i = 0; i < list.GetCount(); ++i)
    {
        const CNetDefragPartitionListEntry* pEntry = list.GetEntry(i);
        if (IsSameTextNoCase(strDrive.c_str(), TextOf(pEntry->m_strDriveRoot)) ||
            IsSameTextNoCase(strDrive.c_str(), TextOf(pEntry->m_strVolumeGuidPath)))
        {
            *pnVolumeIndex = pEntry->m_nVolumeIndex;
            *pnState = pEntry->m_nState;
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

bool CCmdClient::IsAnyBusy(const CNetDefragPartitionList& list)
{
    for (int i = 0; i < list.GetCount(); ++i)
        if (IsBusyState(list.GetEntry(i)->m_nState))
            return true;
    return false;
}

int CCmdClient::WaitUntilIdle(std::unique_ptr<CServiceConnection> pConnection)
{
    // The service serves one client of this pair at a time: between looks the pair is left
    // free, so that another VfoldCmd (one that stops the run waited for) gets through.
    for (;;)
    {
        std::unique_ptr<CNetDefragPartitionList> pList = FetchDriveList(*pConnection);
        if (!pList)
            return 1;
        const bool bBusy = IsAnyBusy(*pList);
        pConnection.reset();
        ::Sleep(WaitPollMs);
        if (!bBusy)
            return 0;
        pConnection.reset(new (std::nothrow) CServiceConnection);
        if (!pConnection || !Open(*pConnection))
            return 1;
    }
}

int CCmdClient::SendAction(CServiceConnection& connection, int32_t nAction, int32_t nVolumeIndex, int32_t nState,
                           const std::wstring& strDrive)
{
    // The drive list just received tells that the service would refuse the run: the volume
    // has one going already.
    if (IsRunAction(nAction) && IsBusyState(nState))
    {
        console::Print(L"Error: Drive is busy, the Service refuses the action: " + strDrive + L"\n");
        return 1;
    }
    CNetDefragPartitionObject volume;
    volume.m_nVolumeIndex = nVolumeIndex;
    // No reply is awaited, but a request that never left must not pass for
    // one that did.
    if (!connection.SendObject(nAction, volume))
    {
        console::Print(L"Error: Can't send command to Service\n");
        return 1;
    }
    return 0;
}
