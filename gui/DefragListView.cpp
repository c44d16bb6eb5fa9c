#include "gui/DefragListView.h"

#include "gui/ConnectionController.h"
#include "gui/ConnectionFrame.h"
#include "gui/DefragMessageBox.h"
#include "gui/DriveRows.h"
#include "gui/QueuedServerTransport.h"
#include "gui/ReplyDispatcher.h"
#include "gui/Resource.h"

#include "classlib/FrameWnd.h"
#include "classlib/StatusBar.h"

#include <exception>

// The window's side of the connection.
class CDefragListView::CHost : public IConnectionHost
{
public:
    explicit CHost(CDefragListView& view) : m_view(view), m_hOldCursor(NULL), m_bClosing(false) {}

    // While the window goes, its frame's bars may be gone already.
    void SetClosing() { m_bClosing = true; }

    std::unique_ptr<IConnectionTransport> CreateTransport(HANDLE hItemsQueued) override
    {
        return m_view.StartConnection(hItemsQueued);
    }

    UINT_PTR SetRetryTimer(UINT nElapseMs) override
    {
        return m_view.m_hWnd != NULL ? m_view.SetTimer(RetryTimerId, nElapseMs) : 0;
    }
    void KillRetryTimer(UINT_PTR nTimerId) override
    {
        if (m_view.m_hWnd != NULL)
            m_view.KillTimer(nTimerId);
    }

    void SetStatusText(const wchar_t* pszText) override { SetPane(-1, pszText); }
    void ShowComputerName(const wchar_t* pszName) override
    {
        SetPane(ID_INDICATOR_COMPUTER, pszName);
        if (m_view.m_hWnd != NULL)
            m_view.Invalidate();
    }
    void SetServiceVersion(const wchar_t* pszText) override { m_view.SetServiceVersion(pszText); }
    void SetTrayState(int nState) override
    {
        if (IConnectionFrame* pFrame = Frame())
            pFrame->SetTrayState(nState);
    }
    void ShowMessageBox(const wchar_t* pszText) override
    {
        CDefragMessageBox box(pszText, L"", m_view.m_hWnd != NULL ? &m_view : nullptr);
        box.DoModal();
    }
    void BeginWaitCursor() override { m_hOldCursor = ::SetCursor(::LoadCursorW(NULL, IDC_WAIT)); }
    void EndWaitCursor() override { ::SetCursor(m_hOldCursor); }

    void PostServerData() override
    {
        HWND hWnd = m_view.m_hWnd;
        if (hWnd != NULL)
            ::PostMessageW(hWnd, WM_SERVER_DATA, 0, 0);
    }
    void ResumeDrainLater() override
    {
        if (m_view.m_hWnd != NULL)
            m_view.SetTimer(DrainTimerId, DrainResumeMs);
    }
    void PostServerLost(bool bRetry) override
    {
        if (m_view.m_hWnd != NULL)
            m_view.PostMessage(WM_SERVER_LOST, bRetry ? ServerLostRetry : 0);
    }
    void PumpMessages() override { ::PumpMessages(); }
    void Sleep(DWORD dwMs) override { ::Sleep(dwMs); }
    CString GetLocalComputerName() override
    {
        wchar_t szName[256] = L"";
        DWORD dwSize = 255;
        if (!::GetComputerNameW(szName, &dwSize))
            return CString();
        return CString(szName);
    }
    void TrimWorkingSet() override
    {
        ::SetProcessWorkingSetSize(::GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
    }

    void EmptyList() override { m_view.EmptyList(); }
    void ResetWindows() override { m_view.ResetWindows(); }
    void ReleaseClusterMaps(bool bUnsubscribe) override { m_view.ReleaseClusterMaps(bUnsubscribe); }
    void DispatchPacket(int32_t nClientId, int32_t nCommand, CNetDefragBuffer& ar) override
    {
        m_view.DispatchPacket(nClientId, nCommand, ar);
    }

private:
    IConnectionFrame* Frame() const
    {
        CFrameWnd* pFrame = Usable() ? m_view.GetTopLevelFrame() : nullptr;
        return dynamic_cast<IConnectionFrame*>(pFrame);
    }

    // The first pane for -1, else the pane with that id.
    void SetPane(int nID, const wchar_t* pszText) const
    {
        CFrameWnd* pFrame = Usable() ? m_view.GetTopLevelFrame() : nullptr;
        if (pFrame == nullptr)
            return;
        CStatusBar* pBar = dynamic_cast<CStatusBar*>(pFrame->GetControlBar(AFX_IDW_STATUS_BAR));
        if (pBar == nullptr || pBar->m_hWnd == NULL)
            return;
        int nIndex = nID < 0 ? 0 : pBar->CommandToIndex(static_cast<UINT>(nID));
        if (nIndex >= 0)
            pBar->SetPaneText(nIndex, pszText);
    }

    bool Usable() const { return m_view.m_hWnd != NULL && !m_bClosing; }

    CDefragListView& m_view;
    HCURSOR m_hOldCursor;
    bool m_bClosing;
};

CDefragListView::CDefragListView()
    : m_pHost(new CHost(*this)), m_pConnection(new CConnectionController(*m_pHost)),
      m_ownVersion(L"Varnefold.exe"), m_pRows(new CDriveRows(*this)),
      m_pDispatcher(new CReplyDispatcher(*this, *this, m_ownVersion, *m_pRows))
{
}

std::unique_ptr<IConnectionTransport> CDefragListView::CreateTransport(HANDLE hItemsQueued)
{
    try
    {
        return std::unique_ptr<IConnectionTransport>(new CQueuedServerTransport(hItemsQueued));
    }
    catch (const std::exception&)
    {
        return nullptr;
    }
}

std::unique_ptr<IConnectionTransport> CDefragListView::StartConnection(HANDLE hItemsQueued)
{
    // A peer refused on the last connection is heard again on this one.
    m_pDispatcher->OnConnectionStarted();
    return CreateTransport(hItemsQueued);
}

CDefragListView::~CDefragListView()
{
    // The connection goes first: its waiting thread uses the host.
    m_pConnection.reset();
    m_pDispatcher.reset();
    // The rows' objects go while the list still answers for them.
    m_pRows.reset();
}

bool CDefragListView::ConnectToComputer(const wchar_t* pszComputer, const wchar_t* /*pszAddress*/,
                                        const wchar_t* /*pszPort*/, bool bStopRetry)
{
    return m_pConnection->ConnectToComputer(pszComputer, bStopRetry);
}

bool CDefragListView::SendCommand(int32_t nCode, CNetDefragObject& object)
{
    return m_pConnection->SendCommand(nCode, object);
}

bool CDefragListView::SendBareCommand(int32_t nCode)
{
    return m_pConnection->SendBareCommand(nCode);
}

bool CDefragListView::Disconnect()
{
    return m_pConnection->Disconnect();
}

void CDefragListView::OnConnectionLost()
{
    m_pConnection->OnConnectionLost();
}

bool CDefragListView::IsConnected() const
{
    return m_pConnection->IsConnected();
}

CString CDefragListView::GetComputerName() const
{
    return m_pConnection->GetComputerName();
}

void CDefragListView::ResetWindows()
{
    HideInfoWindows();
    EmptyList();
    ResetSettingsWindows();
}

void CDefragListView::EmptyList()
{
    m_pRightClicked = nullptr;
    m_pRows->Clear();
}

void CDefragListView::DispatchPacket(int32_t nClientId, int32_t nCommand, CNetDefragBuffer& ar)
{
    // Boxes opened inside run a modal loop that may dispatch the next message.
    int32_t nOuter = m_nDispatching;
    m_nDispatching = nCommand;
    try
    {
        m_pDispatcher->DispatchPacket(nClientId, nCommand, ar);
    }
    catch (...)
    {
        m_nDispatching = nOuter;
        throw;
    }
    m_nDispatching = nOuter;
}

void CDefragListView::OnTimer(UINT_PTR nID)
{
    if (nID == RetryTimerId)
        m_pConnection->OnRetryTimer();
    else if (nID == DrainTimerId)
    {
        KillTimer(DrainTimerId);
        m_pConnection->DrainQueue();
    }
}

bool CDefragListView::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_SERVER_DATA:
        m_pConnection->DrainQueue();
        break;
    case WM_SERVER_LOST:
        m_pConnection->OnServerLost(wParam == ServerLostRetry);
        break;
    case WM_TIMER:
        if (wParam == RetryTimerId || wParam == DrainTimerId)
        {
            OnTimer(wParam);
            lResult = 0;
            return true;
        }
        break;
    case WM_DESTROY:
        SaveLayout();
        // The waiting thread posts to this window; it ends before the window does.
        m_pHost->SetClosing();
        m_pConnection->Disconnect();
        EmptyList();
        break;
    case WM_CONTEXTMENU:
    {
        // The header keeps the base's menu of columns.
        POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (IsOnHeader(pt))
            break;
        OnContextMenu(pt);
        lResult = 0;
        return true;
    }
    case WM_CONTEXTMENU_DONE:
        m_pRightClicked = nullptr;
        lResult = 0;
        return true;
    case WM_KEYUP:
        // Ctrl+Break reaches Stop through the accelerator alone; A selects all only with Ctrl.
        if (wParam == 'A' && ::GetKeyState(VK_CONTROL) < 0)
        {
            for (int nRow = 0; nRow < GetRowCount(); ++nRow)
                GetListCtrl().SetItemState(nRow, LVIS_SELECTED, LVIS_SELECTED);
            m_pRightClicked = nullptr;
        }
        break;
    default:
        break;
    }
    return CListViewEx::OnMessage(nMsg, wParam, lParam, lResult);
}
