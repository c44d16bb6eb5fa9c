#include "protocol/QOVServer.h"

CQOVServer::CQOVServer() : m_nPipeClientId(DefaultPipeClientId)
{
    for (std::atomic<uint32_t>& nGeneration : m_anSlotGeneration)
        nGeneration = AnyGeneration + 1;
}

uint32_t CQOVServer::GetGeneration(int nClientId) const
{
    if (nClientId == m_nPipeClientId)
        return CNamedPipe::GetGeneration();
    return IsSlot(nClientId) ? m_anSlotGeneration[nClientId].load() : AnyGeneration;
}

void CQOVServer::NextSlotGeneration(int nSlot)
{
    if (!IsSlot(nSlot))
        return;
    uint32_t nNext = m_anSlotGeneration[nSlot] + 1;
    m_anSlotGeneration[nSlot] = nNext == AnyGeneration ? nNext + 1 : nNext;
}

// The TCP channel sends under no lock shared with its worker: a slot's
// generation is checked just before the send.
bool CQOVServer::IsOtherSlotPeer(int nClientId, uint32_t nGeneration) const
{
    return nGeneration != AnyGeneration && (!IsSlot(nClientId) || nGeneration != m_anSlotGeneration[nClientId]);
}

CQOVServer::~CQOVServer()
{
    Stop();
}

int CQOVServer::GetClientCount() const
{
    return (CNamedPipe::IsConnected() ? 1 : 0) + GetConnectedCount();
}

bool CQOVServer::IsConnected() const
{
    return CNamedPipe::IsConnected() || IsAnyConnected();
}

bool CQOVServer::SendTo(int nClientId, const BYTE* pPayload, int32_t nLength, uint32_t nGeneration)
{
    if (nClientId == m_nPipeClientId)
    {
        if (!CNamedPipe::IsConnected())
            return true;
        if (CLCServer::SendFrame(pPayload, nLength, nGeneration))
            return true;
        // A reply whose client has gone is dropped, as for one not connected.
        return nGeneration != AnyGeneration && nGeneration != CNamedPipe::GetGeneration();
    }
    if (IsOtherSlotPeer(nClientId, nGeneration))
        return true;
    return !IsAnyConnected() || CNCServer::SendFrame(nClientId, pPayload, nLength);
}

bool CQOVServer::SendToAll(const BYTE* pPayload, int32_t nLength)
{
    bool bAllSent = true;
    if (CNamedPipe::IsConnected())
        bAllSent &= CLCServer::SendFrame(pPayload, nLength);
    if (IsAnyConnected())
        bAllSent &= Broadcast(pPayload, nLength);
    return bAllSent;
}

void CQOVServer::DisconnectClient(int nClientId, uint32_t nGeneration)
{
    if (nClientId == m_nPipeClientId)
    {
        if (CNamedPipe::IsConnected())
            CLCServer::Disconnect(nGeneration);
    }
    else if (IsAnyConnected() && !IsOtherSlotPeer(nClientId, nGeneration))
        CloseClient(nClientId);
}

void CQOVServer::DisconnectAll(uint32_t nGeneration)
{
    if (CNamedPipe::IsConnected())
        CLCServer::Disconnect(nGeneration);
    // A generation names the pipe's peer; the slots' are their own.
    if (nGeneration == AnyGeneration)
        CloseAll();
}

void CQOVServer::Stop()
{
    Close();
    CNCServer::Stop();
}

void CQOVServer::FreeBuffers()
{
    CLCServer::FreeBuffers();
    Maintain();
}

void CQOVServer::OnClientMessage(int nClient, const BYTE* pPayload, int32_t nLength)
{
    CNCServer::SendFrame(nClient, pPayload, nLength);
}
