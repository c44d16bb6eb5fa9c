// CCmdOptions: the options of VfoldCmd (/H, /A:<Action>, /D:<Driveletter|Guid>)
// read from the fields of its command line, in order, until the first that
// ends the program.
#pragma once

#include <cstdint>
#include <string>

class CStringParser;

class CCmdOptions
{
public:
    enum EOutcome
    {
        OutcomeRun,  // act: GetAction and GetDrive say what on
        OutcomeHelp, // print the help, end with GetExitCode
        OutcomeFail, // print GetError, end with GetExitCode
    };

    // Actions carried out by the client itself; every other action is the
    // command code sent to the service.
    static constexpr int32_t ActionNone = -1;
    static constexpr int32_t ActionList = 0;
    static constexpr int32_t ActionWait = 1;
    // The drive text, terminator included, fits this many UTF-16 units.
    static constexpr size_t DriveBufferUnits = 256;

    CCmdOptions();

    EOutcome Parse(const CStringParser& fields);
    int32_t GetAction() const { return m_nAction; }
    const std::wstring& GetDrive() const { return m_strDrive; }
    const std::wstring& GetError() const { return m_strError; }
    int GetExitCode() const { return m_nExitCode; }

    static void PrintHelp();

private:
    EOutcome Fail(const wchar_t* pszText, const wchar_t* pszField);
    bool SetAction(const wchar_t* pszWord);
    bool SetDrive(const wchar_t* pszValue);

    int32_t m_nAction;
    std::wstring m_strDrive;
    std::wstring m_strError;
    int m_nExitCode;
};
