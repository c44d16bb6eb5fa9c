#include "guitoolkit/SkinMenuBarSubclass.h"

#include "classlib/ThreadState.h"
#include "guitoolkit/SkinMenuBar.h"

#include <map>

namespace
{
struct stSubclassEntry
{
    // Null once the bar let go while a later procedure still chains to ours.
    CSkinMenuBar* pBar;
    WNDPROC pfnPrevious;
    bool bMdiClient;
};

// Windows belong to the GUI thread, and so does this map.
std::map<HWND, stSubclassEntry>& SubclassMap()
{
    static std::map<HWND, stSubclassEntry> s_map;
    return s_map;
}
} // namespace

BOOL CSkinMenuBarSubclass::Hook(HWND hWnd, CSkinMenuBar* pBar, bool bMdiClient)
{
    auto& map = SubclassMap();
    auto it = map.find(hWnd);
    if (it != map.end())
    {
        if (it->second.pBar != nullptr)
            return FALSE;
        // Our procedure is still in the window's chain: take the entry over.
        it->second.pBar = pBar;
        it->second.bMdiClient = bMdiClient;
        return TRUE;
    }
    auto pfnPrevious = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSkinMenuBarSubclass::WindowProc)));
    if (pfnPrevious == nullptr)
        return FALSE;
    map[hWnd] = {pBar, pfnPrevious, bMdiClient};
    return TRUE;
}

void CSkinMenuBarSubclass::Unhook(HWND hWnd)
{
    auto& map = SubclassMap();
    auto it = map.find(hWnd);
    if (it == map.end())
        return;
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC)) == &CSkinMenuBarSubclass::WindowProc)
    {
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->second.pfnPrevious));
        map.erase(it);
    }
    else
    {
        it->second.pBar = nullptr;
    }
}

CSkinMenuBar* CSkinMenuBarSubclass::BarOf(HWND hWnd)
{
    auto& map = SubclassMap();
    auto it = map.find(hWnd);
    return it != map.end() ? it->second.pBar : nullptr;
}

WNDPROC CSkinMenuBarSubclass::PreviousOf(HWND hWnd)
{
    auto& map = SubclassMap();
    auto it = map.find(hWnd);
    return it != map.end() ? it->second.pfnPrevious : nullptr;
}

LRESULT CSkinMenuBarSubclass::CallPrevious(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    auto& map = SubclassMap();
    auto it = map.find(hWnd);
    if (it == map.end())
        return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
    WNDPROC pfnPrevious = it->second.pfnPrevious;
    if (nMsg == WM_NCDESTROY && it->second.pBar == nullptr)
        map.erase(it);
    return ::CallWindowProcW(pfnPrevious, hWnd, nMsg, wParam, lParam);
}

LRESULT CALLBACK CSkinMenuBarSubclass::WindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    auto& map = SubclassMap();
    auto it = map.find(hWnd);
    if (it == map.end())
        return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
    CSkinMenuBar* pBar = it->second.pBar;
    if (pBar == nullptr)
        return CallPrevious(hWnd, nMsg, wParam, lParam);
    // The library's handlers read the message being handled, as they do
    // under the library's own procedure.
    CCurrentMessageScope scope(hWnd, nMsg, wParam, lParam);
    return it->second.bMdiClient ? pBar->MdiClientWindowProc(hWnd, nMsg, wParam, lParam)
                                 : pBar->FrameWindowProc(hWnd, nMsg, wParam, lParam);
}
