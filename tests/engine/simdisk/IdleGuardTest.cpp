// The idle-disk guard against a simulated disk whose load follows a schedule.
#include "PartitionFixture.h"

#include "engine/SysHandle.h"

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
        ::SetEvent(m_hDone);
        if (m_helper.joinable())
            m_helper.join();
        m_volume.Reset();
        ::CloseHandle(m_hDone);
        CPartitionFixture::TearDown();
    }
    CSimDiskPerf& Disk() { return m_system.DiskPerf(*m_pVolume); }
    // Sets the stop event after a while, unless the test has finished first.
    void StopAfter(DWORD dwMs)
    {
        HANDLE hStop = m_pPartition->GetStopEvent();
        HANDLE hDone = m_hDone;
        m_helper = std::thread([hStop, hDone, dwMs] {
            if (::WaitForSingleObject(hDone, dwMs) == WAIT_TIMEOUT)
                ::SetEvent(hStop);
        });
    }

    CSysHandle m_volume;
    std::thread m_helper;
    HANDLE m_hDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
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
    Disk().SetSchedule({{400, 10, 2}, {0, 10, 0}});
    m_pPartition->WaitForDiskIdle(m_volume.Get());
    ::Sleep(20);
    StopAfter(5000);
    const int32_t nIdle = m_pPartition->WaitForDiskIdle(m_volume.Get());
    EXPECT_NE(WAIT_OBJECT_0, ::WaitForSingleObject(m_pPartition->GetStopEvent(), 0)) << "ended by the stop, not the queue";
    EXPECT_LT(nIdle, 95);
    EXPECT_GT(nIdle, 0);
}

TEST_F(IdleGuardTest, IdleDiskAndFullIdleDemandPassAtOnce)
{
    Start(3, 100);
    Disk().SetIdle();
    m_pPartition->WaitForDiskIdle(m_volume.Get());
    ::Sleep(20);
    EXPECT_EQ(100, m_pPartition->WaitForDiskIdle(m_volume.Get()));
}

TEST_F(IdleGuardTest, StopEndsTheWait)
{
    Start(3);
    Disk().SetBusy(5, 4);
    m_pPartition->WaitForDiskIdle(m_volume.Get());
    ::Sleep(20);
    StopAfter(300);
    EXPECT_EQ(0, m_pPartition->WaitForDiskIdle(m_volume.Get()));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(m_pPartition->GetStopEvent(), 0));
}

TEST_F(IdleGuardTest, SamplesCloserThanTenMillisecondsDoNotWait)
{
    Start(3);
    Disk().SetBusy(5, 4);
    m_pPartition->WaitForDiskIdle(m_volume.Get());
    ::Sleep(20);
    StopAfter(3000);
    Disk().Freeze(true);
    EXPECT_EQ(0, m_pPartition->WaitForDiskIdle(m_volume.Get()));
    EXPECT_NE(WAIT_OBJECT_0, ::WaitForSingleObject(m_pPartition->GetStopEvent(), 0));
}

TEST_F(IdleGuardTest, PauseHoldsEvenWithTheGuardOff)
{
    Start(0);
    std::atomic<bool> bLifted{false};
    m_pPartition->SetPaused(true);
    CDefragPartition* pPartition = m_pPartition.get();
    m_helper = std::thread([&bLifted, pPartition] {
        ::Sleep(700);
        bLifted = true;
        pPartition->SetPaused(false);
    });
    EXPECT_EQ(0, m_pPartition->WaitForDiskIdle(m_volume.Get()));
    EXPECT_TRUE(bLifted.load());
}

} // namespace
