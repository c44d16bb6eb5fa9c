// COwnVersionFile: the program's own version, read from the version resource
// of the file the string table names (a bare name, so the working folder and
// the search path decide), else of the same name under "Debug\" or
// "DebugVarnefold\".
#pragma once

#include "gui/OwnVersion.h"

#include "classlib/String.h"

class COwnVersionFile : public IOwnVersion
{
public:
    // An empty name takes the one of the string table.
    explicit COwnVersionFile(const wchar_t* pszFileName = L"");

    bool GetOwnVersion(UINT& nMajor, UINT& nMinor) override;

private:
    CString m_strFileName;
};
