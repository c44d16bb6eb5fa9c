// CClientTable: the clients of the service's two servers as the service thread has seen them
// connect, each with the generation of its connection and whether it has logged in; and the
// client keys that name one connection of one client to the service and the volume objects.
//
// A key holds the server, the client's slot (0 the pipe, 1-20 the TCP slots) and the low bits
// of its connection's generation, and is always positive: the volume objects reserve 0 and the
// negative ids. The protocol's own client ids (-1, -2, 0-19) are not changed by it.
#pragma once

#include "protocol/NCServer.h"
#include "base/SyncObjects.h"

#include <cstdint>
#include <vector>

class CClientTable
{
public:
    static constexpr int SlotsPerServer = 1 + CNCServer::SlotCount;
    static constexpr int32_t GuiClientBase = 1;
    static constexpr int32_t CommandClientBase = 101;
    static constexpr uint32_t KeyGenerationMask = 0x7FFFFF;

    struct stCLIENT
    {
        bool bCommandServer;
        int nSlot;             // 0 the pipe's client, 1-20 the TCP slots 0-19
        uint32_t nGeneration;  // the low bits a key carries
    };

    static int32_t MakeKey(bool bCommandServer, int nSlot, uint32_t nGeneration);
    // False for a value that is no client key.
    static bool Decode(int32_t nKey, stCLIENT& stClient);
    // Whether a full generation is the one a key names.
    static bool IsGeneration(uint32_t nFull, uint32_t nKeyGeneration)
    {
        return (nFull & KeyGenerationMask) == nKeyGeneration;
    }

    CClientTable();

    void Connected(int32_t nKey);
    // Only the connection the key names; a later one of the slot stays.
    void Disconnected(int32_t nKey);
    void LogIn(int32_t nKey);
    bool IsLoggedIn(int32_t nKey);
    // The keys of the clients of one server that are connected now.
    std::vector<int32_t> ConnectedKeys(bool bCommandServer);

private:
    struct stSTATE
    {
        uint32_t nGeneration;
        bool bConnected;
        bool bLoggedIn;
    };

    // Under the lock; null for a key of a connection that is not the slot's current one.
    stSTATE* Current(int32_t nKey);

    // Innermost: nothing else is taken while it is held.
    CCriticalSection m_csTable;
    stSTATE m_aState[2][SlotsPerServer];
};
