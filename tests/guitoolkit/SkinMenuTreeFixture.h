// A menu bar made with CreateMenu and AppendMenu, converted to owner draw:
//   &File:  &Open<TAB>Ctrl+O (100), separator, &Save (101, grey), a bitmap item (102),
//           &Recent: One (110), Shared (500)
//           Shared (500)
//   &Edit:  &Copy (200, right order), Shared (500)
//   &Help (right-justified): About (300)
#pragma once

#include "SkinMenuTestSupport.h"

class SkinMenuTreeTest : public SkinMenuTest
{
protected:
    void SetUp() override
    {
        SkinMenuTest::SetUp();
        m_hBitmap = ::CreateBitmap(8, 8, 1, 32, nullptr);
        m_hBar = ::CreateMenu();
        m_hFile = ::CreatePopupMenu();
        m_hRecent = ::CreatePopupMenu();
        m_hEdit = ::CreatePopupMenu();
        m_hHelp = ::CreatePopupMenu();
        ::AppendMenuW(m_hRecent, MF_STRING, 110, L"One");
        ::AppendMenuW(m_hRecent, MF_STRING, 500, L"Shared");
        ::AppendMenuW(m_hFile, MF_STRING, 100, L"&Open\tCtrl+O");
        ::AppendMenuW(m_hFile, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(m_hFile, MF_STRING | MF_GRAYED, 101, L"&Save");
        ::AppendMenuW(m_hFile, MF_BITMAP, 102, reinterpret_cast<const wchar_t*>(m_hBitmap));
        ::AppendMenuW(m_hFile, MF_POPUP, reinterpret_cast<UINT_PTR>(m_hRecent), L"&Recent");
        ::AppendMenuW(m_hFile, MF_STRING, 500, L"Shared");
        ::AppendMenuW(m_hEdit, MF_STRING | MFT_RIGHTORDER, 200, L"&Copy");
        ::AppendMenuW(m_hEdit, MF_STRING, 500, L"Shared");
        ::AppendMenuW(m_hHelp, MF_STRING, 300, L"About");
        ::AppendMenuW(m_hBar, MF_POPUP, reinterpret_cast<UINT_PTR>(m_hFile), L"&File");
        ::AppendMenuW(m_hBar, MF_POPUP, reinterpret_cast<UINT_PTR>(m_hEdit), L"&Edit");
        ::AppendMenuW(m_hBar, MF_POPUP | MF_HELP, reinterpret_cast<UINT_PTR>(m_hHelp), L"&Help");
        ASSERT_TRUE(m_bar.ConvertToOwnerDraw(m_hBar));
    }
    void TearDown() override
    {
        m_bar.DestroyMenu();
        ::DeleteObject(m_hBitmap);
        SkinMenuTest::TearDown();
    }
    static CSkinMenu* Skin(HMENU hMenu) { return dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(hMenu)); }
    static UINT PopupID(HMENU hMenu) { return static_cast<UINT>(reinterpret_cast<UINT_PTR>(hMenu)); }
    static MENUITEMINFOW Info(HMENU hMenu, int nPos)
    {
        MENUITEMINFOW stInfo = {};
        stInfo.cbSize = sizeof(stInfo);
        stInfo.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_STATE | MIIM_ID;
        EXPECT_TRUE(::GetMenuItemInfoW(hMenu, nPos, TRUE, &stInfo));
        return stInfo;
    }
    // Every position's item carries the record at that position.
    static void ExpectItemsCarryTheirRecords(const CSkinMenu& menu)
    {
        int nCount = ::GetMenuItemCount(menu.m_hMenu);
        ASSERT_EQ(static_cast<int>(menu.m_items.size()), nCount);
        for (int nPos = 0; nPos < nCount; ++nPos)
        {
            MENUITEMINFOW stInfo = Info(menu.m_hMenu, nPos);
            if (menu.m_items[nPos]->m_nFlags & MF_BITMAP)
                continue;
            EXPECT_TRUE(stInfo.fType & MFT_OWNERDRAW) << "position " << nPos;
            EXPECT_EQ(stInfo.dwItemData, reinterpret_cast<ULONG_PTR>(menu.m_items[nPos])) << "position " << nPos;
        }
    }

    HBITMAP m_hBitmap = NULL;
    HMENU m_hBar = NULL, m_hFile = NULL, m_hRecent = NULL, m_hEdit = NULL, m_hHelp = NULL;
    CSkinMenu m_bar;
};
