#include "gui/ConnectionController.h"

#include "gui/Resource.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragObject.h"
#include "protocol/NetDefragPacketHeader.h"
#include "protocol/QOVQueuedServer.h"

#include <process.h>

namespace
{
// The report keeps the file and lines that this program's assertion reports have
// always carried, so that collected reports stay comparable.
const char* const AssertionFile = ".\\DefragListView.cpp";
const int SendCommandAssertionLine = 1031;
const int SendBareCommandAssertionLine = 1058;

CString LoadText(UINT nID)
{
    CString str;
    str.LoadString(nID);
    return str;
}

struct stItemDeleter
{
    void operator()(stQueueItem* pItem) const { CQOVQueuedServer::FreeItem(pItem); }
};
using ItemPtr = std::unique_ptr<stQueueItem, stItemDeleter>;

// Sets a flag for the life of a scope.
class CFlagScope
{
public:
    explicit CFlagScope(bool& bFlag) : m_bFlag(bFlag), m_bOld(bFlag) { m_bFlag = true; }
    ~CFlagScope() { m_bFlag = m_bOld; }
    CFlagScope(const CFlagScope&) = delete;
    CFlagScope& operator=(const CFlagScope&) = delete;

private:
    bool& m_bFlag;
    bool m_bOld;
};
}

CConnectionController::CConnectionController(IConnectionHost& host)
    : m_host(host), m_strPipeName(PipeName), m_bRetryEnded(false), m_bRetryAfterLoss(false), m_nRetryTimer(0), m_bConnecting(false),
      m_nAssertions(0), m_nIdleTicksDeferred(0), m_bDataPosted(false), m_nThreadStopsAbandoned(0), m_dwIdleMs(IdleIntervalMs),
      m_dwStopLimitMs(ThreadStopLimitMs)
{
}

CConnectionController::~CConnectionController()
{
    StopWaitThread();
    CSectionLock connectionLock(m_csConnection);
    if (m_pTransport)
    {
        m_pTransport->Stop();
        m_pTransport->FlushQueue();
        m_pTransport.reset();
    }
}

void CConnectionController::SetTimings(DWORD dwIdleMs, DWORD dwStopLimitMs)
{
    m_dwIdleMs = dwIdleMs;
    m_dwStopLimitMs = dwStopLimitMs;
}

bool CConnectionController::IsConnected()
{
    CSectionLock connectionLock(m_csConnection);
    return m_pTransport && !m_strComputerName.IsEmpty();
}

CString CConnectionController::GetComputerName()
{
    CSectionLock connectionLock(m_csConnection);
    return m_strComputerName;
}

bool CConnectionController::ConnectToComputer(const wchar_t* pszComputer, bool bStopRetry)
{
    if (bStopRetry && m_nRetryTimer != 0)
    {
        StopRetryTimer();
        m_bRetryEnded = true;
        m_bRetryAfterLoss = false;
    }
    CString strComputer(pszComputer);
    strComputer.MakeUpper();
    if (!strComputer.IsEmpty() && strComputer == GetComputerName())
        return true;

    CFlagScope connecting(m_bConnecting);
    m_host.BeginWaitCursor();
    bool bConnected = false;
    DWORD dwError = 0;
    bool bTransport = true;
    {
        CSectionLock connectionLock(m_csConnection);
        m_host.EmptyList();
        if (m_pTransport)
        {
            Close(ECloseKind::Orderly);
            m_host.PumpMessages();
            m_host.Sleep(200);
            ::SwitchToThread();
        }
        m_strComputerName.Empty();
        if (CreateEvents() && !m_pTransport)
        {
            m_bDataPosted = false;
            m_pTransport = m_host.CreateTransport(m_hDataEvent.Get());
        }
        bTransport = m_pTransport != nullptr;
        if (bTransport)
        {
            bConnected = OpenPipe(strComputer);
            dwError = bConnected ? 0 : ::GetLastError();
        }
    }
    m_host.EndWaitCursor();
    // Boxes come after the lock is given back: their modal loops run the
    // window's messages, the drain among them.
    if (bTransport && !bConnected)
        OnConnectFailed(dwError);
    return bConnected;
}

bool CConnectionController::CreateEvents()
{
    if (m_hStopEvent.Get() == NULL)
        m_hStopEvent.Reset(::CreateEventW(NULL, FALSE, FALSE, NULL));
    if (m_hDataEvent.Get() == NULL)
        m_hDataEvent.Reset(::CreateEventW(NULL, FALSE, FALSE, NULL));
    return m_hStopEvent.Get() != NULL && m_hDataEvent.Get() != NULL;
}

// Under the connection lock. On failure the last error tells why, 0 for a
// computer that is not this one.
bool CConnectionController::OpenPipe(const CString& strComputer)
{
    m_host.SetStatusText(LoadText(IDS_CONNECTING));
    CString strMyComputer = LoadText(IDS_MY_COMPUTER);
    CString strLocal = m_host.GetLocalComputerName();
    if (strLocal.IsEmpty())
        strLocal = strMyComputer;
    strLocal.MakeUpper();
    strMyComputer.MakeUpper();
    if (!IsLocalComputer(strComputer, strMyComputer, strLocal))
    {
        m_host.SetStatusText(LoadText(IDS_READY));
        ::SetLastError(0);
        return false;
    }
    if (!m_pTransport->ConnectLocal(m_strPipeName))
    {
        DWORD dwError = ::GetLastError();
        m_host.SetStatusText(LoadText(IDS_READY));
        ::SetLastError(dwError);
        return false;
    }
    m_bRetryEnded = true;
    m_bRetryAfterLoss = false;
    // A stop that gave up on an earlier thread may have left the event set.
    ::ResetEvent(m_hStopEvent.Get());
    uintptr_t hThread = _beginthreadex(nullptr, 0, ConnectionWaitThread, this, 0, nullptr);
    if (hThread == 0)
    {
        // Without the waiting thread no answer would ever be read.
        m_pTransport->DisconnectAll();
        m_pTransport->Stop();
        m_pTransport->FlushQueue();
        m_pTransport.reset();
        m_host.SetStatusText(LoadText(IDS_READY));
        ::SetLastError(0);
        return false;
    }
    m_hThread.Reset(reinterpret_cast<HANDLE>(hThread));
    m_strComputerName = strComputer;
    m_host.ShowComputerName(m_strComputerName);
    m_host.Sleep(10);
    ::SwitchToThread();
    SendBareCommand(CMD_GET_VERSION_INFO);
    m_host.TrimWorkingSet();
    m_host.SetStatusText(LoadText(IDS_READY));
    return true;
}

bool CConnectionController::IsLocalComputer(const CString& strComputer, const CString& strMyComputer,
                                            const CString& strLocal)
{
    return strComputer.Find(strLocal) >= 0 || strComputer == strMyComputer;
}

void CConnectionController::OnConnectFailed(DWORD dwError)
{
    if (dwError == ERROR_PIPE_BUSY)
    {
        // Retrying would only stack another box on this one every few seconds.
        StopRetryTimer();
        m_bRetryEnded = true;
        m_bRetryAfterLoss = false;
        m_host.ShowMessageBox(LoadText(IDS_ALREADY_CONNECTED));
        return;
    }
    if ((!m_bRetryEnded || m_bRetryAfterLoss) && m_nRetryTimer == 0)
        StartRetryTimer();
}

bool CConnectionController::StartRetryTimer()
{
    m_nRetryTimer = m_host.SetRetryTimer(RetryIntervalMs);
    return m_nRetryTimer != 0;
}

void CConnectionController::StopRetryTimer()
{
    if (m_nRetryTimer == 0)
        return;
    m_host.KillRetryTimer(m_nRetryTimer);
    m_nRetryTimer = 0;
}

void CConnectionController::OnRetryTimer()
{
    if (m_bConnecting)
        return;
    if (m_bRetryEnded && !m_bRetryAfterLoss)
    {
        StopRetryTimer();
        return;
    }
    ConnectToComputer(LoadText(IDS_MY_COMPUTER), false);
}

unsigned __stdcall CConnectionController::ConnectionWaitThread(void* pController)
{
    static_cast<CConnectionController*>(pController)->WaitLoop();
    return 0;
}

void CConnectionController::WaitLoop()
{
    HANDLE ahWait[2] = {m_hStopEvent.Get(), m_hDataEvent.Get()};
    for (;;)
    {
        DWORD dwWait = ::WaitForMultipleObjects(2, ahWait, FALSE, m_dwIdleMs);
        if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_FAILED)
            return;
        if (dwWait == WAIT_OBJECT_0 + 1 && !m_bDataPosted.exchange(true))
            m_host.PostServerData();
        else if (dwWait == WAIT_TIMEOUT && !IdleTick())
            return;
    }
}

bool CConnectionController::IdleTick()
{
    bool bCounted = false;
    while (!m_csConnection.TryLock())
    {
        // The window's thread may hold the lock while it waits for this
        // thread to stop; blocking here would wait for each other for ever.
        if (!bCounted)
        {
            ++m_nIdleTicksDeferred;
            bCounted = true;
        }
        if (::WaitForSingleObject(m_hStopEvent.Get(), LockRetryMs) != WAIT_TIMEOUT)
            return false;
    }
    if (m_pTransport)
        m_pTransport->OnIdle();
    m_csConnection.Unlock();
    return true;
}

// While a run reports, items may come as fast as they are handled. A drain
// that took them all would then never return to the message loop, and the
// window would neither paint nor take input until the run ended; so a drain
// has a time of its own, and the next one comes from a timer, which the
// system delivers after input and painting.
void CConnectionController::DrainQueue()
{
    const ULONGLONG ullDeadline = ::GetTickCount64() + DrainSliceMs;
    bool bIncompatible = false;
    {
        CSectionLock connectionLock(m_csConnection);
        while (m_pTransport)
        {
            if (::GetTickCount64() >= ullDeadline)
            {
                // The announcement stays up: the timer's drain comes instead.
                m_host.ResumeDrainLater();
                break;
            }
            // Owned here: the reply handling may close the connection, and
            // free the queue, before it returns.
            ItemPtr pItem(m_pTransport->PopItem());
            if (!pItem)
            {
                // An item queued as the announcement went down found it still
                // up and was not announced: it is taken here.
                m_bDataPosted = false;
                pItem.reset(m_pTransport->PopItem());
                if (!pItem)
                    break;
                m_bDataPosted = true;
            }
            if (pItem->nKind == stQueueItem::KindData)
            {
                if (!HandleData(*pItem))
                {
                    bIncompatible = true;
                    break;
                }
            }
            else if (pItem->nKind == stQueueItem::KindDisconnected || pItem->nKind == stQueueItem::KindError)
            {
                HandleLeave(*pItem);
                break;
            }
        }
    }
    if (bIncompatible)
        m_host.ShowMessageBox(LoadText(IDS_REMOTE_INCOMPATIBLE));
}

// Under the connection lock; false refuses the peer.
bool CConnectionController::HandleData(const stQueueItem& stItem)
{
    try
    {
        CNetDefragBuffer ar(false);
        ar.Attach(stItem.pPayload, static_cast<UINT>(stItem.nLength > 0 ? stItem.nLength : 0));
        CNetDefragPacketHeader header;
        header.Serialize(ar);
        // The reply handling opens modal boxes; no lock may be held across them.
        CSectionUnlock unlock(m_csConnection);
        m_host.DispatchPacket(stItem.nClientId, header.GetCommand(), ar);
        return true;
    }
    catch (...)
    {
        if (m_pTransport)
            m_pTransport->FlushQueue();
        m_host.PostServerLost(false);
        return false;
    }
}

// Under the connection lock.
void CConnectionController::HandleLeave(const stQueueItem& stItem)
{
    if (stItem.nKind == stQueueItem::KindError && stItem.nClientId == -1)
        m_pTransport->DisconnectAll();
    else if (stItem.nKind == stQueueItem::KindError || (stItem.nClientId != 0 && stItem.nClientId != -1))
        m_pTransport->DisconnectClient(stItem.nClientId);
    // Only the pipe's client exists here: no TCP slot is ever re-armed.
    m_pTransport->FlushQueue();
    m_host.PostServerLost(true);
}

void CConnectionController::OnServerLost(bool bRetry)
{
    Close(ECloseKind::Orderly);
    m_host.ResetWindows();
    if (bRetry)
        ArmRetryAfterLoss();
}

void CConnectionController::ArmRetryAfterLoss()
{
    m_bRetryAfterLoss = true;
    if (m_nRetryTimer == 0)
        StartRetryTimer();
}

bool CConnectionController::SendCommand(int32_t nCode, CNetDefragObject& object)
{
    if (nCode < BareCodeLimit)
        ReportAssertion(SendCommandAssertionLine);
    return Send(nCode, &object);
}

bool CConnectionController::SendBareCommand(int32_t nCode)
{
    if (nCode > BareCodeLimit)
        ReportAssertion(SendBareCommandAssertionLine);
    return Send(nCode, nullptr);
}

void CConnectionController::ReportAssertion(int nLine)
{
    ++m_nAssertions;
    char szReport[128];
    wsprintfA(szReport, "Assertion failed: false, file %s, line %d\n", AssertionFile, nLine);
    ::OutputDebugStringA(szReport);
}

bool CConnectionController::Send(int32_t nCode, CNetDefragObject* pObject)
{
    bool bSent = false;
    bool bWaiting = false;
    {
        CSectionLock connectionLock(m_csConnection);
        if (!m_pTransport)
            return false;
        CNetDefragBuffer ar(true, 0, CNetDefragBuffer::DefaultGrowthStep);
        CNetDefragPacketHeader header;
        header.SetCommand(nCode);
        header.Serialize(ar);
        if (pObject != nullptr)
            pObject->Serialize(ar);
        // A message that could not be built whole never goes out.
        bSent = !ar.HasFailed() && m_pTransport->SendToAll(ar.GetBuffer(), static_cast<int32_t>(ar.GetSize()));
        bWaiting = m_hThread.Get() != NULL;
    }
    if (!bSent && bWaiting)
        OnConnectionLost();
    return bSent;
}

bool CConnectionController::Disconnect()
{
    m_bRetryAfterLoss = false;
    Close(ECloseKind::Orderly);
    return true;
}

void CConnectionController::OnConnectionLost()
{
    Close(ECloseKind::Lost);
    m_host.ResetWindows();
    ArmRetryAfterLoss();
    m_host.ShowMessageBox(LoadText(IDS_SERVICE_DISCONNECTED));
}

void CConnectionController::Close(ECloseKind eKind)
{
    m_host.ReleaseClusterMaps(eKind == ECloseKind::Orderly);
    StopWaitThread();
    {
        CSectionLock connectionLock(m_csConnection);
        if (m_pTransport)
        {
            if (eKind == ECloseKind::Orderly && m_pTransport->IsConnected())
                SendBareCommand(CMD_DISCONNECT);
            m_pTransport->DisconnectAll();
            m_pTransport->Stop();
            m_pTransport->FlushQueue();
            m_pTransport.reset();
        }
        m_strComputerName.Empty();
    }
    m_host.ShowComputerName(L"");
    m_host.SetServiceVersion(LoadText(IDS_VERSION_NOT_AVAILABLE));
    m_host.SetTrayState(0);
    m_host.TrimWorkingSet();
}

void CConnectionController::StopWaitThread()
{
    if (m_hThread.Get() == NULL)
        return;
    ::SetEvent(m_hStopEvent.Get());
    WaitPumping(m_hThread.Get());
    m_hThread.Reset();
}

// Waits for the thread to end while the window's messages go on, all but the
// connection's own, which would re-enter what is being closed.
void CConnectionController::WaitPumping(HANDLE hThread)
{
    const ULONGLONG ullDeadline = ::GetTickCount64() + m_dwStopLimitMs;
    bool bPump = true;
    for (;;)
    {
        ULONGLONG ullNow = ::GetTickCount64();
        if (ullNow >= ullDeadline)
            break;
        DWORD dwLeft = static_cast<DWORD>(ullDeadline - ullNow);
        DWORD dwWait = bPump ? ::MsgWaitForMultipleObjects(1, &hThread, FALSE, dwLeft, QS_ALLINPUT)
                             : ::WaitForSingleObject(hThread, dwLeft);
        if (dwWait == WAIT_OBJECT_0)
            return;
        if (dwWait != WAIT_OBJECT_0 + 1)
            break;
        MSG msg;
        while (bPump && (::PeekMessageW(&msg, NULL, 0, WM_SERVER_DATA - 1, PM_REMOVE) ||
                         ::PeekMessageW(&msg, NULL, WM_CONTEXTMENU_DONE + 1, 0xFFFFFFFF, PM_REMOVE)))
        {
            if (msg.message == WM_QUIT)
            {
                // Left for the program's own loop.
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                bPump = false;
                break;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    ++m_nThreadStopsAbandoned;
    ::OutputDebugStringW(L"The connection's waiting thread did not stop in time.\n");
}
