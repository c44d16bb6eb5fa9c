#include "gui/FragRows.h"

#include "gui/WireText.h"
#include "protocol/NetDefragPartitionFragFiles.h"

#include <cwchar>

std::vector<stFragRow> CFragRows::Build(CNetDefragPartitionFragFiles& answer)
{
    std::vector<stFragRow> rows;
    CString strRoot = WireText(answer.m_strDriveRoot);
    FRAG_FILES_RESPONSE_ENTRY entry;
    while (answer.GetNext(entry))
    {
        wchar_t szCount[16];
        swprintf(szCount, 16, L"%u", static_cast<unsigned>(entry.nFragments));
        CString strName = WireText(entry.strFileName);
        rows.push_back({strName, strRoot + strName, szCount});
    }
    return rows;
}

int CFragRows::Compare(const stFragRow& a, const stFragRow& b, int nKey)
{
    int nResult = 0;
    switch (nKey < 0 ? -nKey : nKey)
    {
    case 1:
        nResult = wcstoul(a.strFragments, nullptr, 10) > wcstoul(b.strFragments, nullptr, 10) ? 1 : -1;
        break;
    case 2:
        nResult = a.strShown.Compare(b.strShown);
        break;
    default:
        return 0;
    }
    return nKey < 0 ? -nResult : nResult;
}
