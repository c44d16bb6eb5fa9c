// Update.exe: started by the graphical program with the product name, the URL
// of the version description and the installed version.
#include "updater/UpdateApp.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    CUpdateApp app(::GetCommandLineW());
    return app.Main();
}
