#include "classlib/WinApp.h"

#include "classlib/Wnd.h"

namespace
{
CWinApp* g_pApp = nullptr;

// Values larger than this are not profile data; refusing them bounds the read.
constexpr DWORD MaxProfileValueBytes = 1 << 20;

class CKeyHolder
{
public:
    explicit CKeyHolder(HKEY hKey) : m_hKey(hKey) {}
    ~CKeyHolder()
    {
        if (m_hKey != NULL)
            ::RegCloseKey(m_hKey);
    }
    CKeyHolder(const CKeyHolder&) = delete;
    CKeyHolder& operator=(const CKeyHolder&) = delete;
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey;
};

// The value's type and bytes; false when it is missing or too large.
bool QueryValue(HKEY hKey, const wchar_t* pszEntry, DWORD& dwType, std::vector<BYTE>& data)
{
    DWORD dwSize = 0;
    if (::RegQueryValueExW(hKey, pszEntry, nullptr, &dwType, nullptr, &dwSize) != ERROR_SUCCESS ||
        dwSize > MaxProfileValueBytes)
        return false;
    data.resize(dwSize);
    if (::RegQueryValueExW(hKey, pszEntry, nullptr, &dwType, data.data(), &dwSize) != ERROR_SUCCESS)
        return false;
    data.resize(dwSize);
    return true;
}
// The program's file name without folder and extension; empty when unknown.
CString ProgramName()
{
    wchar_t szPath[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return CString();
    CString strPath(szPath);
    CString strName = strPath.Mid(strPath.ReverseFind(L'\\') + 1);
    int nDot = strName.ReverseFind(L'.');
    return nDot > 0 ? strName.Left(nDot) : strName;
}
} // namespace

CWinApp::CWinApp()
    : m_hInstance(::GetModuleHandleW(nullptr)), m_hResource(m_hInstance), m_hResourceLibrary(NULL)
{
    g_pApp = this;
    m_strProfileName = ProgramName();
}

CWinApp::~CWinApp()
{
    if (m_hResourceLibrary != NULL)
        ::FreeLibrary(m_hResourceLibrary);
    if (g_pApp == this)
        g_pApp = nullptr;
}

CWinApp* CWinApp::GetApp()
{
    return g_pApp;
}

CWnd* CWinApp::GetMainWnd()
{
    return g_pApp != nullptr ? g_pApp->m_pMainWnd : nullptr;
}

HINSTANCE CWinApp::GetResourceModule()
{
    return g_pApp != nullptr ? g_pApp->m_hResource : ::GetModuleHandleW(nullptr);
}

HINSTANCE CWinApp::FindResourceModule(const wchar_t* pszName, const wchar_t* pszType)
{
    HINSTANCE hResource = GetResourceModule();
    if (::FindResourceW(hResource, pszName, pszType) != NULL)
        return hResource;
    return g_pApp != nullptr ? g_pApp->m_hInstance : ::GetModuleHandleW(nullptr);
}

CString CWinApp::GetAppName()
{
    CString strName;
    if (strName.LoadString(IDS_APPLICATION_TITLE) && !strName.IsEmpty())
        return strName;
    return ProgramName();
}

BOOL CWinApp::LoadResourceLibrary(const wchar_t* pszFileName)
{
    HMODULE hLibrary = ::LoadLibraryExW(pszFileName, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (hLibrary == NULL)
        return FALSE;
    if (m_hResourceLibrary != NULL)
        ::FreeLibrary(m_hResourceLibrary);
    m_hResourceLibrary = hLibrary;
    m_hResource = hLibrary;
    return TRUE;
}

int CWinApp::Main()
{
    if (!InitInstance())
    {
        ExitInstance();
        return 0;
    }
    return Run();
}

void CWinApp::SetRegistryKey(const wchar_t* pszCompany)
{
    m_strRegistryKey = pszCompany;
}

void CWinApp::SetProfileName(const wchar_t* pszName)
{
    m_strProfileName = pszName;
}

HKEY CWinApp::GetAppRegistryKey() const
{
    if (m_strProfileName.IsEmpty())
        return NULL;
    CString strPath = L"Software\\";
    if (!m_strRegistryKey.IsEmpty())
        strPath += m_strRegistryKey + L"\\";
    strPath += m_strProfileName;
    HKEY hKey = NULL;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, strPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_READ | KEY_WRITE, nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        return NULL;
    return hKey;
}

HKEY CWinApp::GetSectionKey(const wchar_t* pszSection) const
{
    if (pszSection == nullptr)
        return NULL;
    CKeyHolder app(GetAppRegistryKey());
    if (app.Get() == NULL)
        return NULL;
    HKEY hKey = NULL;
    if (::RegCreateKeyExW(app.Get(), pszSection, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                          nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        return NULL;
    return hKey;
}

UINT CWinApp::GetProfileInt(const wchar_t* pszSection, const wchar_t* pszEntry, int nDefault) const
{
    CKeyHolder key(GetSectionKey(pszSection));
    DWORD dwType = 0;
    std::vector<BYTE> data;
    if (key.Get() == NULL || !QueryValue(key.Get(), pszEntry, dwType, data) || dwType != REG_DWORD ||
        data.size() != sizeof(DWORD))
        return static_cast<UINT>(nDefault);
    DWORD dwValue;
    memcpy(&dwValue, data.data(), sizeof(dwValue));
    return dwValue;
}

BOOL CWinApp::WriteProfileInt(const wchar_t* pszSection, const wchar_t* pszEntry, int nValue)
{
    CKeyHolder key(GetSectionKey(pszSection));
    DWORD dwValue = static_cast<DWORD>(nValue);
    return key.Get() != NULL && pszEntry != nullptr &&
           ::RegSetValueExW(key.Get(), pszEntry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                            sizeof(dwValue)) == ERROR_SUCCESS;
}

CString CWinApp::GetProfileString(const wchar_t* pszSection, const wchar_t* pszEntry,
                                  const wchar_t* pszDefault) const
{
    CKeyHolder key(GetSectionKey(pszSection));
    DWORD dwType = 0;
    std::vector<BYTE> data;
    if (key.Get() == NULL || !QueryValue(key.Get(), pszEntry, dwType, data) ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
        return CString(pszDefault);
    // Stored text need not end with a terminator; it ends at the first one or at the data's end.
    const wchar_t* pszText = reinterpret_cast<const wchar_t*>(data.data());
    size_t nChars = data.size() / sizeof(wchar_t);
    return CString(pszText, static_cast<int>(wcsnlen(pszText, nChars)));
}

BOOL CWinApp::WriteProfileString(const wchar_t* pszSection, const wchar_t* pszEntry, const wchar_t* pszValue)
{
    if (pszSection == nullptr)
        return FALSE;
    if (pszEntry == nullptr)
    {
        CKeyHolder app(GetAppRegistryKey());
        return app.Get() != NULL && ::RegDeleteTreeW(app.Get(), pszSection) == ERROR_SUCCESS;
    }
    CKeyHolder key(GetSectionKey(pszSection));
    if (key.Get() == NULL)
        return FALSE;
    if (pszValue == nullptr)
        return ::RegDeleteValueW(key.Get(), pszEntry) == ERROR_SUCCESS;
    DWORD dwBytes = static_cast<DWORD>((wcslen(pszValue) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.Get(), pszEntry, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszValue), dwBytes) ==
           ERROR_SUCCESS;
}

BOOL CWinApp::GetProfileBinary(const wchar_t* pszSection, const wchar_t* pszEntry, std::vector<BYTE>& data) const
{
    data.clear();
    CKeyHolder key(GetSectionKey(pszSection));
    DWORD dwType = 0;
    std::vector<BYTE> value;
    if (key.Get() == NULL || !QueryValue(key.Get(), pszEntry, dwType, value) || dwType != REG_BINARY)
        return FALSE;
    data.swap(value);
    return TRUE;
}

BOOL CWinApp::WriteProfileBinary(const wchar_t* pszSection, const wchar_t* pszEntry, const BYTE* pData,
                                 UINT nBytes)
{
    CKeyHolder key(GetSectionKey(pszSection));
    return key.Get() != NULL && pszEntry != nullptr && (pData != nullptr || nBytes == 0) &&
           ::RegSetValueExW(key.Get(), pszEntry, 0, REG_BINARY, pData, nBytes) == ERROR_SUCCESS;
}
