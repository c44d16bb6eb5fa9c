#include "guitoolkit/Registry.h"

#include <gtest/gtest.h>

#include <string>

using toolkit::CRegistry;

namespace
{
const wchar_t* const TestKey = L"Software\\VarnefoldToolkitTest";

class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, TestKey);
        ASSERT_TRUE(m_key.Create(HKEY_CURRENT_USER, TestKey));
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, TestKey); }
    void Store(const wchar_t* pszName, DWORD dwType, const void* pData, DWORD dwBytes)
    {
        ASSERT_EQ(::RegSetValueExW(m_key.GetKey(), pszName, 0, dwType, static_cast<const BYTE*>(pData), dwBytes),
                  ERROR_SUCCESS);
    }

    CRegistry m_key{HKEY_CURRENT_USER};
};

TEST_F(RegistryTest, DwordReadsKeepThePresetUnlessFourBytesOfDword)
{
    DWORD dwFour = 0x01020304;
    const BYTE two[] = {9, 9};
    Store(L"Good", REG_DWORD, &dwFour, 4);
    Store(L"Short", REG_DWORD, two, 2);
    Store(L"Binary", REG_BINARY, &dwFour, 4);
    Store(L"Text", REG_SZ, L"5", 4);
    struct stCase
    {
        const wchar_t* pszName;
        BOOL bRead;
        DWORD dwValue;
    } cases[] = {{L"Good", TRUE, 0x01020304}, {L"Short", FALSE, 77}, {L"Binary", FALSE, 77},
                 {L"Text", FALSE, 77},        {L"Missing", FALSE, 77}};
    for (const stCase& c : cases)
    {
        DWORD dwValue = 77;
        EXPECT_EQ(m_key.ReadDWORD(c.pszName, dwValue), c.bRead) << c.pszName;
        EXPECT_EQ(dwValue, c.dwValue) << c.pszName;
    }
    EXPECT_EQ(m_key.GetLastResult(), LONG(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryTest, WritesRecordTypeAndSize)
{
    EXPECT_TRUE(m_key.WriteDWORD(L"Number", 5));
    EXPECT_EQ(m_key.GetLastType(), DWORD(REG_DWORD));
    EXPECT_EQ(m_key.GetLastSize(), 4u);
    EXPECT_TRUE(m_key.WriteString(L"Name", L"abc"));
    EXPECT_EQ(m_key.GetLastType(), DWORD(REG_SZ));
    EXPECT_EQ(m_key.GetLastSize(), 4u);
    DWORD dwType = 0, dwBytes = 0;
    ASSERT_EQ(::RegQueryValueExW(m_key.GetKey(), L"Name", nullptr, &dwType, nullptr, &dwBytes), ERROR_SUCCESS);
    EXPECT_EQ(dwBytes, 8u) << "the terminator is stored";

    EXPECT_EQ(m_key.SetDWORD(L"Other", 1), LONG(ERROR_SUCCESS));
    EXPECT_EQ(m_key.GetLastType(), DWORD(REG_SZ)) << "SetDWORD records nothing";
    EXPECT_TRUE(m_key.DeleteValue(L"Other"));
    EXPECT_EQ(m_key.GetLastSize(), 0u);
    EXPECT_FALSE(m_key.DeleteValue(L"Other"));
}

TEST_F(RegistryTest, StringsAreTerminatedWhateverIsStored)
{
    std::wstring str99(99, L'a'), str100(100, L'b');
    Store(L"Fits", REG_SZ, str99.c_str(), 200);
    Store(L"TooLong", REG_SZ, str100.c_str(), 202);
    Store(L"Unterminated", REG_SZ, str100.c_str(), 198);
    Store(L"OddBytes", REG_SZ, L"xyz", 5);
    Store(L"Expand", REG_EXPAND_SZ, L"%x%", 8);
    Store(L"Binary", REG_BINARY, str100.c_str(), 200);
    struct stCase
    {
        const wchar_t* pszName;
        BOOL bRead;
        std::wstring strValue;
    } cases[] = {
        {L"Fits", TRUE, str99},
        {L"TooLong", FALSE, L"preset"},
        {L"Unterminated", TRUE, std::wstring(99, L'b')},
        {L"OddBytes", TRUE, L"xy"},      {L"Expand", TRUE, L"%x%"},      {L"Binary", FALSE, L"preset"},
        {L"Missing", FALSE, L"preset"},
    };
    for (const stCase& c : cases)
    {
        CString str = L"preset";
        EXPECT_EQ(m_key.ReadString(c.pszName, str), c.bRead) << c.pszName;
        EXPECT_EQ(str.Str(), c.strValue) << c.pszName;
    }
}

TEST_F(RegistryTest, MultiStringFillsTheArrayInOrder)
{
    const wchar_t three[] = L"one\0two\0three\0";
    Store(L"Three", REG_MULTI_SZ, three, sizeof(three));
    Store(L"Single", REG_SZ, L"one", 8);
    CStringArray array;
    array.Add(L"old");
    ASSERT_TRUE(m_key.ReadMultiString(L"Three", array));
    ASSERT_EQ(array.GetSize(), 3);
    EXPECT_EQ(array[0], L"one");
    EXPECT_EQ(array[2], L"three");
    EXPECT_FALSE(m_key.ReadMultiString(L"Single", array));
    EXPECT_EQ(array.GetSize(), 3) << "another type leaves the array alone";
}

TEST_F(RegistryTest, OpenFindsTheKeyAndFailsForAMissingOne)
{
    CRegistry key(HKEY_CURRENT_USER);
    EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, L"Software\\VarnefoldToolkitTest\\Missing"));
    EXPECT_EQ(key.GetLastResult(), LONG(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, TestKey));
    EXPECT_EQ(key.GetPath(), TestKey);
    EXPECT_TRUE(key.WriteDWORD(L"Seen", 1));
    DWORD dwValue = 0;
    EXPECT_TRUE(m_key.ReadDWORD(L"Seen", dwValue));
    EXPECT_EQ(dwValue, 1u);
}
} // namespace
