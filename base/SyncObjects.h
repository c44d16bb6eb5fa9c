// Thin owners of the Windows synchronisation objects, shared by the transport,
// the service object and the engine. They add no locking of their own.
#pragma once

#include <windows.h>

class CSyncObject
{
public:
    CSyncObject() : m_hObject(NULL) {}
    virtual ~CSyncObject();
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;

    virtual bool Lock(DWORD dwTimeout = INFINITE);
    virtual bool Unlock(LONG lCount, LONG* plPrevious);
    virtual bool Unlock() = 0;

    HANDLE GetHandle() const { return m_hObject; }

protected:
    // Throws std::runtime_error when the creating call returned no handle.
    void TakeHandle(HANDLE hObject, const char* pszWhat);

    HANDLE m_hObject;
};

// Enters the section whatever the time-out: a critical section cannot be
// waited on with one.
class CCriticalSection : public CSyncObject
{
public:
    CCriticalSection();
    ~CCriticalSection() override;

    bool Lock(DWORD dwTimeout = INFINITE) override;
    // Enters only when no other thread holds the section.
    bool TryLock();
    bool Unlock() override;
    using CSyncObject::Unlock;

private:
    CRITICAL_SECTION m_stSection;
};

class CMutex : public CSyncObject
{
public:
    explicit CMutex(BOOL bInitiallyOwned = FALSE, const wchar_t* pszName = nullptr,
                    LPSECURITY_ATTRIBUTES pAttributes = nullptr);
    bool Unlock() override;
    using CSyncObject::Unlock;
};

class CSemaphore : public CSyncObject
{
public:
    CSemaphore(LONG lInitial, LONG lMaximum, const wchar_t* pszName = nullptr,
               LPSECURITY_ATTRIBUTES pAttributes = nullptr);
    bool Unlock() override;
    bool Unlock(LONG lCount, LONG* plPrevious) override;
};

class CEvent : public CSyncObject
{
public:
    explicit CEvent(BOOL bManualReset = FALSE, BOOL bInitiallySet = FALSE,
                    const wchar_t* pszName = nullptr, LPSECURITY_ATTRIBUTES pAttributes = nullptr);
    bool Unlock() override { return true; }
    using CSyncObject::Unlock;

    bool SetEvent() { return ::SetEvent(m_hObject) != FALSE; }
    bool ResetEvent() { return ::ResetEvent(m_hObject) != FALSE; }
};

// Holds one critical section for a scope, also when the scope is left by an exception.
class CSectionLock
{
public:
    explicit CSectionLock(CCriticalSection& section) : m_section(section) { m_section.Lock(); }
    ~CSectionLock() { m_section.Unlock(); }
    CSectionLock(const CSectionLock&) = delete;
    CSectionLock& operator=(const CSectionLock&) = delete;

private:
    CCriticalSection& m_section;
};

// Leaves a held critical section for a scope and takes it again at the end.
class CSectionUnlock
{
public:
    explicit CSectionUnlock(CCriticalSection& section) : m_section(section) { m_section.Unlock(); }
    ~CSectionUnlock() { m_section.Lock(); }
    CSectionUnlock(const CSectionUnlock&) = delete;
    CSectionUnlock& operator=(const CSectionUnlock&) = delete;

private:
    CCriticalSection& m_section;
};

// Waits for all of up to three objects that have handles.
class CMultiLock
{
public:
    static constexpr int MaxObjects = 3;

    CMultiLock(CSyncObject* const* ppObjects, int nCount);
    ~CMultiLock();
    CMultiLock(const CMultiLock&) = delete;
    CMultiLock& operator=(const CMultiLock&) = delete;

    bool Lock();
    bool Unlock();
    bool Unlock(LONG lCount, LONG* plPrevious);
    bool IsLocked(int nIndex) const { return m_abAcquired[nIndex]; }

private:
    CSyncObject* m_apObjects[MaxObjects];
    HANDLE m_ahObjects[MaxObjects];
    bool m_abAcquired[MaxObjects];
    int m_nCount;
};

class CMultiLockGuard
{
public:
    explicit CMultiLockGuard(CMultiLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~CMultiLockGuard() { m_lock.Unlock(); }
    CMultiLockGuard(const CMultiLockGuard&) = delete;
    CMultiLockGuard& operator=(const CMultiLockGuard&) = delete;

private:
    CMultiLock& m_lock;
};
