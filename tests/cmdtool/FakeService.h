// A stand-in for the service on its command pipe pair, for driving VfoldCmd:
// it answers the version and drive-list requests as told and records every
// request.
#pragma once

#include "protocol/QOVQueuedServer.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CNetDefragObject;

struct stFakeVolume
{
    const wchar_t* pszRoot;
    const wchar_t* pszGuid;
    int32_t nIndex;
    int32_t nState;
};

struct stFakeRequest
{
    int32_t nCommand;
    int32_t nVolumeIndex; // -1 for a request without a volume
};

class CFakeService
{
public:
    enum EBehaviour
    {
        Answering,       // versions and drive lists
        PasswordSet,     // the drive list request gets 502
        NoVersion,       // the version request gets nothing
        VanishAfterList, // the pipes go away right after the drive list
    };

    static const stFakeVolume Volumes[3];

    // The first volume reports the states in turn, one per drive list, the
    // last one from then on.
    explicit CFakeService(EBehaviour eBehaviour, std::vector<int32_t> vecFirstStates = {0});
    ~CFakeService();

    bool Start();
    std::vector<stFakeRequest> GetRequests();
    // Waits until every client that came has gone again and the pair
    // listens for the next one.
    bool AwaitClientGone(DWORD dwTimeoutMs);

private:
    void Loop();
    void Handle(const stQueueItem& stItem);
    void AnswerDriveList();
    void Send(int32_t nCommand, CNetDefragObject* pObject);

    EBehaviour m_eBehaviour;
    std::vector<int32_t> m_vecFirstStates;
    size_t m_nListsSent;
    HANDLE m_hItems;
    HANDLE m_hStop;
    std::unique_ptr<CQOVQueuedServer> m_pServer;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<stFakeRequest> m_vecRequests;
    int m_nConnected;
    int m_nDisconnected;
    bool m_bVanished;
};
