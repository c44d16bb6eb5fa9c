#include "simdisk/SimContent.h"

#include <algorithm>
#include <vector>

uint64_t CSimContentMap::Tag(ULONGLONG ullFile, WORD wSlot, LONGLONG llVcn)
{
    uint64_t x = ullFile * 0x9E3779B97F4A7C15ull ^ (static_cast<uint64_t>(wSlot) << 40) ^
                 static_cast<uint64_t>(llVcn) * 0xD1B54A32D192ED03ull;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 33);
}

void CSimContentMap::SplitAt(LONGLONG llLcn)
{
    auto it = m_runs.upper_bound(llLcn);
    if (it == m_runs.begin())
        return;
    --it;
    LONGLONG llStart = it->first;
    CONTENT_RUN& run = it->second;
    if (llStart == llLcn || llStart + run.llLength <= llLcn)
        return;
    LONGLONG llHead = llLcn - llStart;
    CONTENT_RUN tail = {run.llLength - llHead, run.ullFile, run.llVcn + llHead, run.wSlot};
    run.llLength = llHead;
    m_runs.emplace_hint(std::next(it), llLcn, tail);
}

void CSimContentMap::MergeAround(std::map<LONGLONG, CONTENT_RUN>::iterator it)
{
    auto follows = [](const std::pair<const LONGLONG, CONTENT_RUN>& a,
                      const std::pair<const LONGLONG, CONTENT_RUN>& b) {
        return a.first + a.second.llLength == b.first && a.second.ullFile == b.second.ullFile &&
               a.second.wSlot == b.second.wSlot && a.second.llVcn + a.second.llLength == b.second.llVcn;
    };
    auto next = std::next(it);
    if (next != m_runs.end() && follows(*it, *next))
    {
        it->second.llLength += next->second.llLength;
        m_runs.erase(next);
    }
    if (it != m_runs.begin())
    {
        auto prev = std::prev(it);
        if (follows(*prev, *it))
        {
            prev->second.llLength += it->second.llLength;
            m_runs.erase(it);
        }
    }
}

void CSimContentMap::Erase(LONGLONG llLcn, LONGLONG llLength)
{
    if (llLength <= 0)
        return;
    SplitAt(llLcn);
    SplitAt(llLcn + llLength);
    auto first = m_runs.lower_bound(llLcn);
    auto last = m_runs.lower_bound(llLcn + llLength);
    m_runs.erase(first, last);
}

void CSimContentMap::Assign(LONGLONG llLcn, LONGLONG llLength, ULONGLONG ullFile, WORD wSlot, LONGLONG llVcn)
{
    if (llLength <= 0)
        return;
    Erase(llLcn, llLength);
    auto it = m_runs.emplace(llLcn, CONTENT_RUN{llLength, ullFile, llVcn, wSlot}).first;
    MergeAround(it);
}

void CSimContentMap::Append(LONGLONG llLcn, LONGLONG llLength, ULONGLONG ullFile, WORD wSlot, LONGLONG llVcn)
{
    if (llLength <= 0)
        return;
    const auto last = m_runs.empty() ? m_runs.end() : std::prev(m_runs.end());
    if (last != m_runs.end() && last->first + last->second.llLength > llLcn)
    {
        Assign(llLcn, llLength, ullFile, wSlot, llVcn);
        return;
    }
    auto it = m_runs.emplace_hint(m_runs.end(), llLcn, CONTENT_RUN{llLength, ullFile, llVcn, wSlot});
    MergeAround(it);
}

void CSimContentMap::Copy(LONGLONG llFrom, LONGLONG llTo, LONGLONG llLength)
{
    std::vector<std::pair<LONGLONG, CONTENT_RUN>> pieces;
    ForEach(llFrom, llLength, [&](LONGLONG llLcn, const CONTENT_RUN& run) { pieces.emplace_back(llLcn, run); });
    Erase(llTo, llLength);
    for (const auto& piece : pieces)
        Assign(piece.first - llFrom + llTo, piece.second.llLength, piece.second.ullFile, piece.second.wSlot,
               piece.second.llVcn);
}

void CSimContentMap::Corrupt(LONGLONG llLcn)
{
    Erase(llLcn, 1);
    m_runs.emplace(llLcn, CONTENT_RUN{1, ~0ull, llLcn, 0xFFFF});
}

void CSimContentMap::ForEach(LONGLONG llLcn, LONGLONG llLength,
                             const std::function<void(LONGLONG, const CONTENT_RUN&)>& fn) const
{
    const LONGLONG llEnd = llLcn + llLength;
    auto it = m_runs.upper_bound(llLcn);
    if (it != m_runs.begin())
        --it;
    for (; it != m_runs.end() && it->first < llEnd; ++it)
    {
        LONGLONG llStart = it->first;
        LONGLONG llStop = llStart + it->second.llLength;
        if (llStop <= llLcn)
            continue;
        LONGLONG llFrom = std::max(llStart, llLcn);
        LONGLONG llTo = std::min(llStop, llEnd);
        CONTENT_RUN piece = {llTo - llFrom, it->second.ullFile, it->second.llVcn + (llFrom - llStart),
                             it->second.wSlot};
        fn(llFrom, piece);
    }
}

bool CSimContentMap::Holds(LONGLONG llLcn, LONGLONG llLength, ULONGLONG ullFile, WORD wSlot, LONGLONG llVcn,
                           LONGLONG* pllBad) const
{
    LONGLONG llExpected = llLcn;
    bool bOk = true;
    ForEach(llLcn, llLength, [&](LONGLONG llFrom, const CONTENT_RUN& piece) {
        if (!bOk)
            return;
        if (llFrom != llExpected || piece.ullFile != ullFile || piece.wSlot != wSlot ||
            piece.llVcn != llVcn + (llFrom - llLcn))
        {
            bOk = false;
            return;
        }
        llExpected = llFrom + piece.llLength;
    });
    if (bOk && llExpected != llLcn + llLength)
        bOk = false;
    if (!bOk && pllBad)
    {
        // Walk once more cluster by cluster to name the first one that is wrong.
        *pllBad = llLcn;
        for (LONGLONG i = 0; i < llLength; ++i)
        {
            CONTENT_RUN run;
            if (!At(llLcn + i, &run) || run.ullFile != ullFile || run.wSlot != wSlot || run.llVcn != llVcn + i)
            {
                *pllBad = llLcn + i;
                break;
            }
        }
    }
    return bOk;
}

bool CSimContentMap::At(LONGLONG llLcn, CONTENT_RUN* pRun) const
{
    bool bFound = false;
    ForEach(llLcn, 1, [&](LONGLONG, const CONTENT_RUN& piece) {
        *pRun = piece;
        bFound = true;
    });
    return bFound;
}
