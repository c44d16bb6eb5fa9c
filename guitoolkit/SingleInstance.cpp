#include "guitoolkit/SingleInstance.h"

#include "classlib/WinApp.h"
#include "classlib/Wnd.h"
#include "guitoolkit/TrayAnimation.h"

#include <stdexcept>

namespace
{
// Room for a window handle of either word size.
constexpr DWORD MappingBytes = 8;
// A first copy that does not take the text within this time is treated as hung.
constexpr UINT CopyDataTimeoutMs = 10000;

// Maps the whole mapping for one use and unmaps it afterwards.
class CMappedView
{
public:
    explicit CMappedView(HANDLE hMapping)
        : m_pView(hMapping != NULL ? ::MapViewOfFile(hMapping, FILE_MAP_ALL_ACCESS, 0, 0, MappingBytes) : nullptr)
    {
    }
    ~CMappedView()
    {
        if (m_pView != nullptr)
            ::UnmapViewOfFile(m_pView);
    }
    CMappedView(const CMappedView&) = delete;
    CMappedView& operator=(const CMappedView&) = delete;
    ULONGLONG* Get() const { return static_cast<ULONGLONG*>(m_pView); }

private:
    void* m_pView;
};

// A mutex of that name (none: unnamed), or null when the system refuses it.
std::unique_ptr<CMutex> MakeMutex(const wchar_t* pszName)
{
    try
    {
        return std::unique_ptr<CMutex>(new CMutex(FALSE, pszName));
    }
    catch (const std::runtime_error&)
    {
        return nullptr;
    }
}
} // namespace

// Owns a mutex while it lives; with no mutex it holds nothing. A mutex left
// behind by a copy that ended without letting it go is owned all the same.
class CSingleInstance::CInstanceLock
{
public:
    explicit CInstanceLock(CMutex* pMutex) : m_pMutex(pMutex), m_bOwned(false)
    {
        if (m_pMutex == nullptr)
            return;
        DWORD dwWait = ::WaitForSingleObject(m_pMutex->GetHandle(), INFINITE);
        m_bOwned = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
    }
    ~CInstanceLock()
    {
        if (m_bOwned)
            m_pMutex->Unlock();
    }
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

private:
    CMutex* m_pMutex;
    bool m_bOwned;
};

CSingleInstance::CSingleInstance(const wchar_t* pszInstanceName)
    : m_pMutexMemory(MakeMutex(nullptr)), m_pMutexInstance(MakeMutex(pszInstanceName)), m_strName(pszInstanceName),
      m_hMapping(NULL)
{
}

CSingleInstance::~CSingleInstance()
{
    // The published mapping stays open: later copies look for it as long as
    // this process runs, and the checker is a local object of the start-up.
    m_pLock.reset();
}

CString CSingleInstance::GetMappingName() const
{
    return m_strName + L"_CSingleInstance_MMF";
}

HWND CSingleInstance::GetWindowToActivate() const
{
    CWnd* pMain = CWinApp::GetMainWnd();
    return pMain != nullptr ? pMain->m_hWnd : NULL;
}

void CSingleInstance::LockInstance()
{
    m_pLock.reset();
    m_pLock.reset(new CInstanceLock(m_pMutexInstance.get()));
}

BOOL CSingleInstance::IsOtherInstanceRunning() const
{
    HANDLE hMapping = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, GetMappingName());
    if (hMapping == NULL)
        return FALSE;
    ::CloseHandle(hMapping);
    return TRUE;
}

BOOL CSingleInstance::PublishMainWindow()
{
    if (m_hMapping != NULL || IsOtherInstanceRunning())
        return FALSE;
    HANDLE hMapping =
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, MappingBytes, GetMappingName());
    if (hMapping == NULL)
        return FALSE;
    // Another copy got there first after all: its window is the one to find.
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
    {
        ::CloseHandle(hMapping);
        return FALSE;
    }
    m_hMapping = hMapping;
    {
        CMappedView view(m_hMapping);
        if (view.Get() == nullptr)
            return FALSE;
        CInstanceLock lock(m_pMutexMemory.get());
        *view.Get() = reinterpret_cast<ULONGLONG>(GetWindowToActivate());
    }
    m_pLock.reset();
    return TRUE;
}

HWND CSingleInstance::ActivateOtherInstance(const wchar_t* pszCommandLine, ULONG_PTR dwData)
{
    HANDLE hMapping = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, GetMappingName());
    if (hMapping == NULL)
        return NULL;
    HWND hWnd = NULL;
    {
        CMappedView view(hMapping);
        if (view.Get() != nullptr)
        {
            CInstanceLock lock(m_pMutexMemory.get());
            hWnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(*view.Get()));
        }
    }
    ::CloseHandle(hMapping);
    if (hWnd != NULL && !::IsWindow(hWnd))
        hWnd = NULL;

    if (hWnd != NULL)
    {
        HWND hPopup = ::GetLastActivePopup(hWnd);
        AnimateFromTray(hWnd, FALSE);
        if (::IsIconic(hWnd))
            ::ShowWindow(hWnd, SW_RESTORE);
        ::SetForegroundWindow(hPopup);
        if (pszCommandLine != nullptr)
        {
            COPYDATASTRUCT stCopy = {};
            stCopy.dwData = dwData;
            stCopy.cbData = static_cast<DWORD>((wcslen(pszCommandLine) + 1) * sizeof(wchar_t));
            stCopy.lpData = const_cast<wchar_t*>(pszCommandLine);
            DWORD_PTR dwResult = 0;
            ::SendMessageTimeoutW(hWnd, WM_COPYDATA, reinterpret_cast<WPARAM>(GetWindowToActivate()),
                                  reinterpret_cast<LPARAM>(&stCopy), SMTO_ABORTIFHUNG, CopyDataTimeoutMs, &dwResult);
        }
    }
    m_pLock.reset();
    return hWnd;
}
