#include "engine/PendingFileList.h"

#include <windows.h>

#include <iterator>
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

// Seconds since 1 January 1970, as the C library's clock gives them; that one asks for the
// time zone on every call, which costs more than the rest of an entry.
int64_t NowSeconds()
{
    constexpr uint64_t FileTimeAt1970 = 116444736000000000ull;
    constexpr uint64_t FileTimePerSecond = 10000000ull;
    FILETIME ftNow = {};
    ::GetSystemTimeAsFileTime(&ftNow);
    const uint64_t ullNow = (static_cast<uint64_t>(ftNow.dwHighDateTime) << 32) | ftNow.dwLowDateTime;
    return static_cast<int64_t>((ullNow - FileTimeAt1970) / FileTimePerSecond);
}

} // namespace

size_t CPendingFileList::PATH_HASH::operator()(const PENDING_FILE_ENTRY* pEntry) const
{
    // FNV-1a over the code units: paths compare by code unit, with case.
    uint64_t ullHash = 14695981039346656037ull;
    const wchar_t* pszPath = pEntry->pPath->GetBuffer();
    for (int i = 0; i < pEntry->pPath->GetLength(); ++i)
    {
        ullHash ^= static_cast<uint16_t>(pszPath[i]);
        ullHash *= 1099511628211ull;
    }
    return static_cast<size_t>(ullHash);
}

bool CPendingFileList::PATH_EQUAL::operator()(const PENDING_FILE_ENTRY* pA, const PENDING_FILE_ENTRY* pB) const
{
    return *pA->pPath == *pB->pPath;
}

size_t CPendingFileList::CountIndexed(const CUnicodeString* pPath, PENDING_FILE_ENTRY** ppAny) const
{
    PENDING_FILE_ENTRY stKey = {};
    stKey.pPath = const_cast<CUnicodeString*>(pPath);
    auto range = m_index.equal_range(&stKey);
    *ppAny = range.first != range.second ? *range.first : nullptr;
    return static_cast<size_t>(std::distance(range.first, range.second));
}

void CPendingFileList::Unindex(PENDING_FILE_ENTRY* pEntry)
{
    auto range = m_index.equal_range(pEntry);
    for (auto it = range.first; it != range.second; ++it)
        if (*it == pEntry)
        {
            m_index.erase(it);
            return;
        }
}

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
    PENDING_FILE_ENTRY* pAny = nullptr;
    if (pPath == nullptr || CountIndexed(pPath, &pAny) == 0)
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
    // With the path listed once, the index names the entry; more than once, the first in the
    // list is the one that counts.
    PENDING_FILE_ENTRY* pEntry = nullptr;
    const size_t nListed = CountIndexed(pPath, &pEntry);
    if (nListed > 1)
        pEntry = GetAt(Find(pPath));
    if (pEntry != nullptr)
    {
        if (bFragmented == 0 || pEntry->bFragmented != 0)
            return false;
        pEntry->bFragmented = 1;
        pEntry->nFragmentCount = nFragmentCount;
        return true;
    }
    const int64_t llNow = NowSeconds();
    pEntry = new PENDING_FILE_ENTRY{new CUnicodeString(*pPath), llNow, llNow, 0, nFragmentCount, bFragmented, llSize};
    m_entries.Add(pEntry);
    m_index.insert(pEntry);
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
    Unindex(pEntry);
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
        Unindex(pEntry);
        delete pEntry->pPath;
        pEntry->pPath = pPath;
        m_index.insert(pEntry);
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
        Unindex(pEntry);
        *pEntry->pPath = *pNew;
        m_index.insert(pEntry);
        bRenamed = true;
    }
    return bRenamed ? false : AddOrUpdate(pNew, 0, 1, 0);
}

void CPendingFileList::RemoveAll()
{
    for (int i = 0; i < m_entries.GetSize(); ++i)
        DeleteEntry(GetAt(i));
    m_entries.RemoveAll();
    m_index.clear();
}
