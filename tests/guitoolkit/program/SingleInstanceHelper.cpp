// The second start of the program in the single-instance hand-over: finds
// the first copy by the instance name and hands it the text.
// Usage: vf_single_instance_helper <instance name> <text> <data word>
// Exit code 0: handed over; 1: nothing to activate; 2: bad arguments.
#include "guitoolkit/SingleInstance.h"

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 2;
    CSingleInstance instance(argv[1]);
    instance.LockInstance();
    if (!instance.IsOtherInstanceRunning())
        return 1;
    return instance.ActivateOtherInstance(argv[2], wcstoul(argv[3], nullptr, 10)) != NULL ? 0 : 1;
}
