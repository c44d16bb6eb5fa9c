#include "ProtocolTestSupport.h"

#include "base/UnicodeString.h"
#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragException.h"
#include "protocol/NetDefragPacketHeader.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

using namespace prototest;

namespace {

Bytes Written(const CNetDefragBuffer& ar)
{
    return Bytes(ar.GetBuffer(), ar.GetCurrent());
}

std::wstring Raised(const std::function<void()>& fnLoad)
{
    try
    {
        fnLoad();
    }
    catch (const CNetDefragException& e)
    {
        return e.GetText();
    }
    return L"(nothing raised)";
}

TEST(NetDefragBuffer, EncodesLittleEndianWithoutPadding)
{
    CNetDefragBuffer ar(true);
    ar.WriteInt16(-2).WriteInt32(0x01020304).WriteInt64(-1).WriteFloat(1.0f).WriteDouble(-2.0);
    EXPECT_TRUE(ar.WriteString(CUnicodeString(L"A\u00e9")));
    EXPECT_TRUE(ar.WriteString(CUnicodeString()));
    EXPECT_EQ(Hex("feff 04030201 ffffffffffffffff 0000803f 00000000000000c0"
                  "04000000 4100e900 00000000"),
              Written(ar));
    EXPECT_FALSE(ar.HasFailed());
}

// Fixed-width values grow the buffer by one step; a block that does not fit
// makes it exactly one byte longer than the data.
TEST(NetDefragBuffer, GrowthStepAndSpareByteRule)
{
    BYTE abBlock[16] = {};
    struct
    {
        const char* pszName;
        std::function<void(CNetDefragBuffer&)> fnWrite;
        UINT nSize;
    } cases[] = {
        {"nothing", [](CNetDefragBuffer&) {}, 0},
        {"one int32", [](CNetDefragBuffer& ar) { ar.WriteInt32(1); }, 16},
        {"one int64", [](CNetDefragBuffer& ar) { ar.WriteInt64(1); }, 16},
        {"four int32 fill the step", [](CNetDefragBuffer& ar) { for (int i = 0; i < 4; ++i) ar.WriteInt32(i); }, 16},
        {"five int32", [](CNetDefragBuffer& ar) { for (int i = 0; i < 5; ++i) ar.WriteInt32(i); }, 32},
        {"int32 then int64 across the step", [](CNetDefragBuffer& ar) { ar.WriteInt32(1).WriteInt64(2).WriteInt64(3); }, 32},
        {"empty string never grows the body", [](CNetDefragBuffer& ar) { ar.WriteString(CUnicodeString()); }, 16},
        {"block on an empty buffer", [&](CNetDefragBuffer& ar) { ar.WriteRaw(abBlock, 4); }, 5},
        {"block then int32", [&](CNetDefragBuffer& ar) { ar.WriteRaw(abBlock, 4); ar.WriteInt32(1); }, 21},
        {"block that fits exactly", [&](CNetDefragBuffer& ar) { ar.WriteRaw(abBlock, 4); ar.WriteInt32(1); ar.WriteRaw(abBlock, 13); }, 21},
        {"block one past", [&](CNetDefragBuffer& ar) { ar.WriteRaw(abBlock, 4); ar.WriteInt32(1); ar.WriteRaw(abBlock, 14); }, 23},
        {"string inside the step", [](CNetDefragBuffer& ar) { ar.WriteString(CUnicodeString(L"abc")); }, 16},
        {"string across the step", [](CNetDefragBuffer& ar) {
             ar.WriteInt32(1).WriteInt32(2).WriteInt32(3);
             ar.WriteString(CUnicodeString(L"abc"));
         }, 23},
    };
    for (const auto& c : cases)
    {
        CNetDefragBuffer ar(true, 1000, 16);
        c.fnWrite(ar);
        EXPECT_EQ(c.nSize, ar.GetSize()) << c.pszName;
        EXPECT_EQ(Bytes(ar.GetSize() - (ar.GetCurrent() - ar.GetBuffer()), 0),
                  Bytes(ar.GetCurrent(), ar.GetBuffer() + ar.GetSize()))
            << c.pszName << ": the bytes after the last field are zeros";
    }
}

TEST(NetDefragBuffer, BareMessageIsSixteenBytesAndItsTailIsIgnored)
{
    Bytes payload = BuildMessage(101, nullptr);
    EXPECT_EQ(Hex("05000000 00000000 65000000 00000000"), payload);

    payload[12] = 0xAB;
    CNetDefragBuffer ar(false);
    ar.Attach(payload.data(), static_cast<UINT>(payload.size()));
    CNetDefragPacketHeader header;
    header.Serialize(ar);
    EXPECT_EQ(101, header.GetCommand());
}

TEST(NetDefragBuffer, UsedRemainingAndSkipCountOneByteInReserve)
{
    CNetDefragBuffer ar(true);
    ar.WriteInt32(7);
    EXPECT_EQ(5, ar.GetUsed());
    EXPECT_EQ(11, ar.GetRemaining());
    ar.Rewind();
    EXPECT_EQ(ar.GetBuffer(), ar.GetCurrent());

    Bytes bytes(8, 0);
    CNetDefragBuffer in(false);
    in.Attach(bytes.data(), 8);
    EXPECT_FALSE(in.Skip(8)) << "skipping every remaining byte fails";
    EXPECT_EQ(bytes.data(), in.GetCurrent());
    EXPECT_FALSE(in.Skip(-1));
    EXPECT_TRUE(in.Skip(7));
    EXPECT_EQ(bytes.data() + 7, in.GetCurrent());
}

TEST(NetDefragBuffer, StringBoundaries)
{
    std::wstring strLongest(5120, L'x');
    Bytes ok = CPayload().Str(strLongest.c_str()).Get();
    CNetDefragBuffer ar(false);
    ar.Attach(ok.data(), static_cast<UINT>(ok.size()));
    CUnicodeString str;
    ar.ReadString(str);
    EXPECT_EQ(strLongest, Text(str));

    Bytes empty = Hex("00000000");
    ar.Attach(empty.data(), 4);
    str = L"old";
    ar.ReadString(str);
    EXPECT_EQ(0, str.GetLength());
    EXPECT_EQ(nullptr, str.GetBuffer());
}

// A count that cannot be UTF-16 text inside the payload is refused before any copy.
TEST(NetDefragBuffer, MalformedStringCountsRaise)
{
    struct
    {
        Bytes payload;
        const wchar_t* pszText;
    } cases[] = {
        {CPayload().I32(10242).Fill(10242, 'x').Get(), L"String too long"},
        {CPayload().I32(-1).Fill(16, 'x').Get(), L"Bad string"},
        {CPayload().I32(INT_MIN).Get(), L"Bad string"},
        {CPayload().I32(3).Fill(8, 'x').Get(), L"Bad string"},
        {CPayload().I32(100).Fill(10, 'x').Get(), L"Read past end"},
        {CPayload().I32(2).Fill(1, 'x').Get(), L"Read past end"},
    };
    for (auto& c : cases)
    {
        CNetDefragBuffer ar(false);
        ar.Attach(c.payload.data(), static_cast<UINT>(c.payload.size()));
        CUnicodeString str(L"old");
        EXPECT_EQ(std::wstring(c.pszText), Raised([&] { ar.ReadString(str); }));
        EXPECT_EQ(0, str.GetLength());
    }
}

TEST(NetDefragBuffer, FixedWidthAndRawReadsPastTheEndRaise)
{
    Bytes bytes = Hex("01020304 05060708 09");
    CNetDefragBuffer ar(false);
    ar.Attach(bytes.data(), 3);
    int32_t n = 0;
    int64_t ll = 0;
    int16_t s = 0;
    BYTE ab[8];
    EXPECT_EQ(L"Read past end", Raised([&] { ar.ReadInt32(n); }));
    EXPECT_EQ(L"Read past end", Raised([&] { ar.ReadRaw(ab, 4); }));
    EXPECT_EQ(L"Read past end", Raised([&] { ar.ReadRaw(ab, -1); }));
    EXPECT_EQ(bytes.data(), ar.GetCurrent()) << "a refused read does not move";
    ar.ReadInt16(s);
    EXPECT_EQ(0x0201, s);
    ar.Attach(bytes.data(), 9);
    EXPECT_EQ(L"(nothing raised)", Raised([&] { ar.ReadInt64(ll); }));
    EXPECT_EQ(L"Read past end", Raised([&] { ar.ReadInt64(ll); }));

    CNetDefragBuffer unattached(false);
    EXPECT_EQ(L"Read past end", Raised([&] { unattached.ReadInt32(n); }));
}

TEST(NetDefragBuffer, FailedGrowthWritesNothingMoreAndIsReported)
{
    BYTE abSmall[4] = {1, 2, 3, 4};
    CNetDefragBuffer ar(true);
    ar.WriteInt32(1);
    // Larger than any frame can carry: refused before anything is read from the source.
    EXPECT_FALSE(ar.WriteRaw(abSmall, INT_MAX));
    EXPECT_TRUE(ar.HasFailed());
    ar.WriteInt32(2);
    EXPECT_FALSE(ar.WriteString(CUnicodeString(L"x")));
    EXPECT_FALSE(ar.WriteRaw(abSmall, 4));
    EXPECT_EQ(Hex("01000000"), Written(ar));
    EXPECT_EQ(16u, ar.GetSize());

    ar.Free();
    EXPECT_FALSE(ar.HasFailed());
    EXPECT_FALSE(ar.WriteRaw(nullptr, 4)) << "a block without its bytes";
    EXPECT_TRUE(ar.HasFailed());
    ar.Free();
    EXPECT_FALSE(ar.WriteRaw(abSmall, -1));
}

TEST(NetDefragBuffer, AttachedPayloadIsReadOnlyAndNotOwned)
{
    Bytes payload = Hex("11111111 22222222");
    CNetDefragBuffer ar(true);
    ar.WriteInt64(5);
    ar.Attach(payload.data(), 8);
    EXPECT_EQ(8u, ar.GetSize());
    EXPECT_FALSE(ar.Grow(16));
    ar.WriteInt32(0);
    EXPECT_TRUE(ar.HasFailed());
    EXPECT_EQ(Hex("11111111 22222222"), payload);
    ar.Free();
    EXPECT_EQ(nullptr, ar.GetBuffer());
    EXPECT_EQ(Hex("11111111 22222222"), payload) << "the payload outlives the archive";
}

TEST(NetDefragBuffer, GrowKeepsPositionAndContent)
{
    CNetDefragBuffer ar(true);
    ar.WriteInt32(0x0A0B0C0D);
    ASSERT_TRUE(ar.Grow(100));
    EXPECT_EQ(116u, ar.GetSize());
    EXPECT_EQ(Hex("0d0c0b0a"), Written(ar));
    EXPECT_EQ(Bytes(116 - 4, 0), Bytes(ar.GetCurrent(), ar.GetBuffer() + ar.GetSize()));
}

TEST(NetDefragPacketHeader, ForeignVersionIsRefusedBeforeTheCommand)
{
    for (int32_t nVersion : {4, 6, 0, -1})
    {
        Bytes payload = CPayload().Header(1502, nVersion).I32(1).Get();
        CNetDefragBuffer ar(false);
        ar.Attach(payload.data(), static_cast<UINT>(payload.size()));
        CNetDefragPacketHeader header;
        EXPECT_EQ(L"Wrong Version", Raised([&] { header.Serialize(ar); })) << nVersion;
        EXPECT_EQ(8, ar.GetCurrent() - ar.GetBuffer()) << "nothing after the version fields is read";
        EXPECT_EQ(0, header.GetCommand());
        EXPECT_EQ(5, header.GetVersion());
    }
    EXPECT_EQ(5, CNetDefragHeaderBase::GetCurrentVersion());
}

TEST(NetDefragPacketHeader, ShortHeaderRaisesAndExactHeaderIsRead)
{
    Bytes payload = CPayload().Header(102).Get();
    for (size_t nLength : {0, 4, 8, 11})
    {
        CNetDefragBuffer ar(false);
        ar.Attach(payload.data(), static_cast<UINT>(nLength));
        CNetDefragPacketHeader header;
        EXPECT_EQ(L"Read past end", Raised([&] { header.Serialize(ar); })) << nLength;
    }
    CNetDefragBuffer ar(false);
    ar.Attach(payload.data(), 12);
    CNetDefragPacketHeader header;
    header.Serialize(ar);
    EXPECT_EQ(102, header.GetCommand());
}

}
