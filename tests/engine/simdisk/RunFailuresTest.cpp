// What a run writes to the event log about the files it left: one summary with the counts by
// reason, then the first few failed calls in full, naming the file, the call, its answer and
// the place in the file and on the volume.
#include "PartitionFixture.h"

#include "platform/NtStatus.h"

#include <string>
#include <vector>

namespace {

class RunFailuresTest : public CPartitionFixture
{
protected:
    std::vector<std::wstring> EventsWith(const std::wstring& strPart)
    {
        std::vector<std::wstring> texts;
        for (const CRecordingOwner::EVENT& event : m_owner.Events())
            if (event.strText.find(strPart) != std::wstring::npos)
                texts.push_back(event.strText);
        return texts;
    }
};

TEST_F(RunFailuresTest, TheRunNamesTheFileTheCallTheAnswerAndThePlaceForTheFirstFewFailures)
{
    struct CASE
    {
        const char* pszName;
        SIM_CALL eCall;
        DWORD dwCode;
        const wchar_t* pszFaultPath;   // empty: every file
        int nFiles;
        const wchar_t* pszDetail;      // what every failure written in full says
        int32_t CDefragPartition::RUN_SKIPS::*pnSkips;
        const wchar_t* pszSkipsText;   // the summary's words after the count of that reason
        int nFailures;
    };
    const CASE cases[] = {
        {"every move refused with an I/O error", SIM_CALL::Control, FSCTL_MOVE_FILE, L"", 8,
         L"FSCTL_MOVE_FILE answered status 0xC0000185 at VCN 0, LCN ", &CDefragPartition::RUN_SKIPS::nMoveFailed,
         L" refused or cut short by the file system", 8},
        {"one file that cannot be opened", SIM_CALL::CreateFile, 0, L"f2.bin", 3,
         L"CreateFileW answered Win32 error 1117", &CDefragPartition::RUN_SKIPS::nNotOpened, L" not opened", 1},
    };
    wchar_t cLetter = L'K';
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        SetSetting(L"UseIOGuard", 0);
        Mount(SIM_FS::Ntfs, 30000, cLetter);
        std::vector<std::wstring> paths;
        for (int i = 0; i < c.nFiles; ++i)
        {
            const std::wstring strName = L"f" + std::to_wstring(i) + L".bin";
            ASSERT_NE(nullptr, m_pVolume->CreateFile(strName, 4096 * 12, Fragmented(4, 2000)));
            paths.push_back(std::wstring(1, cLetter) + L":\\" + strName);
        }
        Partition();
        m_pPartition->SetMethod(false);
        ASSERT_TRUE(m_pPartition->Analyze());
        SIM_FAULT fault;
        fault.eCall = c.eCall;
        fault.dwCode = c.dwCode;
        fault.strPath = c.pszFaultPath;
        fault.status = ntstatus::IoDeviceError;
        m_system.Faults().Add(fault);
        m_owner.ClearEvents();

        uint32_t uRemaining = 0;
        m_pPartition->Defragment(-1, 0, uRemaining);

        const CDefragPartition::RUN_SKIPS& skips = m_pPartition->GetRunSkips();
        const int nCounted = skips.*c.pnSkips;
        EXPECT_EQ(c.nFailures, nCounted);
        const std::vector<std::wstring> summaries = EventsWith(L"Defragmentation of ");
        ASSERT_EQ(1u, summaries.size());
        EXPECT_NE(std::wstring::npos, summaries[0].find(std::to_wstring(nCounted) + c.pszSkipsText)) << summaries[0];
        const int nInFull = std::min(c.nFailures, CRunFailures::InFull);
        const std::wstring strTold = c.nFailures > nInFull ? std::to_wstring(c.nFailures) + L" failed calls, the first " +
                                                                 std::to_wstring(nInFull) + L" follow"
                                                           : std::to_wstring(c.nFailures) + L" failed calls follow";
        EXPECT_NE(std::wstring::npos, summaries[0].find(strTold)) << summaries[0];

        const std::vector<std::wstring> details = EventsWith(L" stayed as it was: ");
        ASSERT_EQ(static_cast<size_t>(nInFull), details.size());
        for (const std::wstring& strDetail : details)
        {
            EXPECT_NE(std::wstring::npos, strDetail.find(c.pszDetail)) << strDetail;
            bool bNamed = false;
            for (const std::wstring& strPath : paths)
                bNamed = bNamed || strDetail.compare(0, strPath.size() + 1, strPath + L" ") == 0;
            EXPECT_TRUE(bNamed) << strDetail;
        }
        for (const CRecordingOwner::EVENT& event : m_owner.Events())
            EXPECT_EQ(EVENTLOG_WARNING_TYPE, event.wType);

        m_system.Faults().Clear();
        m_pPartition.reset();
        ++cLetter;
    }
}

} // namespace
