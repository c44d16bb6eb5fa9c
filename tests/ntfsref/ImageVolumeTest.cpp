// The image-backed volume on small images built here byte by byte: a boot sector and an MFT
// whose record 0 is laid out as a test needs it, where the made images cannot choose.
#include "tests/ntfsref/ImageVolume.h"

#include "platform/LittleEndian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace ntfsref {
namespace {

using le::Get;
using le::Put;

constexpr DWORD BytesPerCluster = 4096;
constexpr DWORD BytesPerRecord = 1024;
constexpr LONGLONG MftLcn = 1;
constexpr LONGLONG MftClusters = 4;
constexpr LONGLONG ImageClusters = 8;
constexpr WORD SequenceNumber = 0x0101;

void PutBootSector(std::vector<BYTE>& image)
{
    BYTE* p = image.data();
    std::memcpy(p + 3, "NTFS    ", 8);
    Put<WORD>(p, 0x0B, 512);
    p[0x0D] = static_cast<BYTE>(BytesPerCluster / 512);
    Put<LONGLONG>(p, 0x28, ImageClusters * BytesPerCluster / 512);
    Put<LONGLONG>(p, 0x30, MftLcn);
    Put<LONGLONG>(p, 0x38, MftLcn + MftClusters);
    // 2^10 bytes a record, written as the negative power.
    p[0x40] = static_cast<BYTE>(-10);
    Put<LONGLONG>(p, 0x48, 0x1234567890ABCDEFll);
}

// Record 0 of the MFT as it is read, fix-ups undone: a resident filler of the given length,
// then the MFT's own unnamed $DATA of the given length, then the end marker where it fits.
std::vector<BYTE> MftRecord(DWORD dwFillerLength, DWORD dwDataLength)
{
    std::vector<BYTE> record(BytesPerRecord, 0);
    BYTE* p = record.data();
    std::memcpy(p, "FILE", 4);
    Put<WORD>(p, 4, 48);
    Put<WORD>(p, 6, 3);
    Put<WORD>(p, 16, 1);
    Put<WORD>(p, 18, 1);
    Put<WORD>(p, 20, 56);
    Put<WORD>(p, 22, 1);
    Put<DWORD>(p, 28, BytesPerRecord);
    size_t nAt = 56;
    BYTE* pFiller = p + nAt;
    Put<DWORD>(pFiller, 0, 0x10);
    Put<DWORD>(pFiller, 4, dwFillerLength);
    Put<DWORD>(pFiller, 16, dwFillerLength - 24);
    Put<WORD>(pFiller, 20, 24);
    nAt += dwFillerLength;
    BYTE* pData = p + nAt;
    Put<DWORD>(pData, 0, 0x80);
    Put<DWORD>(pData, 4, dwDataLength);
    pData[8] = 1;
    Put<WORD>(pData, 10, 64);
    Put<LONGLONG>(pData, 24, MftClusters - 1);
    Put<WORD>(pData, 32, 64);
    for (size_t nSize : {40, 48, 56})
        Put<LONGLONG>(pData, nSize, MftClusters * BytesPerCluster);
    // One run: MftClusters clusters at MftLcn.
    const BYTE abPairs[] = {0x11, static_cast<BYTE>(MftClusters), static_cast<BYTE>(MftLcn), 0};
    std::memcpy(pData + 64, abPairs, sizeof(abPairs));
    nAt += dwDataLength;
    if (nAt + 4 <= record.size())
    {
        Put<DWORD>(p, nAt, 0xFFFFFFFF);
        Put<DWORD>(p, 24, static_cast<DWORD>(nAt + 8));
    }
    Put<WORD>(p, 48, SequenceNumber);
    return record;
}

// The record as the disk holds it: each sector's tail moved into the update sequence array.
std::vector<BYTE> WithFixups(std::vector<BYTE> record)
{
    BYTE* p = record.data();
    for (size_t nSector = 1; nSector <= record.size() / 512; ++nSector)
    {
        std::memcpy(p + 48 + 2 * nSector, p + nSector * 512 - 2, 2);
        Put<WORD>(p, nSector * 512 - 2, SequenceNumber);
    }
    return record;
}

class ImageVolumeTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (!m_strPath.empty())
            ::DeleteFileW(m_strPath.c_str());
    }

    // An image of ImageClusters clusters with the boot sector and this record 0.
    std::wstring Write(const std::vector<BYTE>& record)
    {
        std::vector<BYTE> image(ImageClusters * BytesPerCluster, 0);
        PutBootSector(image);
        std::copy(record.begin(), record.end(), image.begin() + MftLcn * BytesPerCluster);
        wchar_t szDir[MAX_PATH] = {};
        wchar_t szPath[MAX_PATH] = {};
        EXPECT_NE(0u, ::GetTempPathW(MAX_PATH, szDir));
        EXPECT_NE(0u, ::GetTempFileNameW(szDir, L"vfi", 0, szPath));
        m_strPath = szPath;
        HANDLE hFile = ::CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, hFile);
        DWORD dwWritten = 0;
        EXPECT_TRUE(::WriteFile(hFile, image.data(), static_cast<DWORD>(image.size()), &dwWritten, nullptr));
        ::CloseHandle(hFile);
        return m_strPath;
    }

    std::wstring m_strPath;
};

TEST_F(ImageVolumeTest, RecordsAreReadUpToAnEndMarkerAnywhereInTheRecordAndRefusedWithout)
{
    const struct
    {
        const char* pszCase;
        DWORD dwFillerLength;
        DWORD dwDataLength;
        bool bOpens;
    } cases[] = {
        {"end marker well inside", 200, 80, true},
        {"end marker in the last sixteen bytes", 880, 80, true},
        {"attributes fill the record: no end marker", 888, 80, false},
        {"an attribute runs past the record", 880, 96, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszCase);
        // The record as read keeps its update sequence array: only the sector tails go back.
        std::vector<BYTE> record = MftRecord(c.dwFillerLength, c.dwDataLength);
        const std::vector<BYTE> onDisk = WithFixups(record);
        std::copy(onDisk.begin() + 48, onDisk.begin() + 54, record.begin() + 48);
        CImageVolume volume;
        std::string strError;
        ASSERT_EQ(c.bOpens, volume.Open(Write(onDisk), strError)) << strError;
        if (!c.bOpens)
        {
            EXPECT_NE(std::string::npos, strError.find("does not hold together")) << strError;
            continue;
        }
        std::vector<BYTE> read;
        ASSERT_TRUE(volume.ReadRecord(0, read));
        EXPECT_EQ(record, read);
    }
}

} // namespace
} // namespace ntfsref
