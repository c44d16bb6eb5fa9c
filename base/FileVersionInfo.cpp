#include "base/FileVersionInfo.h"

#include <cwchar>
#include <new>
#include <vector>

namespace
{
// Long enough for any path the system can hand out.
const DWORD MaxModulePath = 32767;
}

CFileVersionInfo::CFileVersionInfo()
    : m_wLanguage(0), m_wCodePage(DefaultCodePage), m_pTranslations(nullptr), m_nTranslationCount(0),
      m_pFixedInfo(nullptr)
{
}

void CFileVersionInfo::Close()
{
    m_pFixedInfo = nullptr;
    m_pTranslations = nullptr;
    m_nTranslationCount = 0;
    m_pData.reset();
    m_wLanguage = 0;
    m_wCodePage = DefaultCodePage;
}

bool CFileVersionInfo::Open(const wchar_t* pszPath)
{
    Close();
    DWORD dwHandle = 0;
    DWORD dwSize = ::GetFileVersionInfoSizeW(pszPath, &dwHandle);
    if (dwSize == 0)
        return false;
    m_pData.reset(new (std::nothrow) BYTE[dwSize]);
    void* pFixed = nullptr;
    UINT uFixedSize = 0;
    if (!m_pData || !::GetFileVersionInfoW(pszPath, 0, dwSize, m_pData.get()) ||
        !::VerQueryValueW(m_pData.get(), L"\\", &pFixed, &uFixedSize) || uFixedSize < sizeof(VS_FIXEDFILEINFO))
    {
        m_pData.reset();
        return false;
    }
    m_pFixedInfo = static_cast<const VS_FIXEDFILEINFO*>(pFixed);
    void* pTable = nullptr;
    UINT uTableSize = 0;
    if (::VerQueryValueW(m_pData.get(), L"\\VarFileInfo\\Translation", &pTable, &uTableSize) &&
        uTableSize >= sizeof(stTranslation))
    {
        m_pTranslations = static_cast<const stTranslation*>(pTable);
        m_nTranslationCount = static_cast<int>(uTableSize / sizeof(stTranslation));
        SelectTranslation(0);
    }
    return true;
}

bool CFileVersionInfo::OpenOwnProgram()
{
    std::vector<wchar_t> path(MaxModulePath + 1);
    DWORD dwLength = ::GetModuleFileNameW(NULL, path.data(), MaxModulePath + 1);
    return dwLength > 0 && dwLength <= MaxModulePath && Open(path.data());
}

bool CFileVersionInfo::SelectTranslation(int nIndex)
{
    const stTranslation* pTranslation = GetTranslation(nIndex);
    if (pTranslation == nullptr)
        return false;
    m_wLanguage = pTranslation->wLanguage;
    m_wCodePage = pTranslation->wCodePage;
    return true;
}

const CFileVersionInfo::stTranslation* CFileVersionInfo::GetTranslation(int nIndex) const
{
    if (nIndex < 0 || nIndex >= m_nTranslationCount)
        return nullptr;
    return m_pTranslations + nIndex;
}

CUnicodeString CFileVersionInfo::GetValue(const wchar_t* pszName) const
{
    if (!m_pData)
        return CUnicodeString();
    wchar_t szKey[256];
    if (std::swprintf(szKey, 256, L"\\StringFileInfo\\%04x%04x\\%ls", m_wLanguage, m_wCodePage, pszName) < 0)
        return CUnicodeString();
    void* pValue = nullptr;
    UINT uLength = 0;
    if (!::VerQueryValueW(m_pData.get(), szKey, &pValue, &uLength) || pValue == nullptr || uLength == 0)
        return CUnicodeString();
    return CUnicodeString(static_cast<const wchar_t*>(pValue));
}

CUnicodeString CFileVersionInfo::NormaliseVersion(CUnicodeString strVersion)
{
    strVersion.Replace(L",", L".");
    strVersion.Remove(L' ');
    return strVersion;
}

CUnicodeString CFileVersionInfo::GetFileVersion() const
{
    return NormaliseVersion(GetValue(L"FileVersion"));
}

CUnicodeString CFileVersionInfo::GetProductVersion() const
{
    return NormaliseVersion(GetValue(L"ProductVersion"));
}

ULONGLONG CFileVersionInfo::GetFileVersionNumber() const
{
    return m_pFixedInfo == nullptr
               ? 0
               : static_cast<ULONGLONG>(m_pFixedInfo->dwFileVersionMS) << 32 | m_pFixedInfo->dwFileVersionLS;
}

ULONGLONG CFileVersionInfo::GetProductVersionNumber() const
{
    return m_pFixedInfo == nullptr ? 0
                                   : static_cast<ULONGLONG>(m_pFixedInfo->dwProductVersionMS) << 32 |
                                         m_pFixedInfo->dwProductVersionLS;
}

FILETIME CFileVersionInfo::GetFileDate() const
{
    FILETIME stDate = {};
    if (m_pFixedInfo != nullptr)
    {
        stDate.dwHighDateTime = m_pFixedInfo->dwFileDateMS;
        stDate.dwLowDateTime = m_pFixedInfo->dwFileDateLS;
    }
    return stDate;
}

DWORD CFileVersionInfo::GetFileType() const
{
    return m_pFixedInfo == nullptr ? 0 : m_pFixedInfo->dwFileType;
}

DWORD CFileVersionInfo::GetFileSubtype() const
{
    return m_pFixedInfo == nullptr ? 0 : m_pFixedInfo->dwFileSubtype;
}

DWORD CFileVersionInfo::GetFileOS() const
{
    return m_pFixedInfo == nullptr ? 0 : m_pFixedInfo->dwFileOS;
}

DWORD CFileVersionInfo::GetFileFlags() const
{
    return m_pFixedInfo == nullptr ? 0 : m_pFixedInfo->dwFileFlags;
}

DWORD CFileVersionInfo::GetFileFlagsMask() const
{
    return m_pFixedInfo == nullptr ? 0 : m_pFixedInfo->dwFileFlagsMask;
}
