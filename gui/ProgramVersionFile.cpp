#include "gui/ProgramVersionFile.h"

#include "gui/Resource.h"
#include "gui/ResourceText.h"
#include "gui/WireText.h"

bool OpenProgramVersionFile(CFileVersionInfo& info, const CString& strFileName)
{
    CString strName = strFileName.IsEmpty() ? ResourceText(IDS_VERSION_FILE) : strFileName;
    if (strName.IsEmpty())
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
    return WireText(strVersion);
}
