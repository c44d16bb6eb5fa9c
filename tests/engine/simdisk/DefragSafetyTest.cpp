// Data safety of the run: on NTFS, FAT32 and exFAT volumes built from fixed seeds, each method
// and a background step, under faults of every kind the file system and other programs
// produce. Whatever happens, no cluster is lost, misplaced or owned twice; without faults the
// fragmented files are gone but for those left by a named reason; with faults every file that
// stayed fragmented is whole and counted by reason.
#include "PartitionFixture.h"

#include "simdisk/SimBuilder.h"
#include "simdisk/SimProcesses.h"

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
            // The run is told to stop once it has begun to move.
            HANDLE hStop = m_pPartition->GetStopEvent();
            m_owner.m_onEntry = [hStop](const CNetDefragPartitionListEntry& entry) {
                if (entry.m_nState == STATE_DEFRAGMENTING || entry.m_nState == STATE_AUTO_DEFRAGMENTING)
                    ::SetEvent(hStop);
            };
            break;
        }
        case FAULT::DelayedFree:
            m_pVolume->m_bDelayedFree = true;
            break;
        case FAULT::HeldOpen:
        {
            int n = 0;
            for (const std::wstring& strPath : fragmented)
                if (n++ % 3 == 0)
                {
                    EXPECT_TRUE(m_system.Processes().Hold(m_system.Processes().ExplorerPid(), *m_pVolume, strPath,
                                                          GENERIC_READ | GENERIC_WRITE, 0));
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
            ::Sleep(1100);
            m_pPartition->RunBackgroundStep(3600, 0, uRemaining);
            return;
        }
        m_pPartition->SetMethod(eMethod != METHOD::Quick);
        if (eMethod == METHOD::SmartM)
            m_pPartition->ForceMoveModifiedFilesToEnd(2);
        m_pPartition->Defragment(-1, 0, uRemaining);
    }

    int m_nBuilt = 0;
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
                RunMethod(eMethod, before);
                m_system.Faults().Clear();
                m_owner.m_onEntry = nullptr;
                ExpectVerified();
                const std::set<std::wstring> after = FragmentedFiles();
                const CDefragPartition::RUN_SKIPS& skips = m_pPartition->GetRunSkips();
                if (skips.nRunRefused != 0)
                {
                    // A volume found damaged is left alone as a whole.
                    EXPECT_EQ(before, after);
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
                    EXPECT_EQ(0, skips.nNotOpened + skips.nStopped);
                }
                for (const std::wstring& strPath : after)
                    EXPECT_EQ(1u, before.count(strPath)) << std::string(strPath.begin(), strPath.end());
                EXPECT_FALSE(::WaitForSingleObject(m_pPartition->GetStopEvent(), 0) == WAIT_OBJECT_0);
                EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
            }
}

} // namespace
