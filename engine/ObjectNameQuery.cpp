#include "engine/ObjectNameQuery.h"

#include <algorithm>
#include <vector>

#include "base/UnicodeString.h"
#include "platform/sys.h"

namespace {

constexpr ULONG NameBufferBytes = 4096;
constexpr LONG StateBusy = 1;
constexpr LONG StateAnswered = 2;
constexpr LONG StateAbandoned = 3;

// The threads of the process left in a question that has not returned, each with the object
// it asked about (0 when it was left for a stop, not for being stuck). A later search skips
// those objects: asking again would only leave another thread behind.
class CStuckThreads
{
public:
    static bool Contains(ULONG_PTR ulObject)
    {
        CLock lock;
        return ulObject != 0 && std::find(Objects().begin(), Objects().end(), ulObject) != Objects().end();
    }
    static LONG Count()
    {
        CLock lock;
        return static_cast<LONG>(Objects().size());
    }
    static void Add(ULONG_PTR ulObject)
    {
        CLock lock;
        Objects().push_back(ulObject);
    }
    static void Remove(ULONG_PTR ulObject)
    {
        CLock lock;
        auto it = std::find(Objects().begin(), Objects().end(), ulObject);
        if (it != Objects().end())
            Objects().erase(it);
    }

private:
    class CLock
    {
    public:
        CLock() { ::AcquireSRWLockExclusive(&s_lock); }
        ~CLock() { ::ReleaseSRWLockExclusive(&s_lock); }
        CLock(const CLock&) = delete;
        CLock& operator=(const CLock&) = delete;
    };
    // Made on first use and never destroyed: a stuck thread may still leave at process exit.
    static std::vector<ULONG_PTR>& Objects()
    {
        static std::vector<ULONG_PTR>* s_pObjects = new std::vector<ULONG_PTR>;
        return *s_pObjects;
    }
    static SRWLOCK s_lock;
};

SRWLOCK CStuckThreads::s_lock = SRWLOCK_INIT;

} // namespace

bool QueryObjectName(HANDLE hObject, CUnicodeString& strName)
{
    alignas(OBJECT_NAME_INFORMATION) BYTE abBuffer[NameBufferBytes];
    ULONG ulReturned = 0;
    NTSTATUS status = sys::NtQueryObject(hObject, ObjectNameInformation, abBuffer, sizeof(abBuffer), &ulReturned);
    if (!NT_SUCCESS(status))
        return false;
    const UNICODE_STRING& stName = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(abBuffer)->Name;
    const BYTE* pText = reinterpret_cast<const BYTE*>(stName.Buffer);
    if (stName.Length == 0)
    {
        strName.Empty();
        return true;
    }
    if (pText < abBuffer + sizeof(OBJECT_NAME_INFORMATION) || pText > abBuffer + sizeof(abBuffer) ||
        stName.Length > abBuffer + sizeof(abBuffer) - pText)
        return false;
    strName = CUnicodeString(stName);
    return true;
}

// What the caller and the thread share; the last of the two to let go frees it.
struct CObjectNameQuery::SHARED
{
    LONG lReferences = 2;
    HANDLE hRequest = nullptr;  // auto-reset: a handle to name, or the end
    HANDLE hAnswer = nullptr;   // auto-reset: the answer is there
    volatile LONG lState = 0;
    bool bQuit = false;
    HANDLE hObject = nullptr;
    ULONG_PTR ulObject = 0;  // as the stuck threads know it, once the thread is left
    bool bDisk = false;
    bool bNamed = false;
    CUnicodeString strName;
};

CObjectNameQuery::~CObjectNameQuery()
{
    if (m_pShared == nullptr)
        return;
    m_pShared->bQuit = true;
    ::SetEvent(m_pShared->hRequest);
    ::WaitForSingleObject(m_hThread, TimeoutMs);
    ::CloseHandle(m_hThread);
    Release(m_pShared);
}

void CObjectNameQuery::Release(SHARED* pShared)
{
    if (::InterlockedDecrement(&pShared->lReferences) != 0)
        return;
    if (pShared->hRequest != nullptr)
        ::CloseHandle(pShared->hRequest);
    if (pShared->hAnswer != nullptr)
        ::CloseHandle(pShared->hAnswer);
    delete pShared;
}

bool CObjectNameQuery::Start()
{
    SHARED* pShared = new SHARED;
    pShared->hRequest = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    pShared->hAnswer = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE hThread = pShared->hRequest != nullptr && pShared->hAnswer != nullptr
                         ? ::CreateThread(nullptr, 0, &ThreadMain, pShared, 0, nullptr)
                         : nullptr;
    if (hThread == nullptr)
    {
        pShared->lReferences = 1;
        Release(pShared);
        return false;
    }
    m_pShared = pShared;
    m_hThread = hThread;
    return true;
}

// The thread keeps running in the query; its handle is closed, and so is our reference.
void CObjectNameQuery::Abandon()
{
    ::CloseHandle(m_hThread);
    m_hThread = nullptr;
    Release(m_pShared);
    m_pShared = nullptr;
}

DWORD WINAPI CObjectNameQuery::ThreadMain(LPVOID pParameter)
{
    SHARED* pShared = static_cast<SHARED*>(pParameter);
    while (::WaitForSingleObject(pShared->hRequest, INFINITE) == WAIT_OBJECT_0 && !pShared->bQuit)
    {
        pShared->bDisk = sys::GetFileType(pShared->hObject) == FILE_TYPE_DISK;
        pShared->bNamed = pShared->bDisk && QueryObjectName(pShared->hObject, pShared->strName);
        if (::InterlockedCompareExchange(&pShared->lState, StateAnswered, StateBusy) != StateBusy)
        {
            // The caller gave up waiting and left the handle here.
            CStuckThreads::Remove(pShared->ulObject);
            sys::CloseHandle(pShared->hObject);
            break;
        }
        ::SetEvent(pShared->hAnswer);
    }
    Release(pShared);
    return 0;
}

LONG CObjectNameQuery::GetStuckThreadCount()
{
    return CStuckThreads::Count();
}

bool CObjectNameQuery::IsStuck(ULONG_PTR ulObject)
{
    return CStuckThreads::Contains(ulObject);
}

CObjectNameQuery::ANSWER CObjectNameQuery::Ask(HANDLE hObject, ULONG_PTR ulObject, HANDLE hStopEvent,
                                               CUnicodeString& strName)
{
    // A question that might not return is asked only while a thread may still be left to it.
    if (CStuckThreads::Contains(ulObject) || CStuckThreads::Count() >= MaxStuckThreads)
        return ANSWER::Skipped;
    if (m_pShared == nullptr && !Start())
        return ANSWER::Failed;
    m_pShared->hObject = hObject;
    m_pShared->lState = StateBusy;
    ::SetEvent(m_pShared->hRequest);
    HANDLE ahWait[2] = {m_pShared->hAnswer, hStopEvent};
    DWORD dwWait = ::WaitForMultipleObjects(hStopEvent != nullptr ? 2 : 1, ahWait, FALSE, TimeoutMs);
    if (dwWait != WAIT_OBJECT_0)
    {
        bool bStopped = dwWait == WAIT_OBJECT_0 + 1;
        // Known before the thread can see that it was left, so that it can forget it again.
        m_pShared->ulObject = bStopped ? 0 : ulObject;
        CStuckThreads::Add(m_pShared->ulObject);
        if (::InterlockedCompareExchange(&m_pShared->lState, StateAbandoned, StateBusy) == StateBusy)
        {
            Abandon();
            return bStopped ? ANSWER::Stopped : ANSWER::TimedOut;
        }
        CStuckThreads::Remove(m_pShared->ulObject);
        // The answer came as the wait ended; its signal follows at once.
        ::WaitForSingleObject(m_pShared->hAnswer, TimeoutMs);
    }
    if (!m_pShared->bDisk)
        return ANSWER::NotDisk;
    if (!m_pShared->bNamed)
        return ANSWER::Failed;
    strName = m_pShared->strName;
    return ANSWER::Named;
}
