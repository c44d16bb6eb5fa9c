// CDlgAnalyzeFinish: the figures of each drive whose analysis ended, and
// whether it wants defragmenting.
#pragma once

#include "gui/DlgResultBase.h"

class CDlgAnalyzeFinish : public CDlgResultBase
{
public:
    CDlgAnalyzeFinish(CWnd* pParent, std::function<void()> onTurnedOff);

    static CString RecommendationText(const CNetDefragPartitionListEntry& entry);

protected:
    const stRow* NumberRows(int& nCount) const override;
    int RecommendationHeight() const override { return 68; }
    unsigned NumberValue(const CNetDefragPartitionListEntry& entry, int k) const override;
    CString Recommendation(const CNetDefragPartitionListEntry& entry) const override
    {
        return RecommendationText(entry);
    }
};
