// The reader walks real NTFS volumes, made by another implementation of the file system, and
// must see every base record as ntfsinfo reports it: names with their namespaces and
// parents, attributes in list order with names, sizes and VCN ranges, and every run.
#include "engine/NtfsRecordReader.h"
#include "engine/UnicodeString.h"
#include "platform/sys.h"
#include "tests/engine/NativeBinding.h"
#include "tests/ntfsref/ImageVolume.h"
#include "tests/ntfsref/OracleTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace ntfsref {
namespace {

std::string Narrow(const std::wstring& str) { return std::string(str.begin(), str.end()); }

std::wstring ImagePath(const char* pszImage, const char* pszExtension)
{
    // Wine shows the host's file system as drive Z:.
    std::string strPath = std::string("Z:") + NTFSREF_IMAGES + "/" + pszImage + pszExtension;
    for (char& ch : strPath)
        ch = ch == '/' ? '\\' : ch;
    return std::wstring(strPath.begin(), strPath.end());
}

template <typename T> T At(const BYTE* p, size_t nOffset)
{
    T value;
    memcpy(&value, p + nOffset, sizeof(value));
    return value;
}

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
        ORACLE_ATTRIBUTE attribute = {-1, At<DWORD>(p, 0), p[8] != 0, 0, -1, 0, AttributeName(p), {}};
        if (!attribute.bNonResident)
            attribute.llDataSize = At<DWORD>(p, 16);
        else
        {
            attribute.llLowestVcn = At<LONGLONG>(p, 16);
            attribute.llHighestVcn = At<LONGLONG>(p, 24);
            attribute.llDataSize = attribute.llLowestVcn == 0 ? At<LONGLONG>(p, 48) : -1;
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
        if (At<DWORD>(p, 0) != 0x30 || p[8] != 0)
            continue;
        const BYTE* pValue = p + At<WORD>(p, 20);
        names.push_back({static_cast<LONGLONG>(At<ULONGLONG>(pValue, 0) & 0xFFFFFFFFFFFFull), pValue[65],
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

INSTANTIATE_TEST_SUITE_P(Images, RealVolumeTest, ::testing::Values("small512", "rec4k", "c64k", "mounted"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

} // namespace ntfsref
