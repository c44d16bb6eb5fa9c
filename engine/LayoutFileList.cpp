#include "engine/LayoutFileList.h"

#include <cwchar>

#include "base/UnicodeString.h"
#include "platform/sys.h"

namespace {

constexpr DWORD ReadBlockBytes = 2048;
constexpr DWORD LongPathUnits = 260;

} // namespace

void CLayoutFileList::Add(CUnicodeString* pPath)
{
    if (pPath->GetLength() >= 3 && pPath->Find(L"$MFT", 3) >= 0)
    {
        delete pPath;
        return;
    }
    if (pPath->GetLength() == 3)
        *pPath += L'.';
    m_paths.Add(pPath);
}

// Windows paths do not depend on case, and the Windows directory may be
// reported in any case ("C:\windows"), so the prefix is compared without it.
void CLayoutFileList::TakeLine(const wchar_t* pszLine, int nLength, const wchar_t* pszPrefix)
{
    if (nLength <= 2 || pszLine[0] != m_chDriveLetter || pszLine[1] != L':')
        return;
    if (pszPrefix != nullptr)
    {
        size_t nPrefix = wcslen(pszPrefix);
        if (static_cast<size_t>(nLength) < nPrefix ||
            CUnicodeString::CompareOrdinalNoCase(pszLine, static_cast<int>(nPrefix), pszPrefix,
                                                 static_cast<int>(nPrefix)) != 0)
            return;
    }
    CUnicodeString* pPath = new CUnicodeString;
    wmemcpy(pPath->GetBufferSetLength(nLength), pszLine, nLength);
    Add(pPath);
}

int CLayoutFileList::ReadLayoutIni(const wchar_t* pszFileName, const wchar_t* pszPrefix)
{
    HANDLE hFile = sys::CreateFileW(pszFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return GetSize();

    BYTE abBlock[ReadBlockBytes + 1];
    DWORD dwCarry = 0;  // an odd byte left from the previous block
    wchar_t szLine[MaxLineLength + 1];
    int nLine = 0;
    bool bFirstRead = true;
    bool bFailedAtOnce = false;
    for (;;)
    {
        DWORD dwRead = 0;
        if (!sys::ReadFile(hFile, abBlock + dwCarry, ReadBlockBytes, &dwRead, nullptr))
        {
            bFailedAtOnce = bFirstRead;
            break;
        }
        bFirstRead = false;
        if (dwRead == 0)
            break;
        DWORD dwBytes = dwCarry + dwRead;
        DWORD dwUnits = dwBytes / 2;
        for (DWORD i = 0; i < dwUnits; ++i)
        {
            wchar_t ch = static_cast<wchar_t>(abBlock[2 * i] | (abBlock[2 * i + 1] << 8));
            if (ch == L'\r' || ch == L'\n')
            {
                TakeLine(szLine, nLine, pszPrefix);
                nLine = 0;
                continue;
            }
            if (nLine == MaxLineLength)
            {
                TakeLine(szLine, nLine, pszPrefix);
                nLine = 0;
            }
            szLine[nLine++] = ch;
        }
        dwCarry = dwBytes % 2;
        if (dwCarry != 0)
            abBlock[0] = abBlock[dwBytes - 1];
    }
    sys::CloseHandle(hFile);
    if (bFailedAtOnce)
        return 0;
    TakeLine(szLine, nLine, pszPrefix);
    return GetSize();
}

int CLayoutFileList::IndexOf(const CUnicodeString& strPath) const
{
    for (int i = 0; i < m_paths.GetSize(); ++i)
    {
        if (GetAt(i)->CompareNoCase(strPath) == 0)
            return i;
    }
    return -1;
}

bool CLayoutFileList::Contains(const CUnicodeString& strPath) const
{
    return IndexOf(strPath) >= 0;
}

bool CLayoutFileList::Remove(const CUnicodeString& strPath)
{
    int nIndex = IndexOf(strPath);
    if (nIndex < 0)
        return false;
    RemoveAt(nIndex);
    return true;
}

void CLayoutFileList::RemoveAt(int nIndex)
{
    delete GetAt(nIndex);
    m_paths.RemoveAt(nIndex);
}

CUnicodeString* CLayoutFileList::GetAt(int nIndex) const
{
    return static_cast<CUnicodeString*>(m_paths.GetAt(nIndex));
}

// An 8.3 name and its long form name the same file; the later of the two goes.
void CLayoutFileList::RemoveShortNameDuplicates()
{
    int i = 0;
    while (i < m_paths.GetSize())
    {
        CUnicodeString* pPath = GetAt(i);
        wchar_t szLong[LongPathUnits];
        DWORD dwLength = pPath->Find(L'~') >= 0
                             ? sys::GetLongPathNameW(pPath->GetBuffer(), szLong, LongPathUnits)
                             : 0;
        if (dwLength == 0 || dwLength >= LongPathUnits || *pPath == szLong)
        {
            ++i;
            continue;
        }
        int nMatch = IndexOf(CUnicodeString(szLong));
        if (nMatch < 0 || nMatch == i)
        {
            ++i;
            continue;
        }
        RemoveAt(nMatch > i ? nMatch : i);
    }
}

void CLayoutFileList::RemoveAll()
{
    for (int i = 0; i < m_paths.GetSize(); ++i)
        delete GetAt(i);
    m_paths.RemoveAll();
}
