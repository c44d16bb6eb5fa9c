// CWinApp: the program's one application object. It holds the main window,
// the module that resources are taken from (a resource library when one is
// bound, the program otherwise) and the per-user profile under
// HKEY_CURRENT_USER\Software\[<company>\]<profile name>.
#pragma once

#include "classlib/String.h"
#include "classlib/WinThread.h"

#include <windows.h>

#include <vector>

// The string that names the application in captions.
constexpr UINT IDS_APPLICATION_TITLE = 0xE000;

class CWinApp : public CWinThread
{
public:
    CWinApp();
    ~CWinApp() override;

    static CWinApp* GetApp();
    static CWnd* GetMainWnd();
    // The module that string, menu, dialog and icon resources come from; what
    // a resource library lacks is taken from the program.
    static HINSTANCE GetResourceModule();
    // The resource module when it holds the resource, else the program.
    static HINSTANCE FindResourceModule(const wchar_t* pszName, const wchar_t* pszType);

    // The application's name for captions: the string of that id, else the program's file name.
    static CString GetAppName();

    // Takes resources from the library when it can be loaded; FALSE otherwise,
    // and the program's own resources stay in use. No code of it runs.
    BOOL LoadResourceLibrary(const wchar_t* pszFileName);

    // Starts the program: InitInstance, then the message loop.
    int Main();

    void SetRegistryKey(const wchar_t* pszCompany);
    void SetProfileName(const wchar_t* pszName);
    const CString& GetProfileName() const { return m_strProfileName; }
    // The key of the profile, created when missing; the caller closes it. NULL on failure.
    HKEY GetAppRegistryKey() const;
    HKEY GetSectionKey(const wchar_t* pszSection) const;

    // Reads answer the default when the value is missing or of another type or size.
    UINT GetProfileInt(const wchar_t* pszSection, const wchar_t* pszEntry, int nDefault) const;
    BOOL WriteProfileInt(const wchar_t* pszSection, const wchar_t* pszEntry, int nValue);
    CString GetProfileString(const wchar_t* pszSection, const wchar_t* pszEntry,
                             const wchar_t* pszDefault = nullptr) const;
    // A null value deletes the entry; a null entry deletes the whole section.
    BOOL WriteProfileString(const wchar_t* pszSection, const wchar_t* pszEntry, const wchar_t* pszValue);
    BOOL GetProfileBinary(const wchar_t* pszSection, const wchar_t* pszEntry, std::vector<BYTE>& data) const;
    BOOL WriteProfileBinary(const wchar_t* pszSection, const wchar_t* pszEntry, const BYTE* pData, UINT nBytes);

    HINSTANCE m_hInstance;

protected:
    HINSTANCE m_hResource;
    HMODULE m_hResourceLibrary;
    CString m_strRegistryKey;
    CString m_strProfileName;
};
