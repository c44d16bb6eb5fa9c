#include "guitoolkit/ToolkitEnvironment.h"

#include "guitoolkit/ToolkitColors.h"

stToolkitEnvironment& ToolkitEnvironment()
{
    static stToolkitEnvironment s_stEnvironment = [] {
        stToolkitEnvironment stEnvironment;
        stEnvironment.nVersionClass = GetWinVersionClass();
        return stEnvironment;
    }();
    return s_stEnvironment;
}
