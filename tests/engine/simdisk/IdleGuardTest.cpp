// The idle-disk guard against a simulated disk whose load follows a schedule.
#include "PartitionFixture.h"

#include "engine/SysHandle.h"
#include "tests/platform/MovedClock.h"
#include "tests/platform/WaitFor.h"

#include <atomic>
#include <thread>

namespace {

class IdleGuardTest : public CPartitionFixture
{
protected:
    void Start(DWORD dwMode, DWORD dwMinIdle = 95)
    {
        SetSetting(L"UseIOGuard", dwMode);
        SetSetting(L"IOGuardWaitTime", 20);
        SetSetting(L"IOGuardMinIdlePercentage", dwMinIdle);
        Mount(SIM_FS::Ntfs, 70000);
        Partition();
        m_volume.Reset(m_pPartition->OpenVolume());
        ASSERT_TRUE(m_volume.IsOpen());
    }
    void TearDown() override
    {
        // A guard that failed to return is let go, so that its thread can be joined.
        if (m_pPartition)
        {
            m_pPartition->SetPaused(false);
            ::SetEvent(m_pPartition->GetStopEvent());
        }
        if (m_guard.joinable())
            m_guard.join();
        m_volume.Reset();
        ::CloseHandle(m_hReturned);
        CPartitionFixture::TearDown();
    }
    CSimDiskPerf& Disk() { return m_system.DiskPerf(*m_pVolume); }
    LONGLONG Samples()
    {
        CSimLock lock(m_system);
        return Disk().Samples();
    }
    // The guard's first look at the disk only records the counters; the clock then moves on
    // past the shortest interval worth measuring.
    void FirstSample()
    {
        m_pPartition->WaitForDiskIdle(m_volume.Get());
        m_clock.AdvanceMilliseconds(20);
    }
    // Waits for the disk's idleness on a thread of its own, as a job does.
    void StartGuard()
    {
        CDefragPartition* pPartition = m_pPartition.get();
        HANDLE hVolume = m_volume.Get();
        m_guard = std::thread([this, pPartition, hVolume] {
            m_nIdle = pPartition->WaitForDiskIdle(hVolume);
            ::SetEvent(m_hReturned);
        });
    }
    bool Returned(DWORD dwMs = GenerousWaitMs) { return ::WaitForSingleObject(m_hReturned, dwMs) == WAIT_OBJECT_0; }
    // The guard has measured the disk twice since it started and so waits in its loop.
    void WaitUntilGuardLoops(LONGLONG llSamplesBefore)
    {
        ASSERT_TRUE(WaitFor([&] { return Samples() >= llSamplesBefore + 2; }));
    }
    bool StopSet() { return ::WaitForSingleObject(m_pPartition->GetStopEvent(), 0) == WAIT_OBJECT_0; }

    CMovedClock m_clock;
    CSysHandle m_volume;
    std::thread m_guard;
    std::atomic<int32_t> m_nIdle{-1};
    HANDLE m_hReturned = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

TEST_F(IdleGuardTest, GuardIsOffForTheModesItDoesNotCover)
{
    const struct
    {
        DWORD dwMode;
        bool bBackground;
        int32_t nResult;
    } cases[] = {{0, false, 0}, {0, true, 0}, {1, true, 1}, {2, false, 2}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.dwMode * 10 + c.bBackground);
        Start(c.dwMode);
        Disk().SetBusy(0, 5);
        m_pPartition->SetBackgroundMode(c.bBackground, nullptr, false);
        EXPECT_EQ(c.nResult, m_pPartition->WaitForDiskIdle(m_volume.Get()));
        EXPECT_EQ(c.nResult, m_pPartition->WaitForDiskIdle(m_volume.Get()));
        m_volume.Reset();
    }
}

TEST_F(IdleGuardTest, BusyDiskHoldsTheJobUntilItsQueueEmpties)
{
    Start(3);
    Disk().SetBusy(10, 2);
    FirstSample();
    const LONGLONG llSamples = Samples();
    StartGuard();
    WaitUntilGuardLoops(llSamples);
    EXPECT_FALSE(Returned(0)) << "returned while requests were queued";
    {
        CSimLock lock(m_system);
        Disk().SetBusy(10, 0);
    }
    ASSERT_TRUE(Returned());
    EXPECT_FALSE(StopSet());
    EXPECT_LT(m_nIdle.load(), 95);
    EXPECT_GT(m_nIdle.load(), 0);
}

TEST_F(IdleGuardTest, IdleDiskAndFullIdleDemandPassAtOnce)
{
    Start(3, 100);
    Disk().SetIdle();
    FirstSample();
    EXPECT_EQ(100, m_pPartition->WaitForDiskIdle(m_volume.Get()));
}

TEST_F(IdleGuardTest, StopEndsTheWait)
{
    Start(3);
    Disk().SetBusy(5, 4);
    FirstSample();
    const LONGLONG llSamples = Samples();
    StartGuard();
    WaitUntilGuardLoops(llSamples);
    EXPECT_FALSE(Returned(0));
    ::SetEvent(m_pPartition->GetStopEvent());
    ASSERT_TRUE(Returned());
    EXPECT_EQ(0, m_nIdle.load());
}

TEST_F(IdleGuardTest, SamplesCloserThanTenMillisecondsDoNotWait)
{
    Start(3);
    Disk().SetBusy(5, 4);
    FirstSample();
    // The disk answers with the query time of the sample before.
    Disk().Freeze(true);
    StartGuard();
    ASSERT_TRUE(Returned()) << "waited on a busy disk";
    EXPECT_EQ(0, m_nIdle.load());
    EXPECT_FALSE(StopSet());
}

TEST_F(IdleGuardTest, PauseHoldsEvenWithTheGuardOff)
{
    Start(0);
    m_pPartition->SetPaused(true);
    StartGuard();
    // A guard that ignored the pause would return at once, the guard being off.
    EXPECT_FALSE(Returned(1000)) << "returned while paused";
    m_pPartition->SetPaused(false);
    ASSERT_TRUE(Returned());
    EXPECT_EQ(0, m_nIdle.load());
}

} // namespace
