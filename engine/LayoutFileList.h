// CLayoutFileList: the paths of one volume that belong to the boot-file zone,
// from the system's boot-layout list and the metadata the analysis adds.
#pragma once

#include "base/PointerArray.h"

class CUnicodeString;

class CLayoutFileList
{
public:
    static constexpr int MaxLineLength = 2047;

    explicit CLayoutFileList(wchar_t chDriveLetter = 0) : m_chDriveLetter(chDriveLetter) {}
    ~CLayoutFileList() { RemoveAll(); }
    CLayoutFileList(const CLayoutFileList&) = delete;
    CLayoutFileList& operator=(const CLayoutFileList&) = delete;

    void SetDriveLetter(wchar_t chDriveLetter) { m_chDriveLetter = chDriveLetter; }
    wchar_t GetDriveLetter() const { return m_chDriveLetter; }

    // Takes ownership of the path, which may be deleted instead of added.
    void Add(CUnicodeString* pPath);
    // The number of entries afterwards; 0 when the first read of the file fails.
    int ReadLayoutIni(const wchar_t* pszFileName, const wchar_t* pszPrefix);
    bool Contains(const CUnicodeString& strPath) const;
    bool Remove(const CUnicodeString& strPath);
    void RemoveAt(int nIndex);
    CUnicodeString* GetAt(int nIndex) const;
    int GetSize() const { return m_paths.GetSize(); }
    void RemoveShortNameDuplicates();
    void RemoveAll();

private:
    int IndexOf(const CUnicodeString& strPath) const;
    void TakeLine(const wchar_t* pszLine, int nLength, const wchar_t* pszPrefix);

    wchar_t m_chDriveLetter;
    CPointerArray m_paths;
};
