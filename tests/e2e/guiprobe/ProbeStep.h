// The steps of a guiprobe script: one step a line, read and checked before any step runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum class StepVerb
{
    WaitWindow,
    WaitDialog,
    Rows,
    ExpectRow,
    WaitRow,
    ExpectRows,
    Status,
    DialogText,
    SetText,
    Click,
    ClickIn,
    SelectTab,
    Command,
    Key,
    MenuShot,
    CancelMenu,
    Shot,
    Sleep,
    ExpectEnabled,
    DialogLines,
    WaitEnd,
    WaitFile,
    WaitStatus,
    ExpectReg,
    Service,
    Select,
    // A dialog's control reads a text within a time; a dialog's list has rows, as many as
    // another control counts when one is named.
    WaitText,
    DialogRows,
    // A left click at a point of a control of the program's window, such as a drawn pane.
    ClickAt,
    // A check box's state, and a tab control's number of pages.
    ExpectCheck,
    ExpectTabs,
    // A left click on a row of a dialog's list, as a user's selects it.
    ClickRow,
};

enum class ShotArea
{
    Window,
    Dialog,
    Screen,
};

// dialog-rows without a counting control: the list needs only one row.
const int kNoCountControl = -1;

// Modifier keys of a key step.
const UINT kModCtrl = 1;
const UINT kModShift = 2;
const UINT kModAlt = 4;

struct PROBE_STEP
{
    int nLine = 0;
    std::wstring strSource; // the line as written, for the log
    StepVerb eVerb = StepVerb::Rows;
    std::wstring strName;   // window class or picture name
    std::wstring strText;   // title or text; expect-reg: the value's name; service: stop or start
    std::wstring strData;   // expect-reg: the data expected
    bool bHasTitle = false; // wait-window: a title was given
    int nRow = 0;           // row, pane, row count, a combo box's item, or a state or count expected
    int nColumn = 0;        // click-at: the point's x; nRow its y; dialog-rows: the counting control
    UINT nId = 0;           // control or command id, or virtual key
    UINT nParentId = 0;     // click-in: the dialog's child window that holds the control
    UINT nModifiers = 0;
    DWORD dwMs = 0;         // time to wait or to sleep
    bool bEnabled = false;  // expect-enabled: the state expected
    std::vector<std::wstring> lines; // dialog-lines: the lines expected
    ShotArea eArea = ShotArea::Window;
};

// Reads a step file (UTF-8, blank lines and lines starting with '#' ignored). Words are
// separated by blanks; a word in double quotes may hold blanks, and "" inside it stands for
// one quote. False with one message a faulty line in errors.
bool ReadStepFile(const std::wstring& strPath, std::vector<PROBE_STEP>& steps, std::vector<std::wstring>& errors);
// Parses one line that is not blank or a comment; false with the reason in strError.
bool ParseStep(const std::wstring& strLine, PROBE_STEP& step, std::wstring& strError);
// A text as a step word: in double quotes, with each quote doubled.
std::wstring QuotedWord(const std::wstring& strText);
