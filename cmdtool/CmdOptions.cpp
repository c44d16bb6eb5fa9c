#include "cmdtool/CmdOptions.h"

#include "cmdtool/ConsoleText.h"
#include "base/StringParser.h"
#include "cmdtool/TextCompare.h"
#include "protocol/NetDefragCommand.h"

#include <cwchar>

namespace
{
struct stActionWord
{
    const wchar_t* pszWord;
    int32_t nAction;
};

const stActionWord ActionWords[] = {
    {L"DefragQuick", CMD_DEFRAG_QUICK},
    {L"DefragComplete", CMD_DEFRAG_COMPLETE},
    {L"DefragAdvanced", CMD_DEFRAG_ADVANCED},
    {L"Stop", CMD_STOP},
    {L"Monitor", CMD_MONITOR},
    {L"List", CCmdOptions::ActionList},
    {L"Wait", CCmdOptions::ActionWait},
};

const wchar_t* const HelpLines[] = {
    L"----------------------------\n",
    L"Varnefold Command tool V3.6\n",
    L"---------------------------\n",
    L"Syntax: VfoldCmd /H\n",
    L"Display help\n",
    L"Syntax: VfoldCmd /A:<Action> [/D:<Driveletter|Guid>]\n",
    L"Action: {DefragQuick|DefragComplete|DefragAdvanced|Stop|Monitor|List}\n",
};

wchar_t UpperAscii(wchar_t ch)
{
    return ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - L'a' + L'A') : ch;
}
}

CCmdOptions::CCmdOptions() : m_nAction(ActionNone), m_strDrive(L"C:\\"), m_nExitCode(1)
{
}

CCmdOptions::EOutcome CCmdOptions::Parse(const CStringParser& fields)
{
    if (fields.GetCount() <= 1)
    {
        m_nExitCode = 1;
        return OutcomeHelp;
    }
    for (int i = 1; i < fields.GetCount(); ++i)
    {
        const wchar_t* pszField = fields.GetAt(i);
        size_t nLength = std::wcslen(pszField);
        // Only the help option is complete without a value.
        if (nLength <= 3 && (nLength != 2 || UpperAscii(pszField[1]) != L'H'))
            return Fail(L"Error: No data for option: ", pszField);
        // The first and the third character are not examined, so "-A=List"
        // reads like "/A:List".
        const wchar_t* pszValue = nLength > 3 ? pszField + 3 : L"";
        switch (UpperAscii(pszField[1]))
        {
        case L'A':
            if (!SetAction(pszValue))
                return Fail(L"Error: Unknown action: ", pszField);
            break;
        case L'D':
            if (!SetDrive(pszValue))
                return Fail(L"Error: No data for option: ", pszField);
            break;
        case L'H':
            m_nExitCode = 0;
            return OutcomeHelp;
        default:
            return Fail(L"Error: Unknown option: ", pszField);
        }
    }
    if (m_nAction == ActionNone)
        return Fail(L"Error: no action defined", nullptr);
    m_nExitCode = 0;
    return OutcomeRun;
}

CCmdOptions::EOutcome CCmdOptions::Fail(const wchar_t* pszText, const wchar_t* pszField)
{
    m_strError = pszText;
    if (pszField != nullptr)
        m_strError += pszField;
    m_strError += L'\n';
    m_nExitCode = 1;
    return OutcomeFail;
}

bool CCmdOptions::SetAction(const wchar_t* pszWord)
{
    for (const stActionWord& stWord : ActionWords)
    {
        if (IsSameTextNoCase(pszWord, stWord.pszWord))
        {
            m_nAction = stWord.nAction;
            return true;
        }
    }
    return false;
}

bool CCmdOptions::SetDrive(const wchar_t* pszValue)
{
    size_t nLength = std::wcslen(pszValue);
    if (nLength == 0 || nLength >= DriveBufferUnits)
        return false;
    // A volume GUID path is taken whole; anything else names a drive letter.
    if (pszValue[0] == L'\\')
        m_strDrive = pszValue;
    else
    {
        m_strDrive = L"C:\\";
        m_strDrive[0] = pszValue[0];
    }
    return true;
}

void CCmdOptions::PrintHelp()
{
    for (const wchar_t* pszLine : HelpLines)
        console::Print(pszLine);
}
