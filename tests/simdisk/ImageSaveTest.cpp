// Saving an image over an older one: a save cut short leaves the older image whole.
#include "simdisk/SimImage.h"
#include "simdisk/SimVerifier.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring ProgramDir()
{
    wchar_t szPath[MAX_PATH + 1] = {};
    const DWORD dwLength = ::GetModuleFileNameW(nullptr, szPath, MAX_PATH + 1);
    std::wstring strPath(szPath, dwLength <= MAX_PATH ? dwLength : 0);
    return strPath.substr(0, strPath.find_last_of(L'\\') + 1);
}

class ImageSave : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t szTemp[MAX_PATH] = {};
        ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, szTemp));
        m_strDir = std::wstring(szTemp) + L"vf_image_save_" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryW(m_strDir.c_str(), nullptr));
        m_strImage = m_strDir + L"\\volume.img";
    }
    void TearDown() override
    {
        ::DeleteFileW(m_strImage.c_str());
        ::DeleteFileW((m_strImage + L".new").c_str());
        EXPECT_TRUE(::RemoveDirectoryW(m_strDir.c_str()));
    }

    std::wstring m_strDir;
    std::wstring m_strImage;
};

// simdisk.exe makes a large volume and saves it over a small one; it is killed as soon as
// anything in the image's folder changes, which is while it writes.
TEST_F(ImageSave, ASaveKilledWhileItWritesLeavesAWholeImage)
{
    SIM_FORMAT format;
    format.llTotalClusters = 20000;
    std::wstring strError;
    ASSERT_TRUE(CSimImage::Save(*CSimVolume::Format(format), m_strImage, &strError));
    HANDLE hChange = ::FindFirstChangeNotificationW(
        m_strDir.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, hChange);
    std::wstring strCommand = L"\"" + ProgramDir() + L"..\\..\\simdisk\\simdisk.exe\" create \"" + m_strImage +
                              L"\" --fs ntfs --size 16G --files 150000 --fragmented 20 --seed 7";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(::CreateProcessW(nullptr, &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << ::GetLastError();
    const HANDLE ahWait[] = {hChange, pi.hProcess};
    const DWORD dwWait = ::WaitForMultipleObjects(2, ahWait, FALSE, 240000);
    EXPECT_EQ(WAIT_OBJECT_0, dwWait) << "the folder changed before the program ended";
    ::TerminateProcess(pi.hProcess, 3);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(pi.hProcess, 30000));
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ::FindCloseChangeNotification(hChange);

    // The old volume or the new one, whichever the kill left; never a part of either.
    std::unique_ptr<CSimVolume> pVolume = CSimImage::Load(m_strImage, &strError);
    ASSERT_NE(nullptr, pVolume) << std::string(strError.begin(), strError.end());
    CSimVerifier verifier(*pVolume);
    EXPECT_TRUE(verifier.Run());
}

// Where the new image cannot be made, the save fails with a message and the old image stays.
TEST_F(ImageSave, ASaveThatCannotWriteKeepsTheOldImage)
{
    SIM_FORMAT format;
    format.llTotalClusters = 20000;
    std::wstring strError;
    ASSERT_TRUE(CSimImage::Save(*CSimVolume::Format(format), m_strImage, &strError));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((m_strImage + L".new").c_str())) << "nothing left beside it";
    ASSERT_TRUE(::CreateDirectoryW((m_strImage + L".new").c_str(), nullptr));
    format.llTotalClusters = 30000;
    EXPECT_FALSE(CSimImage::Save(*CSimVolume::Format(format), m_strImage, &strError));
    EXPECT_NE(std::wstring::npos, strError.find(L"cannot create")) << std::string(strError.begin(), strError.end());
    EXPECT_TRUE(::RemoveDirectoryW((m_strImage + L".new").c_str()));
    std::unique_ptr<CSimVolume> pVolume = CSimImage::Load(m_strImage, &strError);
    ASSERT_NE(nullptr, pVolume);
    EXPECT_EQ(20000, pVolume->TotalClusters());
}

} // namespace
