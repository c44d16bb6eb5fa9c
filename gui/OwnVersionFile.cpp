#include "gui/OwnVersionFile.h"

#include "gui/Resource.h"
#include "gui/ResourceText.h"

#include "service/FileVersionInfo.h"

COwnVersionFile::COwnVersionFile(const wchar_t* pszFileName) : m_strFileName(pszFileName)
{
    if (m_strFileName.IsEmpty())
        m_strFileName = ResourceText(IDS_VERSION_FILE);
}

bool COwnVersionFile::GetOwnVersion(UINT& nMajor, UINT& nMinor)
{
    nMajor = 0;
    nMinor = 0;
    if (m_strFileName.IsEmpty())
        return false;
    CFileVersionInfo version;
    if (!version.Open(m_strFileName) && !version.Open(L"Debug\\" + m_strFileName) &&
        !version.Open(L"DebugVarnefold\\" + m_strFileName))
        return false;
    ULONGLONG ullProduct = version.GetProductVersionNumber();
    nMajor = static_cast<UINT>((ullProduct >> 48) & 0xFFFF);
    nMinor = static_cast<UINT>((ullProduct >> 32) & 0xFFFF);
    return true;
}
