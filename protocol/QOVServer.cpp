#include "protocol/QOVServer.h"

CQOVServer::CQOVServer() : m_nPipeClientId(DefaultPipeClientId)
{
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

bool CQOVServer::SendTo(int nClientId, const BYTE* pPayload, int32_t nLength)
{
    if (nClientId == m_nPipeClientId)
        return !CNamedPipe::IsConnected() || CLCServer::SendFrame(pPayload, nLength);
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

void CQOVServer::DisconnectClient(int nClientId)
{
    if (nClientId == m_nPipeClientId)
    {
        if (CNamedPipe::IsConnected())
            CLCServer::Disconnect();
    }
    else if (IsAnyConnected())
        CloseClient(nClientId);
}

void CQOVServer::DisconnectAll()
{
    if (CNamedPipe::IsConnected())
        CLCServer::Disconnect();
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
