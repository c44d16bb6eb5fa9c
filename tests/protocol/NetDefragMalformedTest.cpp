#include "ProtocolTestSupport.h"

#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragException.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionListEntry.h"
#include "protocol/NetDefragPartitionNameList.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

using namespace prototest;

namespace {

const size_t MaxPayload = 256 * 1024;

// Loads a whole message the way a receiver does: header, then the object
// that the command carries, then a walk over whatever the object hands out.
// The text of the archive's exception, or empty when the load succeeded.
std::wstring LoadMessage(const BYTE* pPayload, size_t nLength)
{
    try
    {
        CNetDefragBuffer ar(false);
        ar.Attach(pPayload, static_cast<UINT>(nLength));
        CNetDefragPacketHeader header;
        header.Serialize(ar);
        std::unique_ptr<CNetDefragObject> pObject = CreateNetDefragObject(header.GetCommand());
        if (!pObject)
            return std::wstring();
        pObject->Serialize(ar);
        if (auto* pMods = dynamic_cast<CNetDefragClustermapModList*>(pObject.get()))
        {
            CLUSTERMAP_MOD_RECORD st;
            unsigned nSum = 0;
            while (pMods->GetNext(st))
                for (int64_t i = 0; i < st.llCellCount * st.nBytesPerCell; ++i)
                    nSum += st.pCells[i];
            (void)nSum;
        }
        if (auto* pExplorer = dynamic_cast<CNetDefragPartitionClusterExplorerResponse*>(pObject.get()))
            while (pExplorer->GetNext() != nullptr)
            {
            }
        return std::wstring();
    }
    catch (const CNetDefragException& e)
    {
        return e.GetText();
    }
}

class NetDefragMalformed : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_guard.IsGuarded()); }

    std::wstring LoadGuarded(const Bytes& payload)
    {
        const BYTE* p = m_guard.Place(payload);
        if (p == nullptr)
        {
            ADD_FAILURE() << "payload of " << payload.size() << " bytes does not fit";
            return std::wstring();
        }
        return LoadMessage(p, payload.size());
    }

    CGuardedPayload m_guard{MaxPayload};
};

CPayload Header(int32_t nCommand)
{
    return CPayload().Header(nCommand);
}

CPayload ModList()
{
    return Header(RESPONSE_CLUSTERMAP_MODLIST).I32(1);
}

CPayload Map(int32_t nCellCount, int32_t nBytesPerCell)
{
    return Header(RESPONSE_CLUSTERMAP).I32(1).Str(L"C:\\").I64(1000).I64(1).I32(nCellCount).I32(nBytesPerCell);
}

// Every payload lies right before an inaccessible page: a reader that looks
// one byte too far faults instead of passing.
TEST_F(NetDefragMalformed, EveryMalformedPayloadRaisesTheArchiveException)
{
    struct
    {
        const char* pszName;
        Bytes payload;
        const wchar_t* pszText;
    } cases[] = {
        {"empty payload", Bytes(), L"Read past end"},
        {"header cut short", Hex("05000000 00000000 6500"), L"Read past end"},
        {"version 4", CPayload().Header(101, 4).Get(), L"Wrong Version"},
        {"version 6", CPayload().Header(1502, 6).I32(1).Get(), L"Wrong Version"},
        {"object missing", Header(CMD_ANALYZE).Get(), L"Read past end"},
        {"object cut short", Header(CMD_CLUSTEREXPLORER_ASK).I32(1).I64(5).I32(0).Get(), L"Read past end"},
        {"string over 10240 bytes", Header(CMD_PASSWORD).I32(10242).Fill(10242, 'a').Get(), L"String too long"},
        {"negative string count", Header(CMD_PASSWORD).I32(-1).Fill(64, 'a').Get(), L"Bad string"},
        {"odd string count", Header(CMD_SHOW_FILE).I32(1).I32(5).Fill(6, 'a').Get(), L"Bad string"},
        {"string past the payload", Header(CMD_PASSWORD).I32(64).Fill(62, 'a').Get(), L"Read past end"},
        {"drive list of 256", Header(RESPONSE_PARTITION_LIST).I32(256).Fill(256 * 168, 0).Get(), L"Too many entries"},
        {"drive list of -1", Header(RESPONSE_PARTITION_LIST).I32(-1).Get(), L"Too many entries"},
        {"drive list longer than its bytes", Header(RESPONSE_PARTITION_LIST).I32(2).Fill(300, 0).Get(),
         L"Too many entries"},
        {"drive list entry cut short", Header(RESPONSE_PARTITION_LIST).I32(1).I32(20).Fill(20, 'a').Fill(163, 0).Get(),
         L"Read past end"},
        {"name list of 256", Header(RESPONSE_DRIVE_NAMES).I32(256).Fill(256 * 16, 0).Get(), L"Too many entries"},
        {"explorer count past the payload",
         Header(RESPONSE_CLUSTEREXPLORER).I32(1).I32(0).I64(0).I64(9).I32(1000).Fill(100, 0).Get(),
         L"Too many entries"},
        {"explorer count negative", Header(RESPONSE_FILE_CLUSTERS).I32(1).I32(0).I64(0).I64(0).I32(-5).Get(),
         L"Too many entries"},
        {"fragmented files count INT_MAX", Header(RESPONSE_FRAG_FILES).I32(1).I32(0).I32(INT_MAX).Fill(64, 0).Get(),
         L"Too many entries"},
        {"map cell size 12", Map(2, 12).Fill(24, 0).Get(), L"Bad cluster map"},
        {"map cell size 0 with cells", Map(2, 0).Get(), L"Bad cluster map"},
        {"map of 5002 cells", Map(5002, 11).Fill(5002 * 11, 0).Get(), L"Bad cluster map"},
        {"map of -1 cells", Map(-1, 11).Get(), L"Bad cluster map"},
        {"map whose product wraps", Map(0x40000000, 22).Get(), L"Bad cluster map"},
        {"map cells past the payload", Map(3, 22).Fill(65, 0).Get(), L"Read past end"},
        {"change record header cut short", ModList().I64(0).Fill(3, 0).Get(), L"Bad change record"},
        {"change record cell size 12", ModList().I64(0).I64(1).I32(12).Fill(12 + 2, 0).Get(), L"Bad change record"},
        {"change record past its block", ModList().I64(0).I64(3).I32(11).Fill(33, 0).Get(), L"Bad change record"},
        {"change record past the map", ModList().I64(5000).I64(2).I32(11).Fill(22 + 2, 0).Get(),
         L"Bad change record"},
        {"change record at a negative cell", ModList().I64(-1).I64(1).I32(11).Fill(11 + 2, 0).Get(),
         L"Bad change record"},
        {"change record of negative count", ModList().I64(0).I64(-1).I32(11).Fill(2, 0).Get(), L"Bad change record"},
        {"change record count that wraps", ModList().I64(0).I64(0x0800000000000001LL).I32(22).Fill(40, 0).Get(),
         L"Bad change record"},
        {"second change record broken",
         ModList().I64(0).I64(1).I32(11).Fill(11, 1).I64(1).I64(1).I32(22).Fill(10, 0).Get(), L"Bad change record"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(c.pszText), LoadGuarded(c.payload)) << c.pszName;
}

// The limits themselves are accepted, exact-length payloads included.
TEST_F(NetDefragMalformed, LimitsAreAccepted)
{
    struct
    {
        const char* pszName;
        Bytes payload;
    } cases[] = {
        {"string of 10240 bytes", Header(CMD_PASSWORD).I32(10240).Fill(10240, 'a').Get()},
        {"empty string", Header(CMD_PASSWORD).I32(0).Get()},
        {"empty drive list", Header(RESPONSE_PARTITION_LIST).I32(0).Get()},
        {"explorer entries filling the payload", Header(RESPONSE_CLUSTEREXPLORER).I32(1).I32(0).I64(0).I64(9).I32(2)
                                                     .Fill(2 * 24, 0).Get()},
        {"map of 5001 cells", Map(5001, 22).Fill(5001 * 22, 0).Get()},
        {"map without cells", Map(0, 0).Get()},
        {"no change block", ModList().Get()},
        {"change list with its trailing bytes", ModList().I64(4999).I64(2).I32(22).Fill(44, 3).Fill(6, 0).Get()},
        {"up to five bytes after the records", ModList().I64(0).I64(1).I32(11).Fill(11, 0).Fill(6, 0xEE).Get()},
        {"unknown command", Header(4711).Fill(3, 0).Get()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(L"", LoadGuarded(c.payload)) << c.pszName;
}

// Valid messages of every kind, as the programs send them.
std::vector<Bytes> FuzzSeeds()
{
    BYTE abCells[5 * 22];
    for (size_t i = 0; i < sizeof abCells; ++i)
        abCells[i] = static_cast<BYTE>(i);
    std::vector<Bytes> seeds;
    auto fnAdd = [&](int32_t nCommand, CNetDefragObject* p) { seeds.push_back(BuildMessage(nCommand, p)); };

    CNetDefragPartitionList list;
    for (int i = 0; i < 2; ++i)
    {
        auto pEntry = std::make_unique<CNetDefragPartitionListEntry>();
        pEntry->m_strDriveRoot = L"C:\\";
        pEntry->m_strStatusText = L"Defragmenting 3%";
        list.Add(std::move(pEntry));
    }
    fnAdd(RESPONSE_PARTITION_LIST, &list);
    fnAdd(RESPONSE_PARTITION_ENTRY, list.GetEntry(0));
    CNetDefragPartitionNameList names;
    names.Add(std::make_unique<CNetDefragPartitionNameEntry>());
    fnAdd(RESPONSE_DRIVE_NAMES, &names);
    CNetDefragPartitionClustermap map;
    map.m_strDriveRoot = L"D:\\";
    map.SetCells(abCells, 5, 22);
    fnAdd(RESPONSE_CLUSTERMAP, &map);
    CNetDefragClustermapModList mods;
    mods.AddRange(3, 2, 11, abCells);
    mods.AddRange(10, 5, 22, abCells);
    fnAdd(RESPONSE_CLUSTERMAP_MODLIST, &mods);
    CNetDefragPartitionClusterExplorerResponse explorer;
    explorer.AddFile(L"\\a", 1, 2, 4);
    explorer.AddFile(L"\\bb", 3, 9, 8);
    fnAdd(RESPONSE_CLUSTEREXPLORER, &explorer);
    CNetDefragPartitionFragFiles frag;
    frag.AddFile(L"\\c.txt", 4);
    fnAdd(RESPONSE_FRAG_FILES, &frag);
    for (int32_t nCommand : {RESPONSE_PARTITION_INFO, RESPONSE_VERSION_INFO, RESPONSE_SETTINGS, CMD_ANALYZE,
                             CMD_CLUSTEREXPLORER_ASK, CMD_PASSWORD, CMD_SHOW_FILE, CMD_GET_PARTITION_LIST})
    {
        std::unique_ptr<CNetDefragObject> p = CreateNetDefragObject(nCommand);
        fnAdd(nCommand, p.get());
    }
    return seeds;
}

int32_t g_anInteresting[] = {0, 1, -1, 2, 3, 5, 11, 12, 20, 22, 255, 256, 5000, 5001, 5002, 10240, 10241, 10242,
                             INT_MAX, INT_MIN, 0x40000000, 1001, 1003, 1004, 1005, 1007, 1012, 1513};

Bytes Mutate(Bytes payload, std::mt19937& rng)
{
    auto fnPick = [&](size_t n) { return n == 0 ? 0 : static_cast<size_t>(rng() % n); };
    switch (rng() % 5)
    {
    case 0:  // a few bytes changed anywhere
        for (int i = 0, n = 1 + rng() % 4; i < n && !payload.empty(); ++i)
            payload[fnPick(payload.size())] = static_cast<BYTE>(rng());
        break;
    case 1:  // a count, size or code replaced by a boundary value
        if (payload.size() >= 4)
        {
            int32_t n = g_anInteresting[fnPick(sizeof g_anInteresting / sizeof g_anInteresting[0])];
            memcpy(&payload[fnPick(payload.size() - 3)], &n, 4);
        }
        break;
    case 2:  // cut anywhere
        payload.resize(fnPick(payload.size() + 1));
        break;
    case 3:  // bytes added at the end
        for (int i = 0, n = 1 + rng() % 32; i < n; ++i)
            payload.push_back(static_cast<BYTE>(rng()));
        break;
    default:  // the body read as another object
        if (payload.size() >= 12)
        {
            int32_t n = g_anInteresting[fnPick(sizeof g_anInteresting / sizeof g_anInteresting[0])];
            memcpy(&payload[8], &n, 4);
        }
        break;
    }
    return payload;
}

// Loading a mutated payload either succeeds or raises the archive's
// exception; anything else (another exception, a read past the end) fails.
TEST_F(NetDefragMalformed, MutatedPayloadsNeverReadOutside)
{
    std::vector<Bytes> seeds = FuzzSeeds();
    std::mt19937 rng(20240611);
    int nRefused = 0;
    for (int i = 0; i < 4000; ++i)
    {
        Bytes payload = seeds[rng() % seeds.size()];
        for (int nRounds = 1 + rng() % 3; nRounds > 0; --nRounds)
            payload = Mutate(payload, rng);
        const BYTE* p = m_guard.Place(payload);
        ASSERT_NE(nullptr, p);
        try
        {
            if (!LoadMessage(p, payload.size()).empty())
                ++nRefused;
        }
        catch (const std::exception& e)
        {
            ADD_FAILURE() << "payload " << i << " raised " << e.what();
        }
    }
    EXPECT_GT(nRefused, 0);
}

}
