#include "engine/PendingFileList.h"

#include <ctime>
#include <cwchar>
#include <stdexcept>

#include "engine/UnicodeString.h"

namespace {

void DeleteEntry(PENDING_FILE_ENTRY* pEntry)
{
    delete pEntry->pPath;
    delete pEntry;
}

// True when the path lies at or below the directory: the directory itself or
// the directory followed by a separator, never a sibling that shares a prefix.
bool IsAtOrBelow(const CUnicodeString& strPath, const CUnicodeString& strDirectory)
{
    int nLength = strDirectory.GetLength();
    if (strPath.GetLength() < nLength ||
        wmemcmp(strPath.GetBuffer(), strDirectory.GetBuffer(), nLength) != 0)
        return false;
    return strPath.GetLength() == nLength || strPath.GetBuffer()[nLength] == L'\\' ||
           (nLength > 0 && strDirectory.GetBuffer()[nLength - 1] == L'\\');
}

} // namespace

PENDING_FILE_ENTRY* CPendingFileList::GetAt(int nIndex) const
{
    if (nIndex < 0)
        throw std::out_of_range("pending-file index is negative");
    if (nIndex >= m_entries.GetSize())
        return nullptr;
    return static_cast<PENDING_FILE_ENTRY*>(m_entries.GetAt(nIndex));
}

bool CPendingFileList::HasPath(int nIndex, const CUnicodeString* pPath) const
{
    PENDING_FILE_ENTRY* pEntry = nIndex >= 0 ? GetAt(nIndex) : nullptr;
    return pEntry != nullptr && *pEntry->pPath == *pPath;
}

int CPendingFileList::Find(const CUnicodeString* pPath) const
{
    if (pPath == nullptr)
        return -1;
    for (int i = 0; i < m_entries.GetSize(); ++i)
    {
        if (HasPath(i, pPath))
            return i;
    }
    return -1;
}

bool CPendingFileList::AddOrUpdate(const CUnicodeString* pPath, int32_t nFragmentCount,
                                   uint8_t bFragmented, int64_t llSize)
{
    if (pPath == nullptr)
        return false;
    int nIndex = Find(pPath);
    if (nIndex >= 0)
    {
        PENDING_FILE_ENTRY* pEntry = GetAt(nIndex);
        if (bFragmented == 0 || pEntry->bFragmented != 0)
            return false;
        pEntry->bFragmented = 1;
        pEntry->nFragmentCount = nFragmentCount;
        return true;
    }
    int64_t llNow = _time64(nullptr);
    PENDING_FILE_ENTRY* pEntry = new PENDING_FILE_ENTRY{
        new CUnicodeString(*pPath), llNow, llNow, 0, nFragmentCount, bFragmented, llSize};
    m_entries.Add(pEntry);
    return true;
}

bool CPendingFileList::Update(int nIndex, const CUnicodeString* pPath,
                              const PENDING_FILE_ENTRY& stValues)
{
    if (pPath == nullptr)
        return false;
    if (!HasPath(nIndex, pPath))
        nIndex = Find(pPath);
    if (nIndex < 0)
        return false;
    PENDING_FILE_ENTRY* pEntry = GetAt(nIndex);
    pEntry->llFirstSeen = stValues.llFirstSeen;
    pEntry->llLastSeen = stValues.llLastSeen;
    pEntry->nChangeCount = stValues.nChangeCount;
    pEntry->nFragmentCount = stValues.nFragmentCount;
    pEntry->bFragmented = stValues.bFragmented;
    pEntry->llSize = stValues.llSize;
    return true;
}

bool CPendingFileList::Remove(const CUnicodeString* pPath)
{
    int nIndex = Find(pPath);
    if (nIndex < 0)
        return false;
    RemoveAt(nIndex);
    return true;
}

void CPendingFileList::RemoveAt(int nIndex)
{
    PENDING_FILE_ENTRY* pEntry = GetAt(nIndex);
    if (pEntry == nullptr)
        return;
    DeleteEntry(pEntry);
    m_entries.RemoveAt(nIndex);
}

void CPendingFileList::RemoveChecked(int nIndex, const CUnicodeString* pPath)
{
    if (pPath != nullptr && HasPath(nIndex, pPath))
        RemoveAt(nIndex);
    else
        Remove(pPath);
}

bool CPendingFileList::RenameDirectory(const CUnicodeString* pOld, const CUnicodeString* pNew)
{
    if (pOld == nullptr || pNew == nullptr)
        return false;
    bool bRenamed = false;
    for (int i = 0; i < m_entries.GetSize(); ++i)
    {
        PENDING_FILE_ENTRY* pEntry = GetAt(i);
        if (!IsAtOrBelow(*pEntry->pPath, *pOld))
            continue;
        CUnicodeString* pPath = new CUnicodeString(
            *pNew + pEntry->pPath->Mid(pOld->GetLength(), pEntry->pPath->GetLength()));
        delete pEntry->pPath;
        pEntry->pPath = pPath;
        bRenamed = true;
    }
    return bRenamed ? false : AddOrUpdate(pNew, 0, 1, 0);
}

bool CPendingFileList::RenameFile(const CUnicodeString* pOld, const CUnicodeString* pNew)
{
    if (pOld == nullptr || pNew == nullptr)
        return false;
    bool bRenamed = false;
    for (int i = 0; i < m_entries.GetSize(); ++i)
    {
        PENDING_FILE_ENTRY* pEntry = GetAt(i);
        if (!(*pEntry->pPath == *pOld))
            continue;
        *pEntry->pPath = *pNew;
        bRenamed = true;
    }
    return bRenamed ? false : AddOrUpdate(pNew, 0, 1, 0);
}

void CPendingFileList::RemoveAll()
{
    for (int i = 0; i < m_entries.GetSize(); ++i)
        DeleteEntry(GetAt(i));
    m_entries.RemoveAll();
}
