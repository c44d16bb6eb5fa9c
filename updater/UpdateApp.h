// CUpdateApp: the updater's application object. It has no main frame: its
// start runs the dialog modally and the program ends with it.
#pragma once

#include "classlib/WinApp.h"
#include "updater/LanguageModule.h"

#include <string>

class CUpdateApp : public CWinApp
{
public:
    explicit CUpdateApp(const wchar_t* pszCommandLine);

    // Always FALSE: there is no message loop to run after the dialog.
    BOOL InitInstance() override;

private:
    std::wstring m_strCommandLine;
    CLanguageModule m_language;
};
