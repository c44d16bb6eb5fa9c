// VfoldCmd: the console client of the local service.
#include "cmdtool/CmdClient.h"
#include "cmdtool/CmdOptions.h"
#include "cmdtool/ConsoleText.h"
#include "base/StringParser.h"

#include <windows.h>

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
        console::Print(options.GetError());
        return options.GetExitCode();
    case CCmdOptions::OutcomeRun:
        break;
    }
    CCmdClient client;
    return client.Run(options.GetAction(), options.GetDrive());
}
