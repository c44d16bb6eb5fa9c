#include "updater/UpdateApp.h"

#include "updater/UpdateDlg.h"

#include <commctrl.h>

CUpdateApp::CUpdateApp(const wchar_t* pszCommandLine)
    : m_strCommandLine(pszCommandLine != nullptr ? pszCommandLine : L"")
{
}

BOOL CUpdateApp::InitInstance()
{
    INITCOMMONCONTROLSEX stInit = {sizeof(stInit), 0xFF};
    // Without the classes the dialog cannot be made, and DoModal says so.
    ::InitCommonControlsEx(&stInit);
    if (m_language.Load(::GetUserDefaultLangID(), ::GetSystemDefaultLangID()) && m_language.Get() != NULL)
        m_hResource = m_language.Get();
    // Only the name is kept: the updater reads and writes no profile value,
    // so no key is ever made under it.
    SetRegistryKey(L"Local AppWizard-Generated Applications");
    CUpdateDlg dlg(m_strCommandLine.c_str());
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
