#include "service/BootExecuteList.h"

#include <cwchar>

int CBootExecuteList::FindEnd(const wchar_t* pList, int nUnits)
{
    int nOffset = 0;
    while (nOffset < nUnits)
    {
        const int nLength = static_cast<int>(wcsnlen(pList + nOffset, nUnits - nOffset));
        if (nOffset + nLength >= nUnits)
            return -1;
        if (nLength == 0)
            return nOffset;
        nOffset += nLength + 1;
    }
    return -1;
}

int CBootExecuteList::FindEntry(const wchar_t* pList, int nEnd)
{
    for (int nOffset = 0; nOffset < nEnd; nOffset += static_cast<int>(wcslen(pList + nOffset)) + 1)
        if (wcscmp(pList + nOffset, EntryName) == 0)
            return nOffset;
    return -1;
}

bool CBootExecuteList::Apply(wchar_t* pList, DWORD& dwBytes, bool bWanted)
{
    if (dwBytes > BufferBytes)
        return false;
    const int nUnits = static_cast<int>(dwBytes / sizeof(wchar_t));
    const int nEnd = FindEnd(pList, nUnits);
    if (nEnd < 0)
        return false;
    const int nEntry = FindEntry(pList, nEnd);
    const int nNameUnits = static_cast<int>(wcslen(EntryName)) + 1;
    if (bWanted)
    {
        if (nEntry >= 0 || (nEnd + nNameUnits + 1) * static_cast<int>(sizeof(wchar_t)) > static_cast<int>(BufferBytes))
            return false;
        wmemcpy(pList + nEnd, EntryName, nNameUnits);
        pList[nEnd + nNameUnits] = L'\0';
        dwBytes = static_cast<DWORD>(nEnd + nNameUnits + 1) * sizeof(wchar_t);
        return true;
    }
    if (nEntry < 0)
        return false;
    // The first run of equal entries goes; the entries after it move up.
    int nRunEnd = nEntry;
    while (nRunEnd < nEnd && wcscmp(pList + nRunEnd, EntryName) == 0)
        nRunEnd += nNameUnits;
    wmemmove(pList + nEntry, pList + nRunEnd, nUnits - nRunEnd);
    dwBytes -= static_cast<DWORD>(nRunEnd - nEntry) * sizeof(wchar_t);
    return true;
}
