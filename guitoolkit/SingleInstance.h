// CSingleInstance: finds out whether another copy of the program runs and
// hands it the command line. The first copy publishes its main window in a
// small named mapping; a later copy brings that window back and sends it the
// text by WM_COPYDATA. A named mutex keeps two starts from racing.
#pragma once

#include "classlib/String.h"
#include "base/SyncObjects.h"

#include <windows.h>

#include <memory>

class CSingleInstance
{
public:
    explicit CSingleInstance(const wchar_t* pszInstanceName);
    virtual ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    virtual CString GetMappingName() const;
    // The window a later copy activates: the application's main window.
    virtual HWND GetWindowToActivate() const;

    // Held until the window is published, another copy is activated, or the end.
    void LockInstance();
    BOOL IsOtherInstanceRunning() const;
    BOOL PublishMainWindow();
    // The other copy's window, or null when there is none to activate.
    HWND ActivateOtherInstance(const wchar_t* pszCommandLine, ULONG_PTR dwData);

private:
    class CInstanceLock;

    // Null when the system refused them (the name may belong to an object of
    // another kind): the checker then works without them.
    std::unique_ptr<CMutex> m_pMutexMemory;
    std::unique_ptr<CMutex> m_pMutexInstance;
    std::unique_ptr<CInstanceLock> m_pLock;
    CString m_strName;
    // Open for the life of the process once published.
    HANDLE m_hMapping;
};
