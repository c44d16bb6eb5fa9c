// Data safety of the run: on NTFS, FAT32 and exFAT volumes built from fixed seeds, each method
// and a background step, under faults of every kind the file system and other programs
// produce, while another program changes files. Each fault is met; whatever happens, no
// cluster is lost, misplaced or owned twice; without faults the fragmented files are gone but
// for those left by a named reason; with faults every file that stayed fragmented is whole and
// counted by reason.
#include "PartitionFixture.h"

#include "simdisk/SimBuilder.h"
#include "simdisk/SimProcesses.h"
#include "tests/platform/MovedClock.h"

#include <atomic>
#include <set>
#include <thread>

namespace {

enum class METHOD
{
    Step,
    Quick,
    Complete,
    SmartM
};

enum class FAULT
{
    None,
    AlreadyCommitted,
    TargetTaken,
    RecordError,
    Stop,
    DelayedFree,
    HeldOpen
};

const char* Name(METHOD eMethod)
{
    switch (eMethod)
    {
    case METHOD::Step: return "step";
    case METHOD::Quick: return "quick";
    case METHOD::Complete: return "complete";
    default: return "smartm";
    }
}

const char* Name(FAULT eFault)
{
    static const char* const names[] = {"none", "already committed", "target taken", "record error",
                                        "stop",  "delayed free",      "held open"};
    return names[static_cast<int>(eFault)];
}

// Another program at work while the run moves files: it grows, shrinks, writes and deletes
// its files in turn (and makes again what it deleted) until it is stopped.
class CConcurrentWriter
{
public:
    CConcurrentWriter(CSimVolume& volume, std::vector<std::wstring> files)
        : m_volume(volume), m_files(std::move(files)), m_thread([this] { Run(); })
    {
    }
    ~CConcurrentWriter()
    {
        Stop();
        ::CloseHandle(m_hFirst);
    }

    void Stop()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    int Changes() const { return m_nChanges; }
    // Waits until the first change is made, so that the run starts among the changes.
    bool WaitForFirstChange() const { return ::WaitForSingleObject(m_hFirst, 30000) == WAIT_OBJECT_0; }
    int Deleted() const { return m_nDeleted; }

private:
    void Run()
    {
        const LONGLONG llCluster = m_volume.BytesPerCluster();
        for (size_t n = 0; !m_bStop && !m_files.empty(); ++n)
        {
            const std::wstring& strPath = m_files[n % m_files.size()];
            bool bChanged = false;
            switch (n / m_files.size() % 4)
            {
            case 0:
                bChanged = m_volume.Resize(strPath, 12 * llCluster, Fragmented(3)) ||
                           m_volume.CreateFile(strPath, 12 * llCluster, Fragmented(3)) != nullptr;
                break;
            case 1:
                bChanged = m_volume.Resize(strPath, 5 * llCluster + 100);
                break;
            case 2:
                bChanged = m_volume.SetContent(strPath, std::vector<BYTE>(static_cast<size_t>(7 * llCluster), 'w'),
                                               Fragmented(2));
                break;
            default:
                bChanged = m_volume.Delete(strPath);
                m_nDeleted += bChanged ? 1 : 0;
                break;
            }
            if (bChanged && ++m_nChanges == 1)
                ::SetEvent(m_hFirst);
            // Room for the run between two changes, as another program leaves it.
            ::Sleep(1);
        }
    }

    CSimVolume& m_volume;
    std::vector<std::wstring> m_files;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nChanges{0};
    std::atomic<int> m_nDeleted{0};
    HANDLE m_hFirst = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread m_thread;
};

class DefragSafetyTest : public CPartitionFixture
{
protected:
    // Mounted under its volume name only: the runs name files by it.
    void Build(SIM_FS eFs, unsigned uSeed)
    {
        SIM_BUILD build;
        wchar_t szGuid[48] = {};
        swprintf(szGuid, 48, L"{5A3C1E07-0000-4000-8000-%012X}", static_cast<unsigned>(++m_nBuilt));
        build.format.strGuid = szGuid;
        build.format.eFs = eFs;
        build.format.llTotalClusters = 70000;
        build.llFiles = 240;
        build.nFragmentedPercent = 25;
        build.uSeed = uSeed;
        std::wstring strError;
        std::unique_ptr<CSimVolume> pVolume = CSimBuilder::Build(build, &strError);
        ASSERT_NE(nullptr, pVolume) << std::string(strError.begin(), strError.end());
        m_system.Uninstall();
        m_pVolume = &m_system.Mount(std::move(pVolume), 0);
        m_system.Install();
        ASSERT_TRUE(native::BindNativeFunctions());
    }

    // Relative paths of the files whose default stream is fragmented.
    std::set<std::wstring> FragmentedFiles()
    {
        CSimLock lock(m_system);
        std::set<std::wstring> files;
        for (size_t i = 0; i < m_pVolume->FileSlots(); ++i)
        {
            CSimFile* pFile = m_pVolume->File(i);
            if (pFile == nullptr || pFile->DefaultStream() == nullptr)
                continue;
            const std::wstring strPath = m_pVolume->RelativePath(*pFile);
            const auto& runs = pFile->DefaultStream()->m_runs;
            LONGLONG llNext = -1;
            int nPieces = 0;
            for (const SIM_RUN& run : runs)
            {
                if (run.llLcn == SIM_SPARSE_LCN)
                    continue;
                nPieces += run.llLcn != llNext;
                llNext = run.llLcn + run.llLength;
            }
            if (nPieces > 1 && !strPath.empty())
                files.insert(strPath);
        }
        return files;
    }

    void Inject(FAULT eFault, const std::set<std::wstring>& fragmented)
    {
        SIM_FAULT fault;
        switch (eFault)
        {
        case FAULT::AlreadyCommitted:
        case FAULT::TargetTaken:
            for (int nNth : {2, 5, 9, 14})
            {
                fault = SIM_FAULT();
                fault.eCall = SIM_CALL::Control;
                fault.dwCode = FSCTL_MOVE_FILE;
                fault.nNth = nNth;
                fault.nTimes = 1;
                fault.status = ntstatus::AlreadyCommitted;
                fault.eAction = eFault == FAULT::TargetTaken ? SIM_FAULT_ACTION::TakeTarget : SIM_FAULT_ACTION::Answer;
                m_system.Faults().Add(fault);
            }
            break;
        case FAULT::RecordError:
            fault.eCall = SIM_CALL::Control;
            fault.dwCode = FSCTL_GET_NTFS_FILE_RECORD;
            fault.llRecord = 70;
            fault.status = static_cast<NTSTATUS>(0xC0000185);   // an I/O device error
            m_system.Faults().Add(fault);
            break;
        case FAULT::Stop:
        {
            // The run is told to stop once it has moved a file.
            HANDLE hStop = m_pPartition->GetStopEvent();
            CDefragPartition* pPartition = m_pPartition.get();
            m_nMovedAtStop = 0;
            m_owner.m_onEntry = [this, hStop, pPartition](const CNetDefragPartitionListEntry& entry) {
                const bool bWorking = entry.m_nState == STATE_DEFRAGMENTING || entry.m_nState == STATE_AUTO_DEFRAGMENTING;
                if (bWorking && m_nMovedAtStop == 0 && pPartition->m_nFilesMoved > 0)
                {
                    m_nMovedAtStop = pPartition->m_nFilesMoved;
                    ::SetEvent(hStop);
                }
            };
            break;
        }
        case FAULT::DelayedFree:
            m_pVolume->m_bDelayedFree = true;
            break;
        case FAULT::HeldOpen:
        {
            // Held without sharing, against attribute opens too: only a duplicate of the
            // holder's handle reaches the file. Explorer and the system hold them in turn.
            int n = 0;
            for (const std::wstring& strPath : fragmented)
                if (n++ % 3 == 0)
                {
                    const DWORD dwHolder = n % 2 ? m_system.Processes().ExplorerPid() : 4;
                    EXPECT_TRUE(m_system.Processes().Hold(dwHolder, *m_pVolume, strPath, GENERIC_READ | GENERIC_WRITE, 0));
                    CSimLock lock(m_system);
                    m_pVolume->Lookup(strPath)->m_dwFlags |= SimFileKernelExclusive;
                }
            break;
        }
        default:
            break;
        }
    }

    void RunMethod(METHOD eMethod, const std::set<std::wstring>& fragmented)
    {
        uint32_t uRemaining = 0;
        if (eMethod == METHOD::Step)
        {
            m_pPartition->SetBackgroundMode(true, nullptr, false);
            for (const std::wstring& strPath : fragmented)
                m_pPartition->OnFileAdded(strPath.c_str());
            // Changes count as settled a second after they were seen.
            m_clock.Advance(1);
            m_pPartition->RunBackgroundStep(3600, 0, uRemaining);
            return;
        }
        m_pPartition->SetMethod(eMethod != METHOD::Quick);
        if (eMethod == METHOD::SmartM)
            m_pPartition->ForceMoveModifiedFilesToEnd(2);
        m_pPartition->Defragment(-1, 0, uRemaining);
    }

    // The files another program changes during the run: every sixth fragmented one, none of
    // those that are held open.
    static std::vector<std::wstring> WriterFiles(const std::set<std::wstring>& fragmented)
    {
        std::vector<std::wstring> files;
        int n = 0;
        for (const std::wstring& strPath : fragmented)
            if (n++ % 6 == 1)
                files.push_back(strPath);
        return files;
    }

    // That the case's fault was met by the run, read before the faults are cleared.
    void ExpectFaultMet(METHOD eMethod, FAULT eFault, SIM_FS eFs, int nDuplicatedBefore)
    {
        switch (eFault)
        {
        case FAULT::AlreadyCommitted:
        case FAULT::TargetTaken:
            EXPECT_GT(m_system.Faults().Fired(), 0) << "no move was refused";
            break;
        case FAULT::RecordError:
            // FAT volumes have no file records to ask for, and a step finds its files by path.
            if (eFs == SIM_FS::Ntfs && eMethod != METHOD::Step)
            {
                EXPECT_GT(m_system.Faults().Fired(), 0) << "no I/O error was met";
            }
            break;
        case FAULT::Stop:
            EXPECT_GT(m_nMovedAtStop, 0) << "the stop came before the first move";
            EXPECT_GT(m_pPartition->GetRunSkips().nStopped, 0) << "nothing was left by the stop";
            break;
        case FAULT::DelayedFree:
        {
            CSimLock lock(m_system);
            EXPECT_FALSE(m_pVolume->PendingFrees().empty()) << "no freed cluster waited for a checkpoint";
            break;
        }
        case FAULT::HeldOpen:
            EXPECT_GT(m_system.Processes().Duplicated(), nDuplicatedBefore) << "no held handle was duplicated";
            break;
        default:
            break;
        }
    }

    int m_nBuilt = 0;
    std::atomic<int> m_nMovedAtStop{0};
    CMovedClock m_clock;
};

TEST_F(DefragSafetyTest, NoDataIsLostWhateverHappens)
{
    const struct
    {
        SIM_FS eFs;
        unsigned uSeed;
    } volumes[] = {{SIM_FS::Ntfs, 11}, {SIM_FS::Fat32, 12}, {SIM_FS::Exfat, 13}};
    const METHOD methods[] = {METHOD::Step, METHOD::Quick, METHOD::Complete, METHOD::SmartM};
    const FAULT faults[] = {FAULT::None,  FAULT::AlreadyCommitted, FAULT::TargetTaken, FAULT::RecordError,
                            FAULT::Stop,  FAULT::DelayedFree,      FAULT::HeldOpen};
    for (const auto& volume : volumes)
        for (METHOD eMethod : methods)
            for (FAULT eFault : faults)
            {
                SCOPED_TRACE(std::string(Name(eMethod)) + ", " + Name(eFault) + ", seed " +
                             std::to_string(volume.uSeed));
                m_owner.m_onEntry = nullptr;
                m_pPartition.reset();
                SetSetting(L"UseIOGuard", 0);
                Build(volume.eFs, volume.uSeed);
                Partition();
                m_pPartition->SetClientConnected(true);
                const std::set<std::wstring> before = FragmentedFiles();
                ASSERT_FALSE(before.empty());
                Inject(eFault, before);
                const int nDuplicatedBefore = m_system.Processes().Duplicated();
                const std::vector<std::wstring> written = WriterFiles(before);
                CConcurrentWriter writer(*m_pVolume, written);
                ASSERT_TRUE(writer.WaitForFirstChange());
                RunMethod(eMethod, before);
                writer.Stop();
                EXPECT_GT(writer.Changes(), 0);
                ExpectFaultMet(eMethod, eFault, volume.eFs, nDuplicatedBefore);
                m_system.Faults().Clear();
                m_owner.m_onEntry = nullptr;
                ExpectVerified();
                // What the other program changed is its own affair; the run answers for the rest.
                std::set<std::wstring> after = FragmentedFiles();
                std::set<std::wstring> unwritten = before;
                for (const std::wstring& strPath : written)
                {
                    after.erase(strPath);
                    unwritten.erase(strPath);
                }
                const CDefragPartition::RUN_SKIPS& skips = m_pPartition->GetRunSkips();
                if (skips.nRunRefused != 0)
                {
                    // A volume found damaged is left alone as a whole.
                    EXPECT_EQ(unwritten, after);
                    EXPECT_EQ(FAULT::RecordError, eFault);
                    EXPECT_EQ(SIM_FS::Ntfs, volume.eFs);
                    EXPECT_EQ(STATE_FAULTY, m_pPartition->GetState());
                    continue;
                }
                const int nByReason = skips.nNoFreeRun + skips.nNotOpened + skips.nMoveFailed + skips.nHeldBack +
                                      skips.nNoTarget + skips.nStopped;
                EXPECT_LE(static_cast<int>(after.size()), nByReason);
                // Without faults of the moves themselves, a file stays fragmented only where no
                // free run holds it or the file system refuses its move.
                if (eFault == FAULT::None || eFault == FAULT::RecordError || eFault == FAULT::DelayedFree)
                {
                    EXPECT_LE(static_cast<int>(after.size()), skips.nNoFreeRun + skips.nMoveFailed + skips.nNoTarget);
                    // Only a file the other program deleted cannot be opened.
                    EXPECT_LE(skips.nNotOpened, writer.Deleted());
                    EXPECT_EQ(0, skips.nStopped);
                }
                for (const std::wstring& strPath : after)
                    EXPECT_EQ(1u, before.count(strPath)) << std::string(strPath.begin(), strPath.end());
                EXPECT_FALSE(::WaitForSingleObject(m_pPartition->GetStopEvent(), 0) == WAIT_OBJECT_0);
                EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
            }
}

} // namespace
