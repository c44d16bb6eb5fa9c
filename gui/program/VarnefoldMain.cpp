// Varnefold.exe: the graphical program. "/minimize" on its command line keeps
// it in the notification area.
#include "gui/qovDefragApp.h"

#include "guitoolkit/SkinMenuHook.h"

#include <windows.h>

#include <memory>
#include <new>

// Built before the entry runs and gone after everything the entry made.
CqovDefragApp theApp(::GetCommandLineW());

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    // The menus' themes and their popup windows' subclassing live for the
    // whole run; without the hook the menus still work, drawn by the system.
    std::unique_ptr<CSkinMenuHook> pMenuHook;
    try
    {
        pMenuHook = std::make_unique<CSkinMenuHook>();
    }
    catch (const std::bad_alloc&)
    {
    }
    return theApp.Main();
}
