#include "engine/NtfsRecordReader.h"
#include "engine/StreamNamer.h"
#include "base/UnicodeString.h"

#include "NativeBinding.h"
#include "NtfsTestVolume.h"
#include "tests/base/StringText.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace ntfstest;
using Records = std::vector<LONGLONG>;

constexpr DWORD SI = 0x10, LIST = 0x20, FN = 0x30, VOLINFO = 0x70, DATA = 0x80, INDEX = 0xA0, BITMAP = 0xB0;
constexpr ULONGLONG Sequence1 = 1ull << 48;      // every test record has sequence number 1
constexpr ULONGLONG MftExtension = Sequence1;     // base record 0

template <typename T>
T FieldOf(const BYTE* p)
{
    T value;
    memcpy(&value, p, sizeof(value));
    return value;
}

struct RUN_OUT
{
    LONGLONG llLcn, llLength, llVcn;
    int nStatus;
    bool operator==(const RUN_OUT& o) const
    {
        return llLcn == o.llLcn && llLength == o.llLength && llVcn == o.llVcn && nStatus == o.nStatus;
    }
};

std::ostream& operator<<(std::ostream& os, const RUN_OUT& r)
{
    return os << "{" << r.llLcn << "," << r.llLength << "," << r.llVcn << "," << r.nStatus << "}";
}

class NtfsRecordReaderTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(nativetest::BindWithFmifs()); }

    static Records Walk(CNtfsRecordReader& reader, bool bBaseOnly)
    {
        Records records;
        LONGLONG llRecord = reader.BeginEnumeration();
        if (bBaseOnly)
        {
            for (; llRecord != CNtfsRecordReader::NoRecord; llRecord = reader.NextBaseRecord(llRecord))
                records.push_back(llRecord);
            return records;
        }
        for (; llRecord != CNtfsRecordReader::NoRecord; llRecord = reader.NextRecord(llRecord))
            records.push_back(llRecord);
        return records;
    }

    static std::vector<DWORD> Types(const CNtfsRecordReader& reader)
    {
        std::vector<DWORD> types;
        for (const BYTE* p = reader.NextAttribute(nullptr, false); p != nullptr; p = reader.NextAttribute(p, false))
            types.push_back(FieldOf<DWORD>(p));
        return types;
    }

    static const BYTE* Nth(const CNtfsRecordReader& reader, DWORD dwType, int nSkip = 0)
    {
        for (const BYTE* p = reader.NextAttribute(nullptr, false); p != nullptr; p = reader.NextAttribute(p, false))
        {
            if (FieldOf<DWORD>(p) == dwType && nSkip-- == 0)
                return p;
        }
        return nullptr;
    }

    // Every run of one attribute, then what ended the walk.
    static std::vector<RUN_OUT> Runs(const CNtfsRecordReader& reader, const BYTE* pAttribute)
    {
        std::vector<RUN_OUT> runs;
        DATA_RUN_CURSOR cursor = {};
        RUN_OUT run = {};
        while (reader.NextDataRun(reader.GetRecordNumber(), pAttribute, cursor, run.llLcn, run.llLength, run.llVcn,
                                  run.nStatus))
            runs.push_back(run);
        runs.push_back({0, 0, 0, run.nStatus});
        return runs;
    }

    static std::wstring StreamPath(CNtfsRecordReader& reader, const BYTE* pAttribute)
    {
        CUnicodeString strPath;
        reader.GetStreamPath(reader.GetRecordNumber(), pAttribute, strPath);
        return Text(strPath);
    }
};

// Enumeration

// A volume whose MFT bitmap lies in two runs (the second before the first on the disk), with
// an extension record, a stale bit, a record not in use, an extension of the MFT itself and a
// record in the second chunk; the bitmap's last cluster is set behind its initialized size.
void PutGappedVolume(CTestVolume& volume)
{
    DWORD dwRecord = volume.BytesPerRecord();
    volume.PutRoot();
    volume.PutDirectory(16, 5, L"dir");
    volume.PutFile(17, 16, L"a.txt");
    volume.Put(18, CRecord(dwRecord, CRecord::InUse, 17).Resident(DATA, 4, Bytes(8, 'e'), L"more").Build());
    volume.Put(20, CRecord(dwRecord, CRecord::InUse, MftExtension).Resident(DATA, 1, Bytes(8, 'm'), L"x").Build());
    volume.Put(21, CRecord(dwRecord, 0).Resident(SI, 0, StandardInformationValue(1)).Build());
    volume.PutFile(5000, 5, L"far.txt");
    volume.FinishMft({{1, 100}, {1, 50}}, {19});
}

TEST_F(NtfsRecordReaderTest, EnumeratesRecordsInUseAcrossBitmapChunks)
{
    CTestVolume volume(1024, 512);
    PutGappedVolume(volume);
    CNtfsRecordReader reader(volume.Handle(), 1024, 512);

    EXPECT_EQ((Records{0, 5, 16, 17, 20, 5000}), Walk(reader, false));
    EXPECT_FALSE(reader.GetDirtyFlag()) << "the end of the bitmap is no failure";
    std::set<LONGLONG> setBits = {0, 5, 16, 17, 18, 19, 20, 21, 5000};
    for (LONGLONG llAsked : volume.m_asked)
        EXPECT_TRUE(setBits.count(llAsked) != 0) << "asked for record " << llAsked << " whose bit is clear";

    EXPECT_EQ((Records{0, 5, 16, 17, 5000}), Walk(reader, true)) << "the MFT's own extension is no base record";
}

TEST_F(NtfsRecordReaderTest, FailedMftReadsEndTheWalkAsAFailure)
{
    struct CASE
    {
        const char* pszName;
        std::function<void(CTestVolume&)> damage;
        Records walked;
    };
    const DWORD dwRecord = 1024;
    auto mftWithBitmap = [dwRecord](CTestVolume& volume, const Bytes& bitmap) {
        volume.Put(0, CRecord(dwRecord, CRecord::InUse)
                          .Resident(FN, 1, FileNameValue(5, L"$MFT", 3))
                          .Raw(volume.MftData(5001))
                          .Raw(bitmap)
                          .Build());
    };
    auto mftWithSizes = [dwRecord](CTestVolume& volume, const Bytes& data, const Bytes& bitmap) {
        volume.Put(0, CRecord(dwRecord, CRecord::InUse).Raw(data).Raw(bitmap).Build());
    };
    auto nonResident = [dwRecord](DWORD dwType, LONGLONG llHighestVcn, const std::vector<RUN_SPEC>& runs,
                                  LONGLONG llSize) {
        Bytes attribute = CRecord(dwRecord, 0).NonResident(dwType, 3, 0, llHighestVcn, EncodeRuns(runs), llSize).Build();
        return Bytes(attribute.begin() + 56, attribute.begin() + 56 + FieldOf<DWORD>(attribute.data() + 60));
    };
    const CASE cases[] = {
        {"record read fails", [](CTestVolume& v) { v.m_llFailRecord = 17; }, {0, 5, 16}},
        {"second bitmap run unreadable", [](CTestVolume& v) { v.m_llFailLcn = 50; }, {0, 5, 16, 17, 20}},
        {"bitmap resident",
         [&](CTestVolume& v) {
             Bytes attribute = CRecord(dwRecord, 0).Resident(BITMAP, 3, Bytes(8, 0xFF)).Build();
             mftWithBitmap(v, Bytes(attribute.begin() + 56, attribute.begin() + 56 + 32));
         },
         {}},
        {"bitmap run missing where records are",
         [&](CTestVolume& v) {
             Bytes attribute =
                 CRecord(dwRecord, 0).NonResident(BITMAP, 3, 0, 1, EncodeRuns({{1, 100}}), 632).Build();
             mftWithBitmap(v, Bytes(attribute.begin() + 56, attribute.begin() + 56 + 72));
         },
         {0, 5, 16, 17, 20}},
        {"sparse bitmap run where records are", [](CTestVolume& v) { v.FinishMft({{1, 100}, {1, Sparse}}, {19}); },
         {0, 5, 16, 17, 20}},
        {"MFT without a size",
         [&](CTestVolume& v) { mftWithSizes(v, {}, nonResident(BITMAP, 1, {{1, 100}, {1, 50}}, 632)); }, {}},
        {"sizes of the largest kind",
         [&](CTestVolume& v) {
             mftWithSizes(v, nonResident(DATA, MAXLONGLONG - 1, {{MAXLONGLONG, 16}}, MAXLONGLONG),
                          nonResident(BITMAP, (1LL << 60) - 1, {{1LL << 60, 100}}, MAXLONGLONG));
         },
         {}},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CTestVolume volume(dwRecord, 512);
        PutGappedVolume(volume);
        c.damage(volume);
        CNtfsRecordReader reader(volume.Handle(), dwRecord, 512);
        EXPECT_EQ(c.walked, Walk(reader, false));
        EXPECT_TRUE(reader.GetDirtyFlag());
    }
}

// The bitmap may claim more than the MFT holds; only bits of records the MFT has count, down
// to the bit, and no record behind the MFT's end is asked for.
TEST_F(NtfsRecordReaderTest, MftBitmapCountsOnlyRecordsOfTheMft)
{
    CTestVolume volume(1024, 512);
    PutGappedVolume(volume);
    volume.PutFile(21, 5, L"past.txt");
    volume.FinishMft({{1, 100}, {1, 50}}, {19}, 21);
    CNtfsRecordReader reader(volume.Handle(), 1024, 512);

    EXPECT_EQ((Records{0, 5, 16, 17, 20}), Walk(reader, false));
    EXPECT_FALSE(reader.GetDirtyFlag());
    for (LONGLONG llAsked : volume.m_asked)
        EXPECT_LT(llAsked, 21) << "asked for a record behind the MFT's end";
}

// The MFT's own bitmap can sit in one of its extension records, named by its attribute list.
TEST_F(NtfsRecordReaderTest, MftBitmapIsFoundThroughTheMftsAttributeList)
{
    CTestVolume volume(1024, 512);
    PutGappedVolume(volume);
    Bytes bitmap = CRecord(1024, 0).NonResident(BITMAP, 3, 0, 1, EncodeRuns({{1, 100}, {1, 50}}), 632).Build();
    volume.Put(20, CRecord(1024, CRecord::InUse, MftExtension)
                       .Raw(Bytes(bitmap.begin() + 56, bitmap.begin() + 56 + 72))
                       .Build());
    Bytes list = ListEntry(SI, 0, 0);
    Bytes entry = ListEntry(FN, 0, 1);
    list.insert(list.end(), entry.begin(), entry.end());
    entry = ListEntry(DATA, 0, 2);
    list.insert(list.end(), entry.begin(), entry.end());
    entry = ListEntry(BITMAP, 20, 3);
    list.insert(list.end(), entry.begin(), entry.end());
    volume.Put(0, CRecord(1024, CRecord::InUse)
                      .Resident(SI, 0, StandardInformationValue(1))
                      .Resident(LIST, 2, list)
                      .Resident(FN, 1, FileNameValue(5, L"$MFT", 3))
                      .Raw(volume.MftData(5001))
                      .Build());
    CNtfsRecordReader reader(volume.Handle(), 1024, 512);

    EXPECT_EQ((Records{0, 5, 16, 17, 20, 5000}), Walk(reader, false));
    EXPECT_FALSE(reader.GetDirtyFlag());
}

TEST_F(NtfsRecordReaderTest, ReadFileRecordTellsARecordNotInUse)
{
    CTestVolume volume;
    volume.PutRoot();
    volume.FinishMft({{1, 100}});
    CNtfsRecordReader reader(volume.Handle(), 1024, 4096);
    Bytes buffer(1024 + 15);
    auto pBuffer = reinterpret_cast<NTFS_FILE_RECORD_OUTPUT_BUFFER*>(buffer.data());

    EXPECT_TRUE(reader.ReadFileRecord(5, pBuffer, static_cast<DWORD>(buffer.size())));
    EXPECT_FALSE(reader.ReadFileRecord(6, pBuffer, static_cast<DWORD>(buffer.size())));
    EXPECT_EQ(-1, pBuffer->FileReferenceNumber.QuadPart);
    volume.m_asked.clear();
    EXPECT_FALSE(reader.ReadFileRecord(-1, pBuffer, static_cast<DWORD>(buffer.size())));
    EXPECT_TRUE(volume.m_asked.empty()) << "record -1 is refused before the file system is asked";
    EXPECT_FALSE(reader.LoadRecord(6));
    EXPECT_EQ(-1, reader.GetRecordNumber());
}

// Paths

class NtfsPathTest : public NtfsRecordReaderTest
{
protected:
    void SetUp() override
    {
        NtfsRecordReaderTest::SetUp();
        m_volume.PutRoot();
        m_volume.Put(16, CRecord(1024, CRecord::InUseDirectory)
                             .Resident(SI, 0, StandardInformationValue(1))
                             .Resident(FN, 1, FileNameValue(5, L"dir"))
                             .NonResident(INDEX, 2, 0, 0, EncodeRuns({{1, 40}}), 4096, L"$I30")
                             .Resident(BITMAP, 3, Bytes(8, 1), L"$I30")
                             .Build());
        // As on real volumes, the DOS name comes first.
        m_volume.Put(17, CRecord(1024, CRecord::InUse)
                             .Resident(SI, 0, StandardInformationValue(1))
                             .Resident(FN, 1, FileNameValue(16, L"A~1.TXT", 2))
                             .Resident(FN, 2, FileNameValue(16, L"a.txt", 1))
                             .NonResident(DATA, 3, 0, 1, EncodeRuns({{2, 60}}), 8000)
                             .NonResident(DATA, 4, 0, 0, EncodeRuns({{1, 70}}), 100, L"s")
                             .Build());
        m_volume.PutFile(18, 5, L"b.txt");
        m_volume.PutFile(19, 30, L"c.txt");
        m_volume.PutDirectory(30, 5, L"later");
        m_volume.FinishMft({{1, 100}});
    }

    // Directories whose parents loop (40 and 41; 42 is its own), a chain of the returned number
    // of directories with 250-character names from 100 in the root downwards, deeper than any
    // path may be, and "short" (300) below its eleventh.
    int PutDamagedParents()
    {
        m_volume.PutDirectory(40, 41, L"loop1");
        m_volume.PutDirectory(41, 40, L"loop2");
        m_volume.PutDirectory(42, 42, L"self");
        const int nChain = 140;
        for (int i = 0; i < nChain; ++i)
            m_volume.PutDirectory(100 + i, i == 0 ? 5 : 99 + i,
                                  std::wstring(250, static_cast<wchar_t>(L'a' + i % 26)));
        m_volume.PutDirectory(300, 100 + 10, L"short");
        return nChain;
    }

    CTestVolume m_volume;
};

TEST_F(NtfsPathTest, RecordAndStreamPathsFollowTheParents)
{
    CNtfsRecordReader reader(m_volume.Handle(), 1024, 4096);
    CUnicodeString strPath;
    EXPECT_FALSE(reader.BuildPath(5, strPath));
    EXPECT_FALSE(reader.BuildPath(7, strPath));
    ASSERT_TRUE(reader.BuildPath(16, strPath));
    EXPECT_EQ(L"dir\\", Text(strPath));

    std::vector<std::wstring> paths;
    for (LONGLONG llRecord = reader.BeginEnumeration(); llRecord != CNtfsRecordReader::NoRecord;
         llRecord = reader.NextRecord(llRecord))
    {
        for (const BYTE* p = reader.NextAttribute(nullptr, true); p != nullptr; p = reader.NextAttribute(p, true))
            paths.push_back(StreamPath(reader, p));
        if (llRecord == 19)
        {
            CUnicodeString strRecord;
            ASSERT_TRUE(reader.GetRecordPath(19, strRecord));
            EXPECT_EQ(L"later\\c.txt", Text(strRecord));
            EXPECT_EQ(19, reader.GetRecordNumber()) << "the parent is read aside";
            EXPECT_EQ(std::vector<DWORD>({SI, FN, DATA}), Types(reader));
        }
    }
    EXPECT_EQ((std::vector<std::wstring>{L"$MFT", L"$MFT::$BITMAP", L"dir", L"dir\\a.txt", L"dir\\a.txt:s:$DATA"}),
              paths);

    ASSERT_TRUE(reader.LoadRecord(16));
    EXPECT_EQ(L"dir:$I30:$BITMAP", StreamPath(reader, Nth(reader, BITMAP)));
    ASSERT_TRUE(reader.LoadRecord(17));
    int nNamed = reader.GetAttributeIndex(Nth(reader, DATA, 1));
    EXPECT_EQ(4, nNamed);
    ASSERT_TRUE(reader.GetStreamPathByIndex(17, nNamed, strPath));
    EXPECT_EQ(L"dir\\a.txt:s:$DATA", Text(strPath));
    ASSERT_TRUE(reader.GetStreamPathByIndex(17, 0, strPath));
    EXPECT_EQ(L"dir\\a.txt", Text(strPath));
    EXPECT_EQ(L"dir\\a.txt", StreamPath(reader, reader.NextAttribute(nullptr, false)))
        << "the attribute at position 0 gives the record path alone, as the position does";
    EXPECT_FALSE(reader.GetStreamPathByIndex(18, 0, strPath)) << "record 18 is not the loaded one";
    ASSERT_TRUE(reader.LoadRecord(18));
    ASSERT_TRUE(reader.GetRecordPath(18, strPath));
    EXPECT_EQ(L"b.txt", Text(strPath));
}

TEST_F(NtfsPathTest, RecordWithoutAUsableNameHasNoPath)
{
    m_volume.Put(20, CRecord(1024, CRecord::InUse)
                         .Resident(FN, 1, FileNameValue(16, L"DOSONLY", 2))
                         .NonResident(DATA, 2, 0, 0, EncodeRuns({{1, 80}}), 10)
                         .Build());
    CNtfsRecordReader reader(m_volume.Handle(), 1024, 4096);
    ASSERT_TRUE(reader.LoadRecord(20));
    CUnicodeString strPath(L"old");
    EXPECT_FALSE(reader.GetRecordPath(20, strPath));
    EXPECT_EQ(0, strPath.GetLength());
    EXPECT_FALSE(reader.GetStreamPath(20, Nth(reader, DATA), strPath));
    EXPECT_EQ(0, strPath.GetLength());
}

// On a damaged volume the parents may loop or go on for ever; the walk stops either way and
// the file is left without a path rather than given its name alone, as if it lay in the root.
TEST_F(NtfsPathTest, ParentWalkStopsOnCyclesAndOverlongPaths)
{
    const int nChain = PutDamagedParents();
    struct CASE
    {
        LONGLONG llFile;
        LONGLONG llParent;
        bool bBuilt;
        bool bCycle;  // damage, where a path too long to build is none
    };
    const CASE cases[] = {
        {50, 40, false, true}, {51, 42, false, true}, {52, 99 + nChain, false, false}, {53, 300, true, false}};
    for (const CASE& c : cases)
        m_volume.PutFile(c.llFile, c.llParent, L"f.txt");
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.llFile);
        CNtfsRecordReader reader(m_volume.Handle(), 1024, 4096);
        CUnicodeString strPath;
        EXPECT_EQ(c.bBuilt, reader.BuildPath(c.llParent, strPath));
        EXPECT_EQ(c.bCycle, reader.GetDirtyFlag());
        ASSERT_TRUE(reader.LoadRecord(c.llFile));
        EXPECT_EQ(c.bBuilt, reader.GetRecordPath(c.llFile, strPath));
        EXPECT_EQ(c.bBuilt ? 11 * 251 + 6 + 5 : 0, strPath.GetLength());
    }
}

// The analysis names streams through its own cache of directory paths: every stream must get
// the reader's path behind the root, or none where the reader has none, and a cycle among the
// parents must still mark the volume.
TEST_F(NtfsPathTest, StreamNamerGivesTheReadersPathsBehindItsRoot)
{
    const int nChain = PutDamagedParents();
    m_volume.PutDirectory(301, 300, L"deeper");
    const std::pair<LONGLONG, LONGLONG> files[] = {
        {50, 40}, {51, 99 + nChain}, {52, 301}, {53, 300}, {54, 17}, {55, 7}, {56, 999}, {57, 41}};
    for (const auto& file : files)
        m_volume.PutFile(file.first, file.second, L"f.txt");
    m_volume.FinishMft({{1, 100}});

    std::vector<std::wstring> named;
    CNtfsRecordReader reader(m_volume.Handle(), 1024, 4096);
    {
        CStreamNamer namer(reader, CUnicodeString(L"C:\\"));
        for (LONGLONG llRecord = reader.BeginEnumeration(); llRecord != CNtfsRecordReader::NoRecord;
             llRecord = reader.NextRecord(llRecord))
        {
            namer.Begin(llRecord);
            for (const BYTE* p = reader.NextAttribute(nullptr, false); p != nullptr; p = reader.NextAttribute(p, false))
            {
                int nLength = -1;
                const wchar_t* pszPath = namer.Path(p, nLength);
                ASSERT_EQ(static_cast<size_t>(nLength), std::wcslen(pszPath));
                named.push_back(std::to_wstring(llRecord) + L" " + pszPath);
            }
        }
    }
    EXPECT_TRUE(reader.GetDirtyFlag()) << "the parents of loop1 and loop2 form a cycle";

    std::vector<std::wstring> expected;
    CNtfsRecordReader reference(m_volume.Handle(), 1024, 4096);
    for (LONGLONG llRecord = reference.BeginEnumeration(); llRecord != CNtfsRecordReader::NoRecord;
         llRecord = reference.NextRecord(llRecord))
    {
        for (const BYTE* p = reference.NextAttribute(nullptr, false); p != nullptr;
             p = reference.NextAttribute(p, false))
        {
            CUnicodeString strPath;
            const bool bNamed = reference.GetStreamPath(llRecord, p, strPath);
            expected.push_back(std::to_wstring(llRecord) + L" " + (bNamed ? L"C:\\" + Text(strPath) : L""));
        }
    }
    EXPECT_EQ(expected, named);
    // Files behind a cycle, a path too long, a parent that is a file, a system record or no
    // record at all have no path; the deep file below the long chain has its whole one.
    for (const wchar_t* pszNone : {L"50 ", L"51 ", L"54 ", L"55 ", L"56 ", L"57 "})
        EXPECT_NE(named.end(), std::find(named.begin(), named.end(), pszNone)) << std::wstring(pszNone).c_str();
    const std::wstring strDeep = L"\\short\\deeper\\f.txt";
    EXPECT_LT(0, std::count_if(named.begin(), named.end(), [&](const std::wstring& str) {
                  return str.compare(0, 6, L"52 C:\\") == 0 && str.size() > strDeep.size() &&
                         str.compare(str.size() - strDeep.size(), strDeep.size(), strDeep) == 0;
              }));
}

// A file is found by its whole relative path, compared as NTFS compares names; a bare name is
// a file of the root, not the first file of that name anywhere.
TEST_F(NtfsPathTest, FindRecordByPathMatchesTheWholePath)
{
    m_volume.PutFile(25, 16, L"desktop.ini");
    m_volume.PutFile(60, 5, L"desktop.ini");
    m_volume.FinishMft({{1, 100}});
    CNtfsRecordReader reader(m_volume.Handle(), 1024, 4096);
    struct CASE
    {
        const wchar_t* pszPath;
        LONGLONG llRecord;
    };
    const CASE cases[] = {
        {L"desktop.ini", 60},         {L"dir\\desktop.ini", 25},    {L"DIR\\Desktop.INI", 25},
        {L"dir\\desktop.ini:s:$DATA", 25}, {L"dir\\a.txt::$DATA", 17}, {L"later\\c.txt", 19},
        {L"ir\\desktop.ini", -1},     {L"x\\dir\\desktop.ini", -1}, {L"later\\desktop.ini", -1},
        {L"dir\\", -1},               {L"", -1},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(testing::Message() << std::wstring(c.pszPath).c_str());
        LONGLONG llFound = -1;
        EXPECT_EQ(c.llRecord != -1, reader.FindRecordByPath(CUnicodeString(c.pszPath), llFound));
        EXPECT_EQ(c.llRecord, llFound);
    }
}

// Data runs

TEST_F(NtfsRecordReaderTest, DataRunsDecodeSignedOffsetsSparseRunsAndWideFields)
{
    CTestVolume volume;
    volume.Put(60, CRecord(1024, CRecord::InUse)
                       .Resident(FN, 1, FileNameValue(5, L"runs.bin"))
                       .NonResident(DATA, 2, 0, 25, EncodeRuns({{16, 1000}, {5, Sparse}, {3, 100}, {2, 0x123456789}}),
                                    26 * 4096)
                       .NonResident(DATA, 3, 0, 0x0102030405 - 1, EncodeRuns({{0x0102030405, 0x10000}}, 8), 1, L"w")
                       .Build());
    CNtfsRecordReader reader(volume.Handle(), 1024, 4096);
    ASSERT_TRUE(reader.LoadRecord(60));
    EXPECT_FALSE(reader.IsRecordDamaged());
    const int A = CNtfsRecordReader::RunAllocated, S = CNtfsRecordReader::RunSparse, E = CNtfsRecordReader::RunEnd;
    EXPECT_EQ((std::vector<RUN_OUT>{{1000, 16, 0, A}, {-1, 5, 16, S}, {100, 3, 21, A}, {0x123456789, 2, 24, A},
                                    {0, 0, 0, E}}),
              Runs(reader, Nth(reader, DATA)));
    EXPECT_EQ((std::vector<RUN_OUT>{{0x10000, 0x0102030405, 0, A}, {0, 0, 0, E}}), Runs(reader, Nth(reader, DATA, 1)));
    EXPECT_EQ(26, reader.GetClusterCount(60, Nth(reader, DATA)));
    EXPECT_EQ(1, reader.GetClusterCount(60, Nth(reader, DATA, 1)));
    EXPECT_EQ(0, reader.GetClusterCount(60, Nth(reader, FN)));
    EXPECT_EQ(0, reader.GetClusterCount(61, Nth(reader, DATA)));
}

TEST_F(NtfsRecordReaderTest, BadRunHeadersEndTheWalk)
{
    struct CASE
    {
        const char* pszName;
        Bytes pairs;
        int nEnd;
    };
    const int E = CNtfsRecordReader::RunEnd, M = CNtfsRecordReader::RunMalformed;
    const CASE cases[] = {
        {"header 0x00 before the last VCN", {0x11, 4, 10, 0x00}, E},
        {"header 0x90", {0x11, 4, 10, 0x90, 1, 2, 3, 4, 5, 6, 7, 8, 9}, M},
        {"length of 0 bytes", {0x11, 4, 10, 0x10, 5}, M},
        {"length of 9 bytes", {0x11, 4, 10, 0x19, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, M},
        {"run before cluster 0", {0x11, 4, 10, 0x11, 2, 0xF0}, M},
        {"run of no clusters", {0x11, 4, 10, 0x11, 0, 5}, M},
        {"run fields crossing the attribute's end", {0x11, 4, 10, 0x44, 1, 0, 0, 0}, M},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CTestVolume volume;
        volume.Put(60, CRecord(1024, CRecord::InUse).NonResident(DATA, 2, 0, 9, c.pairs, 10 * 4096).Build());
        CNtfsRecordReader reader(volume.Handle(), 1024, 4096);
        ASSERT_TRUE(reader.LoadRecord(60));
        EXPECT_EQ(c.nEnd == M, reader.IsRecordDamaged());
        std::vector<RUN_OUT> runs = Runs(reader, Nth(reader, DATA));
        EXPECT_EQ((std::vector<RUN_OUT>{{10, 4, 0, CNtfsRecordReader::RunAllocated}, {0, 0, 0, c.nEnd}}), runs);
    }
}

// Attribute lists

struct GEOMETRY
{
    DWORD dwBytesPerRecord;
    WORD wFirstAttribute;
    bool bResidentList;
};

class NtfsMergeTest : public NtfsRecordReaderTest, public ::testing::WithParamInterface<GEOMETRY>
{
};

// One $DATA in three pieces over extension records that the list names out of order, two of
// them in the same record, plus a named stream.
TEST_P(NtfsMergeTest, AttributeListMergesExtensionsInListOrder)
{
    const GEOMETRY g = GetParam();
    const DWORD dwRecord = g.dwBytesPerRecord;
    const WORD wFirst = g.wFirstAttribute;
    CTestVolume volume(dwRecord, 4096);
    volume.PutRoot();
    volume.Put(103, CRecord(dwRecord, CRecord::InUse, 100 | Sequence1, wFirst)
                        .NonResident(DATA, 5, 0, 9, EncodeRuns({{10, 500}}), 30 * 4096)
                        .NonResident(DATA, 7, 10, 19, EncodeRuns({{10, 600}}), 0)
                        .Build());
    volume.Put(101, CRecord(dwRecord, CRecord::InUse, 100 | Sequence1, wFirst)
                        .NonResident(DATA, 3, 20, 29, EncodeRuns({{10, 700}}), 0)
                        .Build());
    volume.Put(102, CRecord(dwRecord, CRecord::InUse, 100 | Sequence1, wFirst)
                        .NonResident(DATA, 2, 0, 0, EncodeRuns({{1, 800}}), 10, L"s")
                        .Build());
    Bytes list;
    for (const Bytes& entry : {ListEntry(SI, 100, 0), ListEntry(FN, 100, 2), ListEntry(DATA, 103, 5, 0),
                               ListEntry(DATA, 103, 7, 10), ListEntry(DATA, 101, 3, 20), ListEntry(DATA, 102, 2, 0, L"s")})
        list.insert(list.end(), entry.begin(), entry.end());
    CRecord base(dwRecord, CRecord::InUse, 0, wFirst);
    base.Resident(SI, 0, StandardInformationValue(77));
    if (g.bResidentList)
        base.Resident(LIST, 1, list);
    else
    {
        volume.PutClusters(300, list);
        base.NonResident(LIST, 1, 0, 0, EncodeRuns({{1, 300}}), static_cast<LONGLONG>(list.size()));
    }
    volume.Put(100, base.Resident(FN, 2, FileNameValue(5, L"big.bin")).Build());
    volume.FinishMft({{1, 90}});

    CNtfsRecordReader reader(volume.Handle(), dwRecord, 4096);
    volume.m_asked.clear();
    ASSERT_TRUE(reader.LoadRecord(100));
    EXPECT_EQ((Records{100, 103, 101, 102}), volume.m_asked) << "one read for each run of entries in one record";
    EXPECT_FALSE(reader.IsRecordDamaged());
    EXPECT_EQ(std::vector<DWORD>({SI, FN, DATA, DATA, DATA, DATA}), Types(reader));
    const BYTE* pRecord = reader.GetRecord()->FileRecordBuffer;
    EXPECT_EQ(56, FieldOf<WORD>(pRecord + 20));
    EXPECT_EQ(7, FieldOf<WORD>(pRecord + 40));
    EXPECT_EQ(77, CNtfsRecordReader::GetModificationTime(reader.GetRecord()));

    const int A = CNtfsRecordReader::RunAllocated, C = CNtfsRecordReader::RunContinues, E = CNtfsRecordReader::RunEnd;
    EXPECT_EQ((std::vector<RUN_OUT>{{500, 10, 0, A}, {0, 0, 0, C}}), Runs(reader, Nth(reader, DATA, 0)));
    EXPECT_EQ((std::vector<RUN_OUT>{{600, 10, 10, A}, {0, 0, 0, C}}), Runs(reader, Nth(reader, DATA, 1)));
    EXPECT_EQ((std::vector<RUN_OUT>{{700, 10, 20, A}, {0, 0, 0, E}}), Runs(reader, Nth(reader, DATA, 2)));
    EXPECT_EQ(L"big.bin:s:$DATA", StreamPath(reader, Nth(reader, DATA, 3)));

    Records walked;
    for (LONGLONG llRecord = reader.BeginEnumeration(); llRecord != CNtfsRecordReader::NoRecord;
         llRecord = reader.NextRecord(llRecord))
    {
        walked.push_back(llRecord);
        if (llRecord == 100)
        {
            EXPECT_EQ(std::vector<DWORD>({SI, FN, DATA, DATA, DATA, DATA}), Types(reader));
        }
    }
    EXPECT_EQ((Records{0, 5, 100}), walked) << "extension records are not enumerated";
}

INSTANTIATE_TEST_SUITE_P(Geometries, NtfsMergeTest,
                         ::testing::Values(GEOMETRY{1024, 56, false}, GEOMETRY{4096, 72, false},
                                           GEOMETRY{1024, 48, true}),
                         [](const ::testing::TestParamInfo<GEOMETRY>& info) {
                             return "Record" + std::to_string(info.param.dwBytesPerRecord) + "First" +
                                    std::to_string(info.param.wFirstAttribute) +
                                    (info.param.bResidentList ? "Resident" : "NonResident");
                         });

// Malformed records

Bytes Attribute(DWORD dwType, DWORD dwLength, size_t nBytes)
{
    Bytes attribute(nBytes, 0);
    memcpy(attribute.data(), &dwType, 4);
    memcpy(attribute.data() + 4, &dwLength, 4);
    return attribute;
}

Bytes ListOf(std::initializer_list<Bytes> entries)
{
    Bytes list;
    for (const Bytes& entry : entries)
        list.insert(list.end(), entry.begin(), entry.end());
    return list;
}

// Each damage ends the record's attribute walk where it starts, marks the record, and never
// reads outside it or loops.
TEST_F(NtfsRecordReaderTest, MalformedRecordsEndTheirWalkCleanly)
{
    struct CASE
    {
        const char* pszName;
        std::function<void(CRecord&)> tail;
        std::vector<DWORD> types;
    };
    Bytes nameOutside = Attribute(DATA, 32, 32);
    nameOutside[9] = 4;
    nameOutside[10] = 30;
    Bytes valueOutside = Attribute(DATA, 32, 32);
    valueOutside[16] = 40;
    valueOutside[20] = 24;
    Bytes pairsAtTheEnd = CRecord(1024, 0).NonResident(DATA, 2, 0, 3, {0x00}, 10).Build();
    pairsAtTheEnd = Bytes(pairsAtTheEnd.begin() + 56, pairsAtTheEnd.begin() + 56 + 72);
    pairsAtTheEnd[32] = 72;
    Bytes zeroEntry = ListEntry(DATA, 77, 3);
    zeroEntry[4] = zeroEntry[5] = 0;
    Bytes shortEntry = ListEntry(FN, 77, 2);
    shortEntry[4] = 16;
    Bytes shortNonResident = Attribute(DATA, 48, 48);
    shortNonResident[8] = 1;
    const CASE cases[] = {
        {"attribute length 0", [](CRecord& r) { r.Raw(Attribute(DATA, 0, 24)); }, {SI}},
        {"attribute shorter than its header", [](CRecord& r) { r.Raw(Attribute(DATA, 16, 24)); }, {SI}},
        {"non-resident attribute shorter than its header", [&](CRecord& r) { r.Raw(shortNonResident); }, {SI}},
        {"attribute longer than the record", [](CRecord& r) { r.Raw(Attribute(DATA, 0x10000, 24)); }, {SI}},
        {"name outside the attribute", [&](CRecord& r) { r.Raw(nameOutside); }, {SI}},
        {"value outside the attribute", [&](CRecord& r) { r.Raw(valueOutside); }, {SI}},
        {"mapping pairs at the attribute's end", [&](CRecord& r) { r.Raw(pairsAtTheEnd); }, {SI, DATA}},
        {"list entry of length 0",
         [&](CRecord& r) { r.Resident(LIST, 1, ListOf({ListEntry(SI, 77, 0), zeroEntry})); }, {SI}},
        {"list names a missing attribute",
         [](CRecord& r) { r.Resident(LIST, 1, ListOf({ListEntry(SI, 77, 0), ListEntry(DATA, 77, 9)})); }, {SI}},
        {"list entry shorter than its header",
         [&](CRecord& r) {
             r.Resident(FN, 2, FileNameValue(5, L"x")).Resident(LIST, 1, ListOf({ListEntry(SI, 77, 0), shortEntry}));
         },
         {SI}},
        {"list names another file's extension",
         [](CRecord& r) { r.Resident(LIST, 1, ListOf({ListEntry(SI, 77, 0), ListEntry(DATA, 78, 3)})); }, {SI}},
        {"list names an extension of the record's earlier file",
         [](CRecord& r) { r.Resident(LIST, 1, ListOf({ListEntry(SI, 77, 0), ListEntry(DATA, 76, 3)})); }, {SI}},
        {"list names a record not in use",
         [](CRecord& r) { r.Resident(LIST, 1, ListOf({ListEntry(SI, 77, 0), ListEntry(DATA, 79, 1)})); }, {SI}},
        {"list names itself",
         [](CRecord& r) { r.Resident(LIST, 1, ListOf({ListEntry(SI, 77, 0), ListEntry(LIST, 77, 1)})); },
         {SI, LIST}},
        {"non-resident list beyond its limit",
         [](CRecord& r) { r.NonResident(LIST, 1, 0, 99, EncodeRuns({{100, 200}}), 400 * 1024); }, {SI, LIST}},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CTestVolume volume;
        CRecord record(1024, CRecord::InUse);
        record.Resident(SI, 0, StandardInformationValue(5));
        c.tail(record);
        volume.Put(77, record.Build());
        const Bytes stream = EncodeRuns({{1, 80}});
        volume.Put(76, CRecord(1024, CRecord::InUse, 77 | (2ull << 48)).NonResident(DATA, 3, 0, 0, stream, 10).Build());
        volume.Put(78, CRecord(1024, CRecord::InUse, 90 | Sequence1).NonResident(DATA, 3, 0, 0, stream, 10).Build());
        CNtfsRecordReader reader(volume.Handle(), 1024, 4096);
        ASSERT_TRUE(reader.LoadRecord(77));
        EXPECT_TRUE(reader.IsRecordDamaged());
        EXPECT_EQ(c.types, Types(reader));
    }
}

TEST_F(NtfsRecordReaderTest, RecordHeadersThatDoNotFitHaveNoAttributes)
{
    CTestVolume volume;
    Bytes record = CRecord(1024, CRecord::InUse).Resident(SI, 0, StandardInformationValue(9)).Build();
    for (WORD wFirst : {0x500, 8})
    {
        memcpy(record.data() + 20, &wFirst, 2);
        volume.Put(wFirst == 8 ? 71 : 70, record);
    }
    const WORD wUsual = 56;
    memcpy(record.data() + 20, &wUsual, 2);
    memcpy(record.data(), "BAAD", 4);
    volume.Put(72, record);
    CNtfsRecordReader reader(volume.Handle(), 1024, 4096);
    for (LONGLONG llRecord : {70, 71, 72})
    {
        SCOPED_TRACE(llRecord);
        ASSERT_TRUE(reader.LoadRecord(llRecord));
        EXPECT_TRUE(reader.IsRecordDamaged());
        EXPECT_EQ(nullptr, reader.NextAttribute(nullptr, false));
        EXPECT_EQ(CNtfsRecordReader::NoTime, CNtfsRecordReader::GetModificationTime(reader.GetRecord()));
    }
}

// A list whose clusters cannot be read is a read failure, which makes a walk a failed one.
TEST_F(NtfsRecordReaderTest, UnreadableAttributeListFailsTheRecord)
{
    CTestVolume volume(1024, 4096, 1000);
    volume.PutRoot();
    volume.Put(77, CRecord(1024, CRecord::InUse)
                       .Resident(SI, 0, StandardInformationValue(5))
                       .NonResident(LIST, 1, 0, 0, EncodeRuns({{1, 5000}}), 64)
                       .Build());
    volume.FinishMft({{1, 90}});
    CNtfsRecordReader reader(volume.Handle(), 1024, 4096);
    EXPECT_FALSE(reader.LoadRecord(77));
    EXPECT_EQ((Records{0, 5}), Walk(reader, false));
    EXPECT_TRUE(reader.GetDirtyFlag());
}

// Record queries

TEST_F(NtfsRecordReaderTest, VolumeInformationDecidesTheDirtyFlag)
{
    struct CASE
    {
        const char* pszName;
        std::function<void(CTestVolume&)> put;
        bool bDirty;
    };
    auto volumeRecord = [](WORD wFlags) {
        Bytes value(12, 0);
        value[8] = 3;
        value[9] = 1;
        memcpy(value.data() + 10, &wFlags, 2);
        return CRecord(1024, CRecord::InUse).Resident(VOLINFO, 1, value).Build();
    };
    const CASE cases[] = {
        {"clean", [&](CTestVolume& v) { v.Put(3, volumeRecord(0)); }, false},
        {"dirty bit", [&](CTestVolume& v) { v.Put(3, volumeRecord(1)); }, true},
        {"no volume information",
         [](CTestVolume& v) { v.Put(3, CRecord(1024, CRecord::InUse).Resident(SI, 0, StandardInformationValue(1)).Build()); },
         true},
        {"record unreadable", [&](CTestVolume& v) { v.Put(3, volumeRecord(0)); v.m_llFailRecord = 3; }, true},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CTestVolume volume;
        volume.Put(0, CRecord(1024, CRecord::InUse).Build());
        c.put(volume);
        CNtfsRecordReader reader(volume.Handle(), 1024, 4096);
        EXPECT_EQ(c.bDirty, reader.IsVolumeDirty());
        EXPECT_EQ(c.bDirty, reader.GetDirtyFlag());
    }
    CTestVolume volume;
    volume.Put(3, volumeRecord(0));
    CNtfsRecordReader reader(volume.Handle(), 1024, 4096);
    BYTE byMajor = 0, byMinor = 0;
    WORD wFlags = 0xFFFF;
    ASSERT_TRUE(reader.GetVolumeInformation(byMajor, byMinor, wFlags));
    EXPECT_EQ(3, byMajor);
    EXPECT_EQ(1, byMinor);
    EXPECT_EQ(0, wFlags);
}

TEST_F(NtfsRecordReaderTest, RecordKindsAndTimes)
{
    CTestVolume volume;
    volume.Put(80, CRecord(1024, 0x2).Resident(SI, 0, StandardInformationValue(123)).Build());
    volume.Put(81, CRecord(1024, CRecord::InUseDirectory).Resident(FN, 0, FileNameValue(5, L"d")).Build());
    volume.Put(82, CRecord(1024, CRecord::InUse | 0x8).Resident(SI, 0, StandardInformationValue(5)).Build());
    CNtfsRecordReader reader(volume.Handle(), 1024, 4096);
    struct CASE
    {
        LONGLONG llRecord;
        bool bDirectory;
        LONGLONG llTime;
    };
    for (const CASE& c : {CASE{80, true, 123}, CASE{81, true, CNtfsRecordReader::NoTime}, CASE{82, false, 5}})
    {
        SCOPED_TRACE(c.llRecord);
        ASSERT_TRUE(reader.LoadRecord(c.llRecord));
        EXPECT_EQ(c.bDirectory, CNtfsRecordReader::IsDirectoryRecord(reader.GetRecord()));
        EXPECT_EQ(c.llTime, CNtfsRecordReader::GetModificationTime(reader.GetRecord()));
        EXPECT_FALSE(CNtfsRecordReader::HasAttributeList(reader.GetRecord()));
    }
}

TEST(NtfsRecordReader, UnmovableSystemAttributes)
{
    struct CASE
    {
        LONGLONG llRecord;
        int nCode;
        bool bUnmovable;
    };
    const int U = CNtfsRecordReader::UnnamedData;
    const CASE cases[] = {{1, 0x80, true},  {2, U, true},     {6, 0x30, true},   {7, 0x80, true},  {11, 0xA0, true},
                          {0, U, true},     {0, 0xB0, true},  {0, 0x80, false},  {5, U, true},     {5, 0x50, true},
                          {5, 0xA0, false}, {8, U, true},     {8, 0x80, true},   {8, 0xB0, false}, {3, U, false},
                          {9, U, false},    {12, U, false},   {100, 0x80, false}};
    for (const CASE& c : cases)
        EXPECT_EQ(c.bUnmovable, CNtfsRecordReader::IsUnmovableSystemAttribute(c.llRecord, c.nCode))
            << c.llRecord << " " << c.nCode;
}

} // namespace
