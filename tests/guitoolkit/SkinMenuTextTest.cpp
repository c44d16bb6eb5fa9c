#include "guitoolkit/KeyName.h"
#include "guitoolkit/SkinMenuItemData.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "classlib/FrameWnd.h"
#include "classlib/WinApp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>

namespace
{
constexpr LONG ExtendedBit = 1 << 24;

// Names a key by its scan code and extended bit, so that every text shows
// which key-name request it came from; the extended name of VK_CANCEL's scan
// code is empty, as Wine answers it.
int WINAPI FakeKeyName(LONG lKey, LPWSTR pszName, int nSize)
{
    UINT nScan = (lKey >> 16) & 0xFF;
    if ((lKey & ExtendedBit) && nScan == ::MapVirtualKeyW(VK_CANCEL, MAPVK_VK_TO_VSC))
        return 0;
    return std::swprintf(pszName, nSize, L"K%02X%ls", nScan, (lKey & ExtendedBit) ? L"e" : L"");
}

std::wstring FakeName(UINT nVirtKey, bool bExtended)
{
    wchar_t szName[32] = {};
    LONG lKey = static_cast<LONG>(::MapVirtualKeyW(nVirtKey, MAPVK_VK_TO_VSC) << 16);
    FakeKeyName(bExtended ? lKey | ExtendedBit : lKey, szName, 32);
    return szName;
}

class KeyNameTest : public ::testing::Test
{
protected:
    void SetUp() override { m_saved = ToolkitEnvironment(); }
    void TearDown() override { ToolkitEnvironment() = m_saved; }
    stToolkitEnvironment m_saved;
};

TEST_F(KeyNameTest, NavigationKeysAreNamedWithTheExtendedBit)
{
    ToolkitEnvironment().pfnGetKeyNameText = FakeKeyName;
    struct stCase
    {
        UINT nVirtKey;
        bool bExtended;
    };
    const stCase cases[] = {
        {VK_INSERT, true}, {VK_DELETE, true}, {VK_HOME, true},    {VK_END, true},   {VK_PRIOR, true},
        {VK_NEXT, true},   {VK_LEFT, true},   {VK_UP, true},      {VK_RIGHT, true}, {VK_DOWN, true},
        {VK_DIVIDE, true}, {VK_NUMLOCK, true}, {'M', false},      {VK_F10, false},  {VK_TAB, false},
        {VK_NUMPAD5, false},
    };
    for (const stCase& c : cases)
        EXPECT_EQ(GetAcceleratorKeyName(c.nVirtKey).Str(), FakeName(c.nVirtKey, c.bExtended)) << "key " << c.nVirtKey;
    EXPECT_EQ(GetAcceleratorKeyName(VK_CANCEL).Str(), FakeName(VK_CANCEL, false))
        << "an empty extended name falls back to the plain one";
}

TEST_F(KeyNameTest, SystemNamesOfDeleteAndBreakAreNotTheirKeypadTwinsOrEmpty)
{
    wchar_t szKeypad[128] = {};
    ::GetKeyNameTextW(static_cast<LONG>(::MapVirtualKeyW(VK_DELETE, MAPVK_VK_TO_VSC) << 16), szKeypad, 128);
    CString strDelete = GetAcceleratorKeyName(VK_DELETE);
    EXPECT_FALSE(strDelete.IsEmpty());
    EXPECT_NE(strDelete.Str(), std::wstring(szKeypad));
    EXPECT_FALSE(GetAcceleratorKeyName(VK_CANCEL).IsEmpty());
}

class DisplayTextTest : public KeyNameTest
{
protected:
    void SetUp() override
    {
        KeyNameTest::SetUp();
        ToolkitEnvironment().pfnGetKeyNameText = FakeKeyName;
        ACCEL entries[] = {
            {FVIRTKEY | FCONTROL, 'O', 100},
            {FVIRTKEY | FSHIFT | FCONTROL | FALT, VK_F5, 101},
            {FVIRTKEY, VK_DELETE, 102},
            {FVIRTKEY | FSHIFT, VK_INSERT, 102},
            {FCONTROL, 'm', 103},
            {FVIRTKEY, 'M', 106},
            {FVIRTKEY | FCONTROL, VK_CANCEL, 104},
        };
        m_hAccel = ::CreateAcceleratorTableW(entries, static_cast<int>(std::size(entries)));
        ASSERT_NE(m_hAccel, HACCEL(NULL));
    }
    void TearDown() override
    {
        ::DestroyAcceleratorTable(m_hAccel);
        KeyNameTest::TearDown();
    }
    std::wstring Display(const wchar_t* pszText, UINT nID, HACCEL hAccel, UINT nFlags = 0)
    {
        CSkinMenuItemData record;
        record.SetText(pszText);
        record.m_nID = nID;
        record.m_nFlags = nFlags;
        return record.GetDisplayText(hAccel).Str();
    }

    HACCEL m_hAccel = NULL;
};

TEST_F(DisplayTextTest, TabsPopupsAndMissingTables)
{
    const HACCEL hMainFrame = reinterpret_cast<HACCEL>(-1);
    EXPECT_EQ(Display(L"&Open\tCtrl+Q", 100, m_hAccel), L"&Open\tCtrl+Q") << "a key text of its own stays whole";
    EXPECT_EQ(Display(L"&Open\tCtrl+Q", 100, NULL), L"&Open") << "without a table the text ends at the TAB";
    EXPECT_EQ(Display(L"&Open", 100, NULL), L"&Open");
    EXPECT_EQ(Display(L"&File\tx", 100, m_hAccel, MF_POPUP), L"&File") << "a popup is shown without keys";
    EXPECT_EQ(Display(L"&Open", 105, m_hAccel), L"&Open") << "no entry for the command";
    EXPECT_EQ(Display(L"&Open", 100, hMainFrame), L"&Open") << "no main frame";
    EXPECT_EQ(Display(nullptr, 100, NULL), L"");
}

TEST_F(DisplayTextTest, KeysOfTheEntriesForTheCommand)
{
    EXPECT_EQ(Display(L"&Open", 100, m_hAccel), L"&Open\tCtrl+" + FakeName('O', false));
    EXPECT_EQ(Display(L"Run", 101, m_hAccel), L"Run\tAlt+Ctrl+Shift+" + FakeName(VK_F5, false));
    EXPECT_EQ(Display(L"Delete", 102, m_hAccel),
              L"Delete\t" + FakeName(VK_DELETE, true) + L", Shift+" + FakeName(VK_INSERT, true));
    EXPECT_EQ(Display(L"Mark", 103, m_hAccel), L"Mark\tCtrl+m") << "a character entry shows the character";
    EXPECT_EQ(Display(L"Mark", 106, m_hAccel), L"Mark\t" + FakeName('M', false));
    EXPECT_EQ(Display(L"Stop", 104, m_hAccel), L"Stop\tCtrl+" + FakeName(VK_CANCEL, false));
}

TEST_F(DisplayTextTest, MinusOneIsTheMainFramesTable)
{
    CWinApp app;
    CFrameWnd* pFrame = new CFrameWnd;
    pFrame->SetAccelerators(m_hAccel);
    app.m_pMainWnd = pFrame;
    EXPECT_EQ(Display(L"&Open", 100, reinterpret_cast<HACCEL>(-1)), L"&Open\tCtrl+" + FakeName('O', false));
    pFrame->SetAccelerators(NULL);
    EXPECT_EQ(Display(L"&Open", 100, reinterpret_cast<HACCEL>(-1)), L"&Open") << "a frame without a table";
    app.m_pMainWnd = nullptr;
    delete pFrame;
}
} // namespace
