// VfoldCmd: the console client of the local service.
#include "cmdtool/CmdClient.h"
#include "cmdtool/CmdOptions.h"
#include "cmdtool/StringParser.h"

#include <windows.h>

#include <cstdio>

int wmain(int, wchar_t**)
{
    CStringParser fields;
    fields.Split(::GetCommandLineW(), g_parserPreset);
    CCmdOptions options;
    switch (options.Parse(fields))
    {
    case CCmdOptions::OutcomeHelp:
        CCmdOptions::PrintHelp();
        return options.GetExitCode();
    case CCmdOptions::OutcomeFail:
        std::wprintf(L"%ls", options.GetError().c_str());
        return options.GetExitCode();
    case CCmdOptions::OutcomeRun:
        break;
    }
    CCmdClient client;
    return client.Run(options.GetAction(), options.GetDrive());
}
