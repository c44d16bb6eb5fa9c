#include "ProbeRunner.h"

#include "RemoteControls.h"

#include <commctrl.h>

#include <cstdio>

namespace
{
std::wstring Hex(ULONG_PTR nValue)
{
    wchar_t szText[32];
    swprintf(szText, ARRAYSIZE(szText), L"0x%llX", static_cast<unsigned long long>(nValue));
    return szText;
}


// The first visible top-level window of the class (and title, when given) that belongs to
// the process, or to any process for 0.
// Names such as %COMPUTERNAME% that only the machine knows, put into a text to expect.
std::wstring ExpandedText(const std::wstring& strText)
{
    wchar_t szText[1024];
    DWORD dwChars = ::ExpandEnvironmentStringsW(strText.c_str(), szText, ARRAYSIZE(szText));
    return dwChars == 0 || dwChars > ARRAYSIZE(szText) ? strText : std::wstring(szText);
}

// A class of "*" stands for any: the class library names its classes after their styles.
HWND FindVisibleTopLevel(const wchar_t* pszClass, const wchar_t* pszTitle, DWORD dwProcess)
{
    if (wcscmp(pszClass, L"*") == 0)
        pszClass = nullptr;
    for (HWND hWnd = NULL; (hWnd = ::FindWindowExW(NULL, hWnd, pszClass, pszTitle)) != NULL;)
    {
        DWORD dwOwner = 0;
        ::GetWindowThreadProcessId(hWnd, &dwOwner);
        if (::IsWindowVisible(hWnd) && (dwProcess == 0 || dwOwner == dwProcess))
            return hWnd;
    }
    return NULL;
}
} // namespace

std::wstring CProbeRunner::Seconds(DWORD dwMs)
{
    wchar_t szText[32];
    swprintf(szText, ARRAYSIZE(szText), L"%.1f s", dwMs / 1000.0);
    return szText;
}

int CProbeRunner::Run(const std::vector<PROBE_STEP>& steps)
{
    int nFailed = 0;
    bool bStopped = false;
    for (const PROBE_STEP& step : steps)
    {
        std::wstring strWhere = L"line " + std::to_wstring(step.nLine);
        if (bStopped)
        {
            m_log.Line(L"[not run] " + strWhere + L": " + step.strSource);
            ++nFailed;
            continue;
        }
        std::wstring strDetail;
        ULONGLONG nStart = ::GetTickCount64();
        Outcome eOutcome = RunStep(step, strDetail);
        std::wstring strTime = Seconds(static_cast<DWORD>(::GetTickCount64() - nStart));
        m_log.Line((eOutcome == Outcome::Passed ? L"[ok] " : L"[FAILED] ") + strWhere + L", " + strTime + L": " +
                   step.strSource);
        for (size_t nStart = 0; nStart < strDetail.size();)
        {
            size_t nEnd = strDetail.find(L'\n', nStart);
            if (nEnd == std::wstring::npos)
                nEnd = strDetail.size();
            m_log.Line(L"    " + strDetail.substr(nStart, nEnd - nStart));
            nStart = nEnd + 1;
        }
        if (eOutcome != Outcome::Passed)
            ++nFailed;
        bStopped = eOutcome == Outcome::Stop;
    }
    return nFailed;
}

CProbeRunner::Outcome CProbeRunner::RunStep(const PROBE_STEP& step, std::wstring& strDetail)
{
    // The one step whose goal is the program's end.
    if (step.eVerb == StepVerb::WaitEnd)
        return WaitEnd(step, strDetail);
    // Steps about what lies outside the program: they hold after its end as well.
    if (step.eVerb == StepVerb::WaitFile)
        return WaitFile(step, strDetail);
    if (step.eVerb == StepVerb::ExpectReg)
        return ExpectReg(step, strDetail);
    if (step.eVerb == StepVerb::Service)
        return ControlService(step, strDetail);
    if (ProgramEnded(strDetail))
        return Outcome::Stop;
    switch (step.eVerb)
    {
    case StepVerb::WaitWindow:
        return WaitWindow(step, strDetail);
    case StepVerb::WaitDialog:
        return WaitDialog(step, strDetail);
    case StepVerb::Rows:
        return DumpRows(strDetail);
    case StepVerb::ExpectRow:
        return ExpectRow(step, strDetail);
    case StepVerb::WaitRow:
        return WaitRow(step, strDetail);
    case StepVerb::ExpectRows:
        return ExpectRows(step, strDetail);
    case StepVerb::Status:
        return ExpectStatus(step, strDetail);
    case StepVerb::DialogText:
        return ExpectDialogText(step, strDetail);
    case StepVerb::SetText:
        return SetDialogText(step, strDetail);
    case StepVerb::Click:
    case StepVerb::ClickIn:
        return Click(step, strDetail);
    case StepVerb::SelectTab:
        return SelectTab(step, strDetail);
    case StepVerb::Command:
        return PostCommand(step, strDetail);
    case StepVerb::Select:
        return SelectItem(step, strDetail);
    case StepVerb::ClickAt:
        return ClickAt(step, strDetail);
    case StepVerb::Key:
        return PressKey(step, strDetail);
    case StepVerb::MenuShot:
        return MenuShot(step, strDetail);
    case StepVerb::CancelMenu:
        return CancelMenu(strDetail);
    case StepVerb::Shot:
        return Shot(step, strDetail);
    case StepVerb::Sleep:
        ::Sleep(step.dwMs);
        return Outcome::Passed;
    case StepVerb::ExpectEnabled:
        return ExpectEnabled(step, strDetail);
    case StepVerb::DialogLines:
        return ExpectDialogLines(step, strDetail);
    case StepVerb::WaitStatus:
        return WaitStatus(step, strDetail);
    case StepVerb::WaitText:
        return WaitDialogText(step, strDetail);
    case StepVerb::DialogRows:
        return ExpectDialogRows(step, strDetail);
    case StepVerb::ExpectCheck:
    case StepVerb::ExpectTabs:
        return ExpectControlCount(step, strDetail);
    case StepVerb::ClickRow:
        return ClickRow(step, strDetail);
    case StepVerb::WaitEnd:
    case StepVerb::WaitFile:
    case StepVerb::ExpectReg:
    case StepVerb::Service:
        break;
    }
    strDetail = L"no such step";
    return Outcome::Failed;
}

CProbeRunner::WaitResult CProbeRunner::WaitUntil(DWORD dwMs, const std::function<bool()>& condition) const
{
    ULONGLONG nEnd = ::GetTickCount64() + dwMs;
    while (true)
    {
        if (condition())
            return WaitResult::Met;
        DWORD dwExitCode = 0;
        if (m_process.Ended(dwExitCode))
            return WaitResult::Ended;
        if (::GetTickCount64() >= nEnd)
            return WaitResult::TimedOut;
        // The program's end cuts the pause short, so that a crash fails the step at once.
        if (m_process.IsOpen())
            ::WaitForSingleObject(m_process.Handle(), PollMs);
        else
            ::Sleep(PollMs);
    }
}

CProbeRunner::Outcome CProbeRunner::WaitFailed(WaitResult eResult, const PROBE_STEP& step, const std::wstring& strWhat,
                                               std::wstring& strDetail) const
{
    if (eResult == WaitResult::Ended && ProgramEnded(strDetail))
        return Outcome::Stop;
    strDetail = strWhat + L" after " + Seconds(step.dwMs);
    return Outcome::Failed;
}

bool CProbeRunner::ProgramEnded(std::wstring& strDetail) const
{
    DWORD dwExitCode = 0;
    if (!m_process.Ended(dwExitCode))
        return false;
    strDetail = L"the program has ended (exit code " + Hex(dwExitCode) + L"): did it crash?";
    return true;
}

bool CProbeRunner::HaveFrame(std::wstring& strDetail) const
{
    if (m_hFrame == NULL)
        strDetail = L"no window yet: a wait-window step must come first";
    else if (!::IsWindow(m_hFrame))
        strDetail = L"the window " + Hex(reinterpret_cast<ULONG_PTR>(m_hFrame)) + L" is gone";
    else
        return true;
    return false;
}

bool CProbeRunner::HaveList(HWND& hList, std::wstring& strDetail) const
{
    if (!HaveFrame(strDetail))
        return false;
    hList = FindVisibleChild(m_hFrame, WC_LISTVIEWW);
    if (hList == NULL)
        strDetail = L"the window has no visible list (" + std::wstring(WC_LISTVIEWW) + L")";
    return hList != NULL;
}

namespace
{
struct DESCENDANT_SEARCH
{
    int nId;
    HWND hFound;
    int nFound;
};

BOOL CALLBACK NoteDescendant(HWND hWnd, LPARAM lParam)
{
    auto* pSearch = reinterpret_cast<DESCENDANT_SEARCH*>(lParam);
    if (::GetDlgCtrlID(hWnd) == pSearch->nId && ::IsWindowVisible(hWnd))
    {
        pSearch->hFound = hWnd;
        ++pSearch->nFound;
    }
    return TRUE;
}
} // namespace

HWND CProbeRunner::HaveControl(UINT nId, std::wstring& strDetail, UINT nParentId) const
{
    if (m_hDialog == NULL)
    {
        strDetail = L"no dialog yet: a wait-dialog step must come first";
        return NULL;
    }
    if (!::IsWindow(m_hDialog))
    {
        strDetail = L"the dialog " + Hex(reinterpret_cast<ULONG_PTR>(m_hDialog)) + L" is gone";
        return NULL;
    }
    if (nParentId != 0)
    {
        HWND hParent = ::GetDlgItem(m_hDialog, static_cast<int>(nParentId));
        HWND hControl = hParent != NULL ? ::GetDlgItem(hParent, static_cast<int>(nId)) : NULL;
        if (hControl == NULL)
            strDetail = L"the dialog has no control " + std::to_wstring(nId) + L" in its window " +
                        std::to_wstring(nParentId);
        return hControl;
    }
    HWND hControl = ::GetDlgItem(m_hDialog, static_cast<int>(nId));
    if (hControl != NULL)
        return hControl;
    // Pages of a tab control or a property sheet hold their controls one level down; the
    // pages behind the one in front may hold controls of the same id.
    DESCENDANT_SEARCH search = {static_cast<int>(nId), NULL, 0};
    ::EnumChildWindows(m_hDialog, NoteDescendant, reinterpret_cast<LPARAM>(&search));
    if (search.nFound == 1)
        return search.hFound;
    strDetail = search.nFound == 0 ? L"the dialog has no control " + std::to_wstring(nId)
                                   : std::to_wstring(search.nFound) + L" visible windows of the dialog have the id " +
                                         std::to_wstring(nId) + L": name the one with click-in";
    return NULL;
}

CProbeRunner::Outcome CProbeRunner::WaitWindow(const PROBE_STEP& step, std::wstring& strDetail)
{
    const wchar_t* pszTitle = step.bHasTitle ? step.strText.c_str() : nullptr;
    HWND hFound = NULL;
    // Any process: the window may be that of a program the first one started.
    WaitResult eResult = WaitUntil(step.dwMs, [&]() {
        hFound = FindVisibleTopLevel(step.strName.c_str(), pszTitle, 0);
        return hFound != NULL;
    });
    // Nothing after a missing window can pass.
    if (eResult != WaitResult::Met)
    {
        std::wstring strWhat = L"no visible window of class " + QuotedWord(step.strName) +
                               (pszTitle != nullptr ? L" titled " + QuotedWord(step.strText) : L"");
        WaitFailed(eResult, step, strWhat, strDetail);
        return Outcome::Stop;
    }
    DWORD dwError = 0;
    if (!m_process.Open(hFound, dwError))
    {
        strDetail = L"cannot open the window's process (error " + std::to_wstring(dwError) + L")";
        return Outcome::Stop;
    }
    m_hFrame = hFound;
    m_hDialog = NULL;
    strDetail = L"window " + Hex(reinterpret_cast<ULONG_PTR>(hFound)) + L" of process " + Hex(m_process.Id());
    return Outcome::Passed;
}

CProbeRunner::Outcome CProbeRunner::WaitDialog(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hFound = NULL;
    WaitResult eResult = WaitUntil(step.dwMs, [&]() {
        hFound = FindVisibleTopLevel(L"#32770", step.strText.c_str(), m_process.Id());
        return hFound != NULL;
    });
    if (eResult != WaitResult::Met)
        return WaitFailed(eResult, step, L"no visible dialog titled " + QuotedWord(step.strText), strDetail);
    m_hDialog = hFound;
    strDetail = L"dialog " + Hex(reinterpret_cast<ULONG_PTR>(hFound));
    return Outcome::Passed;
}

bool CProbeRunner::ReadCell(int nRow, int nColumn, std::wstring& strText, std::wstring& strDetail) const
{
    HWND hList = NULL;
    if (!HaveList(hList, strDetail))
        return false;
    CRemoteList list(m_process, hList);
    int nRows = 0, nColumns = 0;
    std::wstring strError;
    if (!list.RowCount(nRows) || !list.ColumnCount(nColumns))
        strError = L"the list does not answer";
    else if (nRow >= nRows)
        strError = L"the list has " + std::to_wstring(nRows) + L" rows";
    else if (nColumn >= nColumns)
        strError = L"the list has " + std::to_wstring(nColumns) + L" columns";
    else if (list.Cell(nRow, nColumn, strText, strError))
        return true;
    strDetail = strError;
    return false;
}

CProbeRunner::Outcome CProbeRunner::DumpRows(std::wstring& strDetail)
{
    HWND hList = NULL;
    if (!HaveList(hList, strDetail))
        return Outcome::Failed;
    CRemoteList list(m_process, hList);
    int nRows = 0, nColumns = 0;
    if (!list.RowCount(nRows) || !list.ColumnCount(nColumns))
    {
        strDetail = L"the list does not answer";
        return Outcome::Failed;
    }
    strDetail = std::to_wstring(nRows) + L" rows, " + std::to_wstring(nColumns) + L" columns";
    for (int nRow = 0; nRow < nRows; ++nRow)
    {
        std::wstring strLine = L"row " + std::to_wstring(nRow) + L":";
        for (int nColumn = 0; nColumn < nColumns; ++nColumn)
        {
            std::wstring strText, strError;
            if (!list.Cell(nRow, nColumn, strText, strError))
            {
                strDetail += L"\n" + strLine + L" " + strError;
                return Outcome::Failed;
            }
            strLine += (nColumn > 0 ? L" | " : L" ") + QuotedWord(strText);
        }
        strDetail += L"\n" + strLine;
    }
    return Outcome::Passed;
}

CProbeRunner::Outcome CProbeRunner::ExpectRow(const PROBE_STEP& step, std::wstring& strDetail)
{
    std::wstring strText;
    if (!ReadCell(step.nRow, step.nColumn, strText, strDetail))
        return Outcome::Failed;
    if (strText == step.strText)
        return Outcome::Passed;
    strDetail = L"row " + std::to_wstring(step.nRow) + L" column " + std::to_wstring(step.nColumn) + L" is " +
                QuotedWord(strText);
    return Outcome::Failed;
}

CProbeRunner::Outcome CProbeRunner::WaitRow(const PROBE_STEP& step, std::wstring& strDetail)
{
    std::wstring strText, strWhy;
    WaitResult eResult = WaitUntil(step.dwMs, [&]() {
        strWhy.clear();
        return ReadCell(step.nRow, step.nColumn, strText, strWhy) && strText == step.strText;
    });
    if (eResult == WaitResult::Met)
        return Outcome::Passed;
    std::wstring strWhat = !strWhy.empty() ? strWhy
                                           : L"row " + std::to_wstring(step.nRow) + L" column " +
                                                 std::to_wstring(step.nColumn) + L" is " + QuotedWord(strText);
    return WaitFailed(eResult, step, strWhat, strDetail);
}

CProbeRunner::Outcome CProbeRunner::ExpectRows(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hList = NULL;
    if (!HaveList(hList, strDetail))
        return Outcome::Failed;
    int nRows = 0;
    if (!CRemoteList(m_process, hList).RowCount(nRows))
        strDetail = L"the list does not answer";
    else if (nRows != step.nRow)
        strDetail = L"the list has " + std::to_wstring(nRows) + L" rows";
    else
        return Outcome::Passed;
    return Outcome::Failed;
}

bool CProbeRunner::ReadStatusPane(int nPane, std::wstring& strText, std::wstring& strDetail) const
{
    if (!HaveFrame(strDetail))
        return false;
    HWND hStatus = FindVisibleChild(m_hFrame, STATUSCLASSNAMEW);
    if (hStatus == NULL)
    {
        strDetail = L"the window has no visible status bar (" + std::wstring(STATUSCLASSNAMEW) + L")";
        return false;
    }
    CRemoteStatusBar bar(m_process, hStatus);
    int nPanes = 0;
    if (!bar.PaneCount(nPanes))
        strDetail = L"the status bar does not answer";
    else if (nPane >= nPanes)
        strDetail = L"the status bar has " + std::to_wstring(nPanes) + L" panes";
    else
        return bar.Pane(nPane, strText, strDetail);
    return false;
}

CProbeRunner::Outcome CProbeRunner::ExpectStatus(const PROBE_STEP& step, std::wstring& strDetail)
{
    std::wstring strText;
    if (!ReadStatusPane(step.nRow, strText, strDetail))
        return Outcome::Failed;
    if (strText == ExpandedText(step.strText))
        return Outcome::Passed;
    strDetail = L"pane " + std::to_wstring(step.nRow) + L" is " + QuotedWord(strText);
    return Outcome::Failed;
}

CProbeRunner::Outcome CProbeRunner::WaitStatus(const PROBE_STEP& step, std::wstring& strDetail)
{
    std::wstring strText, strWhy;
    std::wstring strExpected = ExpandedText(step.strText);
    WaitResult eResult = WaitUntil(step.dwMs, [&]() {
        strWhy.clear();
        return ReadStatusPane(step.nRow, strText, strWhy) && strText == strExpected;
    });
    if (eResult == WaitResult::Met)
        return Outcome::Passed;
    return WaitFailed(eResult, step,
                      !strWhy.empty() ? strWhy : L"pane " + std::to_wstring(step.nRow) + L" is " + QuotedWord(strText),
                      strDetail);
}

bool CProbeRunner::ReadControlText(UINT nId, std::wstring& strText, std::wstring& strDetail) const
{
    HWND hControl = HaveControl(nId, strDetail);
    if (hControl == NULL)
        return false;
    if (ReadWindowText(hControl, strText))
        return true;
    strDetail = L"the control does not answer WM_GETTEXT";
    return false;
}

CProbeRunner::Outcome CProbeRunner::ExpectDialogText(const PROBE_STEP& step, std::wstring& strDetail)
{
    std::wstring strText;
    if (!ReadControlText(step.nId, strText, strDetail))
        return Outcome::Failed;
    if (strText == step.strText)
        return Outcome::Passed;
    strDetail = L"control " + std::to_wstring(step.nId) + L" reads " + QuotedWord(strText);
    return Outcome::Failed;
}

CProbeRunner::Outcome CProbeRunner::SetDialogText(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hControl = HaveControl(step.nId, strDetail);
    if (hControl == NULL)
        return Outcome::Failed;
    LRESULT lResult = 0;
    if (SendBounded(hControl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.strText.c_str()), lResult) && lResult)
        return Outcome::Passed;
    strDetail = L"the control did not take the text";
    return Outcome::Failed;
}

CProbeRunner::Outcome CProbeRunner::ExpectEnabled(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hControl = HaveControl(step.nId, strDetail);
    if (hControl == NULL)
        return Outcome::Failed;
    bool bEnabled = ::IsWindowEnabled(hControl) != FALSE;
    if (bEnabled == step.bEnabled)
        return Outcome::Passed;
    strDetail = L"control " + std::to_wstring(step.nId) + (bEnabled ? L" is enabled" : L" is disabled");
    return Outcome::Failed;
}

// Lines end with CR LF, as an edit control breaks them; a lone LF stays inside its line.
CProbeRunner::Outcome CProbeRunner::ExpectDialogLines(const PROBE_STEP& step, std::wstring& strDetail)
{
    std::wstring strText;
    if (!ReadControlText(step.nId, strText, strDetail))
        return Outcome::Failed;
    std::vector<std::wstring> lines;
    for (size_t nStart = 0;;)
    {
        size_t nEnd = strText.find(L"\r\n", nStart);
        lines.push_back(strText.substr(nStart, nEnd == std::wstring::npos ? std::wstring::npos : nEnd - nStart));
        if (nEnd == std::wstring::npos)
            break;
        nStart = nEnd + 2;
    }
    if (lines == step.lines)
        return Outcome::Passed;
    strDetail = L"control " + std::to_wstring(step.nId) + L" has " + std::to_wstring(lines.size()) + L" lines:";
    for (const std::wstring& strLine : lines)
        strDetail += L" " + QuotedWord(strLine);
    return Outcome::Failed;
}

CProbeRunner::Outcome CProbeRunner::WaitEnd(const PROBE_STEP& step, std::wstring& strDetail)
{
    if (!m_process.IsOpen())
    {
        strDetail = L"no program yet: a wait-window step must come first";
        return Outcome::Failed;
    }
    DWORD dwExitCode = 0;
    if (::WaitForSingleObject(m_process.Handle(), step.dwMs) != WAIT_OBJECT_0 || !m_process.Ended(dwExitCode))
    {
        strDetail = L"the program still runs after " + Seconds(step.dwMs);
        return Outcome::Failed;
    }
    strDetail = L"the program has ended (exit code " + Hex(dwExitCode) + L")";
    return dwExitCode == 0 ? Outcome::Passed : Outcome::Failed;
}


CProbeRunner::Outcome CProbeRunner::WaitDialogText(const PROBE_STEP& step, std::wstring& strDetail)
{
    std::wstring strText, strWhy;
    WaitResult eResult = WaitUntil(step.dwMs, [&]() {
        strWhy.clear();
        return ReadControlText(step.nId, strText, strWhy) && strText == step.strText;
    });
    if (eResult == WaitResult::Met)
        return Outcome::Passed;
    return WaitFailed(eResult, step,
                      !strWhy.empty() ? strWhy : L"control " + std::to_wstring(step.nId) + L" reads " + QuotedWord(strText),
                      strDetail);
}

// Both answers are plain numbers, which need no memory in the program.
CProbeRunner::Outcome CProbeRunner::ExpectControlCount(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hControl = HaveControl(step.nId, strDetail);
    if (hControl == NULL)
        return Outcome::Failed;
    const bool bCheck = step.eVerb == StepVerb::ExpectCheck;
    LRESULT lResult = 0;
    if (!SendBounded(hControl, bCheck ? BM_GETCHECK : TCM_GETITEMCOUNT, 0, 0, lResult))
    {
        strDetail = L"control " + std::to_wstring(step.nId) + L" does not answer";
        return Outcome::Failed;
    }
    strDetail = L"control " + std::to_wstring(step.nId) + (bCheck ? L" is in state " : L" has pages: ") +
                std::to_wstring(lResult);
    if (lResult == step.nRow)
        return Outcome::Passed;
    strDetail += L", not " + std::to_wstring(step.nRow);
    return Outcome::Failed;
}

CProbeRunner::Outcome CProbeRunner::ExpectDialogRows(const PROBE_STEP& step, std::wstring& strDetail)
{
    HWND hList = HaveControl(step.nId, strDetail);
    const bool bCounted = step.nColumn != kNoCountControl;
    std::wstring strCount;
    if (hList == NULL || (bCounted && !ReadControlText(static_cast<UINT>(step.nColumn), strCount, strDetail)))
        return Outcome::Failed;
    int nRows = 0;
    if (!CRemoteList(m_process, hList).RowCount(nRows))
        strDetail = L"the list does not answer";
    else if (nRows < 1)
        strDetail = L"the list has no rows";
    else if (bCounted && std::to_wstring(nRows) != strCount)
        strDetail = L"the list has " + std::to_wstring(nRows) + L" rows, control " + std::to_wstring(step.nColumn) +
                    L" reads " + QuotedWord(strCount);
    else
    {
        strDetail = std::to_wstring(nRows) + L" rows";
        return Outcome::Passed;
    }
    return Outcome::Failed;
}
