// guiprobe: drives a graphical program from outside, as a user would, and checks what it
// shows. It runs the steps of a step file against the program's windows in the same
// desktop and writes what each step found to a log.
//   guiprobe.exe STEPFILE LOGFILE PICTURE_FOLDER [CONTROL_FOLDER]
// The control folder is where service steps ask the script that runs the service beside the
// program to stop or start it.
// Exit status: the number of steps that failed or were not run (at most 254); 255 when the
// arguments are wrong or the step file cannot be read or has a faulty line, in which case no
// step runs.
#include "ProbeLog.h"
#include "ProbeRunner.h"
#include "ProbeStep.h"

#include <windows.h>

#include <cstdio>

namespace
{
const int kNotRun = 255;
const int kMostFailures = 254;
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4 && argc != 5)
    {
        fwprintf(stderr, L"usage: guiprobe.exe STEPFILE LOGFILE PICTURE_FOLDER [CONTROL_FOLDER]\n");
        return kNotRun;
    }
    CProbeLog log;
    if (!log.Open(argv[2]))
    {
        fwprintf(stderr, L"guiprobe: cannot write the log %ls\n", argv[2]);
        return kNotRun;
    }
    if (!::CreateDirectoryW(argv[3], nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    {
        log.Line(L"guiprobe: cannot make the picture folder " + std::wstring(argv[3]) + L" (error " +
                 std::to_wstring(::GetLastError()) + L")");
        return kNotRun;
    }
    std::vector<PROBE_STEP> steps;
    std::vector<std::wstring> errors;
    if (!ReadStepFile(argv[1], steps, errors))
    {
        log.Line(L"guiprobe: no step is run, the step file " + std::wstring(argv[1]) + L" has faults:");
        for (const std::wstring& strError : errors)
            log.Line(L"    " + strError);
        return kNotRun;
    }
    log.Line(L"guiprobe: " + std::to_wstring(steps.size()) + L" steps from " + argv[1]);
    CProbeRunner runner(log, argv[3], argc == 5 ? argv[4] : L"");
    int nFailed = runner.Run(steps);
    log.Line(nFailed == 0 ? L"guiprobe: all " + std::to_wstring(steps.size()) + L" steps passed"
                          : L"guiprobe: " + std::to_wstring(nFailed) + L" of " + std::to_wstring(steps.size()) +
                                L" steps failed or were not run");
    return nFailed < kMostFailures ? nFailed : kMostFailures;
}
