#include "engine/StreamNamer.h"

#include <cwchar>

#include "engine/NtfsRecordReader.h"
#include "platform/LittleEndian.h"

namespace {

constexpr DWORD TypeData = 0x80;
constexpr DWORD TypeIndexAllocation = 0xA0;
constexpr size_t FirstSlots = 1024;

size_t HashRecord(int64_t llRecord)
{
    uint64_t ullHash = static_cast<uint64_t>(llRecord) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(ullHash ^ (ullHash >> 32));
}

} // namespace

CStreamNamer::CStreamNamer(CNtfsRecordReader& reader, const CUnicodeString& strRoot)
    : m_reader(reader), m_strRoot(strRoot), m_recordPath(1, L'\0'), m_streamPath(1, L'\0')
{
}

DWORD CStreamNamer::TypeOf(const BYTE* pAttribute)
{
    return le::Get<DWORD>(pAttribute, 0);
}

bool CStreamNamer::IsUnnamedData(const BYTE* pAttribute)
{
    int nName = 0;
    CNtfsRecordReader::GetAttributeName(pAttribute, nName);
    return TypeOf(pAttribute) == TypeData && nName == 0;
}

int CStreamNamer::AttributeCode(const BYTE* pAttribute)
{
    return IsUnnamedData(pAttribute) ? CNtfsRecordReader::UnnamedData : static_cast<int>(TypeOf(pAttribute));
}

// The unnamed data and the directory index carry the record's own path.
bool CStreamNamer::IsNamedByRecord(const BYTE* pAttribute)
{
    int nName = 0;
    const wchar_t* pszName = CNtfsRecordReader::GetAttributeName(pAttribute, nName);
    if (TypeOf(pAttribute) == TypeIndexAllocation)
        return nName >= 2 && pszName[0] == L'$' && pszName[1] == L'I';
    return IsUnnamedData(pAttribute);
}

void CStreamNamer::Begin(int64_t llRecord)
{
    m_llRecord = llRecord;
    m_bRecordPathBuilt = false;
}

// The root and a relative path, zero-terminated; false when together they are longer than a
// string holds.
bool CStreamNamer::SetText(std::vector<wchar_t>& text, const wchar_t* pszRelative, int nRelative,
                           int& nLength) const
{
    const int nRoot = m_strRoot.GetLength();
    if (nRoot + nRelative > CUnicodeString::MaxLength)
        return false;
    text.resize(static_cast<size_t>(nRoot + nRelative) + 1);
    if (nRoot > 0)
        wmemcpy(text.data(), m_strRoot.GetBuffer(), static_cast<size_t>(nRoot));
    if (nRelative > 0)
        wmemcpy(text.data() + nRoot, pszRelative, static_cast<size_t>(nRelative));
    text[static_cast<size_t>(nRoot + nRelative)] = L'\0';
    nLength = nRoot + nRelative;
    return true;
}

const wchar_t* CStreamNamer::Path(const BYTE* pAttribute, int& nLength)
{
    if (!IsNamedByRecord(pAttribute))
    {
        if (!m_reader.GetStreamPath(m_llRecord, pAttribute, m_strRelative) ||
            !SetText(m_streamPath, m_strRelative.GetBuffer(), m_strRelative.GetLength(), nLength))
        {
            m_streamPath.assign(1, L'\0');
            nLength = 0;
        }
        m_pszLast = m_streamPath.data();
        return m_pszLast;
    }
    if (!m_bRecordPathBuilt)
    {
        m_bRecordPathBuilt = true;
        if (!BuildRecordPath())
        {
            m_recordPath.assign(1, L'\0');
            m_nRecordPath = 0;
        }
    }
    nLength = m_nRecordPath;
    m_pszLast = m_recordPath.data();
    return m_pszLast;
}

const CUnicodeString& CStreamNamer::Name(const BYTE* pAttribute)
{
    int nLength = 0;
    const wchar_t* pszPath = Path(pAttribute, nLength);
    if (nLength == 0)
        m_strName.Empty();
    else
        wmemcpy(m_strName.GetBufferSetLength(nLength), pszPath, static_cast<size_t>(nLength));
    return m_strName;
}

// As the reader's record path: the name behind its directory's path, the name alone in the
// root, and no path at all where the directory's cannot be built.
bool CStreamNamer::BuildRecordPath()
{
    int nName = 0;
    LONGLONG llParent = 0;
    const wchar_t* pszName = m_reader.GetRecordNumber() == m_llRecord
                                 ? CNtfsRecordReader::GetFileName(m_reader.GetRecord(), nName, llParent)
                                 : nullptr;
    if (pszName == nullptr)
        return false;
    size_t nDirectoryOffset = 0;
    int nDirectory = 0;
    if (llParent != CNtfsRecordReader::RootRecord)
    {
        const DIRECTORY_PATH* pDirectory =
            llParent > CNtfsRecordReader::LastSystemRecord ? DirectoryPath(llParent) : nullptr;
        if (pDirectory == nullptr)
            return false;
        nDirectoryOffset = pDirectory->nOffset;
        nDirectory = pDirectory->nLength;
    }
    const int nRoot = m_strRoot.GetLength();
    if (nRoot + nDirectory + nName > CUnicodeString::MaxLength)
        return false;
    m_recordPath.resize(static_cast<size_t>(nRoot + nDirectory + nName) + 1);
    wchar_t* pszOut = m_recordPath.data();
    if (nRoot > 0)
        wmemcpy(pszOut, m_strRoot.GetBuffer(), static_cast<size_t>(nRoot));
    if (nDirectory > 0)
        wmemcpy(pszOut + nRoot, m_text.data() + nDirectoryOffset, static_cast<size_t>(nDirectory));
    wmemcpy(pszOut + nRoot + nDirectory, pszName, static_cast<size_t>(nName));
    pszOut[nRoot + nDirectory + nName] = L'\0';
    m_nRecordPath = nRoot + nDirectory + nName;
    return true;
}

CStreamNamer::DIRECTORY_PATH* CStreamNamer::Slot(int64_t llRecord)
{
    const size_t nMask = m_slots.size() - 1;
    for (size_t i = HashRecord(llRecord) & nMask;; i = (i + 1) & nMask)
    {
        if (m_slots[i].llRecord == llRecord || m_slots[i].llRecord == NoRecord)
            return &m_slots[i];
    }
}

const CStreamNamer::DIRECTORY_PATH* CStreamNamer::Keep(int64_t llRecord, size_t nOffset, int nLength)
{
    if ((m_nKept + 1) * 2 > m_slots.size())
    {
        std::vector<DIRECTORY_PATH> old(m_slots.empty() ? FirstSlots : m_slots.size() * 2,
                                        DIRECTORY_PATH{NoRecord, 0, NoPath});
        old.swap(m_slots);
        for (const DIRECTORY_PATH& stKept : old)
        {
            if (stKept.llRecord != NoRecord)
                *Slot(stKept.llRecord) = stKept;
        }
    }
    DIRECTORY_PATH* pSlot = Slot(llRecord);
    if (pSlot->llRecord == NoRecord)
        ++m_nKept;
    *pSlot = DIRECTORY_PATH{llRecord, nOffset, nLength};
    return pSlot;
}

const CStreamNamer::DIRECTORY_PATH* CStreamNamer::DirectoryPath(int64_t llDirectory)
{
    const DIRECTORY_PATH* pKnown = m_slots.empty() ? nullptr : Slot(llDirectory);
    if (pKnown == nullptr || pKnown->llRecord != llDirectory)
        pKnown = BuildDirectoryPaths(llDirectory);
    return pKnown->nLength == NoPath ? nullptr : pKnown;
}

// The directory's path is its parent's followed by its name, as the reader's BuildPath puts
// it together: the parents not yet known are collected up to one that is, or to the root, and
// their paths kept on the way down. A directory without a name in the cache has no path, and
// neither has any below it. A path that grows past the longest the system accepts is left to
// the reader's own walk, which tells parents that form a cycle from a path merely too long
// and marks the volume for the first.
const CStreamNamer::DIRECTORY_PATH* CStreamNamer::BuildDirectoryPaths(int64_t llDirectory)
{
    m_pending.clear();
    int64_t llAdded = 0;
    size_t nBaseOffset = 0;
    int nBase = 0;
    for (int64_t llCurrent = llDirectory;;)
    {
        const CUnicodeString* pName = nullptr;
        LONGLONG llParent = 0;
        if (!m_reader.GetDirectoryEntry(llCurrent, pName, llParent))
            return Keep(llDirectory, 0, NoPath);
        m_pending.push_back(PENDING_DIRECTORY{llCurrent, pName});
        llAdded += pName->GetLength() + 1;
        if (llAdded > CNtfsRecordReader::MaxPathLength)
        {
            CUnicodeString strUnused;
            m_reader.BuildPath(llDirectory, strUnused);
            return Keep(llDirectory, 0, NoPath);
        }
        if (llParent == CNtfsRecordReader::RootRecord)
            break;
        const DIRECTORY_PATH* pKnown = m_slots.empty() ? nullptr : Slot(llParent);
        if (pKnown != nullptr && pKnown->llRecord == llParent)
        {
            if (pKnown->nLength == NoPath || llAdded + pKnown->nLength > CNtfsRecordReader::MaxPathLength)
                return Keep(llDirectory, 0, NoPath);
            nBaseOffset = pKnown->nOffset;
            nBase = pKnown->nLength;
            break;
        }
        llCurrent = llParent;
    }
    const DIRECTORY_PATH* pPath = nullptr;
    for (auto it = m_pending.rbegin(); it != m_pending.rend(); ++it)
    {
        const int nName = it->pName->GetLength();
        const size_t nOffset = m_text.size();
        m_text.resize(nOffset + static_cast<size_t>(nBase + nName) + 1);
        wchar_t* pszText = m_text.data();
        if (nBase > 0)
            wmemcpy(pszText + nOffset, pszText + nBaseOffset, static_cast<size_t>(nBase));
        if (nName > 0)
            wmemcpy(pszText + nOffset + nBase, it->pName->GetBuffer(), static_cast<size_t>(nName));
        pszText[nOffset + static_cast<size_t>(nBase + nName)] = L'\\';
        nBaseOffset = nOffset;
        nBase += nName + 1;
        pPath = Keep(it->llRecord, nOffset, nBase);
    }
    return pPath;
}
