#include "gui/DlgDefragFinish.h"

#include "gui/Recommendation.h"
#include "gui/Resource.h"
#include "gui/ResourceText.h"

#include "protocol/NetDefragPartitionListEntry.h"

CDlgDefragFinish::CDlgDefragFinish(CWnd* pParent, std::function<void()> onTurnedOff)
    : CDlgResultBase(IDD_DEFRAG_FINISH, pParent, std::move(onTurnedOff))
{
}

const CDlgResultBase::stRow* CDlgDefragFinish::NumberRows(int& nCount) const
{
    static const stRow rows[] = {{IDS_MOVED_FILES, 6, 10}, {IDS_DEFRAGMENTED_FILES, 7, 0}};
    nCount = static_cast<int>(sizeof(rows) / sizeof(rows[0]));
    return rows;
}

unsigned CDlgDefragFinish::NumberValue(const CNetDefragPartitionListEntry& entry, int k) const
{
    return static_cast<unsigned>(k == 13 ? entry.m_nFilesMoved : entry.m_nFilesDefragmented);
}

CString CDlgDefragFinish::RecommendationText(const CNetDefragPartitionListEntry& entry)
{
    return ResourceText(DefragRecommendation(static_cast<uint32_t>(entry.m_nFragmentedEntries),
                                             static_cast<uint32_t>(entry.m_nFilesDefragmented),
                                             static_cast<uint32_t>(entry.m_nFilesMoved)));
}
