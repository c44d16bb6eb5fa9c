// CDlgDefragFinish: the figures of each drive whose defragmentation ended,
// and what to do next.
#pragma once

#include "gui/DlgResultBase.h"

class CDlgDefragFinish : public CDlgResultBase
{
public:
    CDlgDefragFinish(CWnd* pParent, std::function<void()> onTurnedOff);

    static CString RecommendationText(const CNetDefragPartitionListEntry& entry);

protected:
    const stRow* NumberRows(int& nCount) const override;
    int RecommendationHeight() const override { return 78; }
    unsigned NumberValue(const CNetDefragPartitionListEntry& entry, int k) const override;
    CString Recommendation(const CNetDefragPartitionListEntry& entry) const override
    {
        return RecommendationText(entry);
    }
};
