// Runs the steps of a guiprobe script against the program under test, one after the other,
// and logs each with its outcome.
#pragma once

#include "ProbeLog.h"
#include "ProbeStep.h"
#include "TargetProcess.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class CProbeRunner
{
public:
    // The control folder is where service steps leave their requests for the script that
    // runs the service; empty when there is none.
    CProbeRunner(CProbeLog& log, const std::wstring& strPictureFolder, const std::wstring& strControlFolder)
        : m_log(log), m_strPictureFolder(strPictureFolder), m_strControlFolder(strControlFolder)
    {
    }

    // The number of steps that failed or were not run. The run stops at a wait-window that
    // fails and when the program has ended: nothing after that can pass.
    int Run(const std::vector<PROBE_STEP>& steps);

private:
    enum class Outcome
    {
        Passed,
        Failed,
        Stop, // failed, and no later step can pass
    };
    enum class WaitResult
    {
        Met,
        TimedOut,
        Ended,
    };

    Outcome RunStep(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome WaitWindow(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome WaitDialog(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome DumpRows(std::wstring& strDetail);
    Outcome ExpectRow(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome WaitRow(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome ExpectRows(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome ExpectStatus(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome ExpectDialogText(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome SetDialogText(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome Click(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome SelectTab(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome PostCommand(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome SelectItem(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome ClickAt(const PROBE_STEP& step, std::wstring& strDetail);
    // The first visible control of the program's window with the id, also one in a bar.
    HWND HaveFrameControl(UINT nId, std::wstring& strDetail);
    Outcome PressKey(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome MenuShot(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome CancelMenu(std::wstring& strDetail);
    Outcome Shot(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome ExpectEnabled(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome ExpectControlCount(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome ClickRow(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome ExpectDialogLines(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome WaitDialogText(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome ExpectDialogRows(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome WaitEnd(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome WaitFile(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome WaitStatus(const PROBE_STEP& step, std::wstring& strDetail);
    Outcome ExpectReg(const PROBE_STEP& step, std::wstring& strDetail);
    // One reading of the value, compared with the data the step expects.
    Outcome CompareReg(const PROBE_STEP& step, std::wstring& strDetail) const;
    Outcome ControlService(const PROBE_STEP& step, std::wstring& strDetail);

    static const DWORD PollMs = 100;
    // "1.5 s"
    static std::wstring Seconds(DWORD dwMs);
    // Polls every 100 ms until the condition holds, the time is up or the program ends.
    WaitResult WaitUntil(DWORD dwMs, const std::function<bool()>& condition) const;
    // What a wait that did not end well says: the time passed, or the program's end.
    Outcome WaitFailed(WaitResult eResult, const PROBE_STEP& step, const std::wstring& strWhat,
                       std::wstring& strDetail) const;
    bool ProgramEnded(std::wstring& strDetail) const;
    bool HaveFrame(std::wstring& strDetail) const;
    bool HaveList(HWND& hList, std::wstring& strDetail) const;
    // A pane of the frame's status bar as it stands, or false with why it cannot be read.
    bool ReadStatusPane(int nPane, std::wstring& strText, std::wstring& strDetail) const;
    // The dialog's control of that id; with a parent id, the control of that id inside the
    // dialog's child window of the parent id. A control that is no child of the dialog is
    // found among the dialog's deeper windows when only one visible window has the id.
    HWND HaveControl(UINT nId, std::wstring& strDetail, UINT nParentId = 0) const;
    // The text of a control of the dialog, or false with why it cannot be read.
    bool ReadControlText(UINT nId, std::wstring& strText, std::wstring& strDetail) const;
    // A cell as it stands, or false with why it cannot be read.
    bool ReadCell(int nRow, int nColumn, std::wstring& strText, std::wstring& strDetail) const;
    HWND OpenPopupMenu() const;
    // The picture of the rectangle once hWnd (NULL for none) has painted what it changed.
    Outcome SavePicture(const std::wstring& strName, HWND hWnd, const RECT& rc, std::wstring& strDetail) const;

    CProbeLog& m_log;
    std::wstring m_strPictureFolder;
    std::wstring m_strControlFolder;
    HWND m_hFrame = NULL;
    HWND m_hDialog = NULL;
    CTargetProcess m_process;
};
