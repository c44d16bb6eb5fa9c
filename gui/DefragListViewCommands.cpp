// The drive list's commands: the runs and Stop on the chosen drives, the
// connection password and Disconnect, and when each is enabled.
#include "gui/DefragListView.h"

#include "gui/ConnectionController.h"
#include "gui/DriveRows.h"
#include "gui/MainFrame.h"
#include "gui/ReplyDispatcher.h"
#include "gui/Resource.h"

#include "classlib/CmdTarget.h"
#include "classlib/CmdUI.h"
#include "guitoolkit/SkinMenu.h"
#include "protocol/NetDefragCommand.h"


namespace
{
// Where a menu asked for from the keyboard opens, from the client's corner.
constexpr int KeyboardMenuOffset = 5;

struct stDRIVE_COMMAND
{
    UINT nID;
    int32_t nCode;
    UINT nWaitTextId;
};

// Start's code comes from the strategy combo when it runs.
const stDRIVE_COMMAND DriveCommands[] = {
    {ID_DEFRAG_ANALYZE, CMD_ANALYZE, IDS_ANALYZING_WAIT},
    {ID_DEFRAG_START, CMD_DEFRAG_COMPLETE, IDS_DEFRAGMENTING_WAIT},
    {ID_DEFRAG_MONITOR, CMD_MONITOR, IDS_MONITORING_WAIT},
    {ID_DEFRAG_CHECKDISK, CMD_CHECK_DISK, IDS_CHECKING_WAIT},
    {ID_DEFRAG_STOP, CMD_STOP, IDS_STOP_WAIT},
};

const stDRIVE_COMMAND* FindDriveCommand(UINT nID)
{
    for (const stDRIVE_COMMAND& command : DriveCommands)
    {
        if (command.nID == nID)
            return &command;
    }
    return nullptr;
}
}

BOOL CDefragListView::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    // The information windows' and the map pane's commands.
    if (HandleInfoCommand(nID, nCode, pExtra) || HandlePaneCommand(nID, nCode, pExtra))
        return TRUE;
    if (nCode == CN_UPDATE_COMMAND_UI)
    {
        bool bEnabled = false;
        if (!UpdateDriveCommand(nID, bEnabled))
            return CListViewEx::HandleCommand(nID, nCode, pExtra);
        static_cast<CCmdUI*>(pExtra)->Enable(bEnabled ? TRUE : FALSE);
        return TRUE;
    }
    if (nCode != CN_COMMAND)
        return CListViewEx::HandleCommand(nID, nCode, pExtra);
    if (FindDriveCommand(nID) != nullptr)
    {
        OnDriveCommand(nID);
        return TRUE;
    }
    switch (nID)
    {
    case ID_FILE_SET_PASSWORD:
        OnSetPassword();
        return TRUE;
    case ID_FILE_DISCONNECT:
        Disconnect();
        ResetWindows();
        return TRUE;
    default:
        return CListViewEx::HandleCommand(nID, nCode, pExtra);
    }
}

bool CDefragListView::UpdateDriveCommand(UINT nID, bool& bEnabled) const
{
    if (nID == ID_DEFRAG_STOP)
        bEnabled = m_pRows->IsStopEnabled(m_pRightClicked);
    else if (FindDriveCommand(nID) != nullptr)
        bEnabled = m_pRows->IsIdleCommandEnabled(m_pRightClicked);
    else if (nID == ID_FILE_SET_PASSWORD)
        bEnabled = !m_pConnection->GetComputerName().IsEmpty();
    else if (nID == ID_FILE_DISCONNECT)
        bEnabled = m_pConnection->IsWaitThreadRunning();
    else
        return false;
    return true;
}

void CDefragListView::OnDriveCommand(UINT nID)
{
    const stDRIVE_COMMAND* pCommand = FindDriveCommand(nID);
    int32_t nCode = nID == ID_DEFRAG_START ? CDriveRows::StartCommandCode(StrategySelection()) : pCommand->nCode;
    m_pRows->SendDriveAction(*this, nCode, pCommand->nWaitTextId, m_pRightClicked);
    m_pRightClicked = nullptr;
    // The new Status texts and the commands they disable show at once.
    if (m_hWnd != NULL)
        UpdateWindow();
}

int CDefragListView::StrategySelection() const
{
    auto* pFrame = dynamic_cast<CMainFrame*>(m_hWnd != NULL ? GetTopLevelFrame() : nullptr);
    if (pFrame == nullptr || pFrame->GetStrategyCombo().m_hWnd == NULL)
        return -1;
    return pFrame->GetStrategyCombo().GetCurSel();
}

void CDefragListView::OnSetPassword()
{
    m_pDispatcher->SetConnectionPassword();
}

void CDefragListView::SelectRowByDrive(int32_t nDriveId)
{
    if (nDriveId == -1)
    {
        m_pRightClicked = nullptr;
        return;
    }
    int nRow = m_pRows->FindRow(nDriveId);
    if (nRow >= 0)
        m_pRightClicked = GetRow(nRow);
}

bool CDefragListView::IsOnHeader(POINT ptScreen) const
{
    HWND hHeader = ListView_GetHeader(m_hWnd);
    RECT rcHeader;
    return hHeader != NULL && ::IsWindowVisible(hHeader) && ::GetWindowRect(hHeader, &rcHeader) &&
           ::PtInRect(&rcHeader, ptScreen);
}

void CDefragListView::OnContextMenu(POINT ptScreen)
{
    m_pRightClicked = nullptr;
    if (ptScreen.x == -1 && ptScreen.y == -1)
    {
        ptScreen = {KeyboardMenuOffset, KeyboardMenuOffset};
        ClientToScreen(&ptScreen);
    }
    LVHITTESTINFO stHit = {};
    stHit.pt = ptScreen;
    ScreenToClient(&stHit.pt);
    int nRow = GetListCtrl().HitTest(&stHit);
    if (nRow >= 0)
        m_pRightClicked = GetRow(nRow);
    CSkinMenu menu;
    CSkinMenu* pPopup = menu.LoadMenu(IDR_DRIVE_CONTEXT) ? dynamic_cast<CSkinMenu*>(menu.GetSubMenu(0)) : nullptr;
    CWnd* pOwner = GetTopLevelFrame();
    if (pPopup != nullptr && pOwner != nullptr)
    {
        // Without its icons the menu still works.
        pPopup->LoadToolBar(CMainFrame::MenuIconInfo, CMainFrame::MenuIconMask);
        pPopup->TrackPopupMenu(TPM_RIGHTBUTTON, ptScreen.x, ptScreen.y, pOwner);
    }
    // Arrives after the command the menu posted, which still needs the row.
    PostMessage(WM_CONTEXTMENU_DONE);
}
