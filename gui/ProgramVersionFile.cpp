#include "gui/ProgramVersionFile.h"

#include "gui/Resource.h"

bool OpenProgramVersionFile(CFileVersionInfo& info)
{
    CString strName;
    if (!strName.LoadString(IDS_VERSION_FILE))
        return false;
    for (const wchar_t* pszFolder : {L"", L"Debug\\", L"DebugVarnefold\\"})
    {
        if (info.Open(CString(pszFolder) + strName))
            return true;
    }
    return false;
}

CString VersionTextOrDefault(const CUnicodeString& strVersion)
{
    if (strVersion.GetLength() == 0)
        return L"1.0.0.0";
    return CString(strVersion.GetBuffer(), strVersion.GetLength());
}
