#include "base/AutoHandle.h"
#include "base/SyncObjects.h"

#include <gtest/gtest.h>
#include <functional>
#include <stdexcept>

namespace {

// Runs a body on a real thread; a wait that does not end in time is a failure,
// and the stuck thread is ended so that the test run never hangs.
class CTestThread
{
public:
    explicit CTestThread(std::function<void()> body) : m_body(std::move(body))
    {
        m_hThread = ::CreateThread(nullptr, 0, &CTestThread::Run, this, 0, nullptr);
    }
    ~CTestThread()
    {
        if (!Join(5000))
            ::TerminateThread(m_hThread, 1);
        ::CloseHandle(m_hThread);
    }
    bool Join(DWORD dwTimeout) { return ::WaitForSingleObject(m_hThread, dwTimeout) == WAIT_OBJECT_0; }

private:
    static DWORD WINAPI Run(void* p)
    {
        static_cast<CTestThread*>(p)->m_body();
        return 0;
    }
    std::function<void()> m_body;
    HANDLE m_hThread;
};

TEST(SyncObjects, EventLocksOnlyOnceSet)
{
    CEvent event(TRUE, FALSE);
    EXPECT_FALSE(event.Lock(0));
    EXPECT_FALSE(event.Lock(30));
    ASSERT_TRUE(event.SetEvent());
    EXPECT_TRUE(event.Lock(0));
    EXPECT_TRUE(event.Lock(0)) << "manual reset stays set";
    EXPECT_TRUE(event.Unlock());
    ASSERT_TRUE(event.ResetEvent());
    EXPECT_FALSE(event.Lock(0));

    CEvent autoEvent(FALSE, TRUE);
    EXPECT_TRUE(autoEvent.Lock(0));
    EXPECT_FALSE(autoEvent.Lock(0)) << "automatic reset clears on the wait";
}

TEST(SyncObjects, SemaphoreCountsReleases)
{
    CSemaphore semaphore(0, 2);
    EXPECT_FALSE(semaphore.Lock(0));
    LONG lPrevious = -1;
    EXPECT_TRUE(semaphore.Unlock(2, &lPrevious));
    EXPECT_EQ(0, lPrevious);
    EXPECT_FALSE(semaphore.Unlock()) << "a third release passes the maximum";
    EXPECT_TRUE(semaphore.Lock(0));
    EXPECT_TRUE(semaphore.Lock(0));
    EXPECT_FALSE(semaphore.Lock(0));
}

TEST(SyncObjects, MutexTimesOutWhileAnotherThreadOwnsIt)
{
    CMutex mutex;
    CEvent taken(TRUE, FALSE);
    CEvent release(TRUE, FALSE);
    CTestThread owner([&] {
        mutex.Lock();
        taken.SetEvent();
        release.Lock(5000);
        mutex.Unlock();
    });
    ASSERT_TRUE(taken.Lock(5000));
    EXPECT_FALSE(mutex.Lock(50));
    release.SetEvent();
    EXPECT_TRUE(mutex.Lock(5000));
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_FALSE(mutex.Unlock()) << "not owned any more";
}

TEST(SyncObjects, SectionTryLockFailsOnlyWhileAnotherThreadHoldsIt)
{
    CCriticalSection section;
    CEvent taken(TRUE, FALSE);
    CEvent release(TRUE, FALSE);
    CTestThread owner([&] {
        CSectionLock lock(section);
        taken.SetEvent();
        release.Lock(5000);
    });
    ASSERT_TRUE(taken.Lock(5000));
    EXPECT_FALSE(section.TryLock());
    release.SetEvent();
    ASSERT_TRUE(owner.Join(5000));
    ASSERT_TRUE(section.TryLock());
    // The holder enters again, as with Lock.
    EXPECT_TRUE(section.TryLock());
    section.Unlock();
    section.Unlock();
}

TEST(SyncObjects, SectionLockReleasesWhenLeftByAnException)
{
    CCriticalSection section;
    try
    {
        CSectionLock lock(section);
        throw std::runtime_error("leave");
    }
    catch (const std::runtime_error&)
    {
    }
    CTestThread other([&] {
        CSectionLock lock(section);
    });
    EXPECT_TRUE(other.Join(5000)) << "the section stayed held";
}

TEST(SyncObjects, MultiLockWaitsForAllAndReleasesEach)
{
    CEvent event(TRUE, FALSE);
    CMutex mutex;
    CSemaphore semaphore(0, 1);
    CSyncObject* apObjects[] = {&event, &mutex, &semaphore};
    CMultiLock lock(apObjects, 3);
    CEvent acquired(TRUE, FALSE);
    CEvent done(TRUE, FALSE);
    CTestThread waiter([&] {
        CMultiLockGuard guard(lock);
        acquired.SetEvent();
        EXPECT_TRUE(lock.IsLocked(0) && lock.IsLocked(1) && lock.IsLocked(2));
        done.Lock(5000);
    });
    EXPECT_FALSE(acquired.Lock(100));
    event.SetEvent();
    EXPECT_FALSE(acquired.Lock(100)) << "the semaphore is still at zero";
    semaphore.Unlock();
    ASSERT_TRUE(acquired.Lock(5000));
    EXPECT_FALSE(mutex.Lock(0)) << "held by the waiter";
    done.SetEvent();
    ASSERT_TRUE(waiter.Join(5000));
    EXPECT_FALSE(lock.IsLocked(1));
    EXPECT_TRUE(mutex.Lock(0)) << "released by the guard";
    mutex.Unlock();
    EXPECT_TRUE(semaphore.Lock(0)) << "the guard released the semaphore";
    EXPECT_FALSE(semaphore.Lock(0)) << "once";
}

TEST(SyncObjects, MultiLockRefusesObjectsWithoutHandles)
{
    CCriticalSection section;
    CSyncObject* apObjects[] = {&section};
    EXPECT_THROW(CMultiLock(apObjects, 1), std::invalid_argument);
}

TEST(SyncObjects, AutoHandleClosesAtScopeEnd)
{
    HANDLE hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE hCopy = NULL;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), hEvent, ::GetCurrentProcess(), &hCopy, 0,
                                  FALSE, DUPLICATE_SAME_ACCESS));
    {
        CAutoHandle handle(hEvent);
        EXPECT_EQ(hEvent, handle.Get());
    }
    DWORD dwFlags = 0;
    EXPECT_FALSE(::GetHandleInformation(hEvent, &dwFlags));
    EXPECT_TRUE(::GetHandleInformation(hCopy, &dwFlags));
    CAutoHandle released(hCopy);
    EXPECT_EQ(hCopy, released.Release());
    EXPECT_TRUE(::CloseHandle(hCopy));
}

} // namespace
