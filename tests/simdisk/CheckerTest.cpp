// The stand-in disk checker reached through the seam's library calls, and the routing of the
// native entry points bound through it.
#include "SimFixture.h"

#include "simdisk/SimChkdsk.h"

#include <string>

namespace {

struct CALL
{
    int nCommand;
    DWORD dwValue;
    std::string strText;
};

std::vector<CALL>* s_pCalls = nullptr;
int s_nAnswerFalseAfter = -1;

BOOLEAN WINAPI Record(int nCommand, DWORD, PVOID pData)
{
    CALL call = {nCommand, 0, ""};
    if (nCommand == CSimChkdsk::CommandProgress)
        call.dwValue = *static_cast<DWORD*>(pData);
    else if (nCommand == CSimChkdsk::CommandDone)
        call.dwValue = *static_cast<BOOLEAN*>(pData);
    else if (nCommand == CSimChkdsk::CommandOutput)
        call.strText = static_cast<CSimChkdsk::TEXT_OUTPUT*>(pData)->pszOutput;
    s_pCalls->push_back(call);
    return s_nAnswerFalseAfter < 0 || static_cast<int>(s_pCalls->size()) < s_nAnswerFalseAfter;
}

typedef VOID(WINAPI* PCHKDSKEX)(PWSTR, PWSTR, BOOLEAN, PVOID, CSimChkdsk::PCALLBACK);

class Checker : public CSimFixture
{
protected:
    void SetUp() override
    {
        CSimFixture::SetUp();
        s_pCalls = &m_calls;
        s_nAnswerFalseAfter = -1;
        m_hFmifs = sys::LoadLibraryW(L"fmifs.dll");
        ASSERT_NE(nullptr, m_hFmifs);
        m_pfnChkdskEx = reinterpret_cast<PCHKDSKEX>(reinterpret_cast<void*>(sys::GetProcAddress(m_hFmifs, "ChkdskEx")));
        ASSERT_NE(nullptr, m_pfnChkdskEx);
    }
    void TearDown() override
    {
        sys::FreeLibrary(m_hFmifs);
        CSimFixture::TearDown();
    }

    void Check(const wchar_t* pszRoot)
    {
        m_calls.clear();
        int options[3] = {1, 0, -1};
        std::wstring strRoot(pszRoot);
        m_pfnChkdskEx(&strRoot[0], const_cast<PWSTR>(L"NTFS"), FALSE, options, &Record);
    }

    int Count(int nCommand) const
    {
        int n = 0;
        for (const CALL& call : m_calls)
            n += call.nCommand == nCommand;
        return n;
    }

    std::vector<CALL> m_calls;
    HMODULE m_hFmifs = nullptr;
    PCHKDSKEX m_pfnChkdskEx = nullptr;
};

TEST_F(Checker, BindsLikeTheSystemLibrary)
{
    EXPECT_NE(nullptr, sys::GetProcAddress(m_hFmifs, "Chkdsk"));
    EXPECT_EQ(nullptr, sys::GetProcAddress(m_hFmifs, "Format"));
    m_system.m_bWineAnswers = true;
    EXPECT_EQ(nullptr, sys::LoadLibraryW(L"fmifs.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), ::GetLastError());
}

TEST_F(Checker, CleanVolumeRisesThroughThreeStagesAndEndsDone)
{
    m_pVolume->CreateFile(L"f.bin", 4096 * 20, Fragmented(4));
    Check(L"S:\\");
    ASSERT_FALSE(m_calls.empty());
    EXPECT_EQ(CSimChkdsk::CommandDone, m_calls.back().nCommand);
    EXPECT_EQ(1u, m_calls.back().dwValue);
    int nStages = 0;
    LONG lLast = -1;
    for (const CALL& call : m_calls)
        if (call.nCommand == CSimChkdsk::CommandProgress)
        {
            if (static_cast<LONG>(call.dwValue) < lLast || lLast < 0)
                ++nStages;
            lLast = static_cast<LONG>(call.dwValue);
        }
    EXPECT_EQ(3, nStages);
    EXPECT_GT(Count(CSimChkdsk::CommandOutput), 3);
    EXPECT_EQ(1, Count(CSimChkdsk::CommandDone));
}

TEST_F(Checker, DamagedVolumeEndsDoneWithFailureAndSaysWhy)
{
    CSimFile* pFile = m_pVolume->CreateFile(L"f.bin", 4096 * 20);
    m_pVolume->Content().Corrupt(pFile->FindStream(ntfs::Data, L"")->m_runs[0].llLcn);
    Check(m_pVolume->GuidPath().c_str());
    ASSERT_FALSE(m_calls.empty());
    EXPECT_EQ(0u, m_calls.back().dwValue);
    bool bNamed = false;
    for (const CALL& call : m_calls)
        bNamed = bNamed || call.strText.find("f.bin") != std::string::npos;
    EXPECT_TRUE(bNamed);
}

TEST_F(Checker, FalseFromTheCallbackStopsProgressAndOutput)
{
    s_nAnswerFalseAfter = 4;
    Check(L"S:\\");
    ASSERT_EQ(5u, m_calls.size()) << "four calls, the one answered false, then done";
    EXPECT_EQ(CSimChkdsk::CommandDone, m_calls.back().nCommand);
    EXPECT_EQ(0u, m_calls.back().dwValue);
    m_system.m_bCheckerDoneAfterStop = false;
    Check(L"S:\\");
    EXPECT_EQ(4u, m_calls.size());
}

TEST_F(Checker, FailureBeforeAnyProgress)
{
    SIM_FAULT fault;
    fault.eCall = SIM_CALL::Checker;
    fault.status = ntstatus::AccessDenied;
    m_system.Faults().Add(fault);
    Check(L"S:\\");
    EXPECT_EQ(0, Count(CSimChkdsk::CommandProgress));
    ASSERT_FALSE(m_calls.empty());
    EXPECT_EQ(0u, m_calls.back().dwValue);
    m_system.Faults().Clear();
    Check(L"Q:\\");
    EXPECT_EQ(0u, m_calls.back().dwValue);
}

// The caller's callback may wait for its other threads, and those may be inside the seam.
HANDLE s_hHelper = nullptr;
bool s_bHelperDone = false;

BOOLEAN WINAPI WaitForAnotherThreadsSeamCall(int nCommand, DWORD, PVOID)
{
    if (nCommand != CSimChkdsk::CommandProgress || s_hHelper)
        return TRUE;
    s_hHelper = ::CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
        ULARGE_INTEGER uliFree;
        return sys::GetDiskFreeSpaceExW(L"S:\\", nullptr, nullptr, &uliFree);
    }, nullptr, 0, nullptr);
    s_bHelperDone = ::WaitForSingleObject(s_hHelper, 2000) == WAIT_OBJECT_0;
    return TRUE;
}

TEST_F(Checker, CallbacksRunWithoutTheSimulatorsLock)
{
    s_hHelper = nullptr;
    s_bHelperDone = false;
    int options[3] = {1, 0, -1};
    wchar_t szRoot[] = L"S:\\";
    m_pfnChkdskEx(szRoot, const_cast<PWSTR>(L"NTFS"), FALSE, options, &WaitForAnotherThreadsSeamCall);
    ASSERT_NE(nullptr, s_hHelper);
    EXPECT_TRUE(s_bHelperDone) << "a seam call on another thread waited for the check to end";
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(s_hHelper, 5000));
    ::CloseHandle(s_hHelper);
}

TEST_F(Checker, NativeEntryPointsRouteByHandle)
{
    HMODULE hNtdll = sys::GetModuleHandleW(L"ntdll.dll");
    ASSERT_NE(nullptr, hNtdll);
    typedef NTSTATUS(NTAPI * PFSCONTROL)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK, ULONG, PVOID, ULONG,
                                         PVOID, ULONG);
    auto pfnControl = reinterpret_cast<PFSCONTROL>(reinterpret_cast<void*>(sys::GetProcAddress(hNtdll, "NtFsControlFile")));
    ASSERT_NE(nullptr, pfnControl);
    EXPECT_EQ(::GetProcAddress(hNtdll, "RtlFindSetBits"), sys::GetProcAddress(hNtdll, "RtlFindSetBits"));
    IO_STATUS_BLOCK iosb = {};
    LONGLONG llFrom = 0;
    BYTE out[64];
    EXPECT_EQ(ntstatus::BufferOverflow,
              pfnControl(OpenVolume(), nullptr, nullptr, nullptr, &iosb, FSCTL_GET_VOLUME_BITMAP, &llFrom, 8, out, 64));
    EXPECT_EQ(64u, iosb.Information);
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    HANDLE hReal = ::CreateFileW(szTemp, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hReal);
    NTSTATUS status = pfnControl(hReal, nullptr, nullptr, nullptr, &iosb, FSCTL_GET_VOLUME_BITMAP, &llFrom, 8, out, 64);
    EXPECT_NE(ntstatus::BufferOverflow, status) << "a real handle reaches the real system";
    ::CloseHandle(hReal);
}

} // namespace
