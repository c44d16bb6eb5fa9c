// The configuration dialog's controls, rules and settings, without windows.
#include "gui/ConfigModel.h"
#include "gui/ProcessElevation.h"
#include "gui/Resource.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragSettingsLight.h"
#include "tests/protocol/ProtocolTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using prototest::Bytes;
using prototest::Hex;
using prototest::operator+;

namespace
{
const wchar_t* const DigestOfX = L"9DD4E461268C8034F5C8564E155C67A6";
const wchar_t* const DigestOfPassword = L"5F4DCC3B5AA765D61D8327DEB882CF99";

std::wstring Text(const CUnicodeString& str)
{
    return prototest::Text(str);
}

class ConfigModelTest : public ::testing::Test
{
protected:
    ConfigModelTest()
        : m_model([this] { return m_bElevated; },
                  [this](const CString& strText, CString& strDigest) {
                      m_digested.push_back(strText.Str());
                      auto it = m_digests.find(strText.Str());
                      if (it == m_digests.end())
                          return false;
                      strDigest = it->second.c_str();
                      return true;
                  })
    {
    }

    // The dialog as the configuration command and the settings answer leave it.
    void Open(const stAppOptions& options, const CNetDefragSettingsLight2& settings)
    {
        m_model.Reset(options);
        m_model.LoadService(settings);
    }

    CNetDefragSettingsLight2 Save()
    {
        CNetDefragSettingsLight2 settings;
        EXPECT_TRUE(m_model.SaveService(settings));
        return settings;
    }

    bool m_bElevated = true;
    std::map<std::wstring, std::wstring> m_digests = {{L"x", DigestOfX}, {L"password", DigestOfPassword}};
    std::vector<std::wstring> m_digested;
    CConfigModel m_model;
};

// Checked and enabled state of the tray and start-up controls, "ce" per control:
// C checked, c unchecked, E enabled, e greyed; in the order 8, 9, 10, 37, 38.
std::string TrayAndStartup(const CConfigModel& model)
{
    std::string str;
    for (UINT nID : {IDC_CONFIG_TRAY_SHOW, IDC_CONFIG_TRAY_CONTROL, IDC_CONFIG_TRAY_ADMIN_ONLY,
                     IDC_CONFIG_RUN_AT_STARTUP, IDC_CONFIG_START_MINIMIZED})
    {
        if (!str.empty())
            str += ' ';
        str += model.IsChecked(nID) ? 'C' : 'c';
        str += model.IsEnabled(nID) ? 'E' : 'e';
    }
    return str;
}

stAppOptions Options(int nTrayIconMode, bool bStart, bool bMinimized)
{
    stAppOptions options;
    options.nTrayIconMode = nTrayIconMode;
    options.bStartOnWindowsStart = bStart;
    options.bStartMinimized = bMinimized;
    return options;
}
} // namespace

TEST_F(ConfigModelTest, TheServicePagesShowTheSettingsOfTheAnswer)
{
    struct CASE
    {
        int32_t nRunChkDsk, nIOGuard, nDisableAutoMonitoring;
        bool b25, b26, b30, b31, b12;
    } cases[] = {
        {0, 0, 0, false, false, false, false, true}, {1, 1, 1, false, true, true, false, false},
        {2, 2, 0, true, false, false, true, true},   {3, 3, 1, true, true, true, true, false},
        // Only the bits that mean something; any other non-zero value disables.
        {7, 4, 2, true, true, false, false, false},
    };
    for (const CASE& c : cases)
    {
        CNetDefragSettingsLight2 settings;
        settings.m_nRunChkDskBeforeDefrag = c.nRunChkDsk;
        settings.m_nUseIOGuard = c.nIOGuard;
        settings.m_nDisableAutoMonitoring = c.nDisableAutoMonitoring;
        Open(stAppOptions(), settings);
        EXPECT_EQ(c.b25, m_model.IsChecked(IDC_CONFIG_CHKDSK_MANUAL)) << c.nRunChkDsk;
        EXPECT_EQ(c.b26, m_model.IsChecked(IDC_CONFIG_CHKDSK_PROACTIVE)) << c.nRunChkDsk;
        EXPECT_EQ(c.b30, m_model.IsChecked(IDC_CONFIG_IOGUARD_MANUAL)) << c.nIOGuard;
        EXPECT_EQ(c.b31, m_model.IsChecked(IDC_CONFIG_IOGUARD_PROACTIVE)) << c.nIOGuard;
        EXPECT_EQ(c.b12, m_model.IsChecked(IDC_CONFIG_AUTO_MONITORING)) << c.nDisableAutoMonitoring;
    }

    CNetDefragSettingsLight2 settings;
    settings.m_nPauseOnBattery = 1;
    settings.m_nUseRemovableDisks = 5;
    settings.m_nUseBoottimeDefrag = 1;
    settings.m_nIOGuardMinIdlePercentage = -1;
    settings.m_strAddDrivesManually = L"AG";
    settings.m_strIgnoreMonitoringDrives = L"HZ";
    settings.m_strPassword = DigestOfPassword;
    Open(stAppOptions(), settings);
    EXPECT_TRUE(m_model.HasServicePages());
    EXPECT_TRUE(m_model.IsChecked(IDC_CONFIG_PAUSE_ON_BATTERY));
    EXPECT_TRUE(m_model.IsChecked(IDC_CONFIG_REMOVABLE));
    EXPECT_TRUE(m_model.IsChecked(IDC_CONFIG_BOOTTIME));
    EXPECT_EQ(L"4294967295", m_model.GetText(IDC_CONFIG_THRESHOLD).Str());
    EXPECT_EQ(L"AG", m_model.GetText(IDC_CONFIG_ADD_DRIVES).Str());
    EXPECT_EQ(L"HZ", m_model.GetText(IDC_CONFIG_IGNORE_DRIVES).Str());
    EXPECT_EQ(DigestOfPassword, m_model.GetText(IDC_CONFIG_PASSWORD).Str());
}

TEST_F(ConfigModelTest, AResetDropsTheServicePagesAndWhatTheyHeld)
{
    CNetDefragSettingsLight2 settings;
    settings.m_strPassword = DigestOfPassword;
    settings.m_nUseRemovableDisks = 1;
    Open(stAppOptions(), settings);
    m_model.Reset(stAppOptions());
    EXPECT_FALSE(m_model.HasServicePages());
    EXPECT_FALSE(m_model.IsChecked(IDC_CONFIG_REMOVABLE));
    EXPECT_EQ(L"", m_model.GetText(IDC_CONFIG_PASSWORD).Str());
    EXPECT_FALSE(m_model.IsPasswordTyped());
}

TEST_F(ConfigModelTest, TheBitFieldsAndSwitchesGoBackAsTheyCame)
{
    for (int32_t nValue = 0; nValue <= 3; ++nValue)
    {
        CNetDefragSettingsLight2 settings;
        settings.m_nRunChkDskBeforeDefrag = nValue;
        settings.m_nUseIOGuard = nValue;
        settings.m_nDisableAutoMonitoring = nValue & 1;
        settings.m_nPauseOnBattery = nValue >> 1;
        settings.m_nIOGuardMinIdlePercentage = 25 * nValue;
        Open(stAppOptions(), settings);
        CNetDefragSettingsLight2 saved = Save();
        EXPECT_EQ(nValue, saved.m_nRunChkDskBeforeDefrag);
        EXPECT_EQ(nValue, saved.m_nUseIOGuard);
        EXPECT_EQ(nValue & 1, saved.m_nDisableAutoMonitoring);
        EXPECT_EQ(nValue >> 1, saved.m_nPauseOnBattery);
        EXPECT_EQ(25 * nValue, saved.m_nIOGuardMinIdlePercentage);
        // The service keeps what the dialog does not show.
        EXPECT_EQ(-1, saved.m_nDefaultPort);
        EXPECT_EQ(-1, saved.m_nMoveModifiedFilesToEnd);
    }
}

TEST_F(ConfigModelTest, TheThresholdIsReadAsANumberAndKeptToAPercentage)
{
    struct CASE
    {
        const wchar_t* pszText;
        int32_t nSent;
    } cases[] = {
        {L"abc", 0}, {L"", 0},    {L"1000", 100}, {L"100", 100}, {L"101", 100}, {L"-5", 0},
        {L"57", 57}, {L" 42%", 42}, {L"99999999999", 100}, {L"-99999999999", 0},
    };
    for (const CASE& c : cases)
    {
        Open(stAppOptions(), CNetDefragSettingsLight2());
        m_model.SetText(IDC_CONFIG_THRESHOLD, c.pszText);
        EXPECT_EQ(c.nSent, Save().m_nIOGuardMinIdlePercentage) << c.pszText;
    }
}

TEST_F(ConfigModelTest, AnUntouchedPasswordIsSentAsStoredAndATypedOneIsDigestedOnce)
{
    struct CASE
    {
        const char* pszWhat;
        const wchar_t* pszStored;
        const wchar_t* pszTyped;  // null: the field is left as loaded
        const wchar_t* pszSent;
        bool bTyped;
    } cases[] = {
        {"nothing stored, untouched", L"", nullptr, L"", false},
        {"stored, untouched", DigestOfPassword, nullptr, DigestOfPassword, false},
        {"stored, cleared", DigestOfPassword, L"", L"", false},
        {"nothing stored, typed", L"", L"x", DigestOfX, true},
        {"stored, replaced", DigestOfPassword, L"x", DigestOfX, true},
        {"stored, retyped as shown", DigestOfPassword, DigestOfPassword, DigestOfPassword, false},
    };
    for (const CASE& c : cases)
    {
        CNetDefragSettingsLight2 settings;
        settings.m_strPassword = c.pszStored;
        Open(stAppOptions(), settings);
        if (c.pszTyped != nullptr)
            m_model.SetText(IDC_CONFIG_PASSWORD, c.pszTyped);
        m_digested.clear();
        EXPECT_EQ(c.pszSent, Text(Save().m_strPassword)) << c.pszWhat;
        EXPECT_EQ(c.bTyped ? 1u : 0u, m_digested.size()) << c.pszWhat;
        EXPECT_EQ(c.bTyped, m_model.IsPasswordTyped()) << c.pszWhat;
    }
}

TEST_F(ConfigModelTest, APasswordThatCannotBeDigestedSendsNothing)
{
    Open(stAppOptions(), CNetDefragSettingsLight2());
    m_model.SetText(IDC_CONFIG_PASSWORD, L"no digest for this");
    CNetDefragSettingsLight2 settings;
    EXPECT_FALSE(m_model.SaveService(settings));
}

TEST_F(ConfigModelTest, TheTrayIconModeIsShownAndSavedFromItsBoxes)
{
    struct CASE
    {
        int nMode;
        const char* pszShown;  // 8, 9, 10, 37, 38
    } cases[] = {
        {0, "cE ce ce CE cE"},
        {1, "CE cE ce CE cE"},
        {2, "CE CE cE CE cE"},
        {3, "CE CE CE CE cE"},
    };
    for (const CASE& c : cases)
    {
        m_model.Reset(Options(c.nMode, true, false));
        EXPECT_EQ(c.pszShown, TrayAndStartup(m_model)) << c.nMode;
        EXPECT_EQ(c.nMode, m_model.SaveApplication().nTrayIconMode) << c.nMode;
    }
    // A minimized start needs the icon, whatever the stored mode.
    m_model.Reset(Options(0, true, true));
    EXPECT_EQ("Ce cE ce CE CE", TrayAndStartup(m_model));
    EXPECT_EQ(1, m_model.SaveApplication().nTrayIconMode);
}

TEST_F(ConfigModelTest, TickingABoxKeepsTheOthersConsistent)
{
    struct CLICK
    {
        UINT nID;
        bool bChecked;
        const char* pszAfter;  // 8, 9, 10, 37, 38
    };
    struct CASE
    {
        const char* pszWhat;
        stAppOptions options;
        std::vector<CLICK> clicks;
        int nSavedMode;
    } cases[] = {
        {"tick 38, untick it", Options(2, true, false),
         {{IDC_CONFIG_START_MINIMIZED, true, "Ce CE cE CE CE"}, {IDC_CONFIG_START_MINIMIZED, false, "CE CE cE CE cE"}},
         2},
        {"tick 38 with no icon", Options(0, true, false),
         {{IDC_CONFIG_START_MINIMIZED, true, "Ce cE ce CE CE"}},
         1},
        {"untick 37 under a minimized start", Options(1, true, true),
         {{IDC_CONFIG_RUN_AT_STARTUP, false, "CE cE ce cE ce"}, {IDC_CONFIG_RUN_AT_STARTUP, true, "CE cE ce CE cE"}},
         1},
        {"untick 8, tick it again, tick 9", Options(3, true, false),
         {{IDC_CONFIG_TRAY_SHOW, false, "cE ce ce CE cE"},
          {IDC_CONFIG_TRAY_SHOW, true, "CE cE ce CE cE"},
          {IDC_CONFIG_TRAY_CONTROL, true, "CE CE cE CE cE"}},
         2},
        {"untick 9", Options(3, true, false), {{IDC_CONFIG_TRAY_CONTROL, false, "CE cE ce CE cE"}}, 1},
        {"untick 8 with no start-up entry", Options(1, false, false), {{IDC_CONFIG_TRAY_SHOW, false, "cE ce ce cE ce"}},
         0},
    };
    for (const CASE& c : cases)
    {
        m_model.Reset(c.options);
        for (const CLICK& click : c.clicks)
        {
            m_model.OnItemClicked(click.nID, click.bChecked);
            EXPECT_EQ(click.pszAfter, TrayAndStartup(m_model)) << c.pszWhat << ": " << click.nID;
        }
        EXPECT_EQ(c.nSavedMode, m_model.SaveApplication().nTrayIconMode) << c.pszWhat;
    }
}

TEST_F(ConfigModelTest, WithoutElevationTheStartupOptionsAreGreyedAndForceNothing)
{
    m_bElevated = false;
    m_model.Reset(Options(0, true, true));
    EXPECT_EQ("cE ce ce Ce Ce", TrayAndStartup(m_model));
    EXPECT_EQ(static_cast<UINT>(IDS_STARTUP_DISABLED), m_model.GetStartupGroupTextId());
    stAppOptions saved = m_model.SaveApplication();
    EXPECT_EQ(0, saved.nTrayIconMode);
    EXPECT_TRUE(saved.bStartOnWindowsStart);
    EXPECT_TRUE(saved.bStartMinimized);

    m_bElevated = true;
    m_model.Reset(Options(0, true, true));
    EXPECT_EQ(static_cast<UINT>(IDS_STARTUP), m_model.GetStartupGroupTextId());
}

TEST(ProcessElevation, WineRunsEveryProcessElevated)
{
    EXPECT_TRUE(IsProcessElevated());
}

TEST_F(ConfigModelTest, TheStyleRadioAndTheSplashGoBackToTheFrame)
{
    for (int nStyle = 0; nStyle <= 2; ++nStyle)
    {
        stAppOptions options;
        options.nStyle = nStyle;
        options.bShowSplashScreen = nStyle != 1;
        m_model.Reset(options);
        for (int nRadio = 0; nRadio <= 2; ++nRadio)
            EXPECT_EQ(nRadio == nStyle, m_model.IsChecked(IDC_CONFIG_STYLE_STANDARD + nRadio)) << nStyle;
        EXPECT_EQ(nStyle != 1, m_model.IsChecked(IDC_CONFIG_SPLASH));
        m_model.SetChecked(IDC_CONFIG_STYLE_STANDARD + nStyle, false);
        m_model.SetChecked(IDC_CONFIG_STYLE_STANDARD + (nStyle + 1) % 3, true);
        EXPECT_EQ((nStyle + 1) % 3, m_model.SaveApplication().nStyle);
        EXPECT_EQ(nStyle != 1, m_model.SaveApplication().bShowSplashScreen);
    }
    // A stored style the program does not know ticks no other control.
    stAppOptions options = Options(1, true, false);
    options.nStyle = 7;
    m_model.Reset(options);
    EXPECT_FALSE(m_model.IsChecked(IDC_CONFIG_TRAY_CONTROL));
    EXPECT_EQ(1, m_model.SaveApplication().nTrayIconMode);
    EXPECT_EQ(7, m_model.SaveApplication().nStyle);
}

// Every value that can differ does, so a field put in the wrong place shows:
// over the two messages the switches 12, 14, 24 and 13 read 00, 01, 10 and 11.
TEST_F(ConfigModelTest, OkSendsTheSettingsInWireOrder)
{
    CNetDefragSettingsLight2 answer;
    answer.m_nDefaultPort = 7110;
    answer.m_nMoveModifiedFilesToEnd = 2;
    answer.m_strVersionText = L"3.6.0.1";
    answer.m_strAddDrivesManually = L"AG";
    answer.m_strIgnoreMonitoringDrives = L"HZ";
    answer.m_strPassword = DigestOfPassword;
    answer.m_nDisableAutoMonitoring = 1;

    struct CASE
    {
        std::vector<UINT> ticked;
        const wchar_t* pszThreshold;
        const wchar_t* pszTyped;  // null: the password is left as loaded
        const char* pszIntegers;  // wire 1-8
        const char* pszPause;
        const char* pszPassword;  // its UTF-16 text
    } cases[] = {
        {{IDC_CONFIG_AUTO_MONITORING, IDC_CONFIG_PAUSE_ON_BATTERY, IDC_CONFIG_BOOTTIME, IDC_CONFIG_CHKDSK_MANUAL,
          IDC_CONFIG_IOGUARD_MANUAL, IDC_CONFIG_IOGUARD_PROACTIVE},
         L"57", L"x",
         "ffffffff ffffffff 00000000 00000000 02000000 03000000 01000000 39000000", "01000000",
         "39004400 44003400 45003400 36003100 32003600 38004300 38003000 33003400"
         "46003500 43003800 35003600 34004500 31003500 35004300 36003700 41003600"},
        {{IDC_CONFIG_AUTO_MONITORING, IDC_CONFIG_PAUSE_ON_BATTERY, IDC_CONFIG_REMOVABLE, IDC_CONFIG_CHKDSK_PROACTIVE,
          IDC_CONFIG_IOGUARD_PROACTIVE},
         L"64", nullptr,
         "ffffffff ffffffff 00000000 01000000 01000000 02000000 00000000 40000000", "01000000",
         "35004600 34004400 43004300 33004200 35004100 41003700 36003500 44003600"
         "31004400 38003300 32003700 44004500 42003800 38003200 43004600 39003900"},
    };
    for (const CASE& c : cases)
    {
        Open(stAppOptions(), answer);
        for (UINT nID : c.ticked)
            m_model.SetChecked(nID, true);
        m_model.SetText(IDC_CONFIG_THRESHOLD, c.pszThreshold);
        if (c.pszTyped != nullptr)
            m_model.SetText(IDC_CONFIG_PASSWORD, c.pszTyped);
        CNetDefragSettingsLight2 settings = Save();
        // The strings "AG", "HZ" and the empty version text; nine reserved
        // values; a 32-digit password; the spare byte of the sender's buffer.
        const Bytes expected = Hex("05000000 00000000 ec050000") + Hex(c.pszIntegers) +
                               Hex("04000000 41004700 04000000 48005a00 00000000") + Hex(c.pszPause) +
                               Bytes(36, 0) + Hex("40000000") + Hex(c.pszPassword) + Hex("00");
        EXPECT_EQ(expected, prototest::BuildMessage(CMD_SET_SETTINGS, &settings)) << c.pszIntegers;
    }
}
