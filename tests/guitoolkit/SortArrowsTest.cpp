#include "classlib/DC.h"
#include "classlib/GdiObject.h"
#include "classlib/ListCtrl.h"
#include "guitoolkit/SortArrows.h"

#include <gtest/gtest.h>

TEST(SortArrowBitmap, BlackIsDrawnInTheGrayTextColourAndWhiteStays)
{
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadMappedBitmap(18));
    BITMAP stInfo = {};
    ASSERT_TRUE(bitmap.GetBitmap(&stInfo));
    EXPECT_EQ(stInfo.bmWidth, 9);
    EXPECT_EQ(stInfo.bmHeight, 5);

    HDC hDC = ::CreateCompatibleDC(NULL);
    ASSERT_NE(hDC, HDC(NULL));
    HGDIOBJ hOld = ::SelectObject(hDC, bitmap);
    // The ascending arrow's tip is at the top middle, its base the whole bottom row.
    EXPECT_EQ(::GetPixel(hDC, 4, 0), ::GetSysColor(COLOR_GRAYTEXT));
    EXPECT_EQ(::GetPixel(hDC, 0, 4), ::GetSysColor(COLOR_GRAYTEXT));
    EXPECT_EQ(::GetPixel(hDC, 0, 0), RGB(255, 255, 255));
    ::SelectObject(hDC, hOld);
    ::DeleteDC(hDC);
    EXPECT_FALSE(CBitmap().LoadMappedBitmap(9999));
}

namespace
{
class SortArrowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_parent.CreateEx(0, nullptr, L"arrows", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, NULL, NULL));
        ASSERT_TRUE(m_list.Create(LVS_REPORT | WS_VISIBLE, CRect(0, 0, 380, 200), &m_parent, 10));
        m_list.InsertColumn(0, L"Name", LVCFMT_LEFT, 80);
        m_list.InsertColumn(1, L"Size", LVCFMT_RIGHT, 60);
        m_list.InsertColumn(2, L"Kind", LVCFMT_CENTER, 60);
        ASSERT_NE(m_list.GetHeaderCtrl(), nullptr);
    }
    void TearDown() override { m_parent.DestroyWindow(); }

    HDITEMW Item(int i)
    {
        HDITEMW stItem = {};
        stItem.mask = HDI_FORMAT | HDI_IMAGE;
        EXPECT_TRUE(m_list.GetHeaderCtrl()->GetItem(i, &stItem));
        return stItem;
    }

    CWnd m_parent;
    CListCtrl m_list;
};
} // namespace

TEST_F(SortArrowsTest, CommonControls6MarkOnlyTheSortColumn)
{
    CSortArrows arrows(CSortArrows::controls6);
    arrows.Apply(*m_list.GetHeaderCtrl(), 2, true);
    EXPECT_EQ(Item(2).fmt, HDF_STRING | HDF_CENTER | HDF_SORTDOWN);
    EXPECT_EQ(Item(1).fmt, HDF_STRING | HDF_RIGHT);
    EXPECT_EQ(Item(0).fmt, HDF_STRING | HDF_LEFT);
    arrows.Apply(*m_list.GetHeaderCtrl(), 0, false);
    EXPECT_EQ(Item(0).fmt, HDF_STRING | HDF_LEFT | HDF_SORTUP);
    EXPECT_EQ(Item(2).fmt, HDF_STRING | HDF_CENTER) << "the old mark goes";
    EXPECT_EQ(arrows.GetImageList(), HIMAGELIST(NULL)) << "no images are made for the drawn marks";
}

TEST_F(SortArrowsTest, OlderCommonControlsShowTheArrowImageOnTheRight)
{
    CSortArrows arrows(CSortArrows::controlsBelow6);
    arrows.Apply(*m_list.GetHeaderCtrl(), 2, true);
    ASSERT_NE(arrows.GetImageList(), HIMAGELIST(NULL));
    EXPECT_EQ(m_list.GetHeaderCtrl()->GetImageList(), arrows.GetImageList());
    EXPECT_EQ(ImageList_GetImageCount(arrows.GetImageList()), 2);
    HDITEMW stSorted = Item(2);
    EXPECT_EQ(stSorted.fmt, HDF_STRING | HDF_CENTER | HDF_IMAGE | HDF_BITMAP_ON_RIGHT);
    EXPECT_EQ(stSorted.iImage, 1) << "descending";
    for (int i : {0, 1})
        EXPECT_EQ(Item(i).fmt & (HDF_IMAGE | HDF_BITMAP_ON_RIGHT | HDF_SORTUP | HDF_SORTDOWN), 0) << i;
    arrows.Apply(*m_list.GetHeaderCtrl(), 1, false);
    EXPECT_EQ(Item(1).iImage, 0) << "ascending";
    EXPECT_EQ(Item(2).fmt & HDF_IMAGE, 0);
}

TEST(SortArrows, TheProgramWithoutAManifestHasTheOlderCommonControls)
{
    EXPECT_EQ(CSortArrows::GetCommonControlsClass(), CSortArrows::controlsBelow6);
}
