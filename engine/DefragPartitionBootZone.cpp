#include "engine/DefragPartition.h"

#include "platform/sys.h"

namespace {

// Metadata that the system reads at boot, at the start of every boot list.
const wchar_t* const BootMetadata[] = {L"$AttrDef",
                                       L"$UpCase",
                                       L"$Secure:$SDS:$DATA",
                                       L"$Secure:$SII:$INDEX_ALLOCATION",
                                       L"$Secure:$SDH:$INDEX_ALLOCATION",
                                       L"$Extend\\$ObjId:$O:$INDEX_ALLOCATION"};
const wchar_t* const LoaderFiles[] = {L"ntldr", L"ntdetect.com", L"boot.ini", L"bootsect.dat", L"bootsect.dos"};

constexpr UINT WindowsPathUnits = 260;
constexpr DWORD ModulePathUnits = 248;

CUnicodeString SystemLayoutList()
{
    wchar_t szWindows[WindowsPathUnits + 1] = {};
    const UINT uLength = sys::GetSystemWindowsDirectoryW(szWindows, WindowsPathUnits);
    if (uLength == 0 || uLength >= WindowsPathUnits)
        return CUnicodeString();
    return CUnicodeString(szWindows) + L"\\Prefetch\\Layout.ini";
}

CUnicodeString ServiceLayoutList()
{
    wchar_t szModule[ModulePathUnits + 1] = {};
    const DWORD dwLength = ::GetModuleFileNameW(nullptr, szModule, ModulePathUnits);
    if (dwLength == 0 || dwLength >= ModulePathUnits)
        return CUnicodeString();
    CUnicodeString strFolder(szModule);
    return strFolder.Left(strFolder.ReverseFind(L'\\') + 1) + L"Layout.ini";
}

} // namespace

bool CDefragPartition::UsesBootList() const
{
    return (m_stRun.nUseLayoutIni >= 1 && m_stRun.nUseLayoutIni <= 3) || (m_stRun.nUseLayoutIni == 4 && m_bSystemVolume);
}

bool CDefragPartition::AppliesZoneRule() const
{
    return m_stRun.nUseLayoutIni == 1 || m_stRun.nUseLayoutIni == 2 || (m_stRun.nUseLayoutIni == 4 && m_bSystemVolume);
}

// The entries after reading the layout list; 0 when no list could be read.
int CDefragPartition::BuildBootList()
{
    const CUnicodeString strDrivePath = GetDrivePath();
    const CUnicodeString strRoot = strDrivePath.GetLength() > 0 ? strDrivePath : m_strVolumeName;
    m_bootFiles.SetDriveLetter(strDrivePath.GetLength() > 0 ? strDrivePath.GetBuffer()[0] : 0);
    for (const wchar_t* pszName : BootMetadata)
        m_bootFiles.Add(new CUnicodeString(strRoot + pszName));
    if (m_stRun.nUseLayoutIni == 4)
        for (const wchar_t* pszName : LoaderFiles)
            m_bootFiles.Add(new CUnicodeString(strRoot + pszName));
    if (m_stRun.nUseLayoutIni == 2)
    {
        const CUnicodeString strList = ServiceLayoutList();
        const int nCount = strList.GetLength() > 0 ? m_bootFiles.ReadLayoutIni(strList.GetBuffer(), nullptr) : 0;
        if (nCount != 0)
            return nCount;
    }
    const CUnicodeString strList = SystemLayoutList();
    if (strList.GetLength() == 0)
        return 0;
    if (m_stRun.nUseLayoutIni != 4)
        return m_bootFiles.ReadLayoutIni(strList.GetBuffer(), nullptr);
    // Only files below the Windows directory are taken from the list.
    wchar_t szWindows[WindowsPathUnits + 1] = {};
    const UINT uLength = sys::GetWindowsDirectoryW(szWindows, WindowsPathUnits);
    if (uLength == 0 || uLength >= WindowsPathUnits)
        return 0;
    return m_bootFiles.ReadLayoutIni(strList.GetBuffer(), szWindows);
}

void CDefragPartition::SizeBootZone()
{
    m_llBootZoneClusters = 0;
    m_bootFiles.RemoveAll();
    m_zoneExtents.Reset();
    if (!UsesBootList() || BuildBootList() <= 0 || m_nBytesPerCluster <= 0)
        return;
    int64_t llZone = 0;
    for (int i = 0; i < m_bootFiles.GetSize();)
    {
        const wchar_t* pszPath = m_bootFiles.GetAt(i)->GetBuffer();
        // A successful call need not clear an older error.
        ::SetLastError(ERROR_SUCCESS);
        DWORD dwHigh = 0;
        const DWORD dwLow = sys::GetCompressedFileSizeW(pszPath, &dwHigh);
        const DWORD dwError = ::GetLastError();
        const int64_t llSize = static_cast<int64_t>((static_cast<uint64_t>(dwHigh) << 32) | dwLow);
        int64_t llClusters = 0;
        if (dwError != ERROR_SUCCESS || llSize == 0)
            GetFileExtentsByPath(pszPath, llClusters, m_extents);
        else if (llSize > 0)
            llClusters = llSize / m_nBytesPerCluster;
        const bool bKeep = dwError != ERROR_SUCCESS || llSize == 0 ? llClusters > 0 : llSize > 0;
        if (!bKeep)
        {
            m_bootFiles.RemoveAt(i);
            continue;
        }
        llZone += llClusters;
        ++i;
    }
    // A divider of 0 or below from the registry means no room to grow, never a division.
    if (m_nLayoutIniForesightDivider > 0)
        llZone += llZone / m_nLayoutIniForesightDivider;
    m_llBootZoneClusters = llZone;
}
