#include "engine/RunFailures.h"

#include "engine/PartitionOwner.h"

void CRunFailures::Clear()
{
    m_kept.clear();
    m_nCount = 0;
}

void CRunFailures::Add(const MOVE_FAILURE& failure)
{
    if (failure.pszCall == nullptr)
        return;
    ++m_nCount;
    if (static_cast<int>(m_kept.size()) < InFull)
        m_kept.push_back(failure);
}

void CRunFailures::Write(CPartitionOwner& owner, const CUnicodeString& strSummary) const
{
    CUnicodeString strText;
    if (m_nCount > static_cast<int>(m_kept.size()))
        strText.Format(L"%ls; %d failed calls, the first %d follow", strSummary.GetBuffer(), m_nCount,
                       static_cast<int>(m_kept.size()));
    else
        strText.Format(L"%ls; %d failed calls follow", strSummary.GetBuffer(), m_nCount);
    owner.LogVolumeEvent(EVENTLOG_WARNING_TYPE, strText.GetBuffer());
    for (const MOVE_FAILURE& failure : m_kept)
        owner.LogVolumeEvent(EVENTLOG_WARNING_TYPE, Describe(failure).GetBuffer());
}

CUnicodeString CRunFailures::Describe(const MOVE_FAILURE& failure)
{
    CUnicodeString strAnswer;
    if (failure.bWin32)
        strAnswer.Format(L"Win32 error %lu", static_cast<unsigned long>(failure.dwStatus));
    else
        strAnswer.Format(L"status 0x%08lX", static_cast<unsigned long>(failure.dwStatus));
    CUnicodeString strPlace;
    if (failure.llVcn >= 0 && failure.llLcn >= 0)
        strPlace.Format(L" at VCN %I64d, LCN %I64d", failure.llVcn, failure.llLcn);
    else if (failure.llVcn >= 0)
        strPlace.Format(L" at VCN %I64d", failure.llVcn);
    CUnicodeString strText;
    strText.Format(L"%ls stayed as it was: %ls answered %ls%ls",
                   failure.strPath.GetBuffer() ? failure.strPath.GetBuffer() : L"", failure.pszCall,
                   strAnswer.GetBuffer(), strPlace.GetBuffer() ? strPlace.GetBuffer() : L"");
    return strText;
}
