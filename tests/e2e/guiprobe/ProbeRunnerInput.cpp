// The steps that act on the program (clicks, commands, keys, menus) and take its pictures.
#include "ProbeRunner.h"

#include "RemoteControls.h"

#include <commctrl.h>

#include <ScreenPicture.h>

#include <vector>

namespace
{
// How long a closing popup menu may take to go, and an opening one to come.
const DWORD kMenuWaitMs = 10000;
// A picture of the screen is taken once two copies 100 ms apart agree, or after this many
// tries, so that a window caught while painting is not kept half drawn.
const int kSettleTries = 20;
// How long a picture waits for the program to paint what it has changed, looking this often,
// and how long the system is then given to put it on the screen.
const DWORD kPaintWaitMs = 3000;
const DWORD kPaintPollMs = 10;
const DWORD kShowMs = 50;

BOOL CALLBACK NoteUnpainted(HWND hWnd, LPARAM lUnpainted)
{
    if (::IsWindowVisible(hWnd) && ::GetUpdateRect(hWnd, nullptr, FALSE))
        *reinterpret_cast<bool*>(lUnpainted) = true;
    return TRUE;
}

// True while the window or one of its children has a part invalidated and not yet painted.
bool WaitsForPaint(HWND hWnd)
{
    if (hWnd == NULL)
        return false;
    bool bUnpainted = false;
    NoteUnpainted(hWnd, reinterpret_cast<LPARAM>(&bUnpainted));
    ::EnumChildWindows(hWnd, NoteUnpainted, reinterpret_cast<LPARAM>(&bUnpainted));
    return bUnpainted;
}

bool IsExtendedKey(UINT nKey)
{
    return nKey == VK_CANCEL || (nKey >= VK_PRIOR && nKey <= VK_DOWN) || nKey == VK_INSERT || nKey == VK_DELETE ||
           nKey == VK_APPS || nKey == VK_DIVIDE || nKey == VK_NUMLOCK;
}

void AddKey(std::vector<INPUT>& inputs, UINT nKey, bool bUp)
{
    INPUT stInput = {};
    stInput.type = INPUT_KEYBOARD;
    stInput.ki.wVk = static_cast<WORD>(nKey);
    stInput.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(nKey, MAPVK_VK_TO_VSC));
    stInput.ki.dwFlags = (bUp ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(nKey) ? KEYEVENTF_EXTENDEDKEY : 0);
    inputs.push_back(stInput);
}

// A cell the program has just changed is painted a moment later: until then the screen still
// shows what was there before, and two copies 100 ms apart agree on it. So a copy of a window
// is taken once nothing of it waits to be painted and the system has had a moment to put it
// on the screen; it is whole then, and it is kept even if the window changes on: while a run
// reports, two copies agree only once the run has ended. The screen without a window has
// nothing to wait for, and two copies that agree tell that it is whole.
CScreenPicture TakeSettledPicture(HWND hWnd, const RECT& rc)
{
    if (hWnd != NULL)
    {
        const ULONGLONG ullDeadline = ::GetTickCount64() + kPaintWaitMs;
        while (WaitsForPaint(hWnd) && ::GetTickCount64() < ullDeadline)
            ::Sleep(kPaintPollMs);
        ::Sleep(kShowMs);
        return CScreenPicture(rc);
    }
    CScreenPicture picture(rc);
    for (int nTry = 0; nTry < kSettleTries && !picture.Empty(); ++nTry)
    {
        ::Sleep(100);
        CScreenPicture next(rc);
        bool bSame = next.SameAs(picture);
        picture = std::move(next);
        if (bSame)
            break;
    }
    return picture;
}
} // namespace

const DWORD kClickWaitMs = 30000;

// The click is sent, not posted, so that the next step sees what it did; when the program
// is still busy with it after the bound (a modal window opened by the click, say) the step
// passes and the next steps wait for what follows.
CProbeRunner::Outcome CProbeRunner::Click(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hControl = HaveControl(step.nId, strDetail, step.nParentId);
    if (hControl == NULL)
        return Outcome::Failed;
    // A button the program shows or enables by a posted message (a wizard's Finish after
    // Next) comes a moment after the step before.
    WaitUntil(kClickWaitMs, [&]() { return ::IsWindowVisible(hControl) && ::IsWindowEnabled(hControl); });
    if (!::IsWindowVisible(hControl) || !::IsWindowEnabled(hControl))
    {
        strDetail = L"control " + std::to_wstring(step.nId) + L" is " +
                    (::IsWindowVisible(hControl) ? L"disabled" : L"hidden");
        return Outcome::Failed;
    }
    LRESULT lResult = 0;
    if (!SendBounded(hControl, BM_CLICK, 0, 0, lResult))
    {
        if (::GetLastError() != ERROR_TIMEOUT)
        {
            strDetail = L"the click was not delivered (error " + std::to_wstring(::GetLastError()) + L")";
            return Outcome::Failed;
        }
        strDetail = L"the program is still handling the click";
    }
    return Outcome::Passed;
}

// A tab control tells its dialog of a new page only for the user's own moves, and its
// notification carries a pointer that cannot cross processes: the step moves the selection
// with arrow keys posted to the tab, one page at a time, as a user would.
CProbeRunner::Outcome CProbeRunner::SelectTab(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hTab = HaveControl(step.nId, strDetail);
    if (hTab == NULL)
        return Outcome::Failed;
    // Pages that come with an answer of the program's peer may still be on their way.
    LRESULT lCount = 0;
    WaitResult eCount = WaitUntil(step.dwMs, [&]() {
        return SendBounded(hTab, TCM_GETITEMCOUNT, 0, 0, lCount) && step.nRow < lCount;
    });
    if (eCount != WaitResult::Met)
    {
        strDetail = L"the tab control has " + std::to_wstring(lCount) + L" pages";
        return Outcome::Failed;
    }
    LRESULT lCurrent = -1;
    while (SendBounded(hTab, TCM_GETCURSEL, 0, 0, lCurrent) && lCurrent != step.nRow)
    {
        const LRESULT lBefore = lCurrent;
        WPARAM nKey = lCurrent < step.nRow ? VK_RIGHT : VK_LEFT;
        ::PostMessageW(hTab, WM_KEYDOWN, nKey, 1);
        ::PostMessageW(hTab, WM_KEYUP, nKey, 0xC0000001);
        WaitResult eResult = WaitUntil(step.dwMs, [&]() {
            LRESULT lNow = -1;
            return SendBounded(hTab, TCM_GETCURSEL, 0, 0, lNow) && lNow != lBefore;
        });
        if (eResult != WaitResult::Met)
        {
            strDetail = L"the tab control stayed on page " + std::to_wstring(lBefore);
            return Outcome::Failed;
        }
    }
    if (lCurrent == step.nRow)
        return Outcome::Passed;
    strDetail = L"the tab control does not answer";
    return Outcome::Failed;
}

CProbeRunner::Outcome CProbeRunner::PostCommand(const PROBE_STEP& step, std::wstring& strDetail)
{
    if (!HaveFrame(strDetail))
        return Outcome::Failed;
    if (::PostMessageW(m_hFrame, WM_COMMAND, MAKEWPARAM(step.nId, 0), 0))
        return Outcome::Passed;
    strDetail = L"WM_COMMAND was not posted (error " + std::to_wstring(::GetLastError()) + L")";
    return Outcome::Failed;
}

HWND CProbeRunner::HaveFrameControl(UINT nId, std::wstring& strDetail)
{
    if (!HaveFrame(strDetail))
        return NULL;
    HWND hControl = FindDescendant(m_hFrame, nId);
    if (hControl == NULL)
        strDetail = L"the window has no visible control " + std::to_wstring(nId);
    return hControl;
}

// The combo box may sit in a bar rather than in the window itself: the first visible
// descendant with the id is taken. Setting the selection sends no notification, so the
// parent is told as a choice of the user would tell it.
CProbeRunner::Outcome CProbeRunner::SelectItem(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hCombo = HaveFrameControl(step.nId, strDetail);
    if (hCombo == NULL)
        return Outcome::Failed;
    LRESULT lResult = 0;
    if (!SendBounded(hCombo, CB_SETCURSEL, static_cast<WPARAM>(step.nRow), 0, lResult) ||
        lResult != static_cast<LRESULT>(step.nRow))
    {
        strDetail = L"control " + std::to_wstring(step.nId) + L" did not select item " + std::to_wstring(step.nRow);
        return Outcome::Failed;
    }
    HWND hParent = ::GetParent(hCombo);
    if (!SendBounded(hParent, WM_COMMAND, MAKEWPARAM(step.nId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(hCombo),
                     lResult) &&
        ::GetLastError() != ERROR_TIMEOUT)
    {
        strDetail = L"CBN_SELCHANGE was not delivered (error " + std::to_wstring(::GetLastError()) + L")";
        return Outcome::Failed;
    }
    return Outcome::Passed;
}

// A drawn window has no controls to click: the press and the release are posted at the
// point, as the mouse would send them (Wine cannot move the X pointer for a driver).
CProbeRunner::Outcome CProbeRunner::ClickAt(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hTarget = HaveFrameControl(step.nId, strDetail);
    if (hTarget == NULL)
        return Outcome::Failed;
    const LPARAM lPoint = MAKELPARAM(step.nColumn, step.nRow);
    if (::PostMessageW(hTarget, WM_LBUTTONDOWN, MK_LBUTTON, lPoint) &&
        ::PostMessageW(hTarget, WM_LBUTTONUP, 0, lPoint))
        return Outcome::Passed;
    strDetail = L"the click was not posted (error " + std::to_wstring(::GetLastError()) + L")";
    return Outcome::Failed;
}

// The click lands a few pixels into the row, clear of the check box and the icon a row
// may start with. The list itself selects the row and tells its dialog, as for a user's
// click; the step waits until the row is selected.
CProbeRunner::Outcome CProbeRunner::ClickRow(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hList = HaveControl(step.nId, strDetail);
    if (hList == NULL)
        return Outcome::Failed;
    RECT rc = {};
    if (!CRemoteList(m_process, hList).RowRect(step.nRow, rc))
    {
        strDetail = L"the list has no row " + std::to_wstring(step.nRow);
        return Outcome::Failed;
    }
    const LPARAM lPoint = MAKELPARAM(rc.left + 40, (rc.top + rc.bottom) / 2);
    if (!::PostMessageW(hList, WM_LBUTTONDOWN, MK_LBUTTON, lPoint) || !::PostMessageW(hList, WM_LBUTTONUP, 0, lPoint))
    {
        strDetail = L"the click was not posted (error " + std::to_wstring(::GetLastError()) + L")";
        return Outcome::Failed;
    }
    // The state asked for comes back as a number: no memory in the program is needed.
    WaitResult eResult = WaitUntil(kClickWaitMs, [&]() {
        LRESULT lState = 0;
        return SendBounded(hList, LVM_GETITEMSTATE, static_cast<WPARAM>(step.nRow), LVIS_SELECTED, lState) &&
               (lState & LVIS_SELECTED) != 0;
    });
    if (eResult == WaitResult::Met)
        return Outcome::Passed;
    if (eResult == WaitResult::Ended && ProgramEnded(strDetail))
        return Outcome::Stop;
    strDetail = L"the click left row " + std::to_wstring(step.nRow) + L" of the list unselected";
    return Outcome::Failed;
}

// Keys go through the system's input, as typed ones do, so the program's accelerators see
// them; the system delivers them to the foreground window.
CProbeRunner::Outcome CProbeRunner::PressKey(const PROBE_STEP& step, std::wstring& strDetail)
{
    if (!HaveFrame(strDetail))
        return Outcome::Failed;
    ::SetForegroundWindow(m_hFrame);
    if (WaitUntil(2000, [&]() { return ::GetForegroundWindow() == m_hFrame; }) != WaitResult::Met)
        strDetail = L"the window did not become the foreground window; the key was sent anyway";
    const UINT aModifiers[3][2] = {{kModCtrl, VK_CONTROL}, {kModShift, VK_SHIFT}, {kModAlt, VK_MENU}};
    std::vector<INPUT> inputs;
    for (const auto& modifier : aModifiers)
    {
        if (step.nModifiers & modifier[0])
            AddKey(inputs, modifier[1], false);
    }
    AddKey(inputs, step.nId, false);
    AddKey(inputs, step.nId, true);
    for (int i = 2; i >= 0; --i)
    {
        if (step.nModifiers & aModifiers[i][0])
            AddKey(inputs, aModifiers[i][1], true);
    }
    UINT nSent = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (nSent == inputs.size())
        return Outcome::Passed;
    strDetail = L"SendInput took " + std::to_wstring(nSent) + L" of " + std::to_wstring(inputs.size()) +
                L" key events (error " + std::to_wstring(::GetLastError()) + L")";
    return Outcome::Failed;
}

HWND CProbeRunner::OpenPopupMenu() const
{
    for (HWND hWnd = NULL; (hWnd = ::FindWindowExW(NULL, hWnd, L"#32768", nullptr)) != NULL;)
    {
        DWORD dwOwner = 0;
        ::GetWindowThreadProcessId(hWnd, &dwOwner);
        if (::IsWindowVisible(hWnd) && dwOwner == m_process.Id())
            return hWnd;
    }
    return NULL;
}

CProbeRunner::Outcome CProbeRunner::MenuShot(const PROBE_STEP& step, std::wstring& strDetail)
{
    if (!HaveFrame(strDetail))
        return Outcome::Failed;
    HWND hPopup = NULL;
    WaitResult eResult = WaitUntil(kMenuWaitMs, [&]() { return (hPopup = OpenPopupMenu()) != NULL; });
    if (eResult == WaitResult::Ended && ProgramEnded(strDetail))
        return Outcome::Stop;
    RECT rc = {};
    if (eResult != WaitResult::Met || !::GetWindowRect(hPopup, &rc))
    {
        strDetail = L"no open popup menu of the program";
        return Outcome::Failed;
    }
    return SavePicture(step.strName, hPopup, rc, strDetail);
}

CProbeRunner::Outcome CProbeRunner::CancelMenu(std::wstring& strDetail)
{
    if (!HaveFrame(strDetail))
        return Outcome::Failed;
    if (OpenPopupMenu() == NULL)
    {
        strDetail = L"no popup menu is open";
        return Outcome::Failed;
    }
    if (!::PostMessageW(m_hFrame, WM_CANCELMODE, 0, 0))
    {
        strDetail = L"WM_CANCELMODE was not posted (error " + std::to_wstring(::GetLastError()) + L")";
        return Outcome::Failed;
    }
    WaitResult eResult = WaitUntil(kMenuWaitMs, [&]() { return OpenPopupMenu() == NULL; });
    if (eResult == WaitResult::Met)
        return Outcome::Passed;
    if (eResult == WaitResult::Ended && ProgramEnded(strDetail))
        return Outcome::Stop;
    strDetail = L"the popup menu is still open";
    return Outcome::Failed;
}

CProbeRunner::Outcome CProbeRunner::Shot(const PROBE_STEP& step, std::wstring& strDetail)
{
    RECT rc = {};
    if (step.eArea == ShotArea::Screen)
    {
        ::SetRect(&rc, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
        return SavePicture(step.strName, NULL, rc, strDetail);
    }
    HWND hWnd = m_hFrame;
    if (step.eArea == ShotArea::Dialog)
    {
        hWnd = m_hDialog;
        if (hWnd == NULL || !::IsWindowVisible(hWnd))
        {
            strDetail = hWnd == NULL ? L"no dialog yet: a wait-dialog step must come first"
                                     : L"the dialog is not visible";
            return Outcome::Failed;
        }
    }
    else if (!HaveFrame(strDetail))
        return Outcome::Failed;
    if (!::GetWindowRect(hWnd, &rc))
    {
        strDetail = L"the window is gone";
        return Outcome::Failed;
    }
    return SavePicture(step.strName, hWnd, rc, strDetail);
}

CProbeRunner::Outcome CProbeRunner::SavePicture(const std::wstring& strName, HWND hWnd, const RECT& rc,
                                                std::wstring& strDetail) const
{
    CScreenPicture picture = TakeSettledPicture(hWnd, rc);
    std::wstring strPath = m_strPictureFolder + L"\\" + strName + L".png";
    if (!picture.SavePng(strPath))
    {
        strDetail = L"cannot " + std::wstring(picture.Empty() ? L"copy the screen" : L"write " + strPath);
        return Outcome::Failed;
    }
    strDetail = strName + L".png, " + std::to_wstring(picture.Width()) + L" x " +
                std::to_wstring(picture.Height());
    return Outcome::Passed;
}
