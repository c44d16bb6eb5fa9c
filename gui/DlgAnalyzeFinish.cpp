#include "gui/DlgAnalyzeFinish.h"

#include "gui/Recommendation.h"
#include "gui/Resource.h"
#include "gui/ResourceText.h"

#include "protocol/NetDefragPartitionListEntry.h"

CDlgAnalyzeFinish::CDlgAnalyzeFinish(CWnd* pParent, std::function<void()> onTurnedOff)
    : CDlgResultBase(IDD_ANALYZE_FINISH, pParent, std::move(onTurnedOff))
{
}

const CDlgResultBase::stRow* CDlgAnalyzeFinish::NumberRows(int& nCount) const
{
    static const stRow rows[] = {{IDS_ANALYZED_FILES, 5, 10}, {IDS_FRAG_FILES, 6, 0}, {IDS_PERCENT_FRAGMENTATION, 7, 0}};
    nCount = static_cast<int>(sizeof(rows) / sizeof(rows[0]));
    return rows;
}

unsigned CDlgAnalyzeFinish::NumberValue(const CNetDefragPartitionListEntry& entry, int k) const
{
    switch (k)
    {
    case 12:
        return static_cast<unsigned>(entry.m_nFilesWithClusters);
    case 13:
        return static_cast<unsigned>(entry.m_nFragmentedEntries);
    default:
        return static_cast<unsigned>(entry.m_nFragmentationPercent);
    }
}

CString CDlgAnalyzeFinish::RecommendationText(const CNetDefragPartitionListEntry& entry)
{
    CString strText;
    for (uint32_t nId : AnalysisRecommendation(static_cast<uint32_t>(entry.m_nFragmentationPercent),
                                               static_cast<uint32_t>(entry.m_nFragmentedEntries),
                                               static_cast<uint64_t>(entry.m_llFreeBytes),
                                               static_cast<uint64_t>(entry.m_llTotalBytes)))
    {
        if (!strText.IsEmpty())
            strText += L" ";
        strText += ResourceText(nId);
    }
    return strText;
}
