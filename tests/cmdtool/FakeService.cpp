#include "FakeService.h"

#include "cmdtool/ServiceConnection.h"
#include "tests/protocol/ProtocolTestSupport.h"
#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPacketHeader.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionObject.h"
#include "protocol/NetDefragVersionInfo.h"

#include <exception>

const stFakeVolume CFakeService::Volumes[3] = {
    {L"C:\\", L"\\\\?\\Volume{00000000-0000-0000-0000-000000000043}\\", 7, 0},
    {L"E:\\", L"\\\\?\\Volume{00000000-0000-0000-0000-000000000045}\\", 9, 1},
    // A volume without a letter is named by its GUID path in both fields.
    {L"\\\\?\\Volume{00000000-0000-0000-0000-00000000004a}\\",
     L"\\\\?\\Volume{00000000-0000-0000-0000-00000000004a}\\", 12, 12},
};

CFakeService::CFakeService(EBehaviour eBehaviour, std::vector<int32_t> vecFirstStates)
    : m_eBehaviour(eBehaviour), m_vecFirstStates(std::move(vecFirstStates)), m_nListsSent(0),
      m_hItems(::CreateEventW(NULL, FALSE, FALSE, NULL)), m_hStop(::CreateEventW(NULL, TRUE, FALSE, NULL)),
      m_nConnected(0), m_nDisconnected(0), m_bVanished(false)
{
}

CFakeService::~CFakeService()
{
    ::SetEvent(m_hStop);
    if (m_thread.joinable())
        m_thread.join();
    m_pServer.reset();
    ::CloseHandle(m_hItems);
    ::CloseHandle(m_hStop);
}

bool CFakeService::Start()
{
    m_pServer.reset(new CQOVQueuedServer(m_hItems));
    m_pServer->SetPipeClientId(-2);
    if (!m_pServer->StartServer(CServiceConnection::PipeName))
        return false;
    m_thread = std::thread([this] { Loop(); });
    return true;
}

std::vector<stFakeRequest> CFakeService::GetRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecRequests;
}

bool CFakeService::AwaitClientGone(DWORD dwTimeoutMs)
{
    ULONGLONG ullStart = ::GetTickCount64();
    for (;;)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_bVanished)
                return true;
            if (m_nConnected == m_nDisconnected)
                break;
        }
        if (::GetTickCount64() - ullStart > dwTimeoutMs)
            return false;
        ::Sleep(20);
    }
    std::wstring strIn = std::wstring(L"\\\\.\\PIPE\\") + CServiceConnection::PipeName + L"_IN";
    std::wstring strOut = std::wstring(L"\\\\.\\PIPE\\") + CServiceConnection::PipeName + L"_OUT";
    return ::WaitNamedPipeW(strOut.c_str(), dwTimeoutMs) && ::WaitNamedPipeW(strIn.c_str(), dwTimeoutMs);
}

void CFakeService::Loop()
{
    HANDLE ahWait[2] = {m_hStop, m_hItems};
    while (::WaitForMultipleObjects(2, ahWait, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
    {
        while (stQueueItem* pItem = m_pServer->PopItem())
        {
            Handle(*pItem);
            CQOVQueuedServer::FreeItem(pItem);
        }
    }
}

void CFakeService::Handle(const stQueueItem& stItem)
{
    if (stItem.nKind == stQueueItem::KindConnected || stItem.nKind == stQueueItem::KindDisconnected)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        (stItem.nKind == stQueueItem::KindConnected ? m_nConnected : m_nDisconnected)++;
        return;
    }
    if (stItem.nKind != stQueueItem::KindData)
        return;
    stFakeRequest stRequest = {0, -1};
    try
    {
        CNetDefragBuffer ar(false);
        ar.Attach(stItem.pPayload, static_cast<UINT>(stItem.nLength));
        CNetDefragPacketHeader header;
        header.Serialize(ar);
        stRequest.nCommand = header.GetCommand();
        if (stRequest.nCommand > 1000)
        {
            CNetDefragPartitionObject volume;
            volume.Serialize(ar);
            stRequest.nVolumeIndex = volume.m_nVolumeIndex;
        }
    }
    catch (const std::exception&)
    {
        stRequest.nCommand = -1;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_vecRequests.push_back(stRequest);
    }
    if (stRequest.nCommand == CMD_GET_SERVICE_INFO && m_eBehaviour != NoVersion)
    {
        CNetDefragVersionInfo version;
        version.m_nMajorVersion = 3;
        version.m_nMinorVersion = 6;
        version.m_strVersionText = L"3.6.0.0";
        Send(RESPONSE_SERVICE_INFO, &version);
    }
    else if (stRequest.nCommand == CMD_GET_PARTITION_LIST)
        AnswerDriveList();
}

void CFakeService::AnswerDriveList()
{
    if (m_eBehaviour == PasswordSet)
    {
        Send(RESPONSE_PASSWORD_REQUIRED, nullptr);
        return;
    }
    CNetDefragPartitionList list;
    for (const stFakeVolume& stVolume : Volumes)
    {
        std::unique_ptr<CNetDefragPartitionListEntry> pEntry(new CNetDefragPartitionListEntry);
        pEntry->m_strDriveRoot = stVolume.pszRoot;
        pEntry->m_strVolumeGuidPath = stVolume.pszGuid;
        pEntry->m_strFileSystemName = L"NTFS";
        pEntry->m_nVolumeIndex = stVolume.nIndex;
        pEntry->m_nState = stVolume.nState;
        list.Add(std::move(pEntry));
    }
    size_t nTurn = m_nListsSent < m_vecFirstStates.size() ? m_nListsSent : m_vecFirstStates.size() - 1;
    list.GetEntry(0)->m_nState = m_vecFirstStates[nTurn];
    ++m_nListsSent;
    // The service also sends state notices at any time; the client must
    // skip them while it waits for its reply.
    Send(RESPONSE_PARTITION_ENTRY, list.GetEntry(1));
    Send(RESPONSE_PARTITION_LIST, &list);
    if (m_eBehaviour == VanishAfterList)
    {
        m_pServer->Stop();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bVanished = true;
    }
}

void CFakeService::Send(int32_t nCommand, CNetDefragObject* pObject)
{
    prototest::Bytes message = prototest::BuildMessage(nCommand, pObject);
    m_pServer->SendTo(m_pServer->GetPipeClientId(), message.data(), static_cast<int32_t>(message.size()));
}
