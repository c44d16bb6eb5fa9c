#include "base/Registry.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <string>

namespace {

// Each run works under a key of its own below HKLM\Software and removes it.
class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        swprintf(m_szKey, 64, L"Software\\VfoldRegistryTest%lu", ::GetCurrentProcessId());
        ASSERT_TRUE(m_reg.Create(m_szKey)) << m_reg.GetLastResult();
    }
    void TearDown() override
    {
        m_reg.Close();
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_szKey);
    }
    void PutRaw(const wchar_t* pszName, DWORD dwType, const void* pData, DWORD dwBytes)
    {
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(m_reg.GetKey(), pszName, 0, dwType,
                                                  static_cast<const BYTE*>(pData), dwBytes));
    }
    DWORD RawSize(const wchar_t* pszName)
    {
        DWORD dwSize = 0;
        EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(m_reg.GetKey(), pszName, nullptr, nullptr,
                                                    nullptr, &dwSize));
        return dwSize;
    }

    wchar_t m_szKey[64];
    CRegistry m_reg;
};

TEST_F(RegistryTest, MissingOrMistypedValuesKeepThePreset)
{
    DWORD dwValue = 7110;
    EXPECT_FALSE(m_reg.ReadDWORD(L"Missing", dwValue));
    EXPECT_EQ(7110u, dwValue);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_reg.GetLastResult());

    ULONGLONG ullValue = 99;
    EXPECT_FALSE(m_reg.ReadQWORD(L"Missing", ullValue));
    EXPECT_EQ(99u, ullValue);

    CUnicodeString str(L"preset");
    EXPECT_FALSE(m_reg.ReadString(L"Missing", str));
    EXPECT_TRUE(str == L"preset");

    PutRaw(L"Text", REG_SZ, L"12", 6);
    EXPECT_FALSE(m_reg.ReadDWORD(L"Text", dwValue));
    EXPECT_EQ(7110u, dwValue);
    DWORD dwNumber = 5;
    PutRaw(L"Number", REG_DWORD, &dwNumber, 4);
    EXPECT_FALSE(m_reg.ReadString(L"Number", str));
    EXPECT_TRUE(str == L"preset");
    EXPECT_FALSE(m_reg.ReadQWORD(L"Number", ullValue));
    EXPECT_EQ(99u, ullValue);
}

TEST_F(RegistryTest, NumbersRoundTripAndAreRecorded)
{
    ASSERT_TRUE(m_reg.WriteDWORD(L"EnableAutoLayout", 0));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), m_reg.GetLastType());
    EXPECT_EQ(4u, m_reg.GetLastSize());
    ASSERT_TRUE(m_reg.WriteQWORD(L"LastManualDefragTime", 0x0123456789ABCDEFull));
    EXPECT_EQ(ERROR_SUCCESS, m_reg.SetDWORD(L"Set", 3));
    DWORD dwValue = 1;
    EXPECT_TRUE(m_reg.ReadDWORD(L"EnableAutoLayout", dwValue));
    EXPECT_EQ(0u, dwValue);
    EXPECT_TRUE(m_reg.ReadDWORD(L"Set", dwValue));
    EXPECT_EQ(3u, dwValue);
    ULONGLONG ullValue = 0;
    EXPECT_TRUE(m_reg.ReadQWORD(L"LastManualDefragTime", ullValue));
    EXPECT_EQ(0x0123456789ABCDEFull, ullValue);
    EXPECT_EQ(static_cast<DWORD>(REG_QWORD), m_reg.GetLastType());
    EXPECT_TRUE(m_reg.ValueExists(L"Set"));
    EXPECT_TRUE(m_reg.DeleteValue(L"Set"));
    EXPECT_FALSE(m_reg.ValueExists(L"Set"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_reg.GetLastResult());
}

TEST_F(RegistryTest, StringSizesAndLimits)
{
    ASSERT_TRUE(m_reg.WriteString(L"WideN", L"N"));
    EXPECT_EQ(4u, RawSize(L"WideN")) << "text with its terminator";
    // Wine terminates stored REG_SZ data that lacks a terminator, so what was
    // asked for is read from the wrapper's record.
    ASSERT_TRUE(m_reg.WriteString(L"CountedN", CUnicodeString(L"N")));
    EXPECT_EQ(4u, m_reg.GetLastSize()) << "counted text with its terminator too";

    CUnicodeString str;
    EXPECT_TRUE(m_reg.ReadString(L"WideN", str));
    EXPECT_TRUE(str == L"N");
    EXPECT_TRUE(m_reg.ReadString(L"CountedN", str));
    EXPECT_TRUE(str == L"N");

    PutRaw(L"Empty", REG_SZ, L"", 0);
    str = L"preset";
    EXPECT_TRUE(m_reg.ReadString(L"Empty", str));
    EXPECT_EQ(0, str.GetLength());

    std::wstring str199(199, L'x');
    PutRaw(L"Full", REG_SZ, str199.c_str(), 400);
    EXPECT_TRUE(m_reg.ReadString(L"Full", str));
    EXPECT_EQ(199, str.GetLength()) << "a value that fills the buffer exactly";

    std::wstring str300(300, L'y');
    ASSERT_TRUE(m_reg.WriteString(L"Long", str300.c_str()));
    str = L"preset";
    EXPECT_FALSE(m_reg.ReadString(L"Long", str));
    EXPECT_TRUE(str == L"preset");
    EXPECT_EQ(ERROR_MORE_DATA, m_reg.GetLastResult());
}

TEST_F(RegistryTest, MultiStrings)
{
    EXPECT_TRUE(m_reg.WriteMultiString(L"List", L"A\0B\0"));
    EXPECT_EQ(10u, RawSize(L"List"));
    EXPECT_FALSE(m_reg.WriteMultiString(L"NoList", L"\0"));
    EXPECT_FALSE(m_reg.ValueExists(L"NoList"));

    ASSERT_TRUE(m_reg.WriteMultiString(L"BootExecute", L"autocheck autochk *\0VfoldBtx\0"));
    wchar_t szBuffer[64] = {};
    DWORD dwSize = sizeof(szBuffer);
    EXPECT_TRUE(m_reg.ReadMultiString(L"BootExecute", szBuffer, dwSize));
    EXPECT_EQ((20u + 9u + 1u) * 2u, dwSize);
    EXPECT_STREQ(L"VfoldBtx", szBuffer + 20);

    wchar_t szSmall[4];
    dwSize = sizeof(szSmall);
    EXPECT_FALSE(m_reg.ReadMultiString(L"BootExecute", szSmall, dwSize));
    EXPECT_EQ(ERROR_MORE_DATA, m_reg.GetLastResult());
}

TEST_F(RegistryTest, OpenSubKeyAndDeleteKey)
{
    CRegistry parent;
    std::wstring strSub = std::wstring(m_szKey) + L"\\Stats";
    ASSERT_TRUE(parent.Create(strSub.c_str()));
    parent.Close();

    CRegistry reg;
    ASSERT_TRUE(reg.Open(HKEY_LOCAL_MACHINE, m_szKey));
    EXPECT_TRUE(reg.GetPath() == m_szKey);
    ASSERT_TRUE(reg.OpenSubKey(L"Stats"));
    EXPECT_TRUE(reg.WriteDWORD(L"Inside", 1));
    EXPECT_FALSE(reg.OpenSubKey(L"Nope"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.GetLastResult());
    EXPECT_TRUE(reg.DeleteKey(HKEY_LOCAL_MACHINE, strSub.c_str()));
    EXPECT_FALSE(reg.OpenQuiet(HKEY_LOCAL_MACHINE, strSub.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.GetLastResult());
}

TEST(Registry, OperationsBeforeOpenActOnTheMachineRoot)
{
    CRegistry reg;
    EXPECT_EQ(HKEY_LOCAL_MACHINE, reg.GetKey());
    EXPECT_FALSE(reg.ValueExists(L"VfoldNoSuchValue"));
    EXPECT_TRUE(reg.OpenQuiet(HKEY_LOCAL_MACHINE, L"Software"));
    reg.Close();
    EXPECT_EQ(nullptr, reg.GetKey());
}

} // namespace
