// A simulated system with one mounted volume, installed behind the seam for the test.
#pragma once

#include "platform/NtStatus.h"
#include "platform/sys.h"
#include "simdisk/SimSystem.h"
#include "simdisk/SimVerifier.h"

#include <gtest/gtest.h>
#include <winioctl.h>

#include <string>
#include <vector>

class CSimFixture : public ::testing::Test
{
protected:
    // Over 655,168 clusters, so the bitmap needs two chunks of the size the engine reads.
    static constexpr LONGLONG TotalClusters = 700001;

    void SetUp() override { MountAndInstall(SIM_FS::Ntfs, TotalClusters); }
    void TearDown() override
    {
        for (HANDLE h : m_opened)
            sys::CloseHandle(h);
        m_system.Uninstall();
    }

    void MountAndInstall(SIM_FS eFs, LONGLONG llClusters, wchar_t cLetter = L'S')
    {
        SIM_FORMAT format;
        format.eFs = eFs;
        format.llTotalClusters = llClusters;
        MountAndInstall(format, cLetter);
    }

    // A volume mounted before on the letter keeps only its GUID name.
    void MountAndInstall(const SIM_FORMAT& format, wchar_t cLetter)
    {
        m_system.Uninstall();
        m_system.RemoveLetter(cLetter);
        m_pVolume = &m_system.Mount(CSimVolume::Format(format), cLetter);
        m_system.Install();
    }

    // Opens through the seam and closes at the end of the test.
    HANDLE Open(const std::wstring& strPath, DWORD dwAccess = 0, DWORD dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE,
                DWORD dwFlags = FILE_FLAG_BACKUP_SEMANTICS)
    {
        HANDLE h = sys::CreateFileW(strPath.c_str(), dwAccess, dwShare, nullptr, OPEN_EXISTING, dwFlags, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            m_opened.push_back(h);
        return h;
    }
    HANDLE OpenVolume() { return Open(L"\\\\.\\S:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0); }

    NTSTATUS FsControl(HANDLE h, ULONG ulCode, const void* pIn, ULONG ulIn, void* pOut, ULONG ulOut,
                       ULONG_PTR* pInfo = nullptr)
    {
        IO_STATUS_BLOCK iosb = {};
        NTSTATUS status = sys::NtFsControlFile(h, nullptr, nullptr, nullptr, &iosb, ulCode, const_cast<void*>(pIn), ulIn,
                                               pOut, ulOut);
        if (pInfo)
            *pInfo = iosb.Information;
        return status;
    }

    NTSTATUS Move(HANDLE hVolume, HANDLE hFile, LONGLONG llVcn, LONGLONG llLcn, DWORD dwCount)
    {
        MOVE_FILE_DATA move = {};
        move.FileHandle = hFile;
        move.StartingVcn.QuadPart = llVcn;
        move.StartingLcn.QuadPart = llLcn;
        move.ClusterCount = dwCount;
        return FsControl(hVolume, FSCTL_MOVE_FILE, &move, sizeof(move), nullptr, 0);
    }

    // Every extent of a stream, read as the engine reads them: a fixed 4112-byte buffer,
    // asked again from the last next-VCN until the end of the file.
    std::vector<SIM_RUN> ReadExtents(HANDLE hFile, int* pnCalls = nullptr)
    {
        std::vector<SIM_RUN> runs;
        std::vector<BYTE> buffer(4112);
        LONGLONG llVcn = 0;
        for (int nCall = 1; nCall < 100000; ++nCall)
        {
            if (pnCalls)
                *pnCalls = nCall;
            NTSTATUS status = FsControl(hFile, FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 8, buffer.data(), 4112);
            if (status == ntstatus::EndOfFile)
                return runs;
            EXPECT_TRUE(status == ntstatus::Success || status == ntstatus::BufferOverflow) << std::hex << status;
            auto* p = reinterpret_cast<RETRIEVAL_POINTERS_BUFFER*>(buffer.data());
            LONGLONG llStart = p->StartingVcn.QuadPart;
            for (DWORD i = 0; i < p->ExtentCount; ++i)
            {
                runs.push_back({llStart, p->Extents[i].Lcn.QuadPart, p->Extents[i].NextVcn.QuadPart - llStart});
                llStart = p->Extents[i].NextVcn.QuadPart;
            }
            llVcn = llStart;
            if (status == ntstatus::Success)
            {
                EXPECT_EQ(ntstatus::EndOfFile, FsControl(hFile, FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 8, buffer.data(), 4112));
                return runs;
            }
        }
        ADD_FAILURE() << "retrieval pointers never ended";
        return runs;
    }

    void ExpectVerified()
    {
        CSimLock lock(m_system);
        CSimVerifier verifier(*m_pVolume);
        bool bOk = verifier.Run();
        std::wstring strAll;
        for (const std::wstring& str : verifier.Problems())
            strAll += str + L"\n";
        EXPECT_TRUE(bOk) << std::string(strAll.begin(), strAll.end());
    }

    CSimSystem m_system;
    CSimVolume* m_pVolume = nullptr;
    std::vector<HANDLE> m_opened;
};
