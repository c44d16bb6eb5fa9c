#include "engine/LayoutFileList.h"
#include "base/UnicodeString.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Writes a boot-layout list as the system does: UTF-16 text, little-endian.
class LayoutFileListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t szDir[MAX_PATH];
        ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, szDir));
        m_strFile = std::wstring(szDir) + L"VfoldLayoutTest" +
                    std::to_wstring(::GetCurrentProcessId()) + L".ini";
    }
    void TearDown() override { ::DeleteFileW(m_strFile.c_str()); }

    void Write(const std::wstring& strText, bool bBom = false)
    {
        std::wstring strAll = bBom ? L"\xFEFF" + strText : strText;
        HANDLE hFile = ::CreateFileW(m_strFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
        DWORD dwWritten = 0;
        ASSERT_TRUE(::WriteFile(hFile, strAll.data(), static_cast<DWORD>(strAll.size() * 2),
                                &dwWritten, nullptr));
        ::CloseHandle(hFile);
    }
    std::vector<std::wstring> Read(wchar_t chDrive, const wchar_t* pszPrefix, int* pnResult = nullptr)
    {
        CLayoutFileList list(chDrive);
        int nResult = list.ReadLayoutIni(m_strFile.c_str(), pszPrefix);
        if (pnResult != nullptr)
            *pnResult = nResult;
        std::vector<std::wstring> paths;
        for (int i = 0; i < list.GetSize(); ++i)
            paths.emplace_back(list.GetAt(i)->GetBuffer(), list.GetAt(i)->GetLength());
        return paths;
    }

    std::wstring m_strFile;
};

using Paths = std::vector<std::wstring>;

TEST_F(LayoutFileListTest, LinesOfTheVolumeAreTaken)
{
    Write(L"C:\\Windows\\explorer.exe\r\nD:\\other.dll\r\nC:\\\r\nC:\\$MFT\r\nC:\nc:\\lower\n"
          L"C:\\last.sys");
    int nResult = 0;
    EXPECT_EQ((Paths{L"C:\\Windows\\explorer.exe", L"C:\\.", L"C:\\last.sys"}),
              Read(L'C', nullptr, &nResult));
    EXPECT_EQ(3, nResult);
    EXPECT_EQ(Paths{L"D:\\other.dll"}, Read(L'D', nullptr));
}

TEST_F(LayoutFileListTest, PrefixComparesWithoutCase)
{
    Write(L"C:\\WINDOWS\\system32\\a.dll\r\nC:\\Program Files\\b.exe\r\nC:\\windows\\c.dll\r\n");
    EXPECT_EQ((Paths{L"C:\\WINDOWS\\system32\\a.dll", L"C:\\windows\\c.dll"}),
              Read(L'C', L"C:\\windows"));
    Write(L"C:\\\u00C4RGER\\a.dll\r\nC:\\Arger\\b.dll\r\n");
    EXPECT_EQ((Paths{L"C:\\\u00C4RGER\\a.dll"}), Read(L'C', L"C:\\\u00E4rger")) << "letters beyond ASCII";
}

TEST_F(LayoutFileListTest, ByteOrderMarkSpoilsOnlyTheFirstLine)
{
    Write(L"C:\\first\r\nC:\\second\r\n", true);
    EXPECT_EQ(Paths{L"C:\\second"}, Read(L'C', nullptr));
}

TEST_F(LayoutFileListTest, LinesAcrossBlocksAndOverlongLines)
{
    // 1023 units fill the first 2048-byte block less one unit, so the second
    // line starts across the block boundary; the long line is split at 2047.
    std::wstring strFirst = L"C:\\" + std::wstring(1018, L'a');
    std::wstring strLong = L"C:\\" + std::wstring(2100, L'b');
    Write(strFirst + L"\r\n" + strLong + L"\r\nC:\\tail");
    Paths paths = Read(L'C', nullptr);
    ASSERT_EQ(3u, paths.size()) << "the rest of the split line has no drive letter";
    EXPECT_EQ(strFirst, paths[0]);
    EXPECT_EQ(strLong.substr(0, 2047), paths[1]);
    EXPECT_EQ(L"C:\\tail", paths[2]);

    Write(L"C:\\" + std::wstring(1020, L'c') + L"\r\nC:\\x");
    paths = Read(L'C', nullptr);
    ASSERT_EQ(2u, paths.size());
    EXPECT_EQ(L"C:\\x", paths[1]);
}

TEST_F(LayoutFileListTest, MissingOrEmptyFile)
{
    CLayoutFileList list(L'C');
    list.Add(new CUnicodeString(L"C:\\$AttrDef"));
    EXPECT_EQ(1, list.ReadLayoutIni(L"C:\\no\\such\\Layout.ini", nullptr));
    Write(L"");
    EXPECT_EQ(1, list.ReadLayoutIni(m_strFile.c_str(), nullptr));
}

TEST(LayoutFileList, ContainsAndRemoveIgnoreCase)
{
    CLayoutFileList list(L'C');
    list.Add(new CUnicodeString(L"C:\\Boot.ini"));
    list.Add(new CUnicodeString(L"C:\\ntldr"));
    list.Add(new CUnicodeString(L"C:\\$MFTMirr"));
    EXPECT_EQ(2, list.GetSize());
    EXPECT_TRUE(list.Contains(CUnicodeString(L"c:\\BOOT.INI")));
    list.Add(new CUnicodeString(L"C:\\Windows\\\u00C4rger.dll"));
    EXPECT_TRUE(list.Contains(CUnicodeString(L"C:\\WINDOWS\\\u00C4RGER.DLL")));
    EXPECT_TRUE(list.Contains(CUnicodeString(L"c:\\windows\\\u00E4rger.dll")));
    EXPECT_FALSE(list.Contains(CUnicodeString(L"C:\\Windows\\Arger.dll")));
    EXPECT_TRUE(list.Remove(CUnicodeString(L"C:\\WINDOWS\\\u00C4RGER.DLL")));
    EXPECT_TRUE(list.Remove(CUnicodeString(L"C:\\NTLDR")));
    EXPECT_FALSE(list.Remove(CUnicodeString(L"C:\\NTLDR")));
    EXPECT_THROW(list.GetAt(1), std::out_of_range);
    list.RemoveAt(0);
    EXPECT_EQ(0, list.GetSize());
}

TEST_F(LayoutFileListTest, ShortNameDuplicateOfALongNameIsRemoved)
{
    Write(L"x");
    wchar_t szShort[MAX_PATH];
    DWORD dwShort = ::GetShortPathNameW(m_strFile.c_str(), szShort, MAX_PATH);
    ASSERT_GT(dwShort, 0u);
    ASSERT_NE(std::wstring::npos, std::wstring(szShort).find(L'~'))
        << "no short form to test with";
    CLayoutFileList list(m_strFile[0]);
    list.Add(new CUnicodeString(m_strFile.c_str()));
    list.Add(new CUnicodeString(L"C:\\unrelated~name.txt"));
    list.Add(new CUnicodeString(szShort));
    list.RemoveShortNameDuplicates();
    ASSERT_EQ(2, list.GetSize());
    EXPECT_TRUE(*list.GetAt(0) == m_strFile.c_str());
    EXPECT_TRUE(*list.GetAt(1) == L"C:\\unrelated~name.txt");
}

} // namespace
