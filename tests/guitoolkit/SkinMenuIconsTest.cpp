#include "guitoolkit/SkinMenuIcons.h"

#include "GuiTestSupport.h"
#include "SkinMenuTreeFixture.h"

#include <gtest/gtest.h>

#include <array>
#include <map>

namespace
{
constexpr COLORREF Magenta = 0xFF00FF;
// Bitmap 110: three 4 by 4 images.
const WORD g_toolInfo[] = {110, 4, 4, 500, 100, 0};

int RecordsUsing(const CSkinMenu& menu, const CSkinMenuIcons* pIcons)
{
    int nCount = 0;
    for (const CSkinMenuItemData* pRecord : menu.m_items)
        nCount += pRecord->m_pIcons == pIcons ? 1 : 0;
    for (HMENU hSub : menu.m_subMenus)
        nCount += RecordsUsing(*dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(hSub)), pIcons);
    return nCount;
}

using SkinMenuIconsTest = SkinMenuTreeTest;

TEST_F(SkinMenuIconsTest, OneTableMakesOneSharedStoreCountedByItsRecords)
{
    auto& stores = CSkinMenuIcons::StoreList();
    size_t nStoresBefore = stores.size();
    ASSERT_TRUE(m_bar.LoadToolBar(g_toolInfo, Magenta));
    ASSERT_EQ(stores.size(), nStoresBefore + 1);
    CSkinMenuIcons* pIcons = stores.back();
    EXPECT_EQ(pIcons->m_commandIDs, (std::vector<UINT>{500, 100}));
    EXPECT_EQ(pIcons->m_imageList.GetImageCount(), 9) << "three images for each of the bitmap's three";

    // Command 500 stands in three popups, and each item gets its icon with a record of its own menu.
    for (HMENU hMenu : {m_hRecent, m_hFile, m_hEdit})
    {
        const CSkinMenuItemData* pRecord = Skin(hMenu)->FindItemData(500);
        EXPECT_EQ(pRecord->m_pIcons, pIcons);
        EXPECT_EQ(pRecord->m_nImage, 0);
        ExpectItemsCarryTheirRecords(*Skin(hMenu));
    }
    EXPECT_EQ(m_bar.FindItemData(100)->m_nImage, 3);
    EXPECT_EQ(pIcons->m_nRefCount, 4);
    EXPECT_EQ(RecordsUsing(m_bar, pIcons), 4);

    EXPECT_TRUE(m_bar.LoadToolBar(g_toolInfo, Magenta));
    EXPECT_EQ(stores.size(), nStoresBefore + 1) << "the same table and mask share the store";
    EXPECT_EQ(pIcons->m_nRefCount, 4);

    m_bar.DestroyMenu();
    EXPECT_EQ(stores.size(), nStoresBefore) << "the last record that lets go deletes the store";
}

TEST_F(SkinMenuIconsTest, OtherMasksLongerTablesAndMissingBitmapsAreNotShared)
{
    auto& stores = CSkinMenuIcons::StoreList();
    size_t nStoresBefore = stores.size();
    ASSERT_TRUE(m_bar.LoadToolBar(g_toolInfo, Magenta));
    CSkinMenuIcons* pFirst = stores.back();
    const WORD longer[] = {110, 4, 4, 500, 100, 300, 0};
    ASSERT_TRUE(m_bar.LoadToolBar(longer, Magenta));
    EXPECT_NE(stores.back(), pFirst) << "the first store has no image for 300";
    EXPECT_EQ(m_bar.FindItemData(300)->m_nImage, 6);
    EXPECT_EQ(stores.size(), nStoresBefore + 1) << "the first store lost its last record";

    const WORD missing[] = {999, 4, 4, 500, 0};
    EXPECT_FALSE(m_bar.LoadToolBar(missing, Magenta));
    EXPECT_EQ(stores.size(), nStoresBefore + 1);
    EXPECT_EQ(CSkinMenuIcons::Release(nullptr), 0);
}

// The pixels of one image, drawn through the list over a known background.
std::array<COLORREF, 16> DrawnImage(const CSkinMenuIcons& icons, int nImage)
{
    constexpr COLORREF Background = 0x123456;
    std::array<COLORREF, 16> pixels = {};
    void* pBits = nullptr;
    HBITMAP hSection = CreateSection(4, 4, &pBits);
    HDC hDC = ::CreateCompatibleDC(NULL);
    HGDIOBJ hOld = ::SelectObject(hDC, hSection);
    HBRUSH hBrush = ::CreateSolidBrush(Background);
    RECT rc = {0, 0, 4, 4};
    ::FillRect(hDC, &rc, hBrush);
    EXPECT_TRUE(ImageList_Draw(icons.m_imageList, nImage, hDC, 0, 0, ILD_NORMAL));
    ::GdiFlush();
    for (int i = 0; i < 16; ++i)
        pixels[i] = PixelOf(pBits, 4, i % 4, i / 4);
    ::SelectObject(hDC, hOld);
    ::DeleteObject(hBrush);
    ::DeleteDC(hDC);
    ::DeleteObject(hSection);
    return pixels;
}

DWORD WINAPI WhiteSysColor(int)
{
    return 0xFFFFFF;
}

TEST_F(SkinMenuTest, DerivedImagesAreDarkenedAndGreyedPixelByPixel)
{
    constexpr COLORREF Background = 0x123456;
    ToolkitEnvironment().pfnGetSysColor = WhiteSysColor;
    CSkinMenuIcons icons;
    CSkinMenu::SetIconDarkening(0);
    ASSERT_TRUE(icons.LoadToolInfo(g_toolInfo, Magenta));
    ASSERT_EQ(icons.m_imageList.GetImageCount(), 9);
    std::array<COLORREF, 16> normal = DrawnImage(icons, 0);
    EXPECT_EQ(normal[0], Background) << "the mask colour is transparent";
    EXPECT_EQ(normal[5], RGB(255, 0, 0));
    EXPECT_EQ(DrawnImage(icons, 1), normal) << "darkening 0 keeps the colours";
    EXPECT_EQ(DrawnImage(icons, 3)[5], RGB(100, 150, 200));

    CSkinMenu::SetIconDarkening(255);
    icons.Reload();
    ASSERT_EQ(icons.m_imageList.GetImageCount(), 9);
    std::array<COLORREF, 16> darkened = DrawnImage(icons, 1);
    EXPECT_EQ(darkened[0], Background);
    for (int i = 1; i < 16; ++i)
        EXPECT_EQ(darkened[i], RGB(0, 0, 0)) << "pixel " << i;

    // Red greyed to 85 and blended toward the white menu: (110 * 85 + 145 * 255) / 256.
    std::array<COLORREF, 16> disabled = DrawnImage(icons, 2);
    EXPECT_EQ(disabled[0], Background) << "transparent pixels stay transparent";
    EXPECT_EQ(disabled[5], RGB(180, 180, 180));
    // The dark image (10, 20, 30) greys to 20: (110 * 20 + 145 * 255) / 256.
    EXPECT_EQ(DrawnImage(icons, 8)[5], RGB(153, 153, 153));
}

TEST_F(SkinMenuTest, AnEmptyStoreBuildsNothing)
{
    CSkinMenuIcons icons;
    EXPECT_FALSE(icons.BuildDerivedImages());
    EXPECT_EQ(icons.ImageOfCommand(500), -1);
    const WORD table[] = {110, 4, 4, 500, 100, 500, 0};
    ASSERT_TRUE(icons.LoadToolInfo(table, Magenta));
    EXPECT_EQ(icons.ImageOfCommand(500), 6) << "the last place of the command";
    EXPECT_EQ(icons.ImageOfCommand(100), 3);
}
} // namespace

namespace
{
TEST_F(SkinMenuTest, ToolBarResourcesGiveTheirIdsUpToTheirEnd)
{
    HINSTANCE hModule = ::GetModuleHandleW(nullptr);
    CSkinMenuIcons icons;
    EXPECT_TRUE(icons.LoadToolBarResource(MAKEINTRESOURCEW(110), hModule));
    EXPECT_EQ(icons.m_commandIDs, (std::vector<UINT>{500, 100})) << "separators take no id";
    EXPECT_EQ(icons.m_imageList.GetImageCount(), 9);
    EXPECT_TRUE(icons.MatchesResource(MAKEINTRESOURCEW(110), hModule));
    EXPECT_FALSE(icons.MatchesResource(MAKEINTRESOURCEW(111), hModule));
    EXPECT_FALSE(icons.MatchesResource(MAKEINTRESOURCEW(110), NULL));
    EXPECT_FALSE(icons.MatchesResource(L"TOOLS", hModule));

    CSkinMenuIcons overlong;
    EXPECT_TRUE(overlong.LoadToolBarResource(MAKEINTRESOURCEW(111), NULL));
    EXPECT_EQ(overlong.m_commandIDs, std::vector<UINT>{500}) << "the count is believed only as far as the data goes";

    CSkinMenuIcons missing;
    EXPECT_FALSE(missing.LoadToolBarResource(MAKEINTRESOURCEW(112), NULL));
}
} // namespace
