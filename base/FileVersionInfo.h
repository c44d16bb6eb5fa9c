// CFileVersionInfo: the version resource of a program file: its fixed
// version numbers and the texts of one translation's string table.
#pragma once

#include "base/UnicodeString.h"

#include <windows.h>

#include <memory>

class CFileVersionInfo
{
public:
    struct stTranslation
    {
        WORD wLanguage;
        WORD wCodePage;
    };

    static constexpr WORD DefaultCodePage = 1252;

    CFileVersionInfo();
    ~CFileVersionInfo() = default;
    CFileVersionInfo(const CFileVersionInfo&) = delete;
    CFileVersionInfo& operator=(const CFileVersionInfo&) = delete;

    bool Open(const wchar_t* pszPath);
    // The running program's own file.
    bool OpenOwnProgram();
    void Close();

    bool SelectTranslation(int nIndex);
    const stTranslation* GetTranslation(int nIndex) const;
    int GetTranslationCount() const { return m_nTranslationCount; }
    WORD GetLanguage() const { return m_wLanguage; }
    WORD GetCodePage() const { return m_wCodePage; }

    // Empty when the selected translation has no such text.
    CUnicodeString GetValue(const wchar_t* pszName) const;
    CUnicodeString GetCompanyName() const { return GetValue(L"CompanyName"); }
    CUnicodeString GetFileDescription() const { return GetValue(L"FileDescription"); }
    // "1, 2, 3, 4" reads as "1.2.3.4".
    CUnicodeString GetFileVersion() const;
    CUnicodeString GetInternalName() const { return GetValue(L"InternalName"); }
    CUnicodeString GetLegalCopyright() const { return GetValue(L"LegalCopyright"); }
    CUnicodeString GetOriginalFileName() const { return GetValue(L"OriginalFilename"); }
    CUnicodeString GetProductName() const { return GetValue(L"Productname"); }
    CUnicodeString GetProductVersion() const;
    CUnicodeString GetComments() const { return GetValue(L"Comments"); }
    CUnicodeString GetLegalTrademarks() const { return GetValue(L"LegalTrademarks"); }
    CUnicodeString GetPrivateBuild() const { return GetValue(L"PrivateBuild"); }
    CUnicodeString GetSpecialBuild() const { return GetValue(L"SpecialBuild"); }

    // Null until a file with a version resource was opened.
    const VS_FIXEDFILEINFO* GetFixedInfo() const { return m_pFixedInfo; }
    ULONGLONG GetFileVersionNumber() const;
    ULONGLONG GetProductVersionNumber() const;
    FILETIME GetFileDate() const;
    DWORD GetFileType() const;
    DWORD GetFileSubtype() const;
    DWORD GetFileOS() const;
    DWORD GetFileFlags() const;
    DWORD GetFileFlagsMask() const;

private:
    static CUnicodeString NormaliseVersion(CUnicodeString strVersion);

    WORD m_wLanguage;
    WORD m_wCodePage;
    std::unique_ptr<BYTE[]> m_pData;
    const stTranslation* m_pTranslations;
    int m_nTranslationCount;
    const VS_FIXEDFILEINFO* m_pFixedInfo;
};
