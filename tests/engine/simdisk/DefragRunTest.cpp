// A client's run: the analysis, the pending pass with the first file behind the used part,
// the file pass with recently written files sent to the end, a check before the run, and a
// stop in each phase.
#include "PartitionFixture.h"

#include <ctime>

namespace {

struct TEXT_RECORD
{
    DWORD dwLines;
    PCHAR pszText;
};

bool g_bCheckClean = true;
int g_nChecks = 0;

VOID WINAPI ScriptedChecker(PWCHAR, PWCHAR, BOOLEAN, PVOID, native::PFN_FMIFS_CALLBACK pfn)
{
    ++g_nChecks;
    DWORD dwPercent = 100;
    pfn(0, 0, &dwPercent);
    char szLine[] = "Errors were found.\n";
    TEXT_RECORD record = {1, szLine};
    if (!g_bCheckClean)
        pfn(14, 0, &record);
    BOOLEAN bDone = g_bCheckClean ? TRUE : FALSE;
    pfn(11, 0, &bDone);
}

class DefragRunTest : public CPartitionFixture
{
protected:
    // Each case on a volume of its own, at a letter of its own.
    void Start()
    {
        SetSetting(L"UseIOGuard", 0);
        Mount(SIM_FS::Ntfs, 30000, static_cast<wchar_t>(L'K' + m_nStarted++));
        const std::wstring names[] = {L"a.bin", L"b.bin", L"c.bin", L"d.bin"};
        for (const std::wstring& strName : names)
            ASSERT_NE(nullptr, m_pVolume->CreateFile(strName, 4096 * 30, Fragmented(5, 3000)));
        Partition();
        m_pPartition->SetClientConnected(true);
    }

    int FragmentedOf(const std::vector<std::wstring>& names)
    {
        int n = 0;
        for (const std::wstring& strName : names)
        {
            const auto runs = RunsOf(strName);
            n += !runs.empty() && !IsContiguousAt(strName, runs.front().llLcn);
        }
        return n;
    }

    std::vector<int32_t> States()
    {
        std::vector<int32_t> states;
        for (const CRecordingOwner::SENT& sent : m_owner.Sent())
            if (sent.nCode == RESPONSE_PARTITION_ENTRY && (states.empty() || states.back() != sent.nState))
                states.push_back(sent.nState);
        return states;
    }

    int m_nStarted = 0;
    const std::vector<std::wstring> m_names = {L"a.bin", L"b.bin", L"c.bin", L"d.bin"};
};

TEST_F(DefragRunTest, QuickRunDefragmentsThePendingFiles)
{
    Start();
    const int64_t llBefore = std::time(nullptr);
    m_pPartition->SetMethod(false);
    uint32_t uRemaining = 9;
    ASSERT_TRUE(m_pPartition->Defragment(-1, 0, uRemaining));
    EXPECT_EQ(0u, uRemaining);
    EXPECT_EQ(0, FragmentedOf(m_names));
    EXPECT_EQ(4, m_pPartition->m_nFilesDefragmented);
    EXPECT_EQ(0u, m_pPartition->GetPendingFileCount());
    EXPECT_EQ(0, m_pPartition->m_nFragmentedEntries);
    EXPECT_EQ(100, m_pPartition->m_nProgress);
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
    EXPECT_FALSE(m_pPartition->IsAnalysisFresh());
    EXPECT_EQ((std::vector<int32_t>{STATE_ANALYZING, STATE_IDLE, STATE_DEFRAGMENTING, STATE_IDLE}), States());
    // The first file goes behind the used part of the volume.
    bool bBehind = false;
    for (const std::wstring& strName : m_names)
        bBehind = bBehind || RunsOf(strName).front().llLcn >= m_pPartition->GetUsedClusters();
    EXPECT_TRUE(bBehind);
    CNetDefragPartitionListEntry entry;
    m_pPartition->FillListEntry(entry);
    EXPECT_GE(entry.m_llLastManualDefragTime, llBefore);
    ExpectVerified();
}

TEST_F(DefragRunTest, CompleteRunSendsRecentlyWrittenFilesToTheEnd)
{
    const struct
    {
        int32_t nMoveToEnd;
        bool bRecent;
        bool bAtEnd;
    } cases[] = {{1, true, true}, {1, false, false}, {0, true, false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.nMoveToEnd * 10 + c.bRecent);
        Start();
        FILETIME ftNow = {};
        ::GetSystemTimeAsFileTime(&ftNow);
        const LONGLONG llNow = static_cast<LONGLONG>(ftNow.dwHighDateTime) << 32 | ftNow.dwLowDateTime;
        // Written 1439 minutes before now, or 1441.
        const LONGLONG llMinute = 600000000LL;
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"late.bin", 4096 * 8, Contiguous(2000)));
        m_pVolume->Lookup(L"late.bin")->m_llModified = llNow - (c.bRecent ? 1439 : 1441) * llMinute;
        m_pPartition->SetMethod(true);
        m_pPartition->ForceMoveModifiedFilesToEnd(c.nMoveToEnd);
        uint32_t uRemaining = 0;
        ASSERT_TRUE(m_pPartition->Defragment(-1, 0, uRemaining));
        EXPECT_EQ(0, FragmentedOf(m_names));
        EXPECT_EQ(c.bAtEnd, RunsOf(L"late.bin").front().llLcn >= m_pPartition->GetUsedClusters());
        ExpectVerified();
        m_pPartition.reset();
    }
}

TEST_F(DefragRunTest, CheckBeforeTheRun)
{
    const struct
    {
        DWORD dwSetting;
        bool bClean;
        bool bResult;
        int nChecks;
        int32_t nState;
    } cases[] = {{2, true, true, 1, STATE_IDLE},
                 {2, false, false, 1, STATE_FAULTY},
                 {1, true, true, 0, STATE_IDLE},   // before background steps only
                 {3, false, false, 1, STATE_FAULTY}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.dwSetting * 10 + c.bClean);
        SetSetting(L"RunChkDskBeforeDefrag", c.dwSetting);
        Start();
        g_bCheckClean = c.bClean;
        g_nChecks = 0;
        native::ChkdskEx = &ScriptedChecker;
        uint32_t uRemaining = 0;
        EXPECT_EQ(c.bResult, m_pPartition->Defragment(-1, 0, uRemaining));
        EXPECT_EQ(c.nChecks, g_nChecks);
        EXPECT_EQ(c.nState, m_pPartition->GetState());
        EXPECT_EQ(c.bResult ? 0 : 4, FragmentedOf(m_names));
        ExpectVerified();
        m_pPartition.reset();
    }
}

TEST_F(DefragRunTest, StopInEachPhase)
{
    const struct
    {
        const char* pszPhase;
        int32_t nStopAt;   // the state whose first report asks for the stop
        bool bResult;
        bool bSomeMoved;
    } cases[] = {{"analysis", STATE_ANALYZING, false, false}, {"pending pass", STATE_DEFRAGMENTING, false, true}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszPhase);
        Start();
        HANDLE hStop = m_pPartition->GetStopEvent();
        const int32_t nStopAt = c.nStopAt;
        m_owner.m_onEntry = [hStop, nStopAt](const CNetDefragPartitionListEntry& entry) {
            if (entry.m_nState == nStopAt)
                ::SetEvent(hStop);
        };
        m_pPartition->SetMethod(true);
        uint32_t uRemaining = 0;
        EXPECT_EQ(c.bResult, m_pPartition->Defragment(-1, 0, uRemaining));
        m_owner.m_onEntry = nullptr;
        EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
        EXPECT_NE(WAIT_OBJECT_0, ::WaitForSingleObject(hStop, 0));
        EXPECT_EQ(c.bSomeMoved, FragmentedOf(m_names) < 4);
        EXPECT_GT(FragmentedOf(m_names), 0);
        ExpectVerified();
        m_pPartition.reset();
    }
}

} // namespace
