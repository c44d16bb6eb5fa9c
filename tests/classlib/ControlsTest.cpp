#include "classlib/Controls.h"
#include "classlib/DC.h"
#include "classlib/ImageList.h"
#include "classlib/ListCtrl.h"
#include "classlib/TabCtrl.h"
#include "classlib/ToolTipCtrl.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
class ControlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_parent.CreateEx(0, nullptr, L"controls", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, NULL, NULL));
    }
    void TearDown() override { m_parent.DestroyWindow(); }
    CWnd m_parent;
};

// A button that takes its own clicks before its parent sees them.
class CSelfClickingButton : public CButton
{
public:
    BOOL OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM, LRESULT*) override
    {
        if (nMsg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
            return FALSE;
        ++m_nClicks;
        return TRUE;
    }
    int m_nClicks = 0;
};

class CCommandCountingWnd : public CWnd
{
public:
    BOOL OnCmdMsg(UINT, int nCode, void*) override
    {
        m_nCommands += nCode != CN_UPDATE_COMMAND_UI;
        return FALSE;
    }
    int m_nCommands = 0;
};

TEST(ControlReflection, RealButtonClickStopsAtTheButton)
{
    CCommandCountingWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL));
    CSelfClickingButton button;
    ASSERT_TRUE(button.Create(L"Go", WS_VISIBLE | BS_PUSHBUTTON, CRect(0, 0, 60, 24), &parent, 5));
    button.SendMessage(BM_CLICK);
    EXPECT_EQ(button.m_nClicks, 1);
    EXPECT_EQ(parent.m_nCommands, 0);
    parent.DestroyWindow();
}

TEST_F(ControlsTest, ListTextsDataStateAndColumnOrder)
{
    CListCtrl list;
    ASSERT_TRUE(list.Create(LVS_REPORT | WS_VISIBLE, CRect(0, 0, 300, 200), &m_parent, 10));
    EXPECT_EQ(list.InsertColumn(0, L"Name", LVCFMT_LEFT, 80), 0);
    EXPECT_EQ(list.InsertColumn(1, L"Size", LVCFMT_RIGHT, 60), 1);
    EXPECT_EQ(list.InsertColumn(2, L"Kind"), 2);
    EXPECT_EQ(list.GetColumnCount(), 3);
    EXPECT_EQ(list.InsertItem(0, L"first"), 0);
    EXPECT_EQ(list.InsertItem(1, L"second"), 1);
    std::wstring strLong(300, L'z');
    EXPECT_TRUE(list.SetItemText(1, 2, strLong.c_str()));
    EXPECT_EQ(list.GetItemText(1, 2).Str(), strLong) << "texts longer than the first buffer come back whole";
    EXPECT_EQ(list.GetItemText(0, 0), L"first");
    EXPECT_EQ(list.GetItemText(0, 1), L"");
    EXPECT_TRUE(list.SetItemData(1, 0xBEEF));
    EXPECT_EQ(list.GetItemData(1), 0xBEEFu);
    EXPECT_TRUE(list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED));
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 1);

    std::vector<int> order = {2, 0, 1};
    EXPECT_TRUE(list.SetColumnOrderArray(order));
    std::vector<int> back;
    EXPECT_TRUE(list.GetColumnOrderArray(back));
    EXPECT_EQ(back, order);
    CRect rcLabel;
    EXPECT_TRUE(list.GetItemRect(0, &rcLabel, LVIR_LABEL));
    EXPECT_GT(rcLabel.Width(), 0);
}

namespace
{
int CALLBACK CompareDataDescending(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort)
{
    ++*reinterpret_cast<int*>(lParamSort);
    return lParam1 < lParam2 ? 1 : lParam1 > lParam2 ? -1 : 0;
}
} // namespace

TEST_F(ControlsTest, ListHeaderSearchSortAndLabelEdit)
{
    CListCtrl list;
    ASSERT_TRUE(list.Create(LVS_REPORT | LVS_EDITLABELS | WS_VISIBLE, CRect(0, 0, 300, 200), &m_parent, 10));
    list.InsertColumn(0, L"Name", LVCFMT_LEFT, 80);
    list.InsertColumn(1, L"Size", LVCFMT_RIGHT, 60);
    for (int i = 0; i < 3; ++i)
    {
        list.InsertItem(i, (L"item" + std::to_wstring(i)).c_str());
        list.SetItemData(i, 10 * (i + 1));
    }

    CHeaderCtrl* pHeader = list.GetHeaderCtrl();
    ASSERT_NE(pHeader, nullptr);
    EXPECT_EQ(pHeader->GetItemCount(), 2);
    list.SetColumnOrderArray({1, 0});
    EXPECT_EQ(pHeader->OrderToIndex(0), 1);
    HDITEMW stItem = {};
    stItem.mask = HDI_FORMAT;
    stItem.fmt = HDF_STRING | HDF_SORTDOWN;
    EXPECT_TRUE(pHeader->SetItem(1, &stItem));
    stItem.fmt = 0;
    EXPECT_TRUE(pHeader->GetItem(1, &stItem));
    EXPECT_EQ(stItem.fmt & HDF_SORTDOWN, HDF_SORTDOWN);
    CRect rcItem;
    EXPECT_TRUE(pHeader->GetItemRect(1, &rcItem));
    EXPECT_EQ(rcItem.Width(), 60);

    LVFINDINFOW stFind = {};
    stFind.flags = LVFI_PARAM;
    stFind.lParam = 20;
    EXPECT_EQ(list.FindItem(&stFind), 1);
    EXPECT_EQ(list.FindItem(&stFind, 1), -1) << "the search starts after the start item";

    int nCompares = 0;
    EXPECT_TRUE(list.SortItems(CompareDataDescending, reinterpret_cast<DWORD_PTR>(&nCompares)));
    EXPECT_GT(nCompares, 0);
    EXPECT_EQ(list.GetItemData(0), 30u);
    EXPECT_EQ(list.GetItemText(2, 0), L"item0");

    list.SetFocus();
    HWND hEdit = list.EditLabel(0);
    ASSERT_NE(hEdit, HWND(NULL));
    EXPECT_EQ(list.GetEditControl(), hEdit);
    list.CancelEditLabel();
    EXPECT_EQ(list.GetEditControl(), HWND(NULL));
    EXPECT_EQ(list.GetItemText(0, 0), L"item2");
}

TEST_F(ControlsTest, ToolTipToolsAndTexts)
{
    CToolTipCtrl tip;
    ASSERT_TRUE(tip.Create(&m_parent, TTS_ALWAYSTIP));
    CRect rc(0, 0, 50, 20);
    EXPECT_TRUE(tip.AddTool(&m_parent, L"first tip", &rc, 1));
    EXPECT_TRUE(tip.AddTool(&m_parent, L"whole window"));
    EXPECT_EQ(tip.GetToolCount(), 2);
    tip.UpdateTipText(L"changed", &m_parent, 1);
    EXPECT_EQ(tip.GetText(&m_parent, 1), L"changed");
    EXPECT_EQ(tip.GetText(&m_parent), L"whole window");
    RECT rcMargin = {1, 2, 3, 4}, rcBack = {};
    tip.SetMargin(&rcMargin);
    tip.GetMargin(&rcBack);
    EXPECT_TRUE(::EqualRect(&rcMargin, &rcBack));
    tip.DelTool(&m_parent, 1);
    EXPECT_EQ(tip.GetToolCount(), 1);
    tip.DestroyWindow();
}

TEST_F(ControlsTest, ComboAndTabItems)
{
    CComboBox combo;
    ASSERT_TRUE(combo.Create(CBS_DROPDOWNLIST | WS_VISIBLE, CRect(0, 0, 100, 100), &m_parent, 11));
    combo.AddString(L"Quick");
    combo.AddString(L"Complete");
    EXPECT_EQ(combo.GetCount(), 2);
    EXPECT_EQ(combo.GetLBText(1), L"Complete");
    EXPECT_EQ(combo.GetLBText(5), L"");
    EXPECT_EQ(combo.SetCurSel(1), 1);
    EXPECT_EQ(combo.GetCurSel(), 1);

    CTabCtrl tab;
    ASSERT_TRUE(tab.Create(WS_VISIBLE, CRect(0, 100, 300, 250), &m_parent, 12));
    tab.InsertItem(0, L"General");
    tab.InsertItem(1, L"Advanced");
    EXPECT_EQ(tab.GetItemCount(), 2);
    tab.SetCurSel(1);
    EXPECT_EQ(tab.GetCurSel(), 1);
    CRect rcPage(0, 0, 300, 150);
    tab.AdjustRect(FALSE, &rcPage);
    EXPECT_GT(rcPage.top, 0) << "the page area lies below the tabs";
}

TEST(ImageLists, MaskedImagesDrawOnlyTheirOpaquePixels)
{
    void* pBits = nullptr;
    HBITMAP hImage = CreateSection(2, 1, &pBits);
    static_cast<DWORD*>(pBits)[0] = 0xFF00FF;
    static_cast<DWORD*>(pBits)[1] = 0x0000FF;

    CImageList images;
    ASSERT_TRUE(images.Create(2, 1, ILC_COLOR32 | ILC_MASK, 1, 1));
    EXPECT_EQ(images.Add(hImage, RGB(255, 0, 255)), 0);
    EXPECT_EQ(images.GetImageCount(), 1);

    void* pTargetBits = nullptr;
    HBITMAP hTarget = CreateSection(2, 1, &pTargetBits);
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    dc.SelectObject(hTarget);
    dc.FillSolidRect(0, 0, 2, 1, RGB(0, 255, 0));
    EXPECT_TRUE(images.Draw(&dc, 0, CPoint(0, 0), ILD_TRANSPARENT));
    ::GdiFlush();
    EXPECT_EQ(PixelOf(pTargetBits, 2, 0, 0), RGB(0, 255, 0)) << "masked pixel keeps the background";
    EXPECT_EQ(PixelOf(pTargetBits, 2, 1, 0), RGB(0, 0, 255));
    HICON hIcon = images.ExtractIcon(0);
    EXPECT_NE(hIcon, HICON(NULL));
    ::DestroyIcon(hIcon);
    dc.DeleteDC();
    ::DeleteObject(hTarget);
    ::DeleteObject(hImage);
    HIMAGELIST hList = images.Detach();
    EXPECT_EQ(images.GetSafeHandle(), HIMAGELIST(NULL));
    EXPECT_TRUE(ImageList_Destroy(hList));
}
} // namespace
