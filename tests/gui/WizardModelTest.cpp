// The configuration wizard's pages and settings, without windows.
#include "gui/WizardModel.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragSettingsLight.h"
#include "tests/protocol/ProtocolTestSupport.h"

#include <gtest/gtest.h>

using prototest::Bytes;
using prototest::Hex;
using prototest::operator+;

namespace
{
// Pages by index from 0: the removable drives, boot-time and proactive pages hold the checks.
constexpr int RemovablePage = 1;
constexpr int BoottimePage = 2;
constexpr int ProactivePage = 3;

// A settings object with nothing at its default, as a reused one may be.
CNetDefragSettingsLight2 Filled()
{
    CNetDefragSettingsLight2 settings;
    settings.m_nDefaultPort = 7110;
    settings.m_nMoveModifiedFilesToEnd = 2;
    settings.m_nRunChkDskBeforeDefrag = 3;
    settings.m_nUseIOGuard = 3;
    settings.m_nIOGuardMinIdlePercentage = 40;
    settings.m_nDisableAutoMonitoring = 1;
    settings.m_nUseRemovableDisks = 1;
    settings.m_nUseBoottimeDefrag = 1;
    settings.m_nPauseOnBattery = 1;
    settings.m_nReserved[4] = 9;
    settings.m_strAddDrivesManually = L"AG";
    settings.m_strIgnoreMonitoringDrives = L"HZ";
    settings.m_strVersionText = L"3.6.0.1";
    settings.m_strPassword = L"5F4DCC3B5AA765D61D8327DEB882CF99";
    return settings;
}
} // namespace

TEST(WizardModel, ThePagesShowTheAnswerAndStartFromTheirDefaults)
{
    CWizardModel wizard;
    EXPECT_TRUE(wizard.IsChecked(RemovablePage));
    EXPECT_FALSE(wizard.IsChecked(BoottimePage));
    EXPECT_TRUE(wizard.IsChecked(ProactivePage));

    struct CASE
    {
        int32_t nRemovable, nBoottime, nDisableAutoMonitoring;
        bool bRemovable, bBoottime, bProactive;
    } cases[] = {
        {0, 0, 0, false, false, true},
        {1, 1, 1, true, true, false},
        {0, 2, -1, false, true, false},
    };
    for (const CASE& c : cases)
    {
        CNetDefragSettingsLight2 settings;
        settings.m_nUseRemovableDisks = c.nRemovable;
        settings.m_nUseBoottimeDefrag = c.nBoottime;
        settings.m_nDisableAutoMonitoring = c.nDisableAutoMonitoring;
        wizard.Load(settings);
        EXPECT_EQ(c.bRemovable, wizard.IsChecked(RemovablePage)) << c.nRemovable;
        EXPECT_EQ(c.bBoottime, wizard.IsChecked(BoottimePage)) << c.nBoottime;
        EXPECT_EQ(c.bProactive, wizard.IsChecked(ProactivePage)) << c.nDisableAutoMonitoring;
    }
}

TEST(WizardModel, TextPagesHoldNoCheck)
{
    CWizardModel wizard;
    for (int nPage : {-1, 0, 4, 5})
    {
        wizard.SetChecked(nPage, true);
        EXPECT_FALSE(wizard.IsChecked(nPage)) << nPage;
    }
}

TEST(WizardModel, HelpIsOfferedOnTheCheckPagesWithTheirTopics)
{
    struct CASE
    {
        int nPage;
        int nTopic;
        bool bVisible;
    } cases[] = {
        {0, 232, false}, {1, 234, true},  {2, 236, true},   {3, 234, true},
        {4, -1, false},  {5, -1, false}, {-1, -1, false},
    };
    for (const CASE& c : cases)
    {
        EXPECT_EQ(c.nTopic, CWizardModel::GetHelpTopic(c.nPage)) << c.nPage;
        EXPECT_EQ(c.bVisible, CWizardModel::IsHelpVisible(c.nPage)) << c.nPage;
    }
}

// Over the two messages the three settings read 10, 01 and 11, and
// everything the wizard does not show is empty, whatever the object held.
TEST(WizardModel, FinishSendsTheThreeSettingsInWireOrderAndNothingElse)
{
    struct CASE
    {
        bool bRemovable, bProactive;
        const char* pszIntegers;  // wire 1-8
    } cases[] = {
        {false, false, "00000000 00000000 01000000 00000000 00000000 00000000 01000000 00000000"},
        {true, true, "00000000 00000000 00000000 01000000 00000000 00000000 01000000 00000000"},
    };
    for (const CASE& c : cases)
    {
        CWizardModel wizard;
        wizard.Load(Filled());
        wizard.SetChecked(RemovablePage, c.bRemovable);
        wizard.SetChecked(ProactivePage, c.bProactive);
        CNetDefragSettingsLight2 settings = Filled();
        wizard.Finish(settings);
        // Three empty strings, the battery switch and nine reserved values,
        // an empty password, and the rest of the sender's buffer.
        const Bytes expected = Hex("05000000 00000000 ef050000") + Hex(c.pszIntegers) + Bytes(12, 0) +
                               Bytes(4, 0) + Bytes(36, 0) + Bytes(4, 0) + Bytes(12, 0);
        EXPECT_EQ(expected, prototest::BuildMessage(CMD_SET_WIZARD_SETTINGS, &settings)) << c.pszIntegers;
    }
}
