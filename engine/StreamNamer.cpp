#include "engine/StreamNamer.h"

#include <cwchar>

#include "engine/NtfsRecordReader.h"
#include "platform/LittleEndian.h"

namespace {

constexpr DWORD TypeData = 0x80;
constexpr DWORD TypeIndexAllocation = 0xA0;

} // namespace

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

// The root and the relative path in one allocation.
void CStreamNamer::Join(CUnicodeString& strOut) const
{
    const int nRoot = m_strRoot.GetLength();
    const int nRelative = m_strRelative.GetLength();
    wchar_t* pszOut = nRoot + nRelative <= CUnicodeString::MaxLength ? strOut.GetBufferSetLength(nRoot + nRelative)
                                                                      : nullptr;
    if (pszOut == nullptr)
    {
        strOut.Empty();
        return;
    }
    if (nRoot > 0)
        wmemcpy(pszOut, m_strRoot.GetBuffer(), static_cast<size_t>(nRoot));
    if (nRelative > 0)
        wmemcpy(pszOut + nRoot, m_strRelative.GetBuffer(), static_cast<size_t>(nRelative));
}

const CUnicodeString& CStreamNamer::Name(const BYTE* pAttribute)
{
    if (!IsNamedByRecord(pAttribute))
    {
        if (m_reader.GetStreamPath(m_llRecord, pAttribute, m_strRelative))
            Join(m_strStreamPath);
        else
            m_strStreamPath.Empty();
        m_pLast = &m_strStreamPath;
        return m_strStreamPath;
    }
    if (!m_bRecordPathBuilt)
    {
        m_bRecordPathBuilt = true;
        if (!BuildRecordPath())
            m_strRecordPath.Empty();
    }
    m_pLast = &m_strRecordPath;
    return m_strRecordPath;
}

const CUnicodeString* CStreamNamer::DirectoryPath(int64_t llDirectory)
{
    auto it = m_directories.find(llDirectory);
    if (it == m_directories.end())
    {
        CUnicodeString strPath;
        if (!m_reader.BuildPath(llDirectory, strPath))
            strPath.Empty();
        it = m_directories.emplace(llDirectory, strPath).first;
    }
    return &it->second;
}

// As the reader's record path: the name behind its directory's path, or the name alone where
// that path cannot be built.
bool CStreamNamer::BuildRecordPath()
{
    int nName = 0;
    LONGLONG llParent = 0;
    const wchar_t* pszName = m_reader.GetRecordNumber() == m_llRecord
                                 ? CNtfsRecordReader::GetFileName(m_reader.GetRecord(), nName, llParent)
                                 : nullptr;
    if (pszName == nullptr)
        return false;
    const CUnicodeString& strDirectory = *DirectoryPath(llParent);
    const int nRoot = m_strRoot.GetLength();
    const int nDirectory = strDirectory.GetLength();
    if (nRoot + nDirectory + nName > CUnicodeString::MaxLength)
        return false;
    wchar_t* pszOut = m_strRecordPath.GetBufferSetLength(nRoot + nDirectory + nName);
    if (pszOut == nullptr)
        return false;
    if (nRoot > 0)
        wmemcpy(pszOut, m_strRoot.GetBuffer(), static_cast<size_t>(nRoot));
    if (nDirectory > 0)
        wmemcpy(pszOut + nRoot, strDirectory.GetBuffer(), static_cast<size_t>(nDirectory));
    wmemcpy(pszOut + nRoot + nDirectory, pszName, static_cast<size_t>(nName));
    return true;
}
