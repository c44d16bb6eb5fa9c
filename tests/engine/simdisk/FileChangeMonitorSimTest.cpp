// The monitor on a simulated volume, whose notifications follow the system's
// rules that Wine does not keep: changes below subdirectories, rename pairs.
#include "../RecordingListener.h"
#include "engine/FileChangeMonitor.h"
#include "simdisk/SimSystem.h"

#include <gtest/gtest.h>

namespace {

class FileChangeMonitorSim : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SIM_FORMAT format;
        format.eFs = SIM_FS::Ntfs;
        format.llTotalClusters = 20000;
        m_pVolume = &m_system.Mount(CSimVolume::Format(format), L'S');
        m_system.Install();
        m_pVolume->CreateDirectory(L"d");
    }
    void TearDown() override { m_system.Uninstall(); }

    CSimSystem m_system;
    CSimVolume* m_pVolume = nullptr;
};

TEST_F(FileChangeMonitorSim, ReportsChangesBelowTheRootRelativeToIt)
{
    CFileChangeMonitor monitor;
    CRecordingListener listener(m_pVolume->GuidPath());
    ASSERT_TRUE(monitor.WatchPartition(&listener));

    m_pVolume->CreateFile(L"a.txt", 100);
    EXPECT_TRUE(listener.WaitFor(L"FileAdded:a.txt"));
    m_pVolume->CreateFile(L"d\\b.txt", 100);
    EXPECT_TRUE(listener.WaitFor(L"FileAdded:d\\b.txt"));
    m_pVolume->Resize(L"d\\b.txt", 100000);
    EXPECT_TRUE(listener.WaitFor(L"FileModified:d\\b.txt"));
    m_pVolume->Rename(L"a.txt", L"c.txt");
    EXPECT_TRUE(listener.WaitFor(L"FileRenamed:a.txt>c.txt"));
    m_pVolume->CreateDirectory(L"d\\e");
    EXPECT_TRUE(listener.WaitFor(L"DirectoryAdded:d\\e"));
    m_pVolume->Rename(L"d\\e", L"d\\f");
    EXPECT_TRUE(listener.WaitFor(L"DirectoryRenamed:d\\e>d\\f"));
    m_pVolume->Delete(L"c.txt");
    EXPECT_TRUE(listener.WaitFor(L"FileRemoved:c.txt"));

    int nRenames = 0;
    for (const auto& strEvent : listener.Events())
        nRenames += strEvent == L"FileRenamed:a.txt>c.txt" ? 1 : 0;
    EXPECT_EQ(1, nRenames) << "a rename is one report";

    monitor.UnwatchPartition(&listener);
    EXPECT_EQ(0, monitor.GetWatchCount());
}

TEST_F(FileChangeMonitorSim, UnwatchWhileChangesArriveEndsEveryRead)
{
    for (int nRound = 0; nRound < 10; ++nRound)
    {
        CFileChangeMonitor monitor;
        CRecordingListener listener(m_pVolume->GuidPath());
        ASSERT_TRUE(monitor.WatchPartition(&listener));
        for (int i = 0; i < 30; ++i)
            m_pVolume->CreateFile(L"d\\f" + std::to_wstring(nRound * 100 + i), 10);
        monitor.UnwatchPartition(&listener);
        EXPECT_EQ(0, monitor.GetWatchCount());
    }
}

} // namespace
