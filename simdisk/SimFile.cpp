#include "simdisk/SimFile.h"

#include <cwctype>

std::wstring SimUpper(const std::wstring& str)
{
    std::wstring strUpper(str);
    for (wchar_t& c : strUpper)
        c = static_cast<wchar_t>(std::towupper(c));
    return strUpper;
}

CSimStream* CSimFile::FindStream(DWORD dwType, const std::wstring& strName)
{
    return const_cast<CSimStream*>(static_cast<const CSimFile*>(this)->FindStream(dwType, strName));
}

const CSimStream* CSimFile::FindStream(DWORD dwType, const std::wstring& strName) const
{
    const std::wstring strUpper = SimUpper(strName);
    for (const CSimStream& stream : m_streams)
        if (stream.m_dwType == dwType && SimUpper(stream.m_strName) == strUpper)
            return &stream;
    return nullptr;
}

CSimStream& CSimFile::AddStream(DWORD dwType, const std::wstring& strName)
{
    m_streams.emplace_back(dwType, strName, m_wNextSlot++);
    return m_streams.back();
}

void CSimFile::RemoveStream(DWORD dwType, const std::wstring& strName)
{
    const std::wstring strUpper = SimUpper(strName);
    for (auto it = m_streams.begin(); it != m_streams.end(); ++it)
        if (it->m_dwType == dwType && SimUpper(it->m_strName) == strUpper)
        {
            m_streams.erase(it);
            return;
        }
}

CSimStream* CSimFile::DefaultStream()
{
    return IsDirectory() ? FindStream(ntfs::IndexAllocation, L"$I30") : FindStream(ntfs::Data, L"");
}
