#include "classlib/ThreadState.h"

#include "classlib/Menu.h"
#include "classlib/Wnd.h"

stThreadState& GetThreadState()
{
    thread_local stThreadState stState;
    return stState;
}

namespace {

// A wrapper without a handle destroys nothing and looks nothing up when it is deleted.
void DetachTemporaries(const decltype(stThreadState::mapTemporaryWnd)& mapWnd,
                       const decltype(stThreadState::mapTemporaryMenu)& mapMenu)
{
    for (auto& entry : mapWnd)
        entry.second->m_hWnd = NULL;
    for (auto& entry : mapMenu)
        entry.second->m_hMenu = NULL;
}

} // namespace

stThreadState::~stThreadState()
{
    // The wrappers that no idle time freed go with the maps: a wrapper's destructor would
    // otherwise look itself up in this thread's maps while they are being torn down.
    DetachTemporaries(mapTemporaryWnd, mapTemporaryMenu);
}

void DeleteTemporaryObjects()
{
    stThreadState& stState = GetThreadState();
    // Move the maps out first: a destructor must not see a half-cleared map.
    auto mapWnd = std::move(stState.mapTemporaryWnd);
    auto mapMenu = std::move(stState.mapTemporaryMenu);
    stState.mapTemporaryWnd.clear();
    stState.mapTemporaryMenu.clear();
    DetachTemporaries(mapWnd, mapMenu);
}

CCurrentMessageScope::CCurrentMessageScope(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
    : m_stSaved(GetThreadState().stCurrentMessage)
{
    MSG& stMsg = GetThreadState().stCurrentMessage;
    stMsg.hwnd = hWnd;
    stMsg.message = nMsg;
    stMsg.wParam = wParam;
    stMsg.lParam = lParam;
}

CCurrentMessageScope::~CCurrentMessageScope()
{
    GetThreadState().stCurrentMessage = m_stSaved;
}
