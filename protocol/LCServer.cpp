#include "protocol/LCServer.h"

CLCServer::CLCServer()
    : m_assembler(CFrameAssembler::PipeHeaderSize),
      m_nExpectedVersion(CFrameAssembler::FrameVersion)
{
}

CLCServer::~CLCServer()
{
    Close();
}

bool CLCServer::StartServer(const wchar_t* pszName)
{
    OnStart(pszName);
    return SetName(pszName, L".") && Open(true);
}

bool CLCServer::ConnectLocal(const wchar_t* pszName)
{
    return SetName(pszName, L".") && Open(false);
}

bool CLCServer::SendFrame(const BYTE* pPayload, int32_t nLength, uint32_t nGeneration)
{
    if (nLength < 0 || nLength > CFrameAssembler::MaxPayload)
        return false;
    CSectionLock sendLock(m_csSend);
    size_t nFrameSize = CFrameAssembler::GetFrameSize(CFrameAssembler::PipeHeaderSize, nLength);
    BYTE* pFrame = m_sendBuffer.Reserve(nFrameSize);
    if (pFrame == nullptr)
        return false;
    CFrameAssembler::WriteFrame(pFrame, CFrameAssembler::PipeHeaderSize, pPayload, nLength, 0);
    return Write(pFrame, static_cast<DWORD>(nFrameSize), nGeneration);
}

void CLCServer::FreeBuffers()
{
    {
        CSectionLock sendLock(m_csSend);
        m_sendBuffer.Free();
    }
    CSectionLock receiveLock(m_csReceive);
    if (m_assembler.IsIdle())
        m_assembler.Reset();
}

void CLCServer::Disconnect(uint32_t nGeneration)
{
    CNamedPipe::Disconnect(nGeneration);
    FreeBuffers();
}

void CLCServer::OnReceive(const BYTE* pBytes, DWORD dwCount)
{
    bool bKeep;
    {
        CSectionLock receiveLock(m_csReceive);
        bKeep = ConsumeReceived(pBytes, dwCount);
    }
    // Disconnecting takes the pipe lock, and a disconnection on another
    // thread holds that lock while it waits for the receive lock.
    if (!bKeep)
        Disconnect();
}

bool CLCServer::ConsumeReceived(const BYTE* pBytes, DWORD dwCount)
{
    size_t nLeft = dwCount;
    while (nLeft > 0)
    {
        size_t nUsed = 0;
        CFrameAssembler::EResult eResult = m_assembler.Take(pBytes, nLeft, &nUsed);
        pBytes += nUsed;
        nLeft -= nUsed;
        switch (eResult)
        {
        case CFrameAssembler::NeedMore:
            break;
        case CFrameAssembler::FrameDone:
            if (!DeliverFrame())
            {
                m_assembler.Reset();
                return false;
            }
            break;
        case CFrameAssembler::NoMemory:
            m_assembler.Reset();
            OnError(0, GetGeneration());
            return false;
        default:
            m_assembler.Reset();
            return false;
        }
    }
    return true;
}

bool CLCServer::DeliverFrame()
{
    const stFrameRecord* pRecord = m_assembler.GetRecord();
    if (pRecord->nFrameVersion != m_nExpectedVersion)
        OnError(FrameVersionError, GetGeneration());
    try
    {
        return OnMessage(pRecord->pPayload, m_assembler.GetPayloadLength());
    }
    catch (...)
    {
        // A consumer's failure must not end the reader thread.
    }
    return true;
}

void CLCServer::OnDisconnect(uint32_t nGeneration)
{
    {
        CSectionLock receiveLock(m_csReceive);
        m_assembler.Reset();
    }
    OnPipeDisconnected(nGeneration);
}

void CLCServer::OnConnect()
{
    // Bytes of the previous client that were still on their way must not
    // start the new client's first frame.
    {
        CSectionLock receiveLock(m_csReceive);
        m_assembler.Reset();
    }
    OnPipeConnected();
}

void CLCServer::OnError(DWORD dwError, uint32_t nGeneration)
{
    OnPipeError(dwError, nGeneration);
}

bool CLCServer::OnMessage(const BYTE* pPayload, int32_t nLength)
{
    Write(pPayload, static_cast<DWORD>(nLength));
    return true;
}
