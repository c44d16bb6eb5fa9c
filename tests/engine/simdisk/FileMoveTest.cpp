// Moves of files on simulated volumes: plain and in chunks, with progress and stop, answers
// of "target in use" in the middle of a move, files that another process holds, compressed
// files, asynchronous volume handles, and the cluster map around a move.
#include "PartitionFixture.h"

#include "engine/FileMover.h"
#include "engine/SysHandle.h"
#include "simdisk/SimProcesses.h"
#include "tests/platform/WaitFor.h"

#include <winioctl.h>

#include <algorithm>

namespace {

struct MOVE_CALL
{
    LONGLONG llVcn;
    LONGLONG llLcn;
    DWORD dwCount;
    NTSTATUS status;
};

// Every move control the engine issues, seen on its way to the simulator.
std::vector<MOVE_CALL> g_moves;
decltype(sys::SYS_TABLE::pfnNtFsControlFile) g_pfnInnerControl = nullptr;
const sys::SYS_TABLE* g_pInnerTable = nullptr;

NTSTATUS NTAPI RecordingControl(HANDLE h, HANDLE hEvent, PIO_APC_ROUTINE pfnApc, PVOID pContext, PIO_STATUS_BLOCK pIosb,
                                ULONG ulCode, PVOID pIn, ULONG ulIn, PVOID pOut, ULONG ulOut)
{
    NTSTATUS status = g_pfnInnerControl(h, hEvent, pfnApc, pContext, pIosb, ulCode, pIn, ulIn, pOut, ulOut);
    if (ulCode == FSCTL_MOVE_FILE && ulIn >= sizeof(MOVE_FILE_DATA))
    {
        const auto* pMove = static_cast<const MOVE_FILE_DATA*>(pIn);
        g_moves.push_back({pMove->StartingVcn.QuadPart, pMove->StartingLcn.QuadPart, pMove->ClusterCount, status});
    }
    return status;
}

FARPROC WINAPI RecordingGetProcAddress(HMODULE hModule, LPCSTR pszName)
{
    FARPROC pfn = g_pInnerTable->pfnGetProcAddress(hModule, pszName);
    if (reinterpret_cast<ULONG_PTR>(pszName) > 0xFFFF && strcmp(pszName, "NtFsControlFile") == 0)
    {
        g_pfnInnerControl = reinterpret_cast<decltype(g_pfnInnerControl)>(reinterpret_cast<void (*)()>(pfn));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&RecordingControl));
    }
    return pfn;
}

class FileMoveTest : public CPartitionFixture
{
protected:
    static constexpr LONGLONG VolumeClusters = 200000;

    void Start(DWORD dwBytesPerCluster = 4096, LONGLONG llClusters = VolumeClusters)
    {
        SetSetting(L"UseIOGuard", 0);
        Mount(SIM_FS::Ntfs, llClusters, L'S', dwBytesPerCluster);
        // The engine's move controls pass a recorder on their way to the simulator.
        g_moves.clear();
        g_pInnerTable = &sys::Current();
        m_table = sys::Current();
        m_table.pfnGetProcAddress = &RecordingGetProcAddress;
        sys::Install(&m_table);
        ASSERT_TRUE(native::BindNativeFunctions());
        sys::Install(g_pInnerTable);
        Partition();
        m_volume.Reset(m_pPartition->OpenVolume());
        ASSERT_TRUE(m_volume.IsOpen());
    }
    void TearDown() override
    {
        m_volume.Reset();
        CPartitionFixture::TearDown();
    }

    // A free run for the file, far from where the files were made.
    LONGLONG Target(LONGLONG llClusters, LONGLONG llFrom = 100000)
    {
        int64_t llTarget = -1;
        EXPECT_TRUE(m_pPartition->FindFreeRun(m_volume.Get(), llFrom, llClusters, llTarget));
        return llTarget;
    }

    std::vector<std::wstring> ProgressTexts()
    {
        std::vector<std::wstring> texts;
        for (const CRecordingOwner::SENT& sent : m_owner.Sent())
            if (sent.strStatus.find(L"%)") != std::wstring::npos)
                texts.push_back(sent.strStatus);
        return texts;
    }

    sys::SYS_TABLE m_table = {};
    CSysHandle m_volume;
};

// Every move control succeeds and is only kept: a range far larger than any test volume.
std::vector<MOVE_CALL> g_counted;

NTSTATUS NTAPI CountingControl(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK, ULONG ulCode, PVOID pIn,
                               ULONG ulIn, PVOID, ULONG)
{
    if (ulCode == FSCTL_MOVE_FILE && ulIn >= sizeof(MOVE_FILE_DATA))
    {
        const auto* pMove = static_cast<const MOVE_FILE_DATA*>(pIn);
        g_counted.push_back({pMove->StartingVcn.QuadPart, pMove->StartingLcn.QuadPart, pMove->ClusterCount, 0});
    }
    return 0;
}

TEST(FileMoverControls, APieceLongerThanOneControlCountsGoesInSeveralControls)
{
    const auto pfnSaved = native::NtFsControlFile;
    native::NtFsControlFile = &CountingControl;
    g_counted.clear();
    const LONGLONG llCount = 0x100000005LL;
    const NTSTATUS status = CFileMover::MoveVcnRange(nullptr, nullptr, 7, 1000, llCount);
    native::NtFsControlFile = pfnSaved;
    EXPECT_EQ(0, status);
    ASSERT_FALSE(g_counted.empty());
    LONGLONG llVcn = 7;
    for (const MOVE_CALL& call : g_counted)
    {
        EXPECT_EQ(llVcn, call.llVcn);
        EXPECT_EQ(llVcn + 993, call.llLcn);
        EXPECT_GT(call.dwCount, 0u);
        EXPECT_LE(call.dwCount, 0x40000000u);
        llVcn += call.dwCount;
    }
    EXPECT_EQ(7 + llCount, llVcn) << "clusters past 32 bits were dropped";
}

TEST_F(FileMoveTest, FilesComeTogetherAtTheTarget)
{
    const struct
    {
        LONGLONG llClusters;
        int nPieces;
        bool bProgress;
        bool bTexts;
    } cases[] = {{40, 5, false, false}, {40, 5, true, false}, {2000, 300, true, true}, {2000, 300, false, false}};
    int nFile = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.nPieces * 10 + c.bProgress);
        if (nFile == 0)
            Start();
        const std::wstring strName = L"f" + std::to_wstring(++nFile) + L".bin";
        ASSERT_NE(nullptr, m_pVolume->CreateFile(strName, c.llClusters * 4096, Fragmented(c.nPieces, 1000)));
        m_pPartition->SetClientConnected(true);
        m_owner.Clear();
        const LONGLONG llTarget = Target(c.llClusters);
        const int32_t nMovedBefore = m_pPartition->m_nFilesMoved;
        DWORD dwAttributes = 0;
        const std::wstring strPath = Path(strName);
        const bool bMoved =
            c.bProgress ? m_pPartition->MoveFileToLcnWithProgress(m_volume.Get(), strPath.c_str(), llTarget, c.llClusters, dwAttributes)
                        : m_pPartition->MoveFileToLcn(m_volume.Get(), strPath.c_str(), llTarget, c.llClusters, dwAttributes);
        EXPECT_TRUE(bMoved);
        EXPECT_TRUE(IsContiguousAt(strName, llTarget));
        EXPECT_EQ(nMovedBefore + 1, m_pPartition->m_nFilesMoved);
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), dwAttributes);
        const std::vector<std::wstring> texts = ProgressTexts();
        EXPECT_EQ(c.bTexts, !texts.empty());
        if (!texts.empty())
        {
            EXPECT_EQ(strPath + L"  (100 %)", texts.back());
        }
        ExpectVerified();
    }
}

TEST_F(FileMoveTest, LargeFilesMoveInChunksOfNeverZeroClusters)
{
    const struct
    {
        DWORD dwMaxMBMove;
        DWORD dwBytesPerCluster;
        LONGLONG llClusters;
        DWORD dwLargestControl;
    } cases[] = {
        {1, 4096, 1000, 256},       // 1 MiB chunks
        {0, 4096, 1000, 500},       // no chunking: whole extents
        {1, 2097152, 12, 1},        // a chunk below one cluster still moves one
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.dwMaxMBMove * 10000000 + c.dwBytesPerCluster);
        SetSetting(L"MaxMBMove", c.dwMaxMBMove);
        Start(c.dwBytesPerCluster, c.dwBytesPerCluster > 4096 ? 4000 : VolumeClusters);
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"big.bin", c.llClusters * c.dwBytesPerCluster, Fragmented(2, 100)));
        const LONGLONG llTarget = Target(c.llClusters, c.llClusters * 2 + 500);
        DWORD dwAttributes = 0;
        g_moves.clear();
        EXPECT_TRUE(m_pPartition->MoveFileToLcnWithProgress(m_volume.Get(), Path(L"big.bin").c_str(), llTarget,
                                                            c.llClusters, dwAttributes));
        EXPECT_TRUE(IsContiguousAt(L"big.bin", llTarget));
        ASSERT_FALSE(g_moves.empty());
        DWORD dwLargest = 0;
        for (const MOVE_CALL& move : g_moves)
        {
            EXPECT_GT(move.dwCount, 0u);
            dwLargest = std::max(dwLargest, move.dwCount);
        }
        EXPECT_EQ(c.dwLargestControl, dwLargest);
        ExpectVerified();
        m_volume.Reset();
        m_pPartition.reset();
    }
}

TEST_F(FileMoveTest, StopEndsALargeMoveWithinOneChunkButNotASmallOne)
{
    const struct
    {
        LONGLONG llMiB;
        bool bMoved;
    } cases[] = {{150, false}, {50, true}};
    int nFile = 0;
    Start();
    m_pPartition->SetClientConnected(true);
    HANDLE hStop = m_pPartition->GetStopEvent();
    // The stop comes as soon as the move shows its first progress.
    m_owner.m_onEntry = [hStop](const CNetDefragPartitionListEntry& entry) {
        if (Text(entry.m_strStatusText).find(L"%)") != std::wstring::npos)
            ::SetEvent(hStop);
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.llMiB);
        ::ResetEvent(hStop);
        const LONGLONG llClusters = c.llMiB * 256;
        const std::wstring strName = L"s" + std::to_wstring(++nFile) + L".bin";
        ASSERT_NE(nullptr, m_pVolume->CreateFile(strName, llClusters * 4096, Fragmented(150, 1000)));
        const LONGLONG llTarget = Target(llClusters, 100000);
        g_moves.clear();
        DWORD dwAttributes = 0;
        EXPECT_EQ(c.bMoved, m_pPartition->MoveFileToLcnWithProgress(m_volume.Get(), Path(strName).c_str(), llTarget,
                                                                    llClusters, dwAttributes));
        EXPECT_EQ(c.bMoved, IsContiguousAt(strName, llTarget));
        if (!c.bMoved)
        {
            EXPECT_EQ(1u, g_moves.size()) << "the stop is seen before the next chunk";
        }
        ExpectVerified();
    }
    m_owner.m_onEntry = nullptr;
}

TEST_F(FileMoveTest, TargetTakenInTheMiddleIsNotASuccess)
{
    Start();
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"mid.bin", 30 * 4096, Fragmented(3, 1000)));
    const LONGLONG llTarget = Target(30);
    SIM_FAULT fault;
    fault.eCall = SIM_CALL::Control;
    fault.dwCode = FSCTL_MOVE_FILE;
    fault.nNth = 2;
    fault.eAction = SIM_FAULT_ACTION::TakeTarget;
    m_system.Faults().Add(fault);
    DWORD dwAttributes = 0;
    EXPECT_FALSE(m_pPartition->MoveFileToLcn(m_volume.Get(), Path(L"mid.bin").c_str(), llTarget, 30, dwAttributes));
    ASSERT_EQ(3u, g_moves.size()) << "the move goes on after the refused extent";
    EXPECT_EQ(ntstatus::AlreadyCommitted, g_moves[1].status);
    EXPECT_EQ(ntstatus::Success, g_moves[2].status);
    EXPECT_FALSE(IsContiguousAt(L"mid.bin", llTarget));
    m_system.Faults().Clear();
    ExpectVerified();
}

TEST_F(FileMoveTest, FileHeldByTheSystemMovesThroughItsHandle)
{
    Start();
    CSimFile* pFile = m_pVolume->CreateFile(L"held.bin", 20 * 4096, Fragmented(4, 1000));
    ASSERT_NE(nullptr, pFile);
    ASSERT_TRUE(m_system.Processes().Hold(4, *m_pVolume, L"held.bin", GENERIC_READ | GENERIC_WRITE, 0));
    pFile->m_dwFlags |= SimFileKernelExclusive;
    HANDLE hDirect = sys::CreateFileW(Path(L"held.bin").c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_EQ(INVALID_HANDLE_VALUE, hDirect);
    const LONGLONG llTarget = Target(20);
    DWORD dwAttributes = 0;
    EXPECT_TRUE(m_pPartition->MoveFileToLcn(m_volume.Get(), Path(L"held.bin").c_str(), llTarget, 20, dwAttributes));
    EXPECT_TRUE(IsContiguousAt(L"held.bin", llTarget));
    int64_t llClusters = 0;
    CExtentList extents;
    EXPECT_FALSE(m_pPartition->GetFileExtentsByPath(Path(L"held.bin").c_str(), llClusters, extents));
    EXPECT_EQ(20, llClusters);
    EXPECT_EQ(1u, extents.GetCount());
    pFile->m_dwFlags &= ~SimFileKernelExclusive;
    ExpectVerified();
}

TEST_F(FileMoveTest, CompressedFileMovesInWholeUnits)
{
    Start();
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"packed.bin", 64 * 4096, Fragmented(4, 1000)));
    ASSERT_TRUE(m_pVolume->Compress(L"packed.bin", 10));
    int64_t llClusters = 0;
    CExtentList extents;
    EXPECT_FALSE(m_pPartition->GetFileExtentsByPath(Path(L"packed.bin").c_str(), llClusters, extents));
    EXPECT_EQ(40, llClusters) << "only the clusters the units keep";
    int64_t llStart = 0, llLength = 0;
    ASSERT_TRUE(extents.GetWithExtra(0, llStart, llLength));
    EXPECT_EQ(16, llLength);
    const LONGLONG llTarget = Target(40);
    DWORD dwAttributes = 0;
    EXPECT_TRUE(m_pPartition->MoveFileToLcnWithProgress(m_volume.Get(), Path(L"packed.bin").c_str(), llTarget, 40,
                                                        dwAttributes));
    EXPECT_TRUE(IsContiguousAt(L"packed.bin", llTarget));
    EXPECT_NE(0u, dwAttributes & FILE_ATTRIBUTE_COMPRESSED);
    ASSERT_EQ(4u, g_moves.size());
    for (const MOVE_CALL& move : g_moves)
    {
        EXPECT_EQ(0, move.llVcn % 16);
        EXPECT_EQ(16u, move.dwCount);
    }
    ExpectVerified();
}

TEST_F(FileMoveTest, MoveOnAnAsynchronousVolumeHandleWaitsOnThatHandle)
{
    Start();
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"async.bin", 12 * 4096, Fragmented(3, 1000)));
    m_system.m_bPendingOverlapped = true;
    CSysHandle volume(sys::CreateFileW(L"\\\\.\\S:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    ASSERT_TRUE(volume.IsOpen());
    const LONGLONG llTarget = Target(12);
    DWORD dwAttributes = 0;
    EXPECT_TRUE(m_pPartition->MoveFileToLcn(volume.Get(), Path(L"async.bin").c_str(), llTarget, 12, dwAttributes));
    EXPECT_TRUE(IsContiguousAt(L"async.bin", llTarget));
    m_system.m_bPendingOverlapped = false;
    ExpectVerified();
}

TEST_F(FileMoveTest, ClusterMapFollowsTheMove)
{
    Start();
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"map.bin", 30 * 4096, Fragmented(3, 1000)));
    m_pPartition->SetClientConnected(true);
    ASSERT_TRUE(m_pPartition->SubscribeClusterMap(1, true));
    const struct
    {
        bool bTaken;
        bool bMoved;
        int64_t llFileClusters;
    } cases[] = {{false, true, 30}, {true, false, 30}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.bTaken);
        if (c.bTaken)
        {
            SIM_FAULT fault;
            fault.dwCode = FSCTL_MOVE_FILE;
            fault.nNth = 1;
            fault.eAction = SIM_FAULT_ACTION::TakeTarget;
            m_system.Faults().Add(fault);
        }
        CExtentList oldExtents;
        CExtentList targetExtents;
        int64_t llClusters = 0;
        EXPECT_EQ(!c.bTaken, m_pPartition->GetFileExtentsByPath(Path(L"map.bin").c_str(), llClusters, oldExtents));
        const LONGLONG llTarget = Target(llClusters);
        m_owner.Clear();
        EXPECT_EQ(c.bMoved, m_pPartition->MoveFileWithMap(m_volume.Get(), Path(L"map.bin").c_str(), true, llTarget,
                                                          llClusters, oldExtents, targetExtents));
        m_system.Faults().Clear();
        EXPECT_GE(m_owner.Count(RESPONSE_CLUSTERMAP_MODLIST, 1), 2) << "the markers and their removal are sent";
        m_owner.Clear();
        ASSERT_TRUE(m_pPartition->SendClusterMap(1));
        const CRecordingOwner::SENT map = m_owner.Sent().back();
        EXPECT_EQ(0, map.allKinds[KIND_MOVE_SOURCE]);
        EXPECT_EQ(0, map.allKinds[KIND_MOVE_TARGET]);
        EXPECT_EQ(c.llFileClusters, map.allKinds[KIND_FILE]);
        if (c.bMoved)
        {
            EXPECT_EQ(m_pVolume->FreeClusters(), map.allKinds[KIND_FREE]);
            EXPECT_EQ(VolumeClusters - m_pVolume->FreeClusters(), map.allKinds[KIND_USED]);
        }
        ExpectVerified();
    }
}

} // namespace

namespace {

TEST_F(FileMoveTest, WineStandInAnswersEndTheWalkAndTheMove)
{
    Start();
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"w.bin", 8 * 4096, Fragmented(2, 1000)));
    m_system.m_bWineAnswers = true;
    int64_t llClusters = 0;
    CExtentList extents;
    m_pPartition->GetFileExtentsByPath(Path(L"w.bin").c_str(), llClusters, extents);
    EXPECT_LE(extents.GetCount(), 1u);
    DWORD dwAttributes = 0;
    EXPECT_FALSE(m_pPartition->MoveFileToLcn(m_volume.Get(), Path(L"w.bin").c_str(), 150000, 8, dwAttributes));
    m_system.m_bWineAnswers = false;
    ExpectVerified();
}

// A volume object whose job is one large move.
class CMovingPartition : public CDefragPartition
{
public:
    using CDefragPartition::CDefragPartition;
    using CDefragPartition::StartJobThread;

    static DWORD WINAPI MoveJob(void* pParam)
    {
        auto* pThis = static_cast<CMovingPartition*>(pParam);
        HANDLE hVolume = pThis->OpenVolume();
        DWORD dwAttributes = 0;
        pThis->m_bMoved = pThis->MoveFileToLcnWithProgress(hVolume, L"S:\\job.bin", pThis->m_llTarget,
                                                           pThis->m_llClusters, dwAttributes);
        sys::CloseHandle(hVolume);
        pThis->SetStatusText(L" ");
        *pThis->m_pbEnded = true;
        return 0;
    }

    int64_t m_llTarget = 0;
    int64_t m_llClusters = 0;
    bool m_bMoved = false;
    bool* m_pbEnded = nullptr;
};

TEST_F(FileMoveTest, VolumeDestroyedDuringItsMoveWaitsForTheMove)
{
    SetSetting(L"MaxMBMove", 1);
    Start();
    const LONGLONG llClusters = 20000;
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"job.bin", llClusters * 4096, Fragmented(400, 1000)));
    const LONGLONG llTarget = Target(llClusters);
    bool bEnded = false;
    auto pPartition = std::make_unique<CMovingPartition>(CUnicodeString(m_pVolume->GuidPath().c_str()), &m_owner);
    ASSERT_TRUE(pPartition->Initialize());
    pPartition->m_llTarget = llTarget;
    pPartition->m_llClusters = llClusters;
    pPartition->m_pbEnded = &bEnded;
    // Every move control takes a while, as on a real disk.
    SIM_FAULT slow;
    slow.dwCode = FSCTL_MOVE_FILE;
    slow.dwDelayMs = 10;
    m_system.Faults().Add(slow);
    ASSERT_TRUE(pPartition->StartJobThread(&CMovingPartition::MoveJob));
    ASSERT_TRUE(WaitFor([this] {
        CSimLock lock(m_system);
        return m_system.Faults().Fired() > 0;
    })) << "the job never moved";
    pPartition.reset();
    EXPECT_TRUE(bEnded);
    m_system.Faults().Clear();
    ExpectVerified();
}

} // namespace

// The root directory of a volume without a drive letter: its path from the MFT is the volume
// name followed by ".", which the "\\?\" form takes as a name of its own.
class RootWithoutLetterTest : public CPartitionFixture
{
};

TEST_F(RootWithoutLetterTest, RootDirectoryIsFoundAndMoved)
{
    SetSetting(L"UseIOGuard", 0);
    Mount(SIM_FS::Ntfs, 30000, 0);
    for (int i = 0; i < 400; ++i)
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"file with a long name number " + std::to_wstring(i) + L".txt", 0));
    CDefragPartition& partition = Partition();
    const std::wstring strRoot = m_pVolume->GuidPath() + L".";
    CExtentList extents;
    int64_t llClusters = 0;
    partition.GetFileExtentsByPath(strRoot.c_str(), llClusters, extents);
    ASSERT_GT(llClusters, 0) << "the root's index must have clusters of its own";
    const int64_t llTarget = 25000;
    {
        CSimLock lock(m_system);
        for (int64_t llLcn = llTarget; llLcn < llTarget + llClusters; ++llLcn)
            ASSERT_FALSE(m_pVolume->Bitmap().Test(llLcn));
    }
    CSysHandle volume(sys::CreateFileW(m_pVolume->GuidPath().substr(0, m_pVolume->GuidPath().size() - 1).c_str(),
                                       GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                       nullptr));
    ASSERT_TRUE(volume.IsOpen());
    DWORD dwAttributes = 0;
    EXPECT_TRUE(partition.MoveFileToLcn(volume.Get(), strRoot.c_str(), llTarget, llClusters, dwAttributes));
    EXPECT_NE(0u, dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
    partition.GetFileExtentsByPath(strRoot.c_str(), llClusters, extents);
    int64_t llStart = -1;
    int64_t llLength = 0;
    ASSERT_TRUE(extents.Get(0, llStart, llLength));
    EXPECT_EQ(llTarget, llStart);
    ExpectVerified();
}
