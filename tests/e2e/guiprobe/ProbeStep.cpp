#include "ProbeStep.h"

#include <cwctype>
#include <set>

namespace
{
// A wait that names no time of its own: long enough for a program to start under Wine on a
// loaded machine.
const DWORD kDefaultWaitSeconds = 30;
const DWORD kLongestWaitSeconds = 600;
const DWORD kLongestSleepMs = 600000;

struct STEP_WORD
{
    std::wstring strText;
    bool bQuoted = false;
};

bool SplitWords(const std::wstring& strLine, std::vector<STEP_WORD>& words, std::wstring& strError)
{
    size_t nPos = 0;
    while (true)
    {
        while (nPos < strLine.size() && std::iswspace(strLine[nPos]))
            ++nPos;
        if (nPos == strLine.size())
            return true;
        STEP_WORD word;
        if (strLine[nPos] != L'"')
        {
            while (nPos < strLine.size() && !std::iswspace(strLine[nPos]))
                word.strText += strLine[nPos++];
            words.push_back(word);
            continue;
        }
        word.bQuoted = true;
        for (++nPos;; ++nPos)
        {
            if (nPos == strLine.size())
            {
                strError = L"a quoted text has no closing quote";
                return false;
            }
            if (strLine[nPos] != L'"')
                word.strText += strLine[nPos];
            else if (nPos + 1 < strLine.size() && strLine[nPos + 1] == L'"')
                word.strText += strLine[++nPos];
            else
                break;
        }
        ++nPos;
        if (nPos < strLine.size() && !std::iswspace(strLine[nPos]))
        {
            strError = L"a quoted text must be followed by a blank";
            return false;
        }
        words.push_back(word);
    }
}

bool IsDigits(const std::wstring& str)
{
    if (str.empty() || str.size() > 9)
        return false;
    for (wchar_t ch : str)
    {
        if (ch < L'0' || ch > L'9')
            return false;
    }
    return true;
}

// Decimal, or hexadecimal after 0x.
bool ParseNumber(const std::wstring& str, unsigned long nMax, unsigned long& nValue)
{
    bool bHex = str.size() > 2 && str[0] == L'0' && (str[1] == L'x' || str[1] == L'X');
    std::wstring strDigits = bHex ? str.substr(2) : str;
    if (strDigits.empty() || strDigits.size() > 8)
        return false;
    unsigned long nResult = 0;
    for (wchar_t ch : strDigits)
    {
        int nDigit;
        if (ch >= L'0' && ch <= L'9')
            nDigit = ch - L'0';
        else if (bHex && ch >= L'a' && ch <= L'f')
            nDigit = ch - L'a' + 10;
        else if (bHex && ch >= L'A' && ch <= L'F')
            nDigit = ch - L'A' + 10;
        else
            return false;
        nResult = nResult * (bHex ? 16 : 10) + nDigit;
    }
    if (nResult > nMax)
        return false;
    nValue = nResult;
    return true;
}

struct KEY_NAME
{
    const wchar_t* pszName;
    UINT nKey;
};

const KEY_NAME kKeyNames[] = {
    {L"BACK", VK_BACK},     {L"TAB", VK_TAB},       {L"RETURN", VK_RETURN}, {L"ESCAPE", VK_ESCAPE},
    {L"SPACE", VK_SPACE},   {L"PRIOR", VK_PRIOR},   {L"NEXT", VK_NEXT},     {L"END", VK_END},
    {L"HOME", VK_HOME},     {L"LEFT", VK_LEFT},     {L"UP", VK_UP},         {L"RIGHT", VK_RIGHT},
    {L"DOWN", VK_DOWN},     {L"INSERT", VK_INSERT}, {L"DELETE", VK_DELETE}, {L"CANCEL", VK_CANCEL},
    {L"APPS", VK_APPS},
};

// A virtual-key code as a number (3 is Break, not the digit key), an upper-case letter, F1 to
// F24, or one of the names above (the VK_ names without VK_).
bool ParseKey(const std::wstring& str, UINT& nKey)
{
    unsigned long nValue = 0;
    if (ParseNumber(str, 254, nValue))
    {
        nKey = nValue;
        return nValue > 0;
    }
    if (str.size() == 1 && str[0] >= L'A' && str[0] <= L'Z')
    {
        nKey = str[0];
        return true;
    }
    if (str.size() >= 2 && str[0] == L'F' && IsDigits(str.substr(1)))
    {
        int nFunction = std::stoi(str.substr(1));
        if (nFunction < 1 || nFunction > 24)
            return false;
        nKey = VK_F1 + nFunction - 1;
        return true;
    }
    for (const KEY_NAME& name : kKeyNames)
    {
        if (str == name.pszName)
        {
            nKey = name.nKey;
            return true;
        }
    }
    return false;
}

// Reads the words of one step in order and says what is wrong with them.
class CWordReader
{
public:
    CWordReader(const std::vector<STEP_WORD>& words, std::wstring& strError) : m_words(words), m_strError(strError) {}

    size_t Left() const { return m_words.size() - m_nNext; }
    bool PeekNumber() const { return Left() > 0 && !m_words[m_nNext].bQuoted && IsDigits(m_words[m_nNext].strText); }

    bool Text(const wchar_t* pszWhat, std::wstring& strText)
    {
        if (Left() == 0)
            return Fail(std::wstring(pszWhat) + L" is missing");
        strText = m_words[m_nNext++].strText;
        return true;
    }

    bool Number(const wchar_t* pszWhat, unsigned long nMin, unsigned long nMax, unsigned long& nValue)
    {
        if (Left() == 0)
            return Fail(std::wstring(pszWhat) + L" is missing");
        const STEP_WORD& word = m_words[m_nNext++];
        if (word.bQuoted || !ParseNumber(word.strText, nMax, nValue) || nValue < nMin)
        {
            return Fail(std::wstring(pszWhat) + L" must be a number from " + std::to_wstring(nMin) + L" to " +
                        std::to_wstring(nMax) + L", not " + QuotedWord(word.strText));
        }
        return true;
    }

    bool Seconds(DWORD& dwMs)
    {
        unsigned long nSeconds = 0;
        if (!Number(L"SECONDS", 1, kLongestWaitSeconds, nSeconds))
            return false;
        dwMs = nSeconds * 1000;
        return true;
    }

    bool Name(std::wstring& strName)
    {
        if (!Text(L"NAME", strName))
            return false;
        bool bSafe = !strName.empty() && strName.size() <= 64 && strName[0] != L'.';
        for (wchar_t ch : strName)
            bSafe = bSafe && (std::iswalnum(ch) || ch == L'-' || ch == L'_' || ch == L'.') && ch < 128;
        if (!bSafe)
            return Fail(L"NAME must be letters, digits, '-', '_' or '.' (at most 64, not first '.'), not " +
                        QuotedWord(strName));
        return true;
    }

    bool End()
    {
        if (Left() == 0)
            return true;
        return Fail(L"too many words from " + QuotedWord(m_words[m_nNext].strText) + L" on");
    }

    bool Fail(const std::wstring& strError)
    {
        m_strError = strError;
        return false;
    }

private:
    const std::vector<STEP_WORD>& m_words;
    size_t m_nNext = 0;
    std::wstring& m_strError;
};

bool ParseWaitWindow(CWordReader& words, PROBE_STEP& step)
{
    if (!words.Text(L"CLASS", step.strName))
        return false;
    step.dwMs = kDefaultWaitSeconds * 1000;
    // A lone word after the class is the time when it is an unquoted number, else the title.
    if (words.Left() == 1 && words.PeekNumber())
        return words.Seconds(step.dwMs) && words.End();
    if (words.Left() > 0)
    {
        step.bHasTitle = true;
        if (!words.Text(L"TITLE", step.strText))
            return false;
    }
    if (words.Left() > 0 && !words.Seconds(step.dwMs))
        return false;
    return words.End();
}

bool ParseKeyStep(CWordReader& words, PROBE_STEP& step)
{
    std::wstring strKey;
    if (!words.Text(L"VK", strKey))
        return false;
    if (!ParseKey(strKey, step.nId))
        return words.Fail(L"VK must be a key code from 1 to 254, a letter A to Z, F1 to F24 or a key name, not " +
                          QuotedWord(strKey));
    while (words.Left() > 0)
    {
        std::wstring strModifier;
        words.Text(L"modifier", strModifier);
        UINT nModifier = 0;
        if (strModifier == L"ctrl")
            nModifier = kModCtrl;
        else if (strModifier == L"shift")
            nModifier = kModShift;
        else if (strModifier == L"alt")
            nModifier = kModAlt;
        if (nModifier == 0)
            return words.Fail(L"a modifier must be ctrl, shift or alt, not " + QuotedWord(strModifier));
        if (step.nModifiers & nModifier)
            return words.Fail(L"the modifier " + strModifier + L" is named twice");
        step.nModifiers |= nModifier;
    }
    return true;
}

bool ParseShot(CWordReader& words, PROBE_STEP& step)
{
    std::wstring strArea;
    if (!words.Name(step.strName) || !words.Text(L"window|dialog|screen", strArea))
        return false;
    if (strArea == L"window")
        step.eArea = ShotArea::Window;
    else if (strArea == L"dialog")
        step.eArea = ShotArea::Dialog;
    else if (strArea == L"screen")
        step.eArea = ShotArea::Screen;
    else
        return words.Fail(L"the area must be window, dialog or screen, not " + QuotedWord(strArea));
    return words.End();
}

bool ParseArguments(CWordReader& words, PROBE_STEP& step)
{
    unsigned long nRow = 0, nColumn = 0, nId = 0, nMs = 0;
    bool bOk = true;
    bool bCounted = false;
    switch (step.eVerb)
    {
    case StepVerb::WaitWindow:
        return ParseWaitWindow(words, step);
    case StepVerb::WaitDialog:
        step.dwMs = kDefaultWaitSeconds * 1000;
        bOk = words.Text(L"TITLE", step.strText) && (words.Left() == 0 || words.Seconds(step.dwMs));
        break;
    case StepVerb::ExpectRow:
    case StepVerb::WaitRow:
        bOk = words.Number(L"ROW", 0, 999999, nRow) && words.Number(L"COL", 0, 999, nColumn) &&
              words.Text(L"TEXT", step.strText) && (step.eVerb == StepVerb::ExpectRow || words.Seconds(step.dwMs));
        break;
    case StepVerb::ExpectRows:
        bOk = words.Number(L"N", 0, 999999, nRow);
        break;
    case StepVerb::Status:
    case StepVerb::WaitStatus:
        bOk = words.Number(L"PANE", 0, 255, nRow) && words.Text(L"TEXT", step.strText) &&
              (step.eVerb == StepVerb::Status || words.Seconds(step.dwMs));
        break;
    case StepVerb::ExpectReg:
        bOk = words.Text(L"KEY", step.strName) && words.Text(L"VALUE", step.strText) && words.Text(L"DATA", step.strData);
        if (bOk && step.strName.compare(0, 5, L"HKCU\\") != 0 && step.strName.compare(0, 5, L"HKLM\\") != 0)
            bOk = words.Fail(L"the key must start with HKCU\\ or HKLM\\, not " + QuotedWord(step.strName));
        break;
    case StepVerb::Service:
        bOk = words.Text(L"stop|start", step.strText);
        if (bOk && step.strText != L"stop" && step.strText != L"start")
            bOk = words.Fail(L"the service can be told stop or start, not " + QuotedWord(step.strText));
        step.dwMs = kDefaultWaitSeconds * 1000 * 2;
        if (bOk && words.Left() > 0)
            bOk = words.Seconds(step.dwMs);
        break;
    case StepVerb::DialogText:
    case StepVerb::SetText:
        bOk = words.Number(L"ID", 0, 0xFFFF, nId) && words.Text(L"TEXT", step.strText);
        break;
    case StepVerb::Click:
    case StepVerb::Command:
        bOk = words.Number(L"ID", 0, 0xFFFF, nId);
        break;
    case StepVerb::ClickIn:
    {
        unsigned long nParentId = 0;
        bOk = words.Number(L"PARENT-ID", 0, 0xFFFF, nParentId) && words.Number(L"ID", 0, 0xFFFF, nId);
        step.nParentId = static_cast<UINT>(nParentId);
        break;
    }
    case StepVerb::SelectTab:
        bOk = words.Number(L"ID", 0, 0xFFFF, nId) && words.Number(L"INDEX", 0, 255, nRow);
        step.dwMs = kDefaultWaitSeconds * 1000;
        if (bOk && words.Left() > 0)
            bOk = words.Seconds(step.dwMs);
        break;
    case StepVerb::Select:
        bOk = words.Number(L"ID", 0, 0xFFFF, nId) && words.Number(L"INDEX", 0, 32767, nRow) && words.End();
        break;
    case StepVerb::ClickAt:
        bOk = words.Number(L"ID", 0, 0xFFFF, nId) && words.Number(L"X", 0, 32767, nColumn) &&
              words.Number(L"Y", 0, 32767, nRow) && words.End();
        break;
    case StepVerb::Key:
        return ParseKeyStep(words, step);
    case StepVerb::MenuShot:
        bOk = words.Name(step.strName);
        break;
    case StepVerb::Shot:
        return ParseShot(words, step);
    case StepVerb::Sleep:
        bOk = words.Number(L"MS", 0, kLongestSleepMs, nMs);
        step.dwMs = nMs;
        break;
    case StepVerb::ExpectEnabled:
    {
        std::wstring strState;
        bOk = words.Number(L"ID", 0, 0xFFFF, nId) && words.Text(L"yes|no", strState);
        if (bOk && strState != L"yes" && strState != L"no")
            bOk = words.Fail(L"the state must be yes or no, not " + QuotedWord(strState));
        step.bEnabled = strState == L"yes";
        break;
    }
    case StepVerb::DialogLines:
        bOk = words.Number(L"ID", 0, 0xFFFF, nId) && words.Text(L"TEXT", step.strText);
        step.lines.push_back(step.strText);
        while (bOk && words.Left() > 0)
        {
            std::wstring strLine;
            words.Text(L"TEXT", strLine);
            step.lines.push_back(strLine);
        }
        break;
    case StepVerb::WaitEnd:
        bOk = words.Seconds(step.dwMs);
        break;
    case StepVerb::WaitText:
        bOk = words.Number(L"ID", 0, 0xFFFF, nId) && words.Text(L"TEXT", step.strText) && words.Seconds(step.dwMs);
        break;
    case StepVerb::ExpectCheck:
        bOk = words.Number(L"ID", 0, 0xFFFF, nId) && words.Number(L"STATE", 0, 2, nRow);
        break;
    case StepVerb::ClickRow:
        bOk = words.Number(L"LIST", 0, 0xFFFF, nId) && words.Number(L"ROW", 0, 0xFFFF, nRow);
        break;
    case StepVerb::ExpectTabs:
        bOk = words.Number(L"ID", 0, 0xFFFF, nId) && words.Number(L"COUNT", 0, 0xFFFF, nRow);
        break;
    case StepVerb::DialogRows:
        // The counting control's id rides in the column; a list without one needs only a row.
        bOk = words.Number(L"LIST", 0, 0xFFFF, nId);
        bCounted = bOk && words.Left() > 0;
        if (bCounted)
            bOk = words.Number(L"COUNT", 0, 0xFFFF, nColumn);
        break;
    case StepVerb::WaitFile:
        bOk = words.Text(L"PATH", step.strText) && words.Seconds(step.dwMs);
        break;
    case StepVerb::Rows:
    case StepVerb::CancelMenu:
        break;
    }
    step.nRow = static_cast<int>(nRow);
    step.nColumn = static_cast<int>(nColumn);
    if (step.eVerb == StepVerb::DialogRows && !bCounted)
        step.nColumn = kNoCountControl;
    if (step.eVerb != StepVerb::Key)
        step.nId = nId;
    return bOk && words.End();
}

struct VERB_NAME
{
    const wchar_t* pszName;
    StepVerb eVerb;
};

const VERB_NAME kVerbs[] = {
    {L"wait-window", StepVerb::WaitWindow}, {L"wait-dialog", StepVerb::WaitDialog},
    {L"rows", StepVerb::Rows},              {L"expect-row", StepVerb::ExpectRow},
    {L"wait-row", StepVerb::WaitRow},       {L"expect-rows", StepVerb::ExpectRows},
    {L"status", StepVerb::Status},          {L"dialog-text", StepVerb::DialogText},
    {L"set-text", StepVerb::SetText},       {L"click", StepVerb::Click},
    {L"click-in", StepVerb::ClickIn},       {L"select-tab", StepVerb::SelectTab},
    {L"command", StepVerb::Command},        {L"key", StepVerb::Key},
    {L"menu-shot", StepVerb::MenuShot},     {L"cancel-menu", StepVerb::CancelMenu},
    {L"shot", StepVerb::Shot},              {L"sleep", StepVerb::Sleep},
    {L"expect-enabled", StepVerb::ExpectEnabled}, {L"dialog-lines", StepVerb::DialogLines},
    {L"wait-end", StepVerb::WaitEnd},       {L"wait-file", StepVerb::WaitFile},
    {L"wait-status", StepVerb::WaitStatus}, {L"expect-reg", StepVerb::ExpectReg},
    {L"service", StepVerb::Service},        {L"select", StepVerb::Select},
    {L"wait-text", StepVerb::WaitText},     {L"dialog-rows", StepVerb::DialogRows},
    {L"click-at", StepVerb::ClickAt},       {L"expect-check", StepVerb::ExpectCheck},
    {L"expect-tabs", StepVerb::ExpectTabs}, {L"click-row", StepVerb::ClickRow},
};

bool ReadUtf8File(const std::wstring& strPath, std::wstring& strText, std::wstring& strError)
{
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        strError = L"cannot open the step file (error " + std::to_wstring(::GetLastError()) + L")";
        return false;
    }
    std::string bytes;
    char buffer[4096];
    DWORD dwRead = 0;
    bool bRead = true;
    while ((bRead = ::ReadFile(hFile, buffer, sizeof(buffer), &dwRead, nullptr) != FALSE) && dwRead > 0 &&
           bytes.size() < (1u << 20))
        bytes.append(buffer, dwRead);
    ::CloseHandle(hFile);
    if (!bRead || bytes.size() >= (1u << 20))
    {
        strError = bRead ? L"the step file is larger than 1 MiB" : L"cannot read the step file";
        return false;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    strText.clear();
    if (bytes.empty())
        return true;
    int nChars = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                       nullptr, 0);
    if (nChars <= 0)
    {
        strError = L"the step file is not UTF-8";
        return false;
    }
    strText.resize(nChars);
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &strText[0], nChars);
    return true;
}
} // namespace

std::wstring QuotedWord(const std::wstring& strText)
{
    std::wstring strQuoted = L"\"";
    for (wchar_t ch : strText)
        strQuoted += ch == L'"' ? L"\"\"" : std::wstring(1, ch);
    return strQuoted + L"\"";
}

bool ParseStep(const std::wstring& strLine, PROBE_STEP& step, std::wstring& strError)
{
    std::vector<STEP_WORD> words;
    if (!SplitWords(strLine, words, strError))
        return false;
    if (words.empty() || words[0].bQuoted)
    {
        strError = L"a step starts with its verb";
        return false;
    }
    bool bKnown = false;
    for (const VERB_NAME& verb : kVerbs)
    {
        if (words[0].strText == verb.pszName)
        {
            step.eVerb = verb.eVerb;
            bKnown = true;
        }
    }
    if (!bKnown)
    {
        strError = L"unknown step " + QuotedWord(words[0].strText);
        return false;
    }
    std::vector<STEP_WORD> arguments(words.begin() + 1, words.end());
    CWordReader reader(arguments, strError);
    if (!ParseArguments(reader, step))
    {
        strError = words[0].strText + L": " + strError;
        return false;
    }
    return true;
}

bool ReadStepFile(const std::wstring& strPath, std::vector<PROBE_STEP>& steps, std::vector<std::wstring>& errors)
{
    std::wstring strText, strError;
    if (!ReadUtf8File(strPath, strText, strError))
    {
        errors.push_back(strError);
        return false;
    }
    std::set<std::wstring> pictureNames;
    size_t nStart = 0;
    for (int nLine = 1; nStart <= strText.size(); ++nLine)
    {
        size_t nEnd = strText.find(L'\n', nStart);
        if (nEnd == std::wstring::npos)
            nEnd = strText.size();
        std::wstring strLine = strText.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        if (!strLine.empty() && strLine.back() == L'\r')
            strLine.pop_back();
        size_t nFirst = strLine.find_first_not_of(L" \t");
        if (nFirst == std::wstring::npos || strLine[nFirst] == L'#')
            continue;
        PROBE_STEP step;
        step.nLine = nLine;
        step.strSource = strLine.substr(nFirst);
        if (!ParseStep(strLine, step, strError))
            errors.push_back(L"line " + std::to_wstring(nLine) + L": " + strError);
        else if ((step.eVerb == StepVerb::Shot || step.eVerb == StepVerb::MenuShot) &&
                 !pictureNames.insert(step.strName).second)
            errors.push_back(L"line " + std::to_wstring(nLine) + L": the picture " + step.strName +
                             L" is taken twice");
        else
            steps.push_back(step);
    }
    return errors.empty();
}
