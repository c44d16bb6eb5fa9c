#include "engine/HandleSnapshot.h"
#include "engine/NativeFunctions.h"
#include "engine/NtfsRecordReader.h"
#include "base/UnicodeString.h"

#include "tests/engine/NativeBinding.h"
#include "tests/base/StringText.h"
#include "simdisk/SimProcesses.h"
#include "simdisk/SimVerifier.h"
#include "tests/simdisk/SimFixture.h"

#include <map>
#include <set>

namespace {

std::string Narrow(const std::wstring& str) { return std::string(str.begin(), str.end()); }

bool SameRuns(const std::vector<SIM_RUN>& a, const std::vector<SIM_RUN>& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const SIM_RUN& x, const SIM_RUN& y) {
               return x.llVcn == y.llVcn && x.llLcn == y.llLcn && x.llLength == y.llLength;
           });
}

// The reader and the handle lookup against simulated volumes, which lay their records out
// as NTFS does and answer the handle table and process list of a simulated system.
class SimDiskReaderTest : public CSimFixture
{
protected:
    void SetUp() override {}
    void TearDown() override
    {
        CSimFixture::TearDown();
        EXPECT_TRUE(nativetest::BindWithFmifs());
    }

    void Mount(DWORD dwBytesPerRecord, int nMftPieces, LONGLONG llFirstUserRecord = ntfs::FirstUserRecord)
    {
        SIM_FORMAT format;
        format.llTotalClusters = 200000;
        format.dwBytesPerRecord = dwBytesPerRecord;
        format.nMftPieces = nMftPieces;
        format.llMftRecords = 4096;
        format.llFirstUserRecord = llFirstUserRecord;
        m_pVolume = &m_system.Mount(CSimVolume::Format(format), L'S');
        m_system.Install();
        ASSERT_TRUE(native::BindNativeFunctions()) << "the simulator answers the chkdsk library";
        m_hVolume = OpenVolume();
        ASSERT_NE(INVALID_HANDLE_VALUE, m_hVolume);
    }

    // The runs of every non-resident stream of the loaded record, pieces joined, by type and name.
    static std::map<std::pair<DWORD, std::wstring>, std::vector<SIM_RUN>> Streams(const CNtfsRecordReader& reader)
    {
        std::map<std::pair<DWORD, std::wstring>, std::vector<SIM_RUN>> streams;
        for (const BYTE* p = reader.NextAttribute(nullptr, true); p != nullptr; p = reader.NextAttribute(p, true))
        {
            int nName = 0;
            const wchar_t* pszName = CNtfsRecordReader::GetAttributeName(p, nName);
            DWORD dwType = 0;
            memcpy(&dwType, p, 4);
            std::vector<SIM_RUN>& runs = streams[{dwType, std::wstring(pszName ? pszName : L"", nName)}];
            DATA_RUN_CURSOR cursor = {};
            SIM_RUN run = {};
            int nStatus = 0;
            while (reader.NextDataRun(reader.GetRecordNumber(), p, cursor, run.llLcn, run.llLength, run.llVcn, nStatus))
                runs.push_back(run);
            EXPECT_NE(CNtfsRecordReader::RunMalformed, nStatus);
        }
        return streams;
    }

    // Every base record of a file in use, with the file that owns it.
    std::map<LONGLONG, const CSimFile*> BaseRecords() const
    {
        std::map<LONGLONG, const CSimFile*> records;
        for (LONGLONG r = 0; r < m_pVolume->MftRecords(); ++r)
        {
            const CSimFile* pFile = m_pVolume->RecordOwner(static_cast<ULONGLONG>(r));
            if (pFile != nullptr && pFile->m_ullId == static_cast<ULONGLONG>(r))
                records[r] = pFile;
        }
        return records;
    }

    // Walks the MFT and checks every record against the file the simulator holds.
    void ExpectWalkMatchesTheVolume()
    {
        std::map<LONGLONG, const CSimFile*> expected = BaseRecords();
        CNtfsRecordReader reader(m_hVolume, m_pVolume->BytesPerRecord(), m_pVolume->BytesPerCluster());
        std::set<LONGLONG> walked;
        for (LONGLONG r = reader.BeginEnumeration(); r != CNtfsRecordReader::NoRecord; r = reader.NextBaseRecord(r))
        {
            walked.insert(r);
            auto it = expected.find(r);
            if (it == expected.end())
                continue;
            const CSimFile& file = *it->second;
            EXPECT_FALSE(reader.IsRecordDamaged()) << r;
            EXPECT_FALSE(CNtfsRecordReader::HasAttributeList(reader.GetRecord())) << r;
            CUnicodeString strPath;
            if (r != static_cast<LONGLONG>(ntfs::RecordRoot))
            {
                EXPECT_TRUE(reader.GetRecordPath(r, strPath)) << r;
                EXPECT_EQ(m_pVolume->RelativePath(file), Text(strPath)) << r;
            }
            auto streams = Streams(reader);
            // The merged view leaves the attribute list out, resident or not.
            for (const CSimStream& stream : file.m_streams)
            {
                if (stream.m_bResident || stream.m_runs.empty() || stream.m_dwType == ntfs::AttributeList)
                    continue;
                auto found = streams.find({stream.m_dwType, stream.m_strName});
                ASSERT_NE(streams.end(), found) << r << " type " << stream.m_dwType;
                EXPECT_TRUE(SameRuns(stream.m_runs, found->second)) << r << " type " << stream.m_dwType;
            }
        }
        std::set<LONGLONG> wanted;
        for (const auto& record : expected)
            wanted.insert(record.first);
        EXPECT_EQ(wanted, walked);
        EXPECT_FALSE(reader.GetDirtyFlag());
    }

    HANDLE m_hVolume = INVALID_HANDLE_VALUE;
};

struct LAYOUT
{
    DWORD dwBytesPerRecord;
    int nMftPieces;
    SIM_NTFS_LAYOUT ntfs = {};
    const char* pszName = "";
};

class SimDiskLayoutTest : public SimDiskReaderTest, public ::testing::WithParamInterface<LAYOUT>
{
};

// Fragmented files, one with so many pieces that its runs spill into extension records behind
// an attribute list, a named stream, a sparse file and a stale MFT bit, on a fragmented MFT;
// a directory whose 40 named streams overflow its record, with files below it.
TEST_P(SimDiskLayoutTest, WalkGivesEveryFileWithItsPathAndRuns)
{
    Mount(GetParam().dwBytesPerRecord, GetParam().nMftPieces);
    ASSERT_TRUE(m_pVolume->SetNtfsLayout(GetParam().ntfs));
    ASSERT_NE(nullptr, m_pVolume->CreateDirectory(L"streams"));
    for (int i = 0; i < 40; ++i)
        ASSERT_NE(nullptr, m_pVolume->CreateStream(L"streams", L"s" + std::to_wstring(i), 9));
    m_pVolume->CreateDirectory(L"streams\\sub");
    m_pVolume->CreateFile(L"streams\\sub\\deep.txt", 4096);
    m_pVolume->CreateDirectory(L"dir");
    m_pVolume->CreateDirectory(L"dir\\sub");
    m_pVolume->CreateFile(L"dir\\a.txt", 4096 * 40, Fragmented(5, 50000));
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"dir\\sub\\many.bin", 4096 * 6000, Interleaved(3000, 60000)));
    m_pVolume->CreateStream(L"dir\\a.txt", L"s", 4096 * 3, Fragmented(2, 90000));
    m_pVolume->CreateFile(L"root.txt", 4096 * 2);
    CSimVerifier verifier(*m_pVolume);
    EXPECT_TRUE(verifier.Run()) << (verifier.Problems().empty() ? std::string() : Narrow(verifier.Problems()[0]));
    m_pVolume->SetStaleMftBit(300);
    ASSERT_FALSE(m_pVolume->Lookup(L"dir\\sub\\many.bin")->m_extensions.empty())
        << "the file must need extension records";
    if (GetParam().dwBytesPerRecord == 1024)
    {
        ASSERT_FALSE(m_pVolume->Lookup(L"streams")->m_extensions.empty()) << "the directory must overflow";
    }
    ExpectWalkMatchesTheVolume();
}

// The layouts of the simulator, and those of another implementation of NTFS that real volumes
// show: names moved out first, pieces numbered within their records, lists in clusters.
LAYOUT RealLayout(DWORD dwBytesPerRecord, int nMftPieces, const char* pszName)
{
    LAYOUT layout = {dwBytesPerRecord, nMftPieces};
    layout.ntfs.bNamesMoveOutFirst = true;
    layout.ntfs.bInstancesPerRecord = true;
    layout.ntfs.bListAlwaysNonResident = true;
    layout.pszName = pszName;
    return layout;
}

INSTANTIATE_TEST_SUITE_P(Layouts, SimDiskLayoutTest,
                         ::testing::Values(LAYOUT{1024, 1}, LAYOUT{1024, 6}, LAYOUT{4096, 1},
                                           RealLayout(1024, 1, "Real"), RealLayout(1024, 6, "Real"),
                                           RealLayout(4096, 1, "Real")),
                         [](const ::testing::TestParamInfo<LAYOUT>& info) {
                             return std::string(info.param.pszName) + "Record" +
                                    std::to_string(info.param.dwBytesPerRecord) + "Mft" +
                                    std::to_string(info.param.nMftPieces) + "Pieces";
                         });

struct RECORD_CHOICE
{
    LONGLONG llFirstUserRecord;
    BYTE byLoneNameSpace;
};

class SimDiskRecordChoiceTest : public SimDiskReaderTest, public ::testing::WithParamInterface<RECORD_CHOICE>
{
};

// Where ordinary files start in the MFT and which namespace a name without a DOS name carries
// differ between volumes; the walk finds every file with its path either way.
TEST_P(SimDiskRecordChoiceTest, WalkIsTheSameWhereverFilesStartAndWhateverTheirNamespace)
{
    Mount(1024, 1, GetParam().llFirstUserRecord);
    m_pVolume->m_byLoneNameSpace = GetParam().byLoneNameSpace;
    m_pVolume->CreateDirectory(L"dir");
    m_pVolume->CreateFile(L"dir\a.txt", 4096 * 4, Fragmented(2, 50000));
    CSimFile* pShort = m_pVolume->CreateFile(L"Long File Name.txt", 4096);
    pShort->m_strShortName = L"LONGFI~1.TXT";
    pShort->m_dwFlags |= SimFileDosNameFirst;
    m_pVolume->Relayout(*pShort);
    EXPECT_EQ(static_cast<ULONGLONG>(GetParam().llFirstUserRecord), m_pVolume->Lookup(L"dir")->m_ullId);
    ExpectWalkMatchesTheVolume();
}

INSTANTIATE_TEST_SUITE_P(Choices, SimDiskRecordChoiceTest,
                         ::testing::Values(RECORD_CHOICE{64, 1}, RECORD_CHOICE{30, 1}, RECORD_CHOICE{28, 3},
                                           RECORD_CHOICE{64, 0}),
                         [](const ::testing::TestParamInfo<RECORD_CHOICE>& info) {
                             return "FirstUserRecord" + std::to_string(info.param.llFirstUserRecord) + "Namespace" +
                                    std::to_string(info.param.byLoneNameSpace);
                         });

TEST_F(SimDiskReaderTest, FailuresOfTheVolumeMarkItDirty)
{
    Mount(1024, 1);
    m_pVolume->CreateFile(L"f.txt", 4096);
    ULONGLONG ullFile = m_pVolume->Lookup(L"f.txt")->m_ullId;
    {
        CNtfsRecordReader reader(m_hVolume, 1024, 4096);
        EXPECT_FALSE(reader.IsVolumeDirty());
        m_pVolume->m_bDirty = true;
        EXPECT_TRUE(reader.IsVolumeDirty());
        m_pVolume->m_bDirty = false;
    }
    SIM_FAULT recordFault;
    recordFault.dwCode = FSCTL_GET_NTFS_FILE_RECORD;
    recordFault.llRecord = static_cast<LONGLONG>(ullFile);
    recordFault.status = ntstatus::IoDeviceError;
    SIM_FAULT rawFault;
    rawFault.eCall = SIM_CALL::ReadFile;
    rawFault.status = ntstatus::IoDeviceError;
    for (const SIM_FAULT& fault : {recordFault, rawFault})
    {
        m_system.Faults().Clear();
        m_system.Faults().Add(fault);
        CNtfsRecordReader reader(m_hVolume, 1024, 4096);
        LONGLONG r = reader.BeginEnumeration();
        while (r != CNtfsRecordReader::NoRecord)
            r = reader.NextBaseRecord(r);
        EXPECT_TRUE(reader.GetDirtyFlag());
    }
}

TEST_F(SimDiskReaderTest, FindRecordByPathOnAVolume)
{
    Mount(1024, 1);
    m_pVolume->CreateDirectory(L"Docs");
    m_pVolume->CreateFile(L"Docs\\desktop.ini", 100);
    m_pVolume->CreateFile(L"desktop.ini", 100);
    CNtfsRecordReader reader(m_hVolume, 1024, 4096);
    LONGLONG llFound = -1;
    ASSERT_TRUE(reader.FindRecordByPath(CUnicodeString(L"docs\\DESKTOP.INI"), llFound));
    EXPECT_EQ(static_cast<LONGLONG>(m_pVolume->Lookup(L"Docs\\desktop.ini")->m_ullId), llFound);
    ASSERT_TRUE(reader.FindRecordByPath(CUnicodeString(L"desktop.ini"), llFound));
    EXPECT_EQ(static_cast<LONGLONG>(m_pVolume->Lookup(L"desktop.ini")->m_ullId), llFound);
}

// A file held without sharing by the System process and by the shell is found in their
// handles, by drive letter and by volume GUID name.
TEST_F(SimDiskReaderTest, HeldFileIsFoundInTheHoldersHandles)
{
    Mount(1024, 1);
    m_pVolume->CreateDirectory(L"dir");
    m_pVolume->CreateFile(L"dir\\held.txt", 4096 * 2);
    m_pVolume->CreateFile(L"dir\\other.txt", 4096);
    DWORD dwExplorer = FindExplorerProcessId();
    EXPECT_EQ(m_system.Processes().ExplorerPid(), dwExplorer);
    std::wstring strGuidRoot = m_pVolume->GuidPath();
    for (BYTE byType : {BYTE(28), BYTE(25)})
    {
        m_system.m_byFileObjectType = byType;
        EXPECT_EQ(byType, GetFileObjectTypeNumber(L"S:\\"));
    }
    for (DWORD dwHolder : {DWORD(4), dwExplorer})
    {
        SCOPED_TRACE(dwHolder);
        ASSERT_TRUE(m_system.Processes().Hold(dwHolder, *m_pVolume, L"dir\\other.txt", GENERIC_READ, 0));
        ASSERT_TRUE(m_system.Processes().Hold(dwHolder, *m_pVolume, L"dir\\held.txt", GENERIC_READ, 0));
        for (const std::wstring& strRoot : {std::wstring(L"S:\\"), strGuidRoot})
        {
            CHandleSnapshot snapshot(dwHolder);
            HANDLE hFound = snapshot.FindFileHandle(strRoot.c_str(), GetFileObjectTypeNumber(strRoot.c_str()),
                                                    (strRoot + L"dir\\held.txt").c_str());
            ASSERT_NE(INVALID_HANDLE_VALUE, hFound) << std::string(strRoot.begin(), strRoot.end());
            BY_HANDLE_FILE_INFORMATION stInfo = {};
            EXPECT_TRUE(sys::GetFileInformationByHandle(hFound, &stInfo));
            EXPECT_EQ(4096u * 2, stInfo.nFileSizeLow);
            EXPECT_TRUE(sys::CloseHandle(hFound));
            CHandleSnapshot again(dwHolder);
            EXPECT_EQ(INVALID_HANDLE_VALUE,
                      again.FindFileHandle(strRoot.c_str(), 25, (strRoot + L"dir\\missing.txt").c_str()));
        }
    }
}

} // namespace
