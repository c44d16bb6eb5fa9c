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
    // A name left in the record before is gone with it.
    if (m_bNameInRecord)
    {
        m_bNameInRecord = false;
        m_nRecordPath = 0;
    }
    m_llRecord = llRecord;
    m_bRecordLocated = false;
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

int CStreamNamer::Locate(const BYTE* pAttribute)
{
    if (!IsNamedByRecord(pAttribute))
    {
        if (!m_reader.GetStreamPath(m_llRecord, pAttribute, m_strRelative) ||
            !SetText(m_streamPath, m_strRelative.GetBuffer(), m_strRelative.GetLength(), m_nStreamPath))
        {
            m_streamPath.assign(1, L'\0');
            m_nStreamPath = 0;
        }
        m_eLast = LAST::Stream;
        return m_nStreamPath;
    }
    if (!m_bRecordLocated)
    {
        m_bRecordLocated = true;
        m_bNameInRecord = true;
        if (!LocateRecordPath())
            m_nRecordPath = 0;
    }
    m_eLast = LAST::Record;
    return m_nRecordPath;
}

wchar_t CStreamNamer::At(int nIndex) const
{
    if (m_eLast == LAST::Stream)
        return nIndex >= 0 && nIndex < m_nStreamPath ? m_streamPath[static_cast<size_t>(nIndex)] : L'\0';
    if (m_eLast == LAST::None || nIndex < 0 || nIndex >= m_nRecordPath)
        return L'\0';
    const int nRoot = m_strRoot.GetLength();
    if (nIndex < nRoot)
        return m_strRoot.GetBuffer()[nIndex];
    nIndex -= nRoot;
    if (nIndex == 0 && m_nDirectory > 0)
        return m_chDirectoryFirst;
    if (nIndex < m_nDirectory)
        return m_text[m_nDirectoryOffset + static_cast<size_t>(nIndex)];
    return m_pszName[nIndex - m_nDirectory];
}

const wchar_t* CStreamNamer::Path(const BYTE* pAttribute, int& nLength)
{
    nLength = Locate(pAttribute);
    if (m_eLast == LAST::Stream)
        return m_streamPath.data();
    if (!m_bRecordPathBuilt)
    {
        m_bRecordPathBuilt = true;
        BuildRecordPath();
    }
    return m_recordPath.data();
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

void CStreamNamer::EndRecord()
{
    if (!m_bNameInRecord)
        return;
    m_bNameInRecord = false;
    if (m_nRecordPath == 0)
        return;
    m_keptName.assign(m_pszName, m_pszName + m_nName);
    m_pszName = m_keptName.data();
}

CUnicodeString CStreamNamer::LastName() const
{
    if (m_eLast == LAST::Stream)
        return CUnicodeString(m_streamPath.data());
    CUnicodeString strLast;
    if (m_eLast == LAST::Record && m_nRecordPath > 0)
    {
        wchar_t* pszOut = strLast.GetBufferSetLength(m_nRecordPath);
        for (int i = 0; i < m_nRecordPath; ++i)
            pszOut[i] = At(i);
    }
    return strLast;
}

// As the reader's record path: the name behind its directory's path, the name alone in the
// root, and no path at all where the directory's cannot be built.
bool CStreamNamer::LocateRecordPath()
{
    int nName = 0;
    LONGLONG llParent = 0;
    const wchar_t* pszName = m_reader.GetRecordNumber() == m_llRecord
                                 ? CNtfsRecordReader::GetFileName(m_reader.GetRecord(), nName, llParent)
                                 : nullptr;
    if (pszName == nullptr)
        return false;
    DIRECTORY_PATH stDirectory = {CNtfsRecordReader::RootRecord, 0, 0, L'\0'};
    if (llParent != CNtfsRecordReader::RootRecord)
    {
        const DIRECTORY_PATH* pDirectory =
            llParent > CNtfsRecordReader::LastSystemRecord ? DirectoryPath(llParent) : nullptr;
        if (pDirectory == nullptr)
            return false;
        stDirectory = *pDirectory;
    }
    const int nRoot = m_strRoot.GetLength();
    if (nRoot + stDirectory.nLength + nName > CUnicodeString::MaxLength)
        return false;
    m_nDirectoryOffset = stDirectory.nOffset;
    m_nDirectory = stDirectory.nLength;
    m_chDirectoryFirst = stDirectory.chFirst;
    m_pszName = pszName;
    m_nName = nName;
    m_nRecordPath = nRoot + m_nDirectory + nName;
    return true;
}

void CStreamNamer::BuildRecordPath()
{
    m_recordPath.resize(static_cast<size_t>(m_nRecordPath) + 1);
    wchar_t* pszOut = m_recordPath.data();
    const int nRoot = m_nRecordPath > 0 ? m_strRoot.GetLength() : 0;
    if (nRoot > 0)
        wmemcpy(pszOut, m_strRoot.GetBuffer(), static_cast<size_t>(nRoot));
    if (m_nRecordPath > 0 && m_nDirectory > 0)
        wmemcpy(pszOut + nRoot, m_text.data() + m_nDirectoryOffset, static_cast<size_t>(m_nDirectory));
    if (m_nRecordPath > 0)
        wmemcpy(pszOut + nRoot + m_nDirectory, m_pszName, static_cast<size_t>(m_nName));
    pszOut[m_nRecordPath] = L'\0';
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
                                        DIRECTORY_PATH{NoRecord, 0, NoPath, L'\0'});
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
    *pSlot = DIRECTORY_PATH{llRecord, nOffset, nLength, nLength > 0 ? m_text[nOffset] : L'\0'};
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
