#include "engine/DefragPartition.h"

#include "platform/sys.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD PausePollMs = 500;
// Samples closer together than 10 ms say nothing about the disk.
constexpr LONGLONG MinSampleInterval = 100000;
constexpr int MaxDoublings = 4;

// The fields of the 88-byte DISK_PERFORMANCE record that the guard reads.
constexpr DWORD DiskPerformanceBytes = 88;
constexpr size_t IdleTimeOffset = 32;
constexpr size_t QueueDepthOffset = 48;
constexpr size_t QueryTimeOffset = 56;

int32_t IdlePercent(LONGLONG llIdleDelta, LONGLONG llTimeDelta)
{
    return static_cast<int32_t>(llIdleDelta * 100 / llTimeDelta);
}

} // namespace

bool CDefragPartition::SampleDiskPerformance(HANDLE hVolume, LONGLONG& llQueryTime, LONGLONG& llIdleTime,
                                             DWORD& dwQueueDepth)
{
    BYTE abSample[DiskPerformanceBytes] = {};
    DWORD dwReturned = 0;
    if (!sys::DeviceIoControl(hVolume, IOCTL_DISK_PERFORMANCE, nullptr, 0, abSample, sizeof(abSample), &dwReturned,
                              nullptr) ||
        dwReturned < QueryTimeOffset + sizeof(LONGLONG))
        return false;
    std::memcpy(&llIdleTime, abSample + IdleTimeOffset, sizeof(llIdleTime));
    std::memcpy(&dwQueueDepth, abSample + QueueDepthOffset, sizeof(dwQueueDepth));
    std::memcpy(&llQueryTime, abSample + QueryTimeOffset, sizeof(llQueryTime));
    return true;
}

int32_t CDefragPartition::WaitForDiskIdle(HANDLE hVolume)
{
    while (m_bPaused)
        ::Sleep(PausePollMs);
    const int32_t nMode = m_nUseIOGuard;
    if (nMode == 0 || (nMode == 1 && m_bBackgroundMode) || (nMode == 2 && !m_bBackgroundMode))
        return nMode;
    LONGLONG llQueryTime = 0;
    LONGLONG llIdleTime = 0;
    DWORD dwQueueDepth = 0;
    if (!SampleDiskPerformance(hVolume, llQueryTime, llIdleTime, dwQueueDepth))
        return 0;
    if (llQueryTime == m_llLastQueryTime || llQueryTime < m_llLastQueryTime + MinSampleInterval)
        return 0;
    const bool bFirstSample = m_llLastQueryTime == 0;
    int32_t nIdle = IdlePercent(llIdleTime - m_llLastIdleTime, llQueryTime - m_llLastQueryTime);
    m_llLastQueryTime = llQueryTime;
    m_llLastIdleTime = llIdleTime;
    if (bFirstSample)
        return nIdle;
    // A registry value of 0 or below would make the wait a busy loop.
    DWORD dwWait = static_cast<DWORD>(std::max(1, m_nIOGuardWaitTime));
    const ULONGLONG ullDeadline = m_ullStepDeadline;
    for (int nDoublings = 0;;)
    {
        if (nIdle >= m_nIOGuardMinIdlePercentage || dwQueueDepth == 0)
            return nIdle;
        // A background step waits no longer than its time limit allows.
        DWORD dwThisWait = dwWait;
        if (ullDeadline != 0)
        {
            const ULONGLONG ullNow = ::GetTickCount64();
            if (ullNow >= ullDeadline)
                return nIdle;
            dwThisWait = static_cast<DWORD>(std::min<ULONGLONG>(dwWait, ullDeadline - ullNow));
        }
        if (::WaitForSingleObject(m_hStopEvent, dwThisWait) == WAIT_OBJECT_0)
            return 0;
        if (!SampleDiskPerformance(hVolume, llQueryTime, llIdleTime, dwQueueDepth) ||
            llQueryTime <= m_llLastQueryTime)
            return nIdle;
        nIdle = IdlePercent(llIdleTime - m_llLastIdleTime, llQueryTime - m_llLastQueryTime);
        m_llLastQueryTime = llQueryTime;
        m_llLastIdleTime = llIdleTime;
        if (nDoublings <= MaxDoublings)
        {
            dwWait = dwWait > MAXDWORD / 2 ? MAXDWORD : dwWait * 2;
            ++nDoublings;
        }
    }
}
