// The file pass over the MFT and the moves of files in pieces: fragmented streams come
// together, contiguous streams slide down into the free stretch in front of them only when
// the stretch is worth it, and pairs and pieces of files for which no single run is free.
#include "PartitionFixture.h"

#include "engine/SysHandle.h"

namespace {

class FilePassTest : public CPartitionFixture
{
protected:
    static constexpr LONGLONG VolumeClusters = 30000;

    void Start()
    {
        SetSetting(L"UseIOGuard", 0);
        Mount(SIM_FS::Ntfs, VolumeClusters);
        Partition();
    }

    // Fills every free cluster below the LCN with files of its own, so that no free run is
    // found there.
    void FillBelow(LONGLONG llEnd)
    {
        std::vector<SIM_RUN> runs;
        {
            CSimLock lock(m_system);
            const CSimBitmap& bitmap = m_pVolume->Bitmap();
            for (LONGLONG llLcn = 0; llLcn < llEnd;)
            {
                if (bitmap.Test(llLcn))
                {
                    ++llLcn;
                    continue;
                }
                LONGLONG llRunEnd = llLcn;
                while (llRunEnd < llEnd && !bitmap.Test(llRunEnd))
                    ++llRunEnd;
                runs.push_back({0, llLcn, llRunEnd - llLcn});
                llLcn = llRunEnd;
            }
        }
        if (runs.empty())
            return;
        // One file holds them all: files of their own would take clusters for their records.
        LONGLONG llClusters = 0;
        for (const SIM_RUN& run : runs)
            llClusters += run.llLength;
        CSimFile* pFiller = m_pVolume->CreateFile(L"filler" + std::to_wstring(++m_nFillers) + L".bin",
                                                  llClusters * 4096, Exact(runs));
        ASSERT_NE(nullptr, pFiller);
        // Held where it is: every open of it is refused.
        pFiller->m_dwFlags |= SimFileDenyAcl;
    }

    int m_nFillers = 0;

    int Fragments(const std::wstring& strRelative)
    {
        int n = 0;
        LONGLONG llNext = -1;
        for (const SIM_RUN& run : RunsOf(strRelative))
        {
            n += run.llLcn != llNext;
            llNext = run.llLcn + run.llLength;
        }
        return n;
    }
};

TEST_F(FilePassTest, FragmentedStreamsComeTogether)
{
    Start();
    const std::wstring names[] = {L"a.bin", L"dir\\b.bin", L"c.bin"};
    ASSERT_NE(nullptr, m_pVolume->CreateDirectory(L"dir"));
    for (const std::wstring& strName : names)
        ASSERT_NE(nullptr, m_pVolume->CreateFile(strName, 4096 * 60, Fragmented(6, 12000)));
    ASSERT_TRUE(m_pPartition->Initialize());
    EXPECT_TRUE(m_pPartition->DefragmentFiles(0, 100));
    for (const std::wstring& strName : names)
        EXPECT_EQ(1, Fragments(strName)) << std::string(strName.begin(), strName.end());
    EXPECT_EQ(3, m_pPartition->m_nFilesDefragmented);
    ExpectVerified();
}

TEST_F(FilePassTest, ContiguousStreamsSlideOnlyIntoAStretchWorthIt)
{
    const struct
    {
        LONGLONG llLength;
        LONGLONG llGap;
        bool bTried;   // a move was asked for
        bool bSlid;    // and the stream now starts where the stretch did
        int nSlides;   // counted as a slide tried and done
    } cases[] = {
        // The first move shows that the file system hands freed clusters back at once, which
        // pieces that land on what the piece before them left need.
        {100, 120, true, true, 0},   // the stretch holds the whole stream: a plain free run
        {100, 3, false, false, 0},   // under 5 % of the stream and under 500 clusters
        {100, 5, true, true, 1},     // in 20 pieces, each into the clusters the one before freed
        {20, 7, true, true, 1},      // pieces of 7, 7 and 6
        {2, 1, true, true, 1},       // a small stream slides into any stretch
    };
    Start();
    m_pVolume->m_bAutoIndex = false;
    LONGLONG llBase = 16000;   // behind the MFT mirror in the middle of the volume
    FillBelow(llBase);
    int nFile = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.llLength * 1000 + c.llGap);
        const std::wstring strName = L"s" + std::to_wstring(++nFile) + L".bin";
        const std::wstring strBlock = L"block" + std::to_wstring(nFile) + L".bin";
        // [base, base + gap) free, then the stream, then a free cluster and a blocker.
        const LONGLONG llStream = llBase + c.llGap;
        ASSERT_NE(nullptr, m_pVolume->CreateFile(strName, c.llLength * 4096, Exact({{0, llStream, c.llLength}})));
        ASSERT_NE(nullptr, m_pVolume->CreateFile(strBlock, 4096 * 200,
                                                 Exact({{0, llStream + c.llLength + 1, 200}})));
        // Nothing free elsewhere in front of the stream.
        FillBelow(llBase);
        ASSERT_TRUE(m_pPartition->Initialize());
        const int32_t nMovedBefore = m_pPartition->m_nFilesMoved;
        const CDefragPartition::SLIDE_COUNTS stBefore = m_pPartition->GetSlideCounts();
        EXPECT_TRUE(m_pPartition->DefragmentFiles(0, 100));
        EXPECT_EQ(c.bTried, m_pPartition->m_nFilesMoved > nMovedBefore);
        EXPECT_EQ(c.nSlides, m_pPartition->GetSlideCounts().nTried - stBefore.nTried);
        EXPECT_EQ(c.nSlides, m_pPartition->GetSlideCounts().nDone - stBefore.nDone);
        EXPECT_EQ(c.bSlid, IsContiguousAt(strName, llBase));
        EXPECT_TRUE(c.bSlid || IsContiguousAt(strName, llStream));
        llBase = llStream + c.llLength + 1 + 200 + 50;
        // What stays free in front of the next case is filled with its own files.
        FillBelow(llBase);
    }
    ExpectVerified();
}

TEST_F(FilePassTest, PairsAndPiecesWhenNoRunHoldsTheFile)
{
    Start();
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"pairs.bin", 4096 * 80, Fragmented(8, 6000)));
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"two.bin", 4096 * 20, Fragmented(2, 9000)));
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"pieces.bin", 4096 * 120, Fragmented(12, 3000)));
    ASSERT_TRUE(m_pPartition->Initialize());
    CSysHandle volume(m_pPartition->OpenVolume());
    ASSERT_TRUE(volume.IsOpen());
    // Disjoint pairs: every piece moves once, each pair lands behind the one before.
    EXPECT_TRUE(m_pPartition->JoinExtentPairs(volume.Get(), Path(L"pairs.bin").c_str(), -1));
    EXPECT_EQ(1, Fragments(L"pairs.bin"));
    EXPECT_TRUE(m_pPartition->JoinExtentPairs(volume.Get(), Path(L"two.bin").c_str(), 20000));
    EXPECT_EQ(1, Fragments(L"two.bin"));
    EXPECT_GE(RunsOf(L"two.bin").front().llLcn, 20000);
    // Pieces gather behind each other from six sevenths of the volume on.
    uint32_t uExtents = 0;
    CExtentList extents;
    EXPECT_TRUE(m_pPartition->MoveFileInPieces(volume.Get(), Path(L"pieces.bin").c_str(), uExtents, extents));
    EXPECT_EQ(1u, uExtents);
    EXPECT_TRUE(IsContiguousAt(L"pieces.bin", VolumeClusters / 7 * 6));
    EXPECT_FALSE(m_pPartition->MoveFileInPieces(volume.Get(), Path(L"missing.bin").c_str(), uExtents, extents));
    ExpectVerified();
}

} // namespace
