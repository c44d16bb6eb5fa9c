#include "classlib/FrameWnd.h"
#include "classlib/String.h"
#include "classlib/StringArray.h"
#include "classlib/WinApp.h"

#include <gtest/gtest.h>

namespace
{
const wchar_t* const TestProfile = L"VarnefoldClasslibTest";

class ProfileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_app.SetRegistryKey(L"");
        m_app.SetProfileName(TestProfile);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VarnefoldClasslibTest");
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VarnefoldClasslibTest"); }
    void Store(const wchar_t* pszEntry, DWORD dwType, const void* pData, DWORD dwBytes)
    {
        HKEY hKey = m_app.GetSectionKey(L"Settings");
        ASSERT_NE(hKey, HKEY(NULL));
        ASSERT_EQ(::RegSetValueExW(hKey, pszEntry, 0, dwType, static_cast<const BYTE*>(pData), dwBytes), ERROR_SUCCESS);
        ::RegCloseKey(hKey);
    }

    CWinApp m_app;
};

TEST_F(ProfileTest, ValuesComeBackAsWritten)
{
    EXPECT_TRUE(m_app.WriteProfileInt(L"Settings", L"Count", -3));
    EXPECT_TRUE(m_app.WriteProfileString(L"Settings", L"Name", L"drive C"));
    const BYTE blob[] = {1, 0, 2, 0xFF};
    EXPECT_TRUE(m_app.WriteProfileBinary(L"Settings", L"Layout", blob, sizeof(blob)));

    EXPECT_EQ(static_cast<int>(m_app.GetProfileInt(L"Settings", L"Count", 7)), -3);
    EXPECT_EQ(m_app.GetProfileString(L"Settings", L"Name"), L"drive C");
    std::vector<BYTE> data;
    EXPECT_TRUE(m_app.GetProfileBinary(L"Settings", L"Layout", data));
    EXPECT_EQ(data, std::vector<BYTE>(blob, blob + sizeof(blob)));

    // Stored under the user's key of the profile name.
    HKEY hKey = NULL;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\VarnefoldClasslibTest\\Settings", 0, KEY_READ, &hKey),
              ERROR_SUCCESS);
    ::RegCloseKey(hKey);

    EXPECT_TRUE(m_app.WriteProfileString(L"Settings", L"Name", nullptr));
    EXPECT_EQ(m_app.GetProfileString(L"Settings", L"Name", L"gone"), L"gone");
}

TEST_F(ProfileTest, ValuesOfAnotherTypeOrSizeGiveTheDefault)
{
    const BYTE two[] = {1, 2};
    Store(L"Short", REG_DWORD, two, sizeof(two));
    Store(L"Binary", REG_BINARY, two, sizeof(two));
    DWORD dwValue = 5;
    Store(L"Number", REG_DWORD, &dwValue, sizeof(dwValue));
    EXPECT_EQ(m_app.GetProfileInt(L"Settings", L"Short", 9), 9u);
    EXPECT_EQ(m_app.GetProfileInt(L"Settings", L"Binary", 9), 9u);
    EXPECT_EQ(m_app.GetProfileInt(L"Settings", L"Missing", 9), 9u);
    EXPECT_EQ(m_app.GetProfileString(L"Settings", L"Number", L"d"), L"d");
    std::vector<BYTE> data = {7};
    EXPECT_FALSE(m_app.GetProfileBinary(L"Settings", L"Number", data));
    EXPECT_TRUE(data.empty());
}

TEST_F(ProfileTest, TextStoredWithoutTerminatorEndsAtTheDataEnd)
{
    const wchar_t text[] = {L'a', L'b', L'c'};
    Store(L"Bare", REG_SZ, text, sizeof(text));
    EXPECT_EQ(m_app.GetProfileString(L"Settings", L"Bare"), L"abc");
}

TEST(ResourceModule, LibraryResourcesWinAndTheProgramFillsTheGaps)
{
    CWinApp app;
    CString str;
    ASSERT_TRUE(str.LoadString(101));
    EXPECT_EQ(str, L"from the program");

    EXPECT_FALSE(app.LoadResourceLibrary(L"no_such_library.dll"));
    EXPECT_EQ(CWinApp::GetResourceModule(), app.m_hInstance);

    ASSERT_TRUE(app.LoadResourceLibrary(L"vf_test_resources.dll"));
    EXPECT_NE(CWinApp::GetResourceModule(), app.m_hInstance);
    ASSERT_TRUE(str.LoadString(101));
    EXPECT_EQ(str, L"from the library");
    EXPECT_EQ(CWinApp::FindResourceModule(MAKEINTRESOURCEW(50), RT_MENU), app.m_hInstance);
    // Strings live in blocks of 16: 102 shares 101's block, which the
    // library has without 102, and 50's block is not in the library at all.
    // Either way the program's string fills the gap, and a frame of the
    // program's resource 50 keeps its title.
    ASSERT_TRUE(str.LoadString(102));
    EXPECT_EQ(str, L"only in the program");
    EXPECT_FALSE(str.LoadString(103));
    EXPECT_TRUE(str.IsEmpty());

    auto* pFrame = new CFrameWnd;
    ASSERT_TRUE(pFrame->LoadFrame(50));
    CString strTitle;
    pFrame->GetWindowText(strTitle);
    EXPECT_EQ(strTitle, L"Class library test frame");
    pFrame->DestroyWindow();
}

TEST(Strings, CutsAndSearchesStayInsideTheText)
{
    CString str(L"Defrag C:");
    struct stCut
    {
        CString strResult;
        const wchar_t* pszExpected;
    } cases[] = {
        {str.Left(6), L"Defrag"}, {str.Left(-1), L""},     {str.Left(99), L"Defrag C:"},
        {str.Mid(7), L"C:"},      {str.Mid(99), L""},      {str.Mid(-3, 2), L"De"},
        {str.Mid(2, 99), L"frag C:"}, {str.Right(2), L"C:"}, {str.Right(99), L"Defrag C:"},
    };
    for (const stCut& c : cases)
        EXPECT_EQ(c.strResult, c.pszExpected);
    EXPECT_EQ(str.Find(L'C'), 7);
    EXPECT_EQ(str.Find(L'C', 99), -1);
    EXPECT_EQ(str.Find(L"rag"), 3);
    EXPECT_EQ(str.ReverseFind(L'x'), -1);
}

TEST(Strings, FormatGrowsForLongTextsAndBuffersEndAtTheirTerminator)
{
    CString strLong(L'x', 5000);
    CString str;
    str.Format(L"%d:%ls", 42, strLong.GetString());
    EXPECT_EQ(str.GetLength(), 5003);
    EXPECT_EQ(str.Left(3), L"42:");

    wchar_t* pBuffer = str.GetBuffer(10);
    wcscpy(pBuffer, L"abc");
    str.ReleaseBuffer();
    EXPECT_EQ(str, L"abc");
    CString strReplaced(L"a-b-c");
    EXPECT_EQ(strReplaced.Replace(L"-", L"--"), 2);
    EXPECT_EQ(strReplaced, L"a--b--c");
}

TEST(Strings, ArrayKeepsOrderAndRefusesBadIndexes)
{
    CStringArray array;
    array.Add(L"one");
    array.Add(L"three");
    array.InsertAt(1, L"two");
    ASSERT_EQ(array.GetSize(), 3);
    EXPECT_EQ(array[1], L"two");
    EXPECT_THROW(array.GetAt(3), std::out_of_range);
    EXPECT_THROW(array.InsertAt(5, L"x"), std::out_of_range);
}
} // namespace
