// The class library's per-thread bookkeeping: handle maps, the message being
// handled, the window under creation and the menu being tracked. Windows and
// menus belong to the thread that made them, and so do these records.
#pragma once

#include <windows.h>

#include <memory>
#include <unordered_map>

class CMenu;
class CWnd;

// A message being handled by a library object, innermost first. An object
// deleted meanwhile clears its entries, so the procedure that dispatched the
// message knows not to touch it.
struct stMessageFrame
{
    CWnd* pWnd;
    stMessageFrame* pOuter;
};

struct stThreadState
{
    stThreadState() = default;
    // Lets go of the temporary wrappers that no idle time freed before the thread ended.
    ~stThreadState();
    stThreadState(const stThreadState&) = delete;
    stThreadState& operator=(const stThreadState&) = delete;

    std::unordered_map<HWND, CWnd*> mapPermanentWnd;
    std::unordered_map<HWND, std::unique_ptr<CWnd>> mapTemporaryWnd;
    std::unordered_map<HMENU, CMenu*> mapPermanentMenu;
    std::unordered_map<HMENU, std::unique_ptr<CMenu>> mapTemporaryMenu;

    MSG stCurrentMessage = {};
    stMessageFrame* pMessageFrames = nullptr;
    CWnd* pWndInit = nullptr;
    // The window object whose CreateEx runs, and the last such object whose
    // window went again within the call (it may have deleted itself: only
    // compared, never used).
    CWnd* pWndCreating = nullptr;
    const CWnd* pWndDestroyedInCreation = nullptr;
    HHOOK hCreationHook = NULL;
    // The child that is handling a notification reflected to it; what it sends
    // its parent meanwhile goes to the parent's own handlers.
    CWnd* pReflectingChild = nullptr;
    HWND hTrackingWnd = NULL;
    HMENU hTrackingMenu = NULL;
    // Sees the thread's keyboard and mouse messages before their windows do.
    CWnd* pInputPreview = nullptr;
};

stThreadState& GetThreadState();

// Sets the thread's current-message record for one dispatch and restores the
// outer one when the dispatch ends, so that nested messages (a send from
// inside a handler) leave the outer handler's record intact. Any window
// procedure that hands messages to library objects sets it, including the
// procedures that subclass a window behind the library's back.
class CCurrentMessageScope
{
public:
    CCurrentMessageScope(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    ~CCurrentMessageScope();
    CCurrentMessageScope(const CCurrentMessageScope&) = delete;
    CCurrentMessageScope& operator=(const CCurrentMessageScope&) = delete;

private:
    MSG m_stSaved;
};

// Temporary wrappers live until the thread's next idle time.
void DeleteTemporaryObjects();
