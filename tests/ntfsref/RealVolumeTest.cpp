// The reader walks real NTFS volumes, made by another implementation of the file system, and
// must see every base record as ntfsinfo reports it: names with their namespaces and
// parents, attributes in list order with names, sizes and VCN ranges, and every run.
#include "engine/NtfsRecordReader.h"
#include "base/UnicodeString.h"
#include "platform/LittleEndian.h"
#include "platform/sys.h"
#include "tests/engine/NativeBinding.h"
#include "tests/ntfsref/ImageVolume.h"
#include "tests/ntfsref/OracleTable.h"
#include "tests/base/StringText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace ntfsref {
namespace {

std::string Narrow(const std::wstring& str) { return std::string(str.begin(), str.end()); }

using le::Get;

std::wstring AttributeName(const BYTE* pAttribute)
{
    int nLength = 0;
    const wchar_t* pszName = CNtfsRecordReader::GetAttributeName(pAttribute, nLength);
    return pszName != nullptr ? std::wstring(pszName, nLength) : std::wstring();
}

// The loaded record's attributes in the oracle's terms; runs only for non-resident ones.
std::vector<ORACLE_ATTRIBUTE> ReaderAttributes(const CNtfsRecordReader& reader, std::vector<int>& ends)
{
    std::vector<ORACLE_ATTRIBUTE> attributes;
    for (const BYTE* p = reader.NextAttribute(nullptr, false); p != nullptr; p = reader.NextAttribute(p, false))
    {
        ORACLE_ATTRIBUTE attribute = {-1, Get<DWORD>(p, 0), p[8] != 0, 0, -1, 0, AttributeName(p), {}};
        if (!attribute.bNonResident)
            attribute.llDataSize = Get<DWORD>(p, 16);
        else
        {
            attribute.llLowestVcn = Get<LONGLONG>(p, 16);
            attribute.llHighestVcn = Get<LONGLONG>(p, 24);
            attribute.llDataSize = attribute.llLowestVcn == 0 ? Get<LONGLONG>(p, 48) : -1;
            DATA_RUN_CURSOR cursor = {};
            ORACLE_RUN run = {};
            int nStatus = 0;
            while (reader.NextDataRun(reader.GetRecordNumber(), p, cursor, run.llLcn, run.llLength, run.llVcn, nStatus))
                attribute.runs.push_back(run);
            ends.push_back(nStatus);
        }
        attributes.push_back(attribute);
    }
    return attributes;
}

std::vector<ORACLE_NAME> ReaderNames(const CNtfsRecordReader& reader)
{
    std::vector<ORACLE_NAME> names;
    for (const BYTE* p = reader.NextAttribute(nullptr, false); p != nullptr; p = reader.NextAttribute(p, false))
    {
        if (Get<DWORD>(p, 0) != 0x30 || p[8] != 0)
            continue;
        const BYTE* pValue = p + Get<WORD>(p, 20);
        names.push_back({static_cast<LONGLONG>(Get<ULONGLONG>(pValue, 0) & 0xFFFFFFFFFFFFull), pValue[65],
                         std::wstring(reinterpret_cast<const wchar_t*>(pValue + 66), pValue[64])});
    }
    return names;
}

// Where each non-resident piece's walk must end: on, when the next non-resident attribute
// carries the same stream on from the next VCN, or at its end.
std::vector<int> ExpectedEnds(const std::vector<ORACLE_ATTRIBUTE>& attributes)
{
    std::vector<const ORACLE_ATTRIBUTE*> pieces;
    for (const ORACLE_ATTRIBUTE& attribute : attributes)
        if (attribute.bNonResident)
            pieces.push_back(&attribute);
    std::vector<int> ends;
    for (size_t i = 0; i < pieces.size(); ++i)
    {
        bool bOn = i + 1 < pieces.size() && pieces[i + 1]->dwType == pieces[i]->dwType &&
                   pieces[i + 1]->strName == pieces[i]->strName &&
                   pieces[i + 1]->llLowestVcn == pieces[i]->llHighestVcn + 1;
        ends.push_back(bOn ? CNtfsRecordReader::RunContinues : CNtfsRecordReader::RunEnd);
    }
    return ends;
}

::testing::AssertionResult SameAttributes(const std::vector<ORACLE_ATTRIBUTE>& expected,
                                          const std::vector<ORACLE_ATTRIBUTE>& actual)
{
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure() << expected.size() << " attributes expected, " << actual.size() << " read";
    for (size_t i = 0; i < expected.size(); ++i)
    {
        const ORACLE_ATTRIBUTE& e = expected[i];
        const ORACLE_ATTRIBUTE& a = actual[i];
        if (e.dwType != a.dwType || e.strName != a.strName || e.bNonResident != a.bNonResident ||
            e.llDataSize != a.llDataSize || (e.bNonResident && (e.llLowestVcn != a.llLowestVcn ||
                                                                e.llHighestVcn != a.llHighestVcn || e.runs != a.runs)))
            return ::testing::AssertionFailure()
                   << "attribute " << i << " (type " << e.dwType << " '" << Narrow(e.strName)
                   << "'): expected size " << e.llDataSize << " VCNs " << e.llLowestVcn << "-" << e.llHighestVcn
                   << " runs " << e.runs.size() << "; read type " << a.dwType << " '"
                   << Narrow(a.strName) << "' size " << a.llDataSize << " VCNs " << a.llLowestVcn << "-"
                   << a.llHighestVcn << " runs " << a.runs.size();
    }
    return ::testing::AssertionSuccess();
}

bool SameNames(const std::vector<ORACLE_NAME>& a, const std::vector<ORACLE_NAME>& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const ORACLE_NAME& x, const ORACLE_NAME& y) {
               return x.llParent == y.llParent && x.nNamespace == y.nNamespace && x.strName == y.strName;
           });
}

} // namespace

class RealVolumeTest : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(nativetest::BindWithFmifs());
        std::string strError;
        ASSERT_TRUE(LoadOracle(ImagePath(GetParam(), ".tsv"), m_oracle, strError)) << strError;
        ASSERT_TRUE(m_volume.Open(ImagePath(GetParam(), ".img"), strError)) << strError;
        DWORD dwReturned = 0;
        ASSERT_TRUE(sys::DeviceIoControl(m_volume.Handle(), FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &m_data,
                                         sizeof(m_data), &dwReturned, nullptr));
    }

    CNtfsRecordReader Reader() const
    {
        return CNtfsRecordReader(m_volume.Handle(), m_data.BytesPerFileRecordSegment, m_data.BytesPerCluster);
    }

    ORACLE_VOLUME m_oracle;
    CImageVolume m_volume;
    NTFS_VOLUME_DATA_BUFFER m_data = {};
};

TEST_P(RealVolumeTest, GeometryVersionAndFlagsMatch)
{
    EXPECT_EQ(m_oracle.dwBytesPerCluster, m_data.BytesPerCluster);
    EXPECT_EQ(m_oracle.dwBytesPerRecord, m_data.BytesPerFileRecordSegment);
    EXPECT_EQ(m_oracle.dwBytesPerSector, m_data.BytesPerSector);
    CNtfsRecordReader reader = Reader();
    BYTE byMajor = 0;
    BYTE byMinor = 0;
    WORD wFlags = 0xFFFF;
    ASSERT_TRUE(reader.GetVolumeInformation(byMajor, byMinor, wFlags));
    EXPECT_EQ(m_oracle.nMajor, byMajor);
    EXPECT_EQ(m_oracle.nMinor, byMinor);
    EXPECT_EQ(m_oracle.dwFlags, wFlags);
    EXPECT_EQ((m_oracle.dwFlags & 1) != 0, reader.IsVolumeDirty());
}

// The merged view leaves the attribute list itself out; everything else comes in list order.
TEST_P(RealVolumeTest, WalkReadsEveryBaseRecordAsTheOracleReportsIt)
{
    CNtfsRecordReader reader = Reader();
    std::set<LONGLONG> walked;
    for (LONGLONG llRecord = reader.BeginEnumeration(); llRecord != CNtfsRecordReader::NoRecord;
         llRecord = reader.NextBaseRecord(llRecord))
    {
        SCOPED_TRACE(::testing::Message() << "record " << llRecord);
        walked.insert(llRecord);
        auto it = m_oracle.records.find(llRecord);
        ASSERT_NE(m_oracle.records.end(), it) << "walked, but not a base record in use";
        const ORACLE_RECORD& expected = it->second;
        EXPECT_FALSE(reader.IsRecordDamaged());
        EXPECT_EQ(expected.bDirectory, CNtfsRecordReader::IsDirectoryRecord(reader.GetRecord()));
        EXPECT_TRUE(SameNames(expected.names, ReaderNames(reader)));

        std::vector<ORACLE_ATTRIBUTE> attributes;
        for (const ORACLE_ATTRIBUTE& attribute : expected.attributes)
            if (attribute.dwType != 0x20)
                attributes.push_back(attribute);
        std::vector<int> ends;
        EXPECT_TRUE(SameAttributes(attributes, ReaderAttributes(reader, ends)));
        EXPECT_EQ(ExpectedEnds(attributes), ends);

        int nLength = 0;
        LONGLONG llParent = 0;
        const wchar_t* pszName = CNtfsRecordReader::GetFileName(reader.GetRecord(), nLength, llParent);
        const ORACLE_NAME* pUsable = UsableName(expected);
        ASSERT_EQ(pUsable != nullptr, pszName != nullptr);
        if (pUsable != nullptr)
        {
            EXPECT_EQ(pUsable->strName, std::wstring(pszName, nLength));
            EXPECT_EQ(pUsable->llParent, llParent);
        }
    }
    EXPECT_FALSE(reader.GetDirtyFlag());
    std::set<LONGLONG> expected;
    for (const auto& record : m_oracle.records)
        expected.insert(record.first);
    EXPECT_EQ(expected, walked);
}

// A path is its directories' names down from the root, whichever record of a directory holds
// its name; a record whose directories cannot all be named has no path at all.
TEST_P(RealVolumeTest, RecordPathsFollowTheParents)
{
    CNtfsRecordReader reader = Reader();
    for (LONGLONG llRecord = reader.BeginEnumeration(); llRecord != CNtfsRecordReader::NoRecord;
         llRecord = reader.NextBaseRecord(llRecord))
    {
        auto it = m_oracle.records.find(llRecord);
        ASSERT_NE(m_oracle.records.end(), it);
        const ORACLE_NAME* pName = UsableName(it->second);
        std::wstring strExpected = pName != nullptr ? OraclePath(m_oracle, *pName) : std::wstring();
        CUnicodeString strPath;
        EXPECT_EQ(!strExpected.empty(), reader.GetRecordPath(llRecord, strPath)) << llRecord;
        EXPECT_EQ(Narrow(strExpected), Narrow(Text(strPath))) << llRecord;
        EXPECT_EQ(llRecord, reader.GetRecordNumber()) << "the walk's record stays loaded";
    }
}

// Every name of a record finds it by its path, each hard link in its own directory. Not on
// the volume whose MFT has an attribute list: its thousands of files share the root, and a
// lookup of them all takes a minute even on an idle machine.
class NameLookupTest : public RealVolumeTest
{
};

TEST_P(NameLookupTest, EveryNameFindsItsRecord)
{
    CNtfsRecordReader reader = Reader();
    for (const auto& record : m_oracle.records)
    {
        for (const ORACLE_NAME& name : record.second.names)
        {
            std::wstring strPath = name.nNamespace != 2 ? OraclePath(m_oracle, name) : std::wstring();
            if (strPath.empty())
                continue;
            LONGLONG llFound = -1;
            EXPECT_TRUE(reader.FindRecordByPath(CUnicodeString(strPath.c_str()), llFound)) << Narrow(strPath);
            EXPECT_EQ(record.first, llFound) << Narrow(strPath);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Images, RealVolumeTest, ::testing::Values("small512", "rec4k", "c64k", "mounted", "mftlist"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });
INSTANTIATE_TEST_SUITE_P(Images, NameLookupTest, ::testing::Values("small512", "rec4k", "c64k", "mounted"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });


// The volume made through the mount holds the two layouts that paths and lookups must get
// through: a directory whose $FILE_NAME was moved to an extension record by its 40 named
// streams, and a file with 31 hard links in three directories.
class MountedVolumeTest : public RealVolumeTest
{
protected:
    LONGLONG RecordOf(const std::wstring& strPath) const
    {
        for (const auto& record : m_oracle.records)
            for (const ORACLE_NAME& name : record.second.names)
                if (OraclePath(m_oracle, name) == strPath)
                    return record.first;
        return -1;
    }
};

TEST_P(MountedVolumeTest, FileInADirectoryNamedByAnExtensionRecordHasItsPath)
{
    LONGLONG llDirectory = RecordOf(L"streams");
    ASSERT_NE(-1, llDirectory);
    const ORACLE_RECORD& directory = m_oracle.records.at(llDirectory);
    auto itName = std::find_if(directory.attributes.begin(), directory.attributes.end(),
                               [](const ORACLE_ATTRIBUTE& a) { return a.dwType == 0x30; });
    ASSERT_NE(directory.attributes.end(), itName);
    ASSERT_NE(llDirectory, itName->llHolder) << "the directory's name must lie in an extension record";

    CNtfsRecordReader reader = Reader();
    for (const wchar_t* pszPath : {L"streams\\inner.txt", L"streams\\sub\\deep.txt", L"streams\\sub"})
    {
        SCOPED_TRACE(Narrow(pszPath));
        LONGLONG llRecord = RecordOf(pszPath);
        ASSERT_NE(-1, llRecord);
        ASSERT_TRUE(reader.LoadRecord(llRecord));
        CUnicodeString strPath;
        ASSERT_TRUE(reader.GetRecordPath(llRecord, strPath));
        EXPECT_EQ(Narrow(pszPath), Narrow(Text(strPath)));
        LONGLONG llFound = -1;
        EXPECT_TRUE(reader.FindRecordByPath(CUnicodeString(pszPath), llFound));
        EXPECT_EQ(llRecord, llFound);
    }
}

TEST_P(MountedVolumeTest, EveryHardLinkFindsTheFile)
{
    LONGLONG llFile = RecordOf(L"links\\target.txt");
    ASSERT_NE(-1, llFile);
    const std::vector<ORACLE_NAME>& names = m_oracle.records.at(llFile).names;
    ASSERT_EQ(31u, names.size());
    CNtfsRecordReader reader = Reader();
    for (const ORACLE_NAME& name : names)
    {
        std::wstring strPath = OraclePath(m_oracle, name);
        LONGLONG llFound = -1;
        EXPECT_TRUE(reader.FindRecordByPath(CUnicodeString(strPath.c_str()), llFound)) << Narrow(strPath);
        EXPECT_EQ(llFile, llFound) << Narrow(strPath);
    }
}

INSTANTIATE_TEST_SUITE_P(Images, MountedVolumeTest, ::testing::Values("mounted"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// The MFT of this volume is in so many runs that record 0 has an attribute list and the
// MFT's data goes on in an extension record; records in use lie beyond the first piece, so
// that the walk above reaches them only through the second.
class MftListVolumeTest : public RealVolumeTest
{
};

TEST_P(MftListVolumeTest, TheMftGoesOnInAnExtensionRecordWithRecordsInUseThere)
{
    const std::vector<ORACLE_ATTRIBUTE>& attributes = m_oracle.records.at(0).attributes;
    EXPECT_NE(attributes.end(), std::find_if(attributes.begin(), attributes.end(),
                                             [](const ORACLE_ATTRIBUTE& a) { return a.dwType == 0x20; }));
    std::vector<const ORACLE_ATTRIBUTE*> pieces;
    for (const ORACLE_ATTRIBUTE& attribute : attributes)
        if (attribute.dwType == 0x80 && attribute.strName.empty())
            pieces.push_back(&attribute);
    ASSERT_GE(pieces.size(), 2u);
    const ORACLE_ATTRIBUTE& second = *pieces[1];
    EXPECT_NE(0, second.llHolder);
    EXPECT_GT(pieces[0]->runs.size(), 100u) << "a fragmented MFT";
    const LONGLONG llFirstInSecond = second.llLowestVcn * m_data.BytesPerCluster / m_data.BytesPerFileRecordSegment;
    ASSERT_LT(llFirstInSecond, m_oracle.records.rbegin()->first);
    std::vector<BYTE> record;
    EXPECT_TRUE(m_volume.ReadRecord(m_oracle.records.rbegin()->first, record));
}

INSTANTIATE_TEST_SUITE_P(Images, MftListVolumeTest, ::testing::Values("mftlist"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

} // namespace ntfsref
