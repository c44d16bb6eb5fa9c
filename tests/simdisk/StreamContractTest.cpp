// Windows' rules for retrieval pointers, moves, stream paths, sharing and file information,
// held against the simulator.
#include "SimFixture.h"

#include "simdisk/SimProcesses.h"

#include <cstring>

namespace {

class StreamContract : public CSimFixture
{
protected:
    // Four clusters, a sparse gap, four clusters.
    void CreateSparseFile(const std::wstring& strName, LONGLONG llFirst, LONGLONG llGap, LONGLONG llSecond)
    {
        CSimFile* pFile = m_pVolume->CreateFile(strName, 0);
        CSimStream& data = *pFile->FindStream(ntfs::Data, L"");
        data.m_wFlags = ntfs::FlagSparse;
        m_pVolume->PlaceRun(*pFile, data, llFirst, 4);
        m_pVolume->PlaceRun(*pFile, data, SIM_SPARSE_LCN, llGap);
        m_pVolume->PlaceRun(*pFile, data, llSecond, 4);
        m_pVolume->SetDataSize(data, (8 + llGap) * 4096);
        m_pVolume->Relayout(*pFile);
    }

    // The first cluster of the MFT's bitmap, read raw from the volume as record readers read it.
    std::vector<BYTE> ReadMftBitmapCluster(HANDLE hVolume)
    {
        const CSimStream* pBitmap = m_pVolume->File(ntfs::RecordMft)->FindStream(ntfs::Bitmap, L"");
        LARGE_INTEGER liAt;
        liAt.QuadPart = pBitmap->m_runs[0].llLcn * 4096;
        std::vector<BYTE> buffer(4096);
        DWORD dwRead = 0;
        EXPECT_TRUE(sys::SetFilePointerEx(hVolume, liAt, nullptr, FILE_BEGIN));
        EXPECT_TRUE(sys::ReadFile(hVolume, buffer.data(), 4096, &dwRead, nullptr));
        EXPECT_EQ(4096u, dwRead);
        return buffer;
    }
};

TEST_F(StreamContract, RetrievalPointersComeInChunksAndEndWithEndOfFile)
{
    m_pVolume->CreateFile(L"frag.bin", 4096ll * 600, Fragmented(300, 1000));
    HANDLE hFile = Open(L"S:\\frag.bin");
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    int nCalls = 0;
    std::vector<SIM_RUN> runs = ReadExtents(hFile, &nCalls);
    const CSimStream* pData = m_pVolume->Lookup(L"frag.bin")->FindStream(ntfs::Data, L"");
    ASSERT_EQ(pData->m_runs.size(), runs.size());
    EXPECT_EQ(300u, runs.size());
    for (size_t i = 0; i < runs.size(); ++i)
    {
        EXPECT_EQ(pData->m_runs[i].llVcn, runs[i].llVcn);
        EXPECT_EQ(pData->m_runs[i].llLcn, runs[i].llLcn);
    }
    EXPECT_EQ(2, nCalls) << "256 extents fit in 4112 bytes";
}

TEST_F(StreamContract, RetrievalFromTheMiddleOfAnExtentStartsAtTheExtent)
{
    m_pVolume->CreateFile(L"two.bin", 4096ll * 30, Exact({{0, 5000, 10}, {0, 7000, 20}}));
    HANDLE hFile = Open(L"S:\\two.bin");
    LONGLONG llVcn = 15;
    BYTE out[32];
    ULONG_PTR info = 0;
    ASSERT_EQ(ntstatus::Success, FsControl(hFile, FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 8, out, 32, &info));
    auto* p = reinterpret_cast<RETRIEVAL_POINTERS_BUFFER*>(out);
    EXPECT_EQ(10, p->StartingVcn.QuadPart);
    EXPECT_EQ(30, p->Extents[0].NextVcn.QuadPart);
    EXPECT_EQ(7000, p->Extents[0].Lcn.QuadPart);
    EXPECT_EQ(32u, info);
    llVcn = 0;
    EXPECT_EQ(ntstatus::BufferOverflow, FsControl(hFile, FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 8, out, 32, &info));
    EXPECT_EQ(32u, info);
    EXPECT_EQ(ntstatus::BufferTooSmall, FsControl(hFile, FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 8, out, 16, &info));
    EXPECT_EQ(ntstatus::InvalidParameter, FsControl(hFile, FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 7, out, 32, &info));
    llVcn = -1;
    EXPECT_EQ(ntstatus::InvalidParameter, FsControl(hFile, FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 8, out, 32, &info));
    llVcn = 0;
    // On the volume, the map of the bad-cluster file: all of the volume, none of it allocated.
    ASSERT_EQ(ntstatus::Success, FsControl(OpenVolume(), FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 8, out, 32, &info));
    EXPECT_EQ(1u, p->ExtentCount);
    EXPECT_EQ(0, p->StartingVcn.QuadPart);
    EXPECT_EQ(TotalClusters, p->Extents[0].NextVcn.QuadPart);
    EXPECT_EQ(-1, p->Extents[0].Lcn.QuadPart);
    llVcn = TotalClusters;
    EXPECT_EQ(ntstatus::EndOfFile, FsControl(OpenVolume(), FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 8, out, 32, &info));
}

TEST_F(StreamContract, StreamsWithoutClustersEndAtOnce)
{
    m_pVolume->CreateFile(L"empty.bin", 0);
    m_pVolume->CreateFile(L"tiny.txt", 100);
    m_pVolume->CreateDirectory(L"small");
    for (const wchar_t* pszPath : {L"S:\\empty.bin", L"S:\\tiny.txt", L"S:\\small"})
    {
        HANDLE h = Open(pszPath);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << pszPath;
        LONGLONG llVcn = 0;
        BYTE out[64];
        EXPECT_EQ(ntstatus::EndOfFile, FsControl(h, FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 8, out, 64)) << pszPath;
    }
}

TEST_F(StreamContract, SparseRangesAreExtentsWithoutLcn)
{
    CreateSparseFile(L"sparse.bin", 9000, 100, 12000);
    std::vector<SIM_RUN> runs = ReadExtents(Open(L"S:\\sparse.bin"));
    ASSERT_EQ(3u, runs.size());
    EXPECT_EQ(-1, runs[1].llLcn);
    EXPECT_EQ(100, runs[1].llLength);
    ExpectVerified();
}

TEST_F(StreamContract, CompressedFilesHaveUnitsWithoutClusters)
{
    m_pVolume->CreateFile(L"packed.bin", 4096ll * 40);
    ASSERT_TRUE(m_pVolume->Compress(L"packed.bin", 5));
    std::vector<SIM_RUN> runs = ReadExtents(Open(L"S:\\packed.bin"));
    ASSERT_EQ(6u, runs.size()) << "three units of five clusters and eleven without";
    EXPECT_EQ(5, runs[0].llLength);
    EXPECT_EQ(-1, runs[1].llLcn);
    EXPECT_EQ(11, runs[1].llLength);
    DWORD dwHigh = 0;
    EXPECT_EQ(15u * 4096, sys::GetCompressedFileSizeW(L"S:\\packed.bin", &dwHigh));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(sys::GetFileAttributesExW(L"S:\\packed.bin", GetFileExInfoStandard, &data));
    EXPECT_NE(0u, data.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED);
    EXPECT_EQ(40u * 4096, data.nFileSizeLow);
    ExpectVerified();
}

struct MOVE_CASE
{
    const char* pszCase;
    LONGLONG llVcn;
    LONGLONG llLcn;
    DWORD dwCount;
    NTSTATUS status;
};

TEST_F(StreamContract, MovesAreStrict)
{
    m_pVolume->CreateFile(L"m.bin", 4096ll * 20, Exact({{0, 20000, 10}, {0, 30000, 10}}));
    m_pVolume->CreateFile(L"occupant.bin", 4096ll * 5, Exact({{0, 40000, 5}}));
    const MOVE_CASE cases[] = {
        {"target in use by another file", 0, 39998, 10, ntstatus::AlreadyCommitted},
        {"target overlaps the file itself", 0, 20005, 10, ntstatus::AlreadyCommitted},
        {"no clusters", 0, 50000, 0, ntstatus::InvalidParameter},
        {"past the allocation", 15, 50000, 10, ntstatus::InvalidParameter},
        {"past the volume", 0, TotalClusters - 5, 10, ntstatus::InvalidParameter},
        {"negative target", 0, -3, 10, ntstatus::InvalidParameter},
        {"first run to free space", 0, 50000, 10, ntstatus::Success},
        {"whole file behind it", 0, 50010, 20, ntstatus::Success},
    };
    HANDLE hVolume = OpenVolume();
    HANDLE hFile = Open(L"S:\\m.bin");
    for (const MOVE_CASE& c : cases)
        EXPECT_EQ(c.status, Move(hVolume, hFile, c.llVcn, c.llLcn, c.dwCount)) << c.pszCase;
    std::vector<SIM_RUN> runs = ReadExtents(hFile);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(50010, runs[0].llLcn);
    EXPECT_TRUE(m_pVolume->Bitmap().IsClear(20000, 10));
    EXPECT_TRUE(m_pVolume->Bitmap().IsClear(50000, 10));
    ExpectVerified();
}

TEST_F(StreamContract, MovesNeedTheVolumeHandleAndASimulatedFile)
{
    m_pVolume->CreateFile(L"m.bin", 4096ll * 4, Exact({{0, 20000, 4}}));
    HANDLE hVolume = OpenVolume();
    HANDLE hFile = Open(L"S:\\m.bin");
    EXPECT_EQ(ntstatus::InvalidParameter, Move(hFile, hFile, 0, 50000, 4));
    EXPECT_EQ(ntstatus::InvalidParameter, Move(hVolume, ::GetCurrentProcess(), 0, 50000, 4));
    DWORD dwReturned;
    MOVE_FILE_DATA move = {hFile, {}, {}, 4};
    move.StartingLcn.QuadPart = 39999;
    m_pVolume->CreateFile(L"blocker.bin", 4096, Exact({{0, 40000, 1}}));
    EXPECT_FALSE(sys::DeviceIoControl(hVolume, FSCTL_MOVE_FILE, &move, sizeof(move), nullptr, 0, &dwReturned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError()) << "ALREADY_COMMITTED reads as access denied";
}

TEST_F(StreamContract, SystemFilesRefuseToMove)
{
    HANDLE hVolume = OpenVolume();
    const wchar_t* paths[] = {L"S:\\$LogFile", L"S:\\$MFTMirr", L"S:\\$Boot", L"S:\\$MFT"};
    for (const wchar_t* pszPath : paths)
    {
        HANDLE hFile = Open(pszPath, FILE_READ_ATTRIBUTES);
        ASSERT_NE(INVALID_HANDLE_VALUE, hFile) << pszPath;
        EXPECT_EQ(ntstatus::AccessDenied, Move(hVolume, hFile, 0, 60000, 1)) << pszPath;
    }
    CSimFile* pPage = m_pVolume->CreateFile(L"pagefile.sys", 4096 * 8);
    pPage->m_dwFlags |= SimFileUnmovable;
    EXPECT_EQ(ntstatus::AccessDenied, Move(hVolume, Open(L"S:\\pagefile.sys"), 0, 60000, 8));
}

TEST_F(StreamContract, MoveOfASparseRangeMovesOnlyAllocatedClusters)
{
    CreateSparseFile(L"sp.bin", 9000, 10, 12000);
    EXPECT_EQ(ntstatus::Success, Move(OpenVolume(), Open(L"S:\\sp.bin"), 0, 50000, 18));
    std::vector<SIM_RUN> runs = ReadExtents(Open(L"S:\\sp.bin"));
    ASSERT_EQ(3u, runs.size());
    EXPECT_EQ(50000, runs[0].llLcn);
    EXPECT_EQ(-1, runs[1].llLcn);
    EXPECT_EQ(50004, runs[2].llLcn);
    ExpectVerified();
}

TEST_F(StreamContract, DelayedFreeKeepsSourcesMarkedUntilCheckpoint)
{
    m_pVolume->m_bDelayedFree = true;
    m_pVolume->CreateFile(L"d.bin", 4096ll * 8, Exact({{0, 20000, 8}}));
    ASSERT_EQ(ntstatus::Success, Move(OpenVolume(), Open(L"S:\\d.bin"), 0, 50000, 8));
    EXPECT_TRUE(m_pVolume->Bitmap().Test(20000));
    ExpectVerified();
    m_pVolume->Checkpoint();
    EXPECT_TRUE(m_pVolume->Bitmap().IsClear(20000, 8));
    ExpectVerified();
}

TEST_F(StreamContract, ConcurrentAllocatorTakesTheTarget)
{
    m_pVolume->CreateFile(L"c.bin", 4096ll * 8, Exact({{0, 20000, 8}}));
    SIM_FAULT fault;
    fault.dwCode = FSCTL_MOVE_FILE;
    fault.eAction = SIM_FAULT_ACTION::TakeTarget;
    fault.nTimes = 1;
    m_system.Faults().Add(fault);
    HANDLE hVolume = OpenVolume();
    HANDLE hFile = Open(L"S:\\c.bin");
    EXPECT_EQ(ntstatus::AlreadyCommitted, Move(hVolume, hFile, 0, 50000, 8));
    EXPECT_EQ(ntstatus::Success, Move(hVolume, hFile, 0, 50001, 8));
    ExpectVerified();
}

TEST_F(StreamContract, InjectedStatusOnTheNthMove)
{
    m_pVolume->CreateFile(L"n.bin", 4096ll * 8, Fragmented(4, 20000));
    SIM_FAULT fault;
    fault.dwCode = FSCTL_MOVE_FILE;
    fault.nNth = 2;
    fault.status = ntstatus::AlreadyCommitted;
    m_system.Faults().Add(fault);
    HANDLE hVolume = OpenVolume();
    HANDLE hFile = Open(L"S:\\n.bin");
    EXPECT_EQ(ntstatus::Success, Move(hVolume, hFile, 0, 60000, 2));
    EXPECT_EQ(ntstatus::AlreadyCommitted, Move(hVolume, hFile, 2, 60002, 2));
    EXPECT_EQ(ntstatus::Success, Move(hVolume, hFile, 2, 60002, 2));
}

TEST_F(StreamContract, PendingCompletionSignalsTheIssuingHandle)
{
    m_system.m_bPendingOverlapped = true;
    m_pVolume->CreateFile(L"p.bin", 4096ll * 4, Exact({{0, 20000, 4}}));
    HANDLE hVolume = Open(L"\\\\.\\S:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_OVERLAPPED);
    HANDLE hFile = Open(L"S:\\p.bin");
    MOVE_FILE_DATA move = {hFile, {}, {}, 4};
    move.StartingLcn.QuadPart = 50000;
    IO_STATUS_BLOCK iosb = {};
    NTSTATUS status = sys::NtFsControlFile(hVolume, nullptr, nullptr, nullptr, &iosb, FSCTL_MOVE_FILE, &move,
                                           sizeof(move), nullptr, 0);
    ASSERT_EQ(ntstatus::Pending, status);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(hVolume, 5000));
    EXPECT_EQ(ntstatus::Success, iosb.Status);
    EXPECT_EQ(50000, ReadExtents(hFile)[0].llLcn);
}

struct OPEN_CASE
{
    const wchar_t* pszPath;
    DWORD dwAccess;
    DWORD dwFlags;
    DWORD dwError; // 0: opens
};

TEST_F(StreamContract, StreamPathsAndMetadataOpen)
{
    m_pVolume->CreateDirectory(L"dir");
    m_pVolume->CreateFile(L"dir\\f.txt", 8192);
    m_pVolume->CreateStream(L"dir\\f.txt", L"alt", 4096 * 3);
    const DWORD bs = FILE_FLAG_BACKUP_SEMANTICS;
    const OPEN_CASE cases[] = {
        {L"S:\\dir\\f.txt", GENERIC_READ, 0, 0},
        {L"S:\\dir\\f.txt::$DATA", GENERIC_READ, 0, 0},
        {L"S:\\dir\\f.txt:alt", GENERIC_READ, 0, 0},
        {L"S:\\dir\\f.txt:ALT:$data", GENERIC_READ, 0, 0},
        {L"S:\\dir\\f.txt:none", GENERIC_READ, 0, ERROR_FILE_NOT_FOUND},
        {L"S:\\dir\\f.txt::$REPARSE_POINT", 0, bs, ERROR_FILE_NOT_FOUND},
        {L"S:\\dir\\f.txt::$ATTRIBUTE_LIST", 0, bs, ERROR_FILE_NOT_FOUND},
        {L"S:\\dir\\f.txt:alt:$NOSUCHTYPE", 0, 0, ERROR_INVALID_NAME},
        {L"S:\\dir\\nothing.txt", 0, 0, ERROR_FILE_NOT_FOUND},
        {L"S:\\nodir\\f.txt", 0, 0, ERROR_PATH_NOT_FOUND},
        {L"S:\\dir", 0, 0, ERROR_ACCESS_DENIED},
        {L"S:\\dir", 0, bs, 0},
        {L"S:\\dir:$I30:$INDEX_ALLOCATION", 0, bs, 0},
        {L"S:\\dir\\.\\..\\dir\\f.txt", 0, 0, 0},
        {L"\\\\?\\S:\\dir\\f.txt", 0, 0, 0},
        {L"S:\\$MFT", 0, bs, 0},
        {L"S:\\$MFT::$BITMAP", FILE_READ_ATTRIBUTES, bs, 0},
        {L"S:\\$MFT", GENERIC_READ, bs, ERROR_ACCESS_DENIED},
        {L"S:\\$Secure:$SDS:$DATA", 0, bs, 0},
        {L"S:\\$Extend\\$ObjId:$O:$INDEX_ALLOCATION", 0, bs, 0},
        {L"S:\\.", 0, bs, 0},
    };
    for (const OPEN_CASE& c : cases)
    {
        HANDLE h = Open(c.pszPath, c.dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, c.dwFlags);
        DWORD dwError = h == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
        EXPECT_EQ(c.dwError, dwError) << std::wstring(c.pszPath).c_str();
    }
    std::wstring strGuidPath = m_pVolume->GuidPath() + L"dir\\f.txt:alt";
    std::vector<SIM_RUN> runs = ReadExtents(Open(strGuidPath));
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(3, runs[0].llLength);
}

TEST_F(StreamContract, PathsBeyondMaxPathNeedThePrefix)
{
    std::wstring strDir;
    for (int i = 0; i < 5; ++i)
    {
        strDir += (i ? L"\\" : L"") + std::wstring(60, static_cast<wchar_t>(L'a' + i));
        ASSERT_NE(nullptr, m_pVolume->CreateDirectory(strDir));
    }
    m_pVolume->CreateFile(strDir + L"\\f.txt", 100);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"S:\\" + strDir + L"\\f.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), ::GetLastError());
    EXPECT_NE(INVALID_HANDLE_VALUE, Open(L"\\\\?\\S:\\" + strDir + L"\\f.txt"));
}

struct SHARE_CASE
{
    DWORD dwHeldAccess;
    DWORD dwHeldShare;
    DWORD dwAccess;
    DWORD dwShare;
    bool bOpens;
};

TEST_F(StreamContract, SharingModesFollowTheSystem)
{
    m_pVolume->CreateFile(L"s.bin", 4096);
    const DWORD rw = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const SHARE_CASE cases[] = {
        {GENERIC_READ, 0, 0, rw, true},
        {GENERIC_READ, 0, FILE_READ_ATTRIBUTES, 0, true},
        {GENERIC_READ, 0, GENERIC_READ, rw, false},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, rw, true},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, 0, false},
        {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, false},
        {GENERIC_WRITE, rw, GENERIC_READ, rw, true},
        {0, 0, GENERIC_READ, 0, true},
        // Execute access shares as reading does.
        {GENERIC_EXECUTE, 0, GENERIC_READ, rw, false},
        {GENERIC_READ, FILE_SHARE_WRITE, GENERIC_EXECUTE, rw, false},
        {GENERIC_EXECUTE, FILE_SHARE_READ, GENERIC_READ, rw, true},
    };
    for (const SHARE_CASE& c : cases)
    {
        HANDLE hHeld = sys::CreateFileW(L"S:\\s.bin", c.dwHeldAccess, c.dwHeldShare, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
        HANDLE h = sys::CreateFileW(L"S:\\s.bin", c.dwAccess, c.dwShare, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(c.bOpens, h != INVALID_HANDLE_VALUE) << c.dwHeldAccess << "/" << c.dwHeldShare << " then "
                                                        << c.dwAccess << "/" << c.dwShare;
        if (h != INVALID_HANDLE_VALUE)
            sys::CloseHandle(h);
        else
            EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
        sys::CloseHandle(hHeld);
    }
}

TEST_F(StreamContract, SharingIsPerStream)
{
    m_pVolume->CreateFile(L"s.bin", 4096);
    m_pVolume->CreateStream(L"s.bin", L"alt", 4096 * 2);
    HANDLE hHeld = Open(L"S:\\s.bin", GENERIC_READ | GENERIC_WRITE, 0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    EXPECT_NE(INVALID_HANDLE_VALUE, Open(L"S:\\s.bin:alt", GENERIC_READ, 0, 0)) << "another stream is not held";
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"S:\\s.bin::$DATA", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError()) << "the unnamed stream by its full name";
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"S:\\s.bin:alt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError()) << "the stream opened without sharing";
    for (HANDLE h : m_opened)
        sys::CloseHandle(h);
    m_opened.clear();
    m_system.Processes().Hold(m_system.Processes().ExplorerPid(), *m_pVolume, L"s.bin", GENERIC_READ, 0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"S:\\s.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    EXPECT_NE(INVALID_HANDLE_VALUE, Open(L"S:\\s.bin:alt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0))
        << "another process holding the file's data leaves its other streams free";
}

TEST_F(StreamContract, KernelExclusiveAndDeniedFilesRefuseEveryOpen)
{
    m_pVolume->CreateFile(L"pagefile.sys", 4096)->m_dwFlags |= SimFileKernelExclusive;
    m_pVolume->CreateFile(L"secret.bin", 4096)->m_dwFlags |= SimFileDenyAcl;
    for (DWORD dwAccess : {0ul, static_cast<DWORD>(GENERIC_READ)})
        for (DWORD dwShare : {0ul, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE)})
        {
            EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"S:\\pagefile.sys", dwAccess, dwShare));
            EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
            EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"S:\\secret.bin", dwAccess, dwShare));
            EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
        }
}

TEST_F(StreamContract, FileInformationAndSizes)
{
    m_pVolume->CreateFile(L"i.bin", 10000);
    HANDLE h = Open(L"S:\\i.bin");
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(sys::GetFileInformationByHandle(h, &info));
    EXPECT_EQ(10000u, info.nFileSizeLow);
    EXPECT_EQ(0u, info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    LARGE_INTEGER liSize;
    ASSERT_TRUE(sys::GetFileSizeEx(h, &liSize));
    EXPECT_EQ(10000, liSize.QuadPart);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(sys::GetFileAttributesExW(L"S:\\i.bin", GetFileExInfoStandard, &data));
    EXPECT_EQ(10000u, data.nFileSizeLow);
    ::SetLastError(1234);
    DWORD dwHigh = 0;
    EXPECT_EQ(10000u, sys::GetCompressedFileSizeW(L"S:\\i.bin", &dwHigh));
    EXPECT_EQ(INVALID_FILE_SIZE, sys::GetCompressedFileSizeW(L"S:\\none.bin", &dwHigh));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
    ASSERT_TRUE(sys::GetFileInformationByHandle(Open(L"S:\\", 0), &info));
    EXPECT_NE(0u, info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(StreamContract, FilesReadBackTheirContent)
{
    const std::wstring strText = L"\xFEFFS:\\Windows\\explorer.exe\r\n";
    std::vector<BYTE> content(reinterpret_cast<const BYTE*>(strText.data()),
                              reinterpret_cast<const BYTE*>(strText.data() + strText.size()));
    content.resize(9000, 'x');
    m_pVolume->CreateDirectory(L"Windows");
    m_pVolume->CreateFile(L"Windows\\Layout.ini", 0);
    ASSERT_TRUE(m_pVolume->SetContent(L"Windows\\Layout.ini", content, Fragmented(2)));
    HANDLE h = Open(L"S:\\Windows\\Layout.ini", GENERIC_READ, FILE_SHARE_READ, 0);
    std::vector<BYTE> read;
    BYTE block[2048];
    DWORD dwRead = 0;
    while (sys::ReadFile(h, block, sizeof(block), &dwRead, nullptr) && dwRead)
        read.insert(read.end(), block, block + dwRead);
    EXPECT_EQ(content, read);
    CSimFile* pOther = m_pVolume->CreateFile(L"other.bin", 4096 * 2, Exact({{0, 30000, 2}}));
    read.assign(8192, 0);
    ASSERT_TRUE(sys::ReadFile(Open(L"S:\\other.bin", GENERIC_READ, FILE_SHARE_READ, 0), read.data(), 8192, &dwRead, nullptr));
    uint64_t tag;
    std::memcpy(&tag, read.data() + 4096, 8);
    EXPECT_EQ(CSimContentMap::Tag(pOther->Reference(), pOther->FindStream(ntfs::Data, L"")->m_wSlot, 1), tag)
        << "data without known bytes reads as its clusters' tags";
    for (DWORD dwAccess : {DWORD(FILE_EXECUTE), DWORD(GENERIC_EXECUTE), DWORD(FILE_READ_ATTRIBUTES)})
    {
        EXPECT_FALSE(sys::ReadFile(Open(L"S:\\other.bin", dwAccess, FILE_SHARE_READ, 0), read.data(), 4096, &dwRead, nullptr))
            << std::hex << dwAccess;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError()) << "reading needs the right to read data";
    }
    ExpectVerified();
}

TEST_F(StreamContract, LongPathNamesReplaceShortComponentsOnly)
{
    m_pVolume->CreateDirectory(L"Program Files")->m_strShortName = L"PROGRA~1";
    m_pVolume->CreateFile(L"Program Files\\app.exe", 10);
    wchar_t szLong[MAX_PATH];
    ASSERT_EQ(24u, sys::GetLongPathNameW(L"S:\\PROGRA~1\\app.exe", szLong, MAX_PATH));
    EXPECT_STREQ(L"S:\\Program Files\\app.exe", szLong);
    EXPECT_EQ(25u, sys::GetLongPathNameW(L"S:\\program files\\APP.EXE", szLong, 5)) << "the size it needs, NUL included";
    EXPECT_EQ(0u, sys::GetLongPathNameW(L"S:\\PROGRA~1\\none.exe", szLong, MAX_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
}

TEST_F(StreamContract, StreamListingNamesDataStreams)
{
    m_pVolume->CreateFile(L"st.bin", 5000);
    m_pVolume->CreateStream(L"st.bin", L"one", 100);
    m_pVolume->CreateStream(L"st.bin", L"two", 9000);
    HANDLE h = Open(L"S:\\st.bin");
    std::vector<BYTE> buffer(32768);
    IO_STATUS_BLOCK iosb = {};
    ASSERT_EQ(ntstatus::Success, sys::NtQueryInformationFile(h, &iosb, buffer.data(), 32768, FileStreamInformation));
    std::vector<std::wstring> names;
    for (ULONG ulAt = 0;;)
    {
        ULONG ulNext, ulLength;
        std::memcpy(&ulNext, buffer.data() + ulAt, 4);
        std::memcpy(&ulLength, buffer.data() + ulAt + 4, 4);
        names.emplace_back(reinterpret_cast<wchar_t*>(buffer.data() + ulAt + 24), ulLength / 2);
        if (!ulNext)
            break;
        ulAt += ulNext;
    }
    ASSERT_EQ(3u, names.size());
    EXPECT_EQ(L"::$DATA", names[0]);
    EXPECT_EQ(L":one:$DATA", names[1]);
    EXPECT_EQ(ntstatus::BufferOverflow, sys::NtQueryInformationFile(h, &iosb, buffer.data(), 60, FileStreamInformation));
    EXPECT_EQ(ntstatus::InfoLengthMismatch, sys::NtQueryInformationFile(h, &iosb, buffer.data(), 23, FileStreamInformation));
}

TEST_F(StreamContract, DirectoryWalkKeepsTheSystemsOrderAndErrors)
{
    m_pVolume->CreateDirectory(L"d");
    m_pVolume->CreateFile(L"d\\b.txt", 1);
    m_pVolume->CreateFile(L"d\\A.txt", 1);
    m_pVolume->CreateFile(L"d\\noext", 1);
    m_pVolume->CreateFile(L"top.txt", 1);
    m_pVolume->CreateDirectory(L"locked")->m_dwFlags |= SimFileDenyList;
    auto list = [&](const std::wstring& strPattern, DWORD* pdwError) {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE h = sys::FindFirstFileW(strPattern.c_str(), &data);
        *pdwError = h == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
        if (h == INVALID_HANDLE_VALUE)
            return names;
        do
            names.push_back(data.cFileName);
        while (sys::FindNextFileW(h, &data));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), ::GetLastError());
        sys::FindClose(h);
        return names;
    };
    DWORD dwError = 0;
    EXPECT_EQ((std::vector<std::wstring>{L".", L"..", L"A.txt", L"b.txt", L"noext"}), list(L"S:\\d\\*.*", &dwError));
    EXPECT_EQ((std::vector<std::wstring>{L"d", L"locked", L"top.txt"}), list(L"S:\\*.*", &dwError));
    EXPECT_EQ((std::vector<std::wstring>{L"d", L"locked", L"top.txt"}), list(m_pVolume->GuidPath() + L"*.*", &dwError));
    list(L"S:\\gone\\*.*", &dwError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), dwError);
    list(L"S:\\d\\*.zip", &dwError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), dwError);
    list(L"S:\\locked\\*.*", &dwError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), dwError);
}

TEST_F(StreamContract, ReparseDirectoriesCarryTheirTag)
{
    m_pVolume->CreateDirectory(L"loop");
    ASSERT_TRUE(m_pVolume->SetReparsePoint(L"loop", 0xA0000003));
    EXPECT_NE(INVALID_HANDLE_VALUE, Open(L"S:\\loop::$REPARSE_POINT"));
    WIN32_FIND_DATAW data;
    HANDLE h = sys::FindFirstFileW(L"S:\\loop*", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_NE(0u, data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(0xA0000003u, data.dwReserved0);
    sys::FindClose(h);
}

TEST_F(StreamContract, RawVolumeReadsGoBySectorsAndHoldTheMftBitmap)
{
    HANDLE hVolume = OpenVolume();
    std::vector<BYTE> buffer = ReadMftBitmapCluster(hVolume);
    EXPECT_EQ(0xFF, buffer[0]) << "records 0 to 7 are in use";
    EXPECT_EQ(0x0F, buffer[3]) << "records 24 to 27 are the children of $Extend";
    DWORD dwRead = 0;
    EXPECT_FALSE(sys::ReadFile(hVolume, buffer.data(), 100, &dwRead, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ::GetLastError());
}

TEST_F(StreamContract, MftBitmapBitsPastTheLastRecordAreClear)
{
    SIM_FORMAT format;
    format.llTotalClusters = 100000;
    format.llMftRecords = 1000; // the bitmap's 128 bytes stand for 1024 records
    MountAndInstall(format, L'M');
    ASSERT_EQ(1000, m_pVolume->MftRecords());
    ASSERT_EQ(128, m_pVolume->File(ntfs::RecordMft)->FindStream(ntfs::Bitmap, L"")->m_llDataSize);
    std::vector<BYTE> buffer = ReadMftBitmapCluster(Open(L"\\\\.\\M:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    for (int nRecord = 1000; nRecord < 1024; ++nRecord)
        EXPECT_EQ(0, (buffer[nRecord / 8] >> (nRecord % 8)) & 1) << "record " << nRecord << " does not exist";
    EXPECT_EQ(0xFF, buffer[0]);
}

} // namespace
