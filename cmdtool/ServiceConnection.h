// CServiceConnection: the client's end of the service's command pipe pair.
// A receiver thread keeps every message that arrives; requests go out at
// once, and a reply is awaited by its code, dropping the messages before it.
#pragma once

#include "cmdtool/PacketList.h"
#include "base/AutoHandle.h"
#include "protocol/QOVQueuedServer.h"
#include "base/SyncObjects.h"

#include <windows.h>

#include <cstdint>
#include <memory>

class CNetDefragObject;

// Lock order: the connection lock before the packet list's lock. The
// receiver takes both, the senders only the connection lock and AwaitReply
// only the packet list's lock.
class CServiceConnection
{
public:
    static constexpr const wchar_t* PipeName = L"qovDefragServiceCMD";
    static constexpr int ConnectChecks = 10;
    static constexpr DWORD ConnectCheckMs = 100;
    static constexpr DWORD IdleMs = 10000;
    static constexpr DWORD EmptyListSleepMs = 100;
    // How long Connect waits for a busy pair to come free.
    static constexpr DWORD BusyWaitMs = 5000;
    // How often Connect looks again for a pair the service is making anew.
    static constexpr DWORD RemadeNameRetryMs = 50;

    CServiceConnection();
    // Stops the receiver, closes the connection and frees everything kept.
    ~CServiceConnection();
    CServiceConnection(const CServiceConnection&) = delete;
    CServiceConnection& operator=(const CServiceConnection&) = delete;

    // The events and the queued server.
    bool Create();
    // Waits up to BusyWaitMs while every instance of the pair serves another client;
    // pbBusy tells whether that is why it failed.
    bool Connect(const wchar_t* pszPipeName, bool* pbBusy);
    bool StartReceiver();
    // Asks up to ConnectChecks times, ConnectCheckMs apart.
    bool WaitConnected();

    // A bare message; codes above 1000 carry an object and are refused.
    bool SendCode(int32_t nCode);
    // A message with its object; codes below 1000 are refused.
    bool SendObject(int32_t nCode, CNetDefragObject& object);
    // True once a message with the code arrived within the seconds given and
    // was loaded into the object; a null object only consumes the reply.
    // False at once when the service answers that it wants a password,
    // which pbPasswordWanted then tells.
    bool AwaitReply(int32_t nCode, DWORD dwSeconds, CNetDefragObject* pObject, bool* pbPasswordWanted = nullptr);

private:
    bool SendMessage(int32_t nCode, CNetDefragObject* pObject);
    static DWORD WINAPI ReceiverThreadProc(LPVOID pParam);
    void ReceiverLoop();
    // Under the connection lock.
    void TakeQueuedItems();
    void KeepPacket(const stQueueItem& stItem);
    static bool LoadReply(const stPacketEntry& stEntry, CNetDefragObject* pObject);

    CCriticalSection m_csConnection;
    CPacketList m_packets;
    CAutoHandle m_hDataEvent;
    CAutoHandle m_hStopEvent;
    CAutoHandle m_hReceiverThread;
    std::unique_ptr<CQOVQueuedServer> m_pServer;
};
