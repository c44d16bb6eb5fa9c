// VfoldSvc.exe: the service program.
#include "service/DefragService.h"

int wmain(int argc, wchar_t** argv)
{
    return RunDefragServiceProgram(argc, argv);
}
