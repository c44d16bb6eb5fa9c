#include "simdisk/SimFile.h"

#include <cwctype>

std::wstring SimUpper(const std::wstring& str)
{
    std::wstring strUpper(str);
    for (wchar_t& c : strUpper)
        c = static_cast<wchar_t>(std::towupper(c));
    return strUpper;
}

LONGLONG CSimStream::AllocatedClusters() const
{
    LONGLONG llCount = 0;
    for (const SIM_RUN& run : m_runs)
        if (run.llLcn != SIM_SPARSE_LCN)
            llCount += run.llLength;
    return llCount;
}

int CSimStream::FindRun(LONGLONG llVcn) const
{
    size_t nLow = 0, nHigh = m_runs.size();
    while (nLow < nHigh)
    {
        size_t nMid = (nLow + nHigh) / 2;
        const SIM_RUN& run = m_runs[nMid];
        if (llVcn < run.llVcn)
            nHigh = nMid;
        else if (llVcn >= run.llVcn + run.llLength)
            nLow = nMid + 1;
        else
            return static_cast<int>(nMid);
    }
    return -1;
}

void CSimStream::Normalize()
{
    std::vector<SIM_RUN> merged;
    merged.reserve(m_runs.size());
    for (const SIM_RUN& run : m_runs)
    {
        if (run.llLength <= 0)
            continue;
        if (!merged.empty())
        {
            SIM_RUN& last = merged.back();
            bool bBothSparse = last.llLcn == SIM_SPARSE_LCN && run.llLcn == SIM_SPARSE_LCN;
            bool bAdjacent = last.llLcn != SIM_SPARSE_LCN && run.llLcn == last.llLcn + last.llLength;
            if (bBothSparse || bAdjacent)
            {
                last.llLength += run.llLength;
                continue;
            }
        }
        merged.push_back(run);
    }
    m_runs.swap(merged);
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
