#include "base/SyncObjects.h"

#include <stdexcept>

CSyncObject::~CSyncObject()
{
    if (m_hObject != NULL)
        ::CloseHandle(m_hObject);
}

void CSyncObject::TakeHandle(HANDLE hObject, const char* pszWhat)
{
    if (hObject == NULL)
        throw std::runtime_error(pszWhat);
    m_hObject = hObject;
}

bool CSyncObject::Lock(DWORD dwTimeout)
{
    return ::WaitForSingleObject(m_hObject, dwTimeout) == WAIT_OBJECT_0;
}

bool CSyncObject::Unlock(LONG, LONG*)
{
    return true;
}

CCriticalSection::CCriticalSection()
{
    ::InitializeCriticalSection(&m_stSection);
}

CCriticalSection::~CCriticalSection()
{
    ::DeleteCriticalSection(&m_stSection);
}

bool CCriticalSection::Lock(DWORD)
{
    ::EnterCriticalSection(&m_stSection);
    return true;
}

bool CCriticalSection::TryLock()
{
    return ::TryEnterCriticalSection(&m_stSection) != FALSE;
}

bool CCriticalSection::Unlock()
{
    ::LeaveCriticalSection(&m_stSection);
    return true;
}

CMutex::CMutex(BOOL bInitiallyOwned, const wchar_t* pszName, LPSECURITY_ATTRIBUTES pAttributes)
{
    TakeHandle(::CreateMutexW(pAttributes, bInitiallyOwned, pszName), "CreateMutexW failed");
}

bool CMutex::Unlock()
{
    return ::ReleaseMutex(m_hObject) != FALSE;
}

CSemaphore::CSemaphore(LONG lInitial, LONG lMaximum, const wchar_t* pszName,
                       LPSECURITY_ATTRIBUTES pAttributes)
{
    TakeHandle(::CreateSemaphoreW(pAttributes, lInitial, lMaximum, pszName),
               "CreateSemaphoreW failed");
}

bool CSemaphore::Unlock()
{
    return ::ReleaseSemaphore(m_hObject, 1, nullptr) != FALSE;
}

bool CSemaphore::Unlock(LONG lCount, LONG* plPrevious)
{
    return ::ReleaseSemaphore(m_hObject, lCount, plPrevious) != FALSE;
}

CEvent::CEvent(BOOL bManualReset, BOOL bInitiallySet, const wchar_t* pszName,
               LPSECURITY_ATTRIBUTES pAttributes)
{
    TakeHandle(::CreateEventW(pAttributes, bManualReset, bInitiallySet, pszName),
               "CreateEventW failed");
}

CMultiLock::CMultiLock(CSyncObject* const* ppObjects, int nCount)
    : m_apObjects(), m_ahObjects(), m_abAcquired(), m_nCount(0)
{
    if (nCount < 0 || nCount > MaxObjects)
        throw std::invalid_argument("CMultiLock takes one to three objects");
    for (int i = 0; i < nCount; ++i)
    {
        if (ppObjects[i]->GetHandle() == NULL)
            throw std::invalid_argument("CMultiLock needs objects with handles");
        m_apObjects[i] = ppObjects[i];
        m_ahObjects[i] = ppObjects[i]->GetHandle();
    }
    m_nCount = nCount;
}

CMultiLock::~CMultiLock()
{
    Unlock();
}

bool CMultiLock::Lock()
{
    if (m_nCount == 0)
        return true;
    DWORD dwResult = ::WaitForMultipleObjects(m_nCount, m_ahObjects, TRUE, INFINITE);
    if (dwResult >= WAIT_OBJECT_0 + m_nCount)
        return false;
    for (int i = 0; i < m_nCount; ++i)
        m_abAcquired[i] = true;
    return true;
}

bool CMultiLock::Unlock()
{
    bool bAll = true;
    for (int i = 0; i < m_nCount; ++i)
    {
        if (!m_abAcquired[i])
            continue;
        bAll = m_apObjects[i]->Unlock() && bAll;
        m_abAcquired[i] = false;
    }
    return bAll;
}

bool CMultiLock::Unlock(LONG lCount, LONG* plPrevious)
{
    bool bAll = true;
    for (int i = 0; i < m_nCount; ++i)
    {
        if (m_abAcquired[i])
            bAll = m_apObjects[i]->Unlock(lCount, plPrevious) && bAll;
    }
    return bAll;
}
