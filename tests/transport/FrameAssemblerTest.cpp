#include "protocol/FrameAssembler.h"

#include "TransportTestSupport.h"

#include <gtest/gtest.h>

namespace
{
struct stFeedResult
{
    std::vector<CBytes> frames;
    CFrameAssembler::EResult eLast = CFrameAssembler::NeedMore;
};

// Feeds the reads one after the other, as a channel does, and collects the frames.
stFeedResult Feed(CFrameAssembler& assembler, const std::vector<CBytes>& reads)
{
    stFeedResult result;
    for (const CBytes& read : reads)
    {
        size_t nOffset = 0;
        while (nOffset < read.size())
        {
            size_t nUsed = 0;
            result.eLast = assembler.Take(read.data() + nOffset, read.size() - nOffset, &nUsed);
            nOffset += nUsed;
            if (result.eLast == CFrameAssembler::FrameDone)
            {
                const stFrameRecord* pRecord = assembler.GetRecord();
                result.frames.emplace_back(pRecord->pPayload,
                                           pRecord->pPayload + assembler.GetPayloadLength());
            }
            else if (result.eLast != CFrameAssembler::NeedMore)
                return result;
        }
    }
    return result;
}

std::vector<CBytes> SplitAt(const CBytes& bytes, std::vector<size_t> cuts)
{
    std::vector<CBytes> reads;
    size_t nStart = 0;
    cuts.push_back(bytes.size());
    for (size_t nCut : cuts)
    {
        reads.emplace_back(bytes.begin() + nStart, bytes.begin() + nCut);
        nStart = nCut;
    }
    return reads;
}

CBytes MakeTcpFrame(const CBytes& payload, int32_t nSequence)
{
    CBytes frame(CFrameAssembler::GetFrameSize(CFrameAssembler::TcpHeaderSize,
                                               static_cast<int32_t>(payload.size())));
    CFrameAssembler::WriteFrame(frame.data(), CFrameAssembler::TcpHeaderSize, payload.data(),
                                static_cast<int32_t>(payload.size()), nSequence);
    return frame;
}
}

TEST(FrameAssembler, FrameSplitAtAnyOneOrTwoPointsIsDeliveredOnceWhole)
{
    for (int nHeaderSize : {CFrameAssembler::PipeHeaderSize, CFrameAssembler::TcpHeaderSize})
    {
        CBytes payload = MakePayload(6);
        CBytes frame = nHeaderSize == CFrameAssembler::PipeHeaderSize ? MakeFrame(payload)
                                                                       : MakeTcpFrame(payload, 9);
        for (size_t a = 1; a < frame.size(); ++a)
            for (size_t b = a; b < frame.size(); ++b)
            {
                CFrameAssembler assembler(nHeaderSize);
                stFeedResult result = Feed(assembler, SplitAt(frame, a == b ? std::vector<size_t>{a}
                                                                            : std::vector<size_t>{a, b}));
                ASSERT_EQ(result.frames.size(), 1u) << "header " << nHeaderSize << " cuts " << a << "," << b;
                EXPECT_EQ(result.frames[0], payload);
                EXPECT_TRUE(assembler.IsIdle());
            }
    }
}

TEST(FrameAssembler, ReadsOfTheChannelShapes)
{
    struct stCase
    {
        const char* pszName;
        size_t nPayload;
        std::vector<size_t> cuts;
    };
    const stCase aCases[] = {
        {"whole frame, empty payload, one 14-byte read", 0, {}},
        {"2000 bytes as reads of 1024 and 990", 2000, {1024}},
        {"2049-byte frame as 1024, 1024 and 1", 2035, {1024, 2048}},
        {"header alone, then the rest", 100, {13}},
        {"payload ends exactly with a read", 100, {113}},
    };
    for (const stCase& stC : aCases)
    {
        CBytes payload = MakePayload(stC.nPayload, 3);
        CFrameAssembler assembler(CFrameAssembler::PipeHeaderSize);
        stFeedResult result = Feed(assembler, SplitAt(MakeFrame(payload), stC.cuts));
        ASSERT_EQ(result.frames.size(), 1u) << stC.pszName;
        EXPECT_EQ(result.frames[0], payload) << stC.pszName;
    }
}

TEST(FrameAssembler, JunkBeforeAFrameAndSeveralFramesInOneRead)
{
    CBytes a = MakePayload(5, 1), b = MakePayload(0), c = MakePayload(40, 9);
    CBytes stream = Concat(CBytes{0xAA, 0xBB, 0xCC}, MakeFrame(a));
    stream = Concat(Concat(stream, MakeFrame(b)), Concat(CBytes{0x00, 0x01}, MakeFrame(c)));
    CFrameAssembler assembler(CFrameAssembler::PipeHeaderSize);
    stFeedResult result = Feed(assembler, {stream});
    ASSERT_EQ(result.frames.size(), 3u);
    EXPECT_EQ(result.frames[0], a);
    EXPECT_EQ(result.frames[1], b);
    EXPECT_EQ(result.frames[2], c);
}

TEST(FrameAssembler, StartByteNearTheEndOfAReadKeepsThePartialHeader)
{
    // A 20-byte read whose start byte has only two bytes after it.
    CBytes payload = MakePayload(30);
    CBytes frame = MakeFrame(payload);
    CBytes first(20, 0x11);
    for (size_t i = 0; i < 3; ++i)
        first[17 + i] = frame[i];
    CFrameAssembler assembler(CFrameAssembler::PipeHeaderSize);
    stFeedResult result = Feed(assembler, {first, CBytes(frame.begin() + 3, frame.end())});
    ASSERT_EQ(result.frames.size(), 1u);
    EXPECT_EQ(result.frames[0], payload);
}

TEST(FrameAssembler, RefusedFramesAllocateNothing)
{
    struct stCase
    {
        const char* pszName;
        CBytes bytes;
        CFrameAssembler::EResult eExpected;
    };
    const stCase aCases[] = {
        {"negative length", MakeHeader(-1), CFrameAssembler::BadLength},
        {"length near 2 GiB", MakeHeader(0x7FFFFFF0), CFrameAssembler::BadLength},
        {"one past the bound", MakeHeader(CFrameAssembler::MaxPayload + 1), CFrameAssembler::BadLength},
        {"bad end byte", MakeFrame(MakePayload(4), 1, 0x04), CFrameAssembler::BadEndByte},
    };
    for (const stCase& stC : aCases)
    {
        CFrameAssembler assembler(CFrameAssembler::PipeHeaderSize);
        stFeedResult result = Feed(assembler, {stC.bytes});
        EXPECT_EQ(result.eLast, stC.eExpected) << stC.pszName;
        EXPECT_TRUE(result.frames.empty()) << stC.pszName;
        if (stC.eExpected == CFrameAssembler::BadLength)
        {
            EXPECT_EQ(assembler.GetRecord(), nullptr) << stC.pszName;
        }
    }
}

TEST(FrameAssembler, LengthAtTheBoundIsTaken)
{
    CFrameAssembler assembler(CFrameAssembler::PipeHeaderSize);
    stFeedResult result = Feed(assembler, {MakeHeader(CFrameAssembler::MaxPayload)});
    EXPECT_EQ(result.eLast, CFrameAssembler::NeedMore);
    ASSERT_NE(assembler.GetRecord(), nullptr);
    EXPECT_FALSE(assembler.IsIdle());
}
