#include "ReplyFakes.h"

#include "gui/Resource.h"

#include "classlib/WinApp.h"
#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"
#include "protocol/NetDefragSettingsLight.h"
#include "protocol/NetDefragString.h"
#include "protocol/NetDefragVersionInfo.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace guitest;
using prototest::Bytes;

namespace
{
CNetDefragPartitionListEntry Drive(int32_t nId, const wchar_t* pszRoot)
{
    CNetDefragPartitionListEntry entry = MakeEntry(nId, pszRoot, 4, 30);
    entry.m_strVolumeLabel = L"Data";
    entry.m_strFileSystemName = L"NTFS";
    entry.m_strSerialNumber = L"0A0B-0C0D";
    entry.m_llTotalBytes = 64LL << 20;
    entry.m_llUsedClusters = 100;
    return entry;
}

struct stLoadedReply
{
    const char* pszName;
    int32_t nCode;
    std::function<std::unique_ptr<CNetDefragObject>()> fnMake;
    // Only this object may decode cleanly when cut short: its records end anywhere.
    bool bCutMayDecode;
};

std::vector<stLoadedReply> LoadedReplies()
{
    static BYTE abCells[3 * 11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    return {
        {"drive list", RESPONSE_PARTITION_LIST, [] {
             auto p = std::make_unique<CNetDefragPartitionList>();
             p->Add(std::make_unique<CNetDefragPartitionListEntry>(Drive(1, L"S:\\")));
             p->Add(std::make_unique<CNetDefragPartitionListEntry>(Drive(2, L"T:\\")));
             return std::unique_ptr<CNetDefragObject>(std::move(p));
         }, false},
        {"drive entry", RESPONSE_PARTITION_ENTRY, prototest::Maker<CNetDefragPartitionListEntry>(
             [](CNetDefragPartitionListEntry& e) { e = Drive(1, L"S:\\"); }), false},
        {"cluster map", RESPONSE_CLUSTERMAP, prototest::Maker<CNetDefragPartitionClustermap>(
             [](CNetDefragPartitionClustermap& m) {
                 m.m_nVolumeIndex = 1;
                 m.m_strDriveRoot = L"S:\\";
                 m.m_llTotalClusters = 3000;
                 m.m_llClustersPerCell = 1000;
                 m.SetCells(abCells, 3, 11);
             }), false},
        {"cluster map changes", RESPONSE_CLUSTERMAP_MODLIST, prototest::Maker<CNetDefragClustermapModList>(
             [](CNetDefragClustermapModList& l) {
                 l.m_nVolumeIndex = 1;
                 l.AddRange(0, 1, 11, abCells);
                 l.AddRange(1, 2, 11, abCells + 11);
             }), true},
        {"cluster explorer", RESPONSE_CLUSTEREXPLORER, prototest::Maker<CNetDefragPartitionClusterExplorerResponse>(
             [](CNetDefragPartitionClusterExplorerResponse& r) {
                 r.m_nVolumeIndex = 1;
                 r.m_strDriveRoot = L"S:\\";
                 r.m_llFirstCluster = 0;
                 r.m_llLastCluster = 99;
                 r.AddFile(L"\\a.txt", 0, 9, 5);
                 r.AddFile(L"\\b.txt", 10, 19, 5);
             }), false},
        {"file clusters", RESPONSE_FILE_CLUSTERS, prototest::Maker<CNetDefragPartitionClusterExplorerResponse>(
             [](CNetDefragPartitionClusterExplorerResponse& r) { r.AddFile(L"\\a.txt", 0, 9, 5); }), false},
        {"drive information", RESPONSE_PARTITION_INFO, prototest::Maker<CNetDefragPartitionInfo>(
             [](CNetDefragPartitionInfo& i) {
                 i.m_nVolumeIndex = 1;
                 i.m_strDriveRoot = L"S:\\";
                 i.m_strFileSystemName = L"NTFS";
             }), false},
        {"fragmented files", RESPONSE_FRAG_FILES, prototest::Maker<CNetDefragPartitionFragFiles>(
             [](CNetDefragPartitionFragFiles& f) {
                 f.m_nVolumeIndex = 1;
                 f.m_strDriveRoot = L"S:\\";
                 f.AddFile(L"\\big.bin", 12);
             }), false},
        {"version", RESPONSE_VERSION_INFO, prototest::Maker<CNetDefragVersionInfo>(
             [](CNetDefragVersionInfo& v) {
                 v.m_nMajorVersion = 3;
                 v.m_nMinorVersion = 5;
                 v.m_strVersionText = L"3.5.0.0";
             }), false},
        {"service information", RESPONSE_SERVICE_INFO, prototest::Maker<CNetDefragVersionInfo>(
             [](CNetDefragVersionInfo& v) { v.m_strVersionText = L"3.5.0.0"; }), false},
        {"settings", RESPONSE_SETTINGS, prototest::Maker<CNetDefragSettingsLight2>(
             [](CNetDefragSettingsLight2& s) { s.m_strPassword = L"ABC"; }), false},
        {"wizard settings", RESPONSE_WIZARD_SETTINGS, prototest::Maker<CNetDefragSettingsLight2>(
             [](CNetDefragSettingsLight2& s) { s.m_strPassword = L"ABC"; }), false},
    };
}

class ReplyWireTest : public ::testing::Test, protected CDispatchFixture
{
protected:
    ReplyWireTest() : m_guard(1 << 20)
    {
        m_ui.m_bPaneInUse = true;
        m_ui.m_flags.bShowSplashScreen = false;
    }
    // Dispatches a payload whose last byte is the last readable one.
    bool DeliverGuarded(const Bytes& payload)
    {
        const BYTE* pPayload = m_guard.Place(payload);
        EXPECT_NE(pPayload, nullptr);
        m_dispatcher.OnConnectionStarted();
        return m_dispatcher.DispatchPayload(-1, pPayload, static_cast<UINT>(payload.size()));
    }

    CWinApp m_app;
    prototest::CGuardedPayload m_guard;
};

TEST_F(ReplyWireTest, EveryTruncationOfALoadedReplyIsRefusedOrDecodedInsideTheBuffer)
{
    ASSERT_TRUE(m_guard.IsGuarded());
    ASSERT_TRUE(DeliverList({MakeEntry(1, L"S:\\")}));
    for (const stLoadedReply& reply : LoadedReplies())
    {
        std::unique_ptr<CNetDefragObject> pObject = reply.fnMake();
        size_t nWritten = 0;
        Bytes whole = prototest::BuildMessage(reply.nCode, pObject.get(), &nWritten);
        EXPECT_TRUE(DeliverGuarded(whole)) << reply.pszName;
        for (size_t nCut = 0; nCut < whole.size(); ++nCut)
        {
            bool bDecoded = DeliverGuarded(Bytes(whole.begin(), whole.begin() + nCut));
            if (nCut < nWritten && !reply.bCutMayDecode)
            {
                EXPECT_FALSE(bDecoded) << reply.pszName << " cut to " << nCut << " of " << nWritten;
            }
        }
    }
    EXPECT_EQ(m_ui.Only(L"box:Remote component incompatible.").size(), m_ui.Only(L"lost").size());
}

TEST_F(ReplyWireTest, MutatedRepliesAreRefused)
{
    using prototest::CPayload;
    struct stCase
    {
        const char* pszName;
        Bytes payload;
    };
    const stCase aCases[] = {
        {"256 drives", CPayload().Header(RESPONSE_PARTITION_LIST).I32(256).Fill(256 * 168, 0).Get()},
        {"a drive count of 0x7FFFFFFF", CPayload().Header(RESPONSE_PARTITION_LIST).I32(0x7FFFFFFF).Fill(168, 0).Get()},
        {"a negative drive count", CPayload().Header(RESPONSE_PARTITION_LIST).I32(-1).Fill(168, 0).Get()},
        {"a string of 10242 bytes", CPayload().Header(RESPONSE_PARTITION_ENTRY).I32(10242).Fill(10242 + 168, 'A').Get()},
        {"a string longer than the payload", CPayload().Header(RESPONSE_PARTITION_ENTRY).I32(400).Fill(100, 'A').Get()},
        {"a map of 5 bytes a cell", CPayload().Header(RESPONSE_CLUSTERMAP).I32(1).Str(L"S:\\").I64(30).I64(10).I32(3).I32(5).Fill(15, 1).Get()},
        {"a map of 0 bytes a cell", CPayload().Header(RESPONSE_CLUSTERMAP).I32(1).Str(L"S:\\").I64(30).I64(10).I32(3).I32(0).Fill(16, 1).Get()},
        {"map cells past the payload", CPayload().Header(RESPONSE_CLUSTERMAP).I32(1).Str(L"S:\\").I64(1000).I64(10).I32(100).I32(11).Fill(50, 1).Get()},
        {"a change record past its block", CPayload().Header(RESPONSE_CLUSTERMAP_MODLIST).I32(1).I64(0).I64(1000).I32(11).Fill(40, 1).Get()},
        {"a billion explorer entries", CPayload().Header(RESPONSE_CLUSTEREXPLORER).I32(1).Str(L"S:\\").I64(0).I64(9).I32(1000000000).Fill(64, 0).Get()},
        {"a billion fragmented files", CPayload().Header(RESPONSE_FRAG_FILES).I32(1).Str(L"S:\\").I32(1000000000).Fill(64, 0).Get()},
    };
    ASSERT_TRUE(DeliverList({MakeEntry(1, L"S:\\")}));
    for (const stCase& c : aCases)
        EXPECT_FALSE(DeliverGuarded(c.payload)) << c.pszName;
    EXPECT_EQ(m_list.Drives(), (std::vector<std::wstring>{L"S:\\"}));

    // An odd string length is no reason to read past the payload either way.
    Bytes odd = CPayload().Header(RESPONSE_SERVICE_INFO).I32(3).I32(1).I32(0).I32(0).I32(3).Fill(3, 'A').Get();
    DeliverGuarded(odd);
}

// Little-endian UTF-16 of the text, as hex.
std::string Utf16Hex(const wchar_t* psz)
{
    std::string str;
    char szByte[4];
    for (; *psz != 0; ++psz)
    {
        snprintf(szByte, sizeof szByte, "%02X", static_cast<unsigned>(*psz & 0xFF));
        str += szByte;
        snprintf(szByte, sizeof szByte, "%02X", static_cast<unsigned>(*psz >> 8));
        str += szByte;
    }
    return str;
}

TEST_F(ReplyWireTest, RequestsGoOutAsTheseBytes)
{
    const std::string strPasswordDigest = Utf16Hex(L"5F4DCC3B5AA765D61D8327DEB882CF99");
    struct stCase
    {
        const char* pszName;
        std::function<Bytes(CDispatchFixture&)> fnSend;
        std::string strHex;
    };
    auto lastSent = [](CDispatchFixture& f) { return f.m_sender.m_sent.empty() ? Bytes() : f.m_sender.m_sent.back().bytes; };
    const stCase aCases[] = {
        {"analyze drive 2",
         [&](CDispatchFixture& f) {
             f.DeliverList({MakeEntry(2, L"C:\\")});
             f.m_rows.SendDriveAction(f.m_sender, CMD_ANALYZE, IDS_ANALYZING_WAIT, nullptr);
             return lastSent(f);
         },
         "05000000 00000000 DE050000 | 02000000"},
        {"no password",
         [&](CDispatchFixture& f) {
             f.m_ui.m_answers = {L""};
             f.m_dispatcher.SetConnectionPassword();
             return lastSent(f);
         },
         "05000000 00000000 E7050000 | 00000000"},
        {"a new password",
         [&](CDispatchFixture& f) {
             f.m_ui.m_answers = {L"password"};
             f.m_dispatcher.SetConnectionPassword();
             return lastSent(f);
         },
         "05000000 00000000 E7050000 | 40000000" + strPasswordDigest + "| 00"},
        {"the password asked for",
         [&](CDispatchFixture& f) {
             f.m_ui.m_answers = {L"password"};
             f.Deliver(RESPONSE_PASSWORD_REQUIRED);
             return lastSent(f);
         },
         "05000000 00000000 E8050000 | 40000000" + strPasswordDigest + "| 00"},
        {"the drive list after the version check",
         [&](CDispatchFixture& f) {
             f.m_ui.m_flags.bShowSplashScreen = false;
             CNetDefragVersionInfo version;
             version.m_nMajorVersion = 3;
             version.m_nMinorVersion = 5;
             f.Deliver(RESPONSE_VERSION_INFO, &version);
             return lastSent(f);
         },
         "05000000 00000000 65000000 | 00000000"},
        {"show a file",
         [](CDispatchFixture&) {
             CNetDefragString file;
             file.m_nVolumeIndex = 1;
             file.m_strFileName = L"\\dir\\a.txt";
             return prototest::BuildMessage(CMD_SHOW_FILE, &file);
         },
         "05000000 00000000 E9050000 | 01000000 | 14000000" + Utf16Hex(L"\\dir\\a.txt") + "| 00"},
        {"version", [](CDispatchFixture&) { return prototest::BuildMessage(CMD_GET_VERSION_INFO, nullptr); },
         "05000000 00000000 66000000 | 00000000"},
        {"settings", [](CDispatchFixture&) { return prototest::BuildMessage(CMD_GET_SETTINGS, nullptr); },
         "05000000 00000000 6A000000 | 00000000"},
        {"pause", [](CDispatchFixture&) { return prototest::BuildMessage(CMD_PAUSE, nullptr); },
         "05000000 00000000 6B000000 | 00000000"},
        {"continue", [](CDispatchFixture&) { return prototest::BuildMessage(CMD_CONTINUE, nullptr); },
         "05000000 00000000 6C000000 | 00000000"},
        {"wizard settings", [](CDispatchFixture&) { return prototest::BuildMessage(CMD_GET_WIZARD_SETTINGS, nullptr); },
         "05000000 00000000 6D000000 | 00000000"},
    };
    for (const stCase& c : aCases)
    {
        CDispatchFixture fixture;
        EXPECT_EQ(c.fnSend(fixture), prototest::Hex(c.strHex.c_str())) << c.pszName;
    }
}
} // namespace
