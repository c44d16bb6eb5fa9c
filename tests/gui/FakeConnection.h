// A scripted service behind the connection's transport interface, and a
// window-less host that notes what the connection shows and asks for.
#pragma once

#include "gui/ConnectionHost.h"

#include "protocol/NetDefragBuffer.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// What the test scripts and reads back; outlives the transports it hands out.
struct stFakeService
{
    // Answers of the next connects: 0 connects, anything else fails with that
    // error. None left: connects.
    std::deque<DWORD> connectAnswers;
    int nConnectCalls = 0;
    bool bConnected = false;
    bool bSendFails = false;
    // The command of every message sent, in order.
    std::vector<int32_t> sentCommands;
    std::deque<stQueueItem*> queue;
    int nFlushes = 0;
    int nDisconnectAll = 0;
    std::vector<int> disconnectedClients;
    std::atomic<int> nIdleCalls{0};
    int nTransportsMade = 0;
    // The event the last transport was made with.
    HANDLE hItemsQueued = NULL;
    int nTransportsAlive = 0;

    ~stFakeService();
    // A message with that header version and command, then the 32-bit values.
    void QueueData(int32_t nCommand, int32_t nVersion = 5, int nClientId = -1);
    // A whole message as it travels, header first.
    void QueuePayload(const std::vector<BYTE>& payload, int nClientId = -1);
    void QueueEvent(int nKind, int nClientId, int nValue = 0);
};

class CFakeTransport : public IConnectionTransport
{
public:
    explicit CFakeTransport(stFakeService& service);
    ~CFakeTransport() override;

    bool ConnectLocal(const wchar_t* pszPipeName) override;
    bool IsConnected() const override { return m_service.bConnected; }
    stQueueItem* PopItem() override;
    void FlushQueue() override;
    void OnIdle() override { ++m_service.nIdleCalls; }
    bool SendToAll(const BYTE* pPayload, int32_t nLength) override;
    void DisconnectClient(int nClientId) override { m_service.disconnectedClients.push_back(nClientId); }
    void DisconnectAll() override;
    void Stop() override { m_service.bConnected = false; }

private:
    stFakeService& m_service;
};

class CFakeHost : public IConnectionHost
{
public:
    static constexpr UINT_PTR TimerId = 80204;
    static constexpr const wchar_t* LocalName = L"TestHost";

    explicit CFakeHost(stFakeService& service) : m_service(service) {}

    std::unique_ptr<IConnectionTransport> CreateTransport(HANDLE hItemsQueued) override;
    UINT_PTR SetRetryTimer(UINT nElapseMs) override;
    void KillRetryTimer(UINT_PTR nTimerId) override;
    void SetStatusText(const wchar_t* pszText) override { statusTexts.push_back(pszText); }
    void ShowComputerName(const wchar_t* pszName) override { strComputerPane = pszName; }
    void SetServiceVersion(const wchar_t* pszText) override { strServiceVersion = pszText; }
    void SetTrayState(int nState) override { trayStates.push_back(nState); }
    // The box's modal loop is what onBox does.
    void ShowMessageBox(const wchar_t* pszText) override;
    void BeginWaitCursor() override { ++nWaitCursors; }
    void EndWaitCursor() override { --nWaitCursors; }
    void PostServerData() override { ++nDataPosts; }
    void ResumeDrainLater() override { ++nDrainResumes; }
    void PostServerLost(bool bRetry) override { lostPosts.push_back(bRetry); }
    void PumpMessages() override { ++nPumps; }
    void Sleep(DWORD dwMs) override { ullSleptMs += dwMs; }
    CString GetLocalComputerName() override { return CString(LocalName); }
    void TrimWorkingSet() override {}
    void EmptyList() override;
    void ResetWindows() override { ++nResets; }
    void ReleaseClusterMaps(bool bUnsubscribe) override { mapReleases.push_back(bUnsubscribe); }
    void DispatchPacket(int32_t nClientId, int32_t nCommand, CNetDefragBuffer& ar) override;

    std::vector<std::wstring> statusTexts;
    std::vector<std::wstring> boxes;
    std::wstring strComputerPane;
    std::wstring strServiceVersion;
    std::vector<int> trayStates;
    std::vector<bool> lostPosts;
    std::vector<bool> mapReleases;
    // Commands handed to the reply handling, in order.
    std::vector<int32_t> dispatched;
    bool bTimerRunning = false;
    UINT nTimerElapse = 0;
    int nTimerStarts = 0;
    int nWaitCursors = 0;
    std::atomic<int> nDataPosts{0};
    int nDrainResumes = 0;
    int nPumps = 0;
    int nResets = 0;
    int nEmptyLists = 0;
    ULONGLONG ullSleptMs = 0;

    std::function<void()> onBox;
    std::function<void()> onEmptyList;
    std::function<void(int32_t nCommand, CNetDefragBuffer& ar)> onDispatch;

private:
    stFakeService& m_service;
};
