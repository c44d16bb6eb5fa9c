#include "engine/StreamNamer.h"

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

bool CStreamNamer::Name(const BYTE* pAttribute, CUnicodeString& strPath)
{
    if (!IsNamedByRecord(pAttribute))
    {
        if (!m_reader.GetStreamPath(m_llRecord, pAttribute, m_strRelative))
        {
            strPath.Empty();
            return false;
        }
        strPath = m_strRoot + m_strRelative;
        return true;
    }
    if (!m_bRecordPathBuilt)
    {
        m_bRecordPathBuilt = true;
        m_bRecordNamed = m_reader.GetRecordPath(m_llRecord, m_strRelative);
        if (m_bRecordNamed)
            m_strRecordPath = m_strRoot + m_strRelative;
        else
            m_strRecordPath.Empty();
    }
    strPath = m_strRecordPath;
    return m_bRecordNamed;
}
