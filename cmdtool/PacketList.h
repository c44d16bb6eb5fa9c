// stPacketEntry and CPacketList: the messages the client received, oldest
// first, each as its command and a copy of the bytes after its header.
#pragma once

#include "base/SyncObjects.h"

#include <windows.h>

#include <cstdint>
#include <deque>
#include <vector>

struct stPacketEntry
{
    int32_t nCommand;
    std::vector<BYTE> vecPayload;
};

// Every operation takes the list's own lock.
class CPacketList
{
public:
    // False when the copy cannot be allocated; nothing is stored then.
    bool Append(int32_t nCommand, const BYTE* pPayload, size_t nLength);
    // False when the list is empty.
    bool TakeOldest(stPacketEntry& stEntry);
    void RemoveAll();

private:
    CCriticalSection m_csPackets;
    std::deque<stPacketEntry> m_entries;
};
