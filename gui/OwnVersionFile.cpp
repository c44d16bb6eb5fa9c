#include "gui/OwnVersionFile.h"

#include "gui/ProgramVersionFile.h"

COwnVersionFile::COwnVersionFile(const wchar_t* pszFileName) : m_strFileName(pszFileName)
{
}

bool COwnVersionFile::GetOwnVersion(UINT& nMajor, UINT& nMinor)
{
    nMajor = 0;
    nMinor = 0;
    CFileVersionInfo version;
    if (!OpenProgramVersionFile(version, m_strFileName))
        return false;
    ULONGLONG ullProduct = version.GetProductVersionNumber();
    nMajor = static_cast<UINT>((ullProduct >> 48) & 0xFFFF);
    nMinor = static_cast<UINT>((ullProduct >> 32) & 0xFFFF);
    return true;
}
