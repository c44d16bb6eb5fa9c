// The simulator's encoding set beside a real volume's: with the layout switches on, a file
// whose runs overflow its record and a directory whose named streams do are spread over their
// records as the real volumes spread them.
#include "simdisk/SimVolume.h"
#include "tests/ntfsref/ImageVolume.h"
#include "tests/ntfsref/OracleTable.h"
#include "tests/ntfsref/RecordLayout.h"
#include "tests/simdisk/SimFixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace ntfsref {
namespace {

// What the comparison holds both layouts to.
std::vector<bool> Facts(const RECORD_LAYOUT& layout, DWORD dwType, const std::wstring& strStream)
{
    return {layout.bList, layout.bListNonResident, layout.NamesInExtensions(), layout.InstancesPerRecord(),
            layout.ContinuationsOwnInstances(), layout.Pieces(dwType, strStream) > 1};
}

struct LAYOUT_CASE
{
    const char* pszImage;
    const wchar_t* pszPath;   // of the file on both volumes
    DWORD dwType;             // and the stream whose pieces count
    const wchar_t* pszStream;
    std::function<bool(CSimVolume&)> fnBuild;
};

} // namespace

class SimulatedLayoutTest : public CSimFixture
{
protected:
    void SetUp() override {}

    RECORD_LAYOUT RealLayout(const LAYOUT_CASE& c)
    {
        ORACLE_VOLUME oracle;
        std::string strError;
        EXPECT_TRUE(LoadOracle(ImagePath(c.pszImage, ".tsv"), oracle, strError)) << strError;
        LONGLONG llRecord = -1;
        for (const auto& record : oracle.records)
            for (const ORACLE_NAME& name : record.second.names)
                if (OraclePath(oracle, name) == c.pszPath)
                    llRecord = record.first;
        CImageVolume volume;
        EXPECT_TRUE(volume.Open(ImagePath(c.pszImage, ".img"), strError)) << strError;
        RECORD_LAYOUT layout;
        EXPECT_TRUE(ReadLayout(volume.Handle(), oracle.dwBytesPerRecord, oracle.dwBytesPerCluster, llRecord, layout));
        return layout;
    }

    RECORD_LAYOUT SimulatedLayout(const LAYOUT_CASE& c, const SIM_NTFS_LAYOUT& switches)
    {
        SIM_FORMAT format;
        format.llTotalClusters = 16384;
        format.dwBytesPerCluster = 512;
        format.dwBytesPerRecord = 1024;
        // Each layout lives on a volume of its own; a volume's name follows its serial.
        format.dwSerial += ++m_nVolumes;
        MountAndInstall(format, L'S');
        EXPECT_TRUE(m_pVolume->SetNtfsLayout(switches));
        EXPECT_TRUE(c.fnBuild(*m_pVolume));
        RECORD_LAYOUT layout;
        const CSimFile* pFile = m_pVolume->Lookup(c.pszPath);
        EXPECT_NE(nullptr, pFile);
        EXPECT_TRUE(pFile != nullptr && ReadLayout(OpenVolume(), 1024, 512, static_cast<LONGLONG>(pFile->m_ullId), layout));
        return layout;
    }

    DWORD m_nVolumes = 0;
};

TEST_F(SimulatedLayoutTest, SwitchesGiveTheRealLayouts)
{
    const LAYOUT_CASE cases[] = {
        {"small512", L"frag", 0x80, L"",
         [](CSimVolume& v) { return v.CreateFile(L"frag", 400 * 512, Interleaved(400, 3000)) != nullptr; }},
        {"mounted", L"streams", 0x80, L"s39",
         [](CSimVolume& v) {
             bool bMade = v.CreateDirectory(L"streams") != nullptr;
             for (int i = 0; i < 40 && bMade; ++i)
                 bMade = v.CreateStream(L"streams", L"s" + std::to_wstring(100 + i).substr(1), 9) != nullptr;
             return bMade;
         }},
    };
    SIM_NTFS_LAYOUT real;
    real.bNamesMoveOutFirst = true;
    real.bInstancesPerRecord = true;
    real.bListAlwaysNonResident = true;
    for (const LAYOUT_CASE& c : cases)
    {
        SCOPED_TRACE(c.pszImage);
        RECORD_LAYOUT expected = RealLayout(c);
        ASSERT_TRUE(expected.bList) << "the real file must overflow its record";
        RECORD_LAYOUT simulated = SimulatedLayout(c, real);
        EXPECT_EQ(Facts(expected, c.dwType, c.pszStream), Facts(simulated, c.dwType, c.pszStream));
        RECORD_LAYOUT own = SimulatedLayout(c, SIM_NTFS_LAYOUT());
        EXPECT_TRUE(own.bList);
        EXPECT_FALSE(own.NamesInExtensions()) << "the simulator's own layout keeps the names in the base record";
    }
}

} // namespace ntfsref
