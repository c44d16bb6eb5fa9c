#include "gui/DefragListView.h"

#include "gui/ConnectionFrame.h"
#include "gui/DefragMessageBox.h"
#include "gui/PasswordDlg.h"

#include "classlib/FrameWnd.h"
#include "guitoolkit/GuiUtilities.h"
#include "protocol/NetDefragCommand.h"

namespace
{
// Modal windows of the view belong to the main frame, or to the view while it has none.
CWnd* ModalParent(CDefragListView& view)
{
    if (view.m_hWnd == NULL)
        return nullptr;
    CFrameWnd* pFrame = view.GetTopLevelFrame();
    return pFrame != nullptr ? static_cast<CWnd*>(pFrame) : &view;
}
}

void CDefragListView::ShowMessage(const CString& strText)
{
    CDefragMessageBox box(strText, L"", ModalParent(*this));
    box.DoModal();
}

void CDefragListView::PostServerLost()
{
    if (m_hWnd == NULL)
        return;
    // A service that said it goes away may come back; a peer refused stays refused.
    PostMessage(WM_SERVER_LOST, m_nDispatching == CMD_DISCONNECT ? ServerLostRetry : 0);
}

bool CDefragListView::AskPassword(const CString& strPrompt, CString& strTyped)
{
    CPasswordDlg dlg(ModalParent(*this));
    dlg.m_strPrompt = strPrompt;
    if (dlg.DoModal() != IDOK)
        return false;
    strTyped = dlg.m_strPassword;
    return true;
}

void CDefragListView::DisconnectAndReset()
{
    Disconnect();
    ResetWindows();
}

void CDefragListView::SetServiceVersionText(const CString& strText)
{
    m_strServiceVersion = strText;
}

void CDefragListView::ShowSplash(const CString& /*strFirstLine*/, const CString& /*strSecondLine*/)
{
}

void CDefragListView::PumpMessages()
{
    ::PumpMessages();
}

void CDefragListView::Sleep(DWORD dwMilliseconds)
{
    ::Sleep(dwMilliseconds);
}

void CDefragListView::SetTrayState(int nState)
{
    CFrameWnd* pFrame = m_hWnd != NULL ? GetTopLevelFrame() : nullptr;
    if (auto* pConnectionFrame = dynamic_cast<IConnectionFrame*>(pFrame))
        pConnectionFrame->SetTrayState(nState);
}
