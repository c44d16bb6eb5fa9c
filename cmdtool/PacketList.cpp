#include "cmdtool/PacketList.h"

#include <new>
#include <utility>

bool CPacketList::Append(int32_t nCommand, const BYTE* pPayload, size_t nLength)
{
    try
    {
        stPacketEntry stEntry{nCommand, std::vector<BYTE>(pPayload, pPayload + nLength)};
        CSectionLock packetLock(m_csPackets);
        m_entries.push_back(std::move(stEntry));
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

bool CPacketList::TakeOldest(stPacketEntry& stEntry)
{
    CSectionLock packetLock(m_csPackets);
    if (m_entries.empty())
        return false;
    stEntry = std::move(m_entries.front());
    m_entries.pop_front();
    return true;
}

void CPacketList::RemoveAll()
{
    CSectionLock packetLock(m_csPackets);
    m_entries.clear();
}
