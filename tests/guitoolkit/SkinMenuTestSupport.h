// A menu theme that records what the menus ask of it, and a fixture that
// installs a few of them and puts the environment and switches back.
#pragma once

#include "guitoolkit/MenuTheme.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

struct stThemeCall
{
    const CSkinMenu* pMenu;
    UINT nItemID;
    BOOL bMenuBar;
    bool operator==(const stThemeCall& other) const
    {
        return pMenu == other.pMenu && nItemID == other.nItemID && bMenuBar == other.bMenuBar;
    }
};

class CRecordingTheme : public CMenuTheme
{
public:
    explicit CRecordingTheme(int nThemeId) : CMenuTheme(nThemeId) {}

    void MeasureItem(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar) override
    {
        m_measured.push_back({&menu, pMeasure->itemID, bMenuBar});
        pMeasure->itemWidth = 60;
        pMeasure->itemHeight = 16;
    }
    void DrawItem(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar) override
    {
        m_drawn.push_back({&menu, pDraw->itemID, bMenuBar});
    }
    void DrawTitle(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw) override
    {
        m_titles.push_back({&menu, pDraw->itemID, FALSE});
    }

    std::vector<stThemeCall> m_measured;
    std::vector<stThemeCall> m_drawn;
    std::vector<stThemeCall> m_titles;
};

class SkinMenuTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_savedEnvironment = ToolkitEnvironment();
        m_nSavedDarkening = CSkinMenu::GetIconDarkening();
        for (int nId : {1, 2, 3, 10, 11})
        {
            m_themes.emplace_back(new CRecordingTheme(nId));
            m_themeList.push_back(m_themes.back().get());
        }
        CSkinMenu::SetThemeList(&m_themeList, m_themes[0].get());
    }
    void TearDown() override
    {
        CSkinMenu::SetThemeList(nullptr, nullptr);
        CSkinMenu::SetIconDarkening(m_nSavedDarkening);
        ToolkitEnvironment() = m_savedEnvironment;
    }
    CRecordingTheme& Theme(int nIndex) { return *m_themes[nIndex]; }

    std::vector<std::unique_ptr<CRecordingTheme>> m_themes;
    std::vector<CMenuTheme*> m_themeList;
    stToolkitEnvironment m_savedEnvironment;
    int m_nSavedDarkening = 0;
};
