#include "engine/PendingFileList.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <cwchar>
#include <stdexcept>

#include "base/UnicodeString.h"
#include "platform/Clock.h"

namespace {

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

// From this many entries on the list grows geometrically rather than by its fixed step.
constexpr int LinearGrowthLimit = 8192;
// Blocks of the pool double from the first size up to the last.
constexpr size_t FirstBlockEntries = 16;
constexpr size_t LastBlockEntries = 4096;

} // namespace

PENDING_FILE_ENTRY* CPendingFileList::NewEntry()
{
    if (m_free.empty())
    {
        const size_t nEntries =
            m_blocks.empty() ? FirstBlockEntries : std::min(LastBlockEntries, 2 * (m_entries.GetSize() + size_t{1}));
        std::unique_ptr<POOLED_ENTRY[]> pBlock(new POOLED_ENTRY[nEntries]);
        m_free.reserve(nEntries);
        for (size_t i = nEntries; i-- > 0;)
        {
            pBlock[i].stEntry.pPath = &pBlock[i].strPath;
            m_free.push_back(&pBlock[i].stEntry);
        }
        m_blocks.push_back(std::move(pBlock));
    }
    PENDING_FILE_ENTRY* pEntry = m_free.back();
    m_free.pop_back();
    return pEntry;
}

void CPendingFileList::FreeEntry(PENDING_FILE_ENTRY* pEntry)
{
    pEntry->pPath->Empty();
    m_free.push_back(pEntry);
}

uint64_t CPendingFileList::HashPath(const wchar_t* pszPath, int nLength)
{
    // FNV-1a over the code units: paths compare by code unit, with case.
    uint64_t ullHash = 14695981039346656037ull;
    for (int i = 0; i < nLength; ++i)
    {
        ullHash ^= static_cast<uint16_t>(pszPath[i]);
        ullHash *= 1099511628211ull;
    }
    return ullHash;
}

size_t CPendingFileList::CountIndexed(const wchar_t* pszPath, int nLength, PENDING_FILE_ENTRY** ppAny) const
{
    *ppAny = nullptr;
    size_t nCount = 0;
    auto range = m_index.equal_range(HashPath(pszPath, nLength));
    for (auto it = range.first; it != range.second; ++it)
    {
        const CUnicodeString& strPath = *it->second->pPath;
        if (strPath.GetLength() != nLength || (nLength > 0 && wmemcmp(strPath.GetBuffer(), pszPath, nLength) != 0))
            continue;
        if (nCount++ == 0)
            *ppAny = it->second;
    }
    return nCount;
}

void CPendingFileList::Index(PENDING_FILE_ENTRY* pEntry)
{
    m_index.emplace(HashPath(pEntry->pPath->GetBuffer(), pEntry->pPath->GetLength()), pEntry);
}

void CPendingFileList::Unindex(PENDING_FILE_ENTRY* pEntry)
{
    auto range = m_index.equal_range(HashPath(pEntry->pPath->GetBuffer(), pEntry->pPath->GetLength()));
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == pEntry)
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
    if (pPath == nullptr || CountIndexed(pPath->GetBuffer(), pPath->GetLength(), &pAny) == 0)
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
    return AddOrUpdate(pPath->GetBuffer(), pPath->GetLength(), nFragmentCount, bFragmented, llSize);
}

bool CPendingFileList::AddOrUpdate(const wchar_t* pszPath, int nLength, int32_t nFragmentCount,
                                   uint8_t bFragmented, int64_t llSize)
{
    if (nLength < 0 || nLength > CUnicodeString::MaxLength || (nLength > 0 && pszPath == nullptr))
        return false;
    // With the path listed once, the index names the entry; more than once, the first in the
    // list is the one that counts.
    PENDING_FILE_ENTRY* pEntry = nullptr;
    const size_t nListed = CountIndexed(pszPath, nLength, &pEntry);
    if (nListed > 1)
    {
        for (int i = 0; i < m_entries.GetSize(); ++i)
        {
            PENDING_FILE_ENTRY* pListed = GetAt(i);
            if (pListed->pPath->GetLength() == nLength &&
                (nLength == 0 || wmemcmp(pListed->pPath->GetBuffer(), pszPath, nLength) == 0))
            {
                pEntry = pListed;
                break;
            }
        }
    }
    if (pEntry != nullptr)
    {
        if (bFragmented == 0 || pEntry->bFragmented != 0)
            return false;
        pEntry->bFragmented = 1;
        pEntry->nFragmentCount = nFragmentCount;
        return true;
    }
    pEntry = NewEntry();
    if (nLength > 0)
        wmemcpy(pEntry->pPath->GetBufferSetLength(nLength), pszPath, static_cast<size_t>(nLength));
    const int64_t llNow = sysclock::Seconds();
    *pEntry = PENDING_FILE_ENTRY{pEntry->pPath, llNow, llNow, 0, nFragmentCount, bFragmented, llSize};
    // A list as long as a volume's fragmented files grows by half its size at a time, so that
    // its copying stays linear.
    if (m_entries.GetSize() == m_entries.GetCapacity() && m_entries.GetSize() >= LinearGrowthLimit)
        m_entries.SetGrowBy(m_entries.GetSize() / 2);
    m_entries.Add(pEntry);
    Index(pEntry);
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
    FreeEntry(pEntry);
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
        const CUnicodeString strPath(*pNew + pEntry->pPath->Mid(pOld->GetLength(), pEntry->pPath->GetLength()));
        Unindex(pEntry);
        *pEntry->pPath = strPath;
        Index(pEntry);
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
        Index(pEntry);
        bRenamed = true;
    }
    return bRenamed ? false : AddOrUpdate(pNew, 0, 1, 0);
}

void CPendingFileList::RemoveAll()
{
    m_blocks.clear();
    m_free.clear();
    m_entries.RemoveAll();
    m_entries.SetGrowBy(0);
    m_index.clear();
}
