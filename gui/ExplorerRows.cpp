#include "gui/ExplorerRows.h"

#include "gui/WireText.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"

#include <cwchar>

const wchar_t kFreeRowName[] = L" ";

namespace
{
const int kFreeImage = 1;

void AppendFree(std::vector<stExplorerRow>& rows, int64_t llFirst, int64_t llLast)
{
    rows.push_back({kFreeImage, kFreeRowName, kFreeRowName, ClusterText(llFirst), ClusterText(llLast)});
}

int CompareNumbers(int64_t a, int64_t b)
{
    return a > b ? 1 : -1;
}
} // namespace

CString ClusterText(int64_t llCluster)
{
    wchar_t szText[24];
    swprintf(szText, 24, L"%lld", static_cast<long long>(llCluster));
    return szText;
}

int64_t ClusterOfText(const CString& strText)
{
    return static_cast<int64_t>(wcstoll(strText, nullptr, 10));
}

std::vector<stExplorerRow> CExplorerRows::Build(const CNetDefragPartitionClusterExplorerResponse& answer)
{
    std::vector<stExplorerRow> rows;
    CString strRoot = WireText(answer.m_strDriveRoot);
    CString strPrevious;
    int64_t llNext = answer.m_llFirstCluster;
    for (int i = 0; i < answer.GetCount(); ++i)
    {
        const CLUSTEREXPLORER_RESPONSE_ENTRY& entry = answer.GetAt(i);
        if (llNext < entry.llFirstCluster)
        {
            if (!rows.empty() && rows.back().strName == kFreeRowName)
                rows.back().strEnd = ClusterText(entry.llFirstCluster - 1);
            else
                AppendFree(rows, llNext, entry.llFirstCluster - 1);
            strPrevious = kFreeRowName;
        }
        CString strName = WireText(entry.strFileName);
        // A first entry with an empty name matches the empty "previous" name,
        // but there is no row yet to extend.
        if (!rows.empty() && strName == strPrevious)
        {
            rows.back().strEnd = ClusterText(entry.llLastCluster);
        }
        else
        {
            bool bBare = strName.IsEmpty() || strName == kFreeRowName;
            rows.push_back({entry.nKind + 1, strName, bBare ? strName : strRoot + strName,
                            ClusterText(entry.llFirstCluster), ClusterText(entry.llLastCluster)});
            strPrevious = strName;
        }
        llNext = entry.llLastCluster + 1;
    }
    if (llNext <= answer.m_llLastCluster)
        AppendFree(rows, llNext, answer.m_llLastCluster);
    return rows;
}

int CExplorerRows::Compare(const stExplorerRow& a, const stExplorerRow& b, int nKey)
{
    int nResult = 0;
    switch (nKey < 0 ? -nKey : nKey)
    {
    case 1:
        nResult = CompareNumbers(ClusterOfText(a.strStart), ClusterOfText(b.strStart));
        break;
    case 2:
        nResult = CompareNumbers(ClusterOfText(a.strEnd), ClusterOfText(b.strEnd));
        break;
    case 3:
        nResult = a.strShown.Compare(b.strShown);
        break;
    default:
        return 0;
    }
    return nKey < 0 ? -nResult : nResult;
}

bool CExplorerRows::Page(int64_t llStart, int64_t llEnd, int64_t llCluster, int nDelta, int64_t& llNext)
{
    if (llStart == llEnd)
        return false;
    int64_t llLength = llEnd - llStart + 1;
    if (nDelta > 0)
        llNext = llCluster + llLength;
    else
        llNext = llCluster - llLength > 0 ? llCluster - llLength : 0;
    return true;
}

bool CExplorerRows::CanShow(const stExplorerRow* pSelected)
{
    return pSelected != nullptr && pSelected->strName != kFreeRowName;
}
