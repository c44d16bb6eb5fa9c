#include "gui/DriveRows.h"

#include "gui/ReplySender.h"
#include "gui/Resource.h"
#include "gui/ResourceText.h"
#include "gui/WireText.h"

#include "guitoolkit/GuiUtilities.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionObject.h"
#include "protocol/PartitionState.h"

#include <string>

namespace
{
const stDriveColumn g_aColumns[CDriveRows::ColumnCount] = {
    {IDS_DRIVE, 60, false},
    {IDS_STATUS, 150, false},
    {IDS_PERCENT_DONE, 70, true},
    {IDS_FRAG_FILES, 85, true},
    {IDS_PERCENT_FRAGMENTATION, 70, true},
    {IDS_PERCENT_FREE, 70, true},
    {IDS_CURRENT_FILE_OR_FOLDER, 300, false},
    {IDS_FILESYSTEM, 70, false},
    {IDS_DRIVE_NAME, 70, false},
    {IDS_SERIAL_NUMBER, 70, false},
    {IDS_MFT_START, 70, true},
    {IDS_MFT_MIRROR_START, 70, true},
    {IDS_MFT_RES_START, 70, true},
    {IDS_MFT_RES_END, 70, true},
    {IDS_COLUMN_CLUSTER, 70, true},
    {IDS_USED_CLUSTER, 70, true},
    {IDS_SIZE_MB, 70, true},
    {IDS_FREE_MB, 70, true},
    {IDS_BYTES_CLUSTER, 70, true},
    {IDS_BYTES_FILERECORD, 70, true},
    {IDS_BYTES_SECTOR, 70, true},
    {IDS_COLUMN_FILES, 70, true},
    {IDS_ANALYZED_FILES, 70, true},
    {IDS_MOVED_FILES, 70, true},
    {IDS_DEFRAGMENTED_FILES, 70, true},
    {IDS_NTFS_VERSION, 70, true},
    {IDS_LAST_MANUAL_DEFRAG, 115, false},
};


// A fresh entry has size 0 and used clusters -1: there are no figures to
// divide yet, and the quotient is taken as 0 for sorting.
bool HasFigures(const CNetDefragPartitionListEntry& entry)
{
    return entry.m_llTotalBytes != 0 && entry.m_llUsedClusters != -1;
}

int64_t PercentFree(const CNetDefragPartitionListEntry& entry)
{
    if (!HasFigures(entry))
        return 0;
    // Wide enough that free bytes of any size times 100 cannot overflow.
    return static_cast<int64_t>(static_cast<__int128>(entry.m_llFreeBytes) * 100 / entry.m_llTotalBytes);
}

CString LastDefragText(int64_t llSeconds)
{
    SYSTEMTIME stUtc;
    SYSTEMTIME stLocal;
    wchar_t szText[64];
    if (llSeconds == 0 || !UnixTimeToSystemTime(static_cast<ULONGLONG>(llSeconds), &stUtc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &stUtc, &stLocal) || FormatDateTime(stLocal, szText, 64) == 0)
        return CString(L" ");
    CString str(szText);
    while (!str.IsEmpty() && (str.GetAt(str.GetLength() - 1) == L'\n' || str.GetAt(str.GetLength() - 1) == L'\r'))
        str = str.Left(str.GetLength() - 1);
    return str;
}

bool HidesFragmentFigures(int32_t nState)
{
    return nState == STATE_MONITORING || nState == STATE_AUTO_DEFRAGMENTING;
}

wchar_t FoldAscii(wchar_t ch)
{
    return (ch >= L'A' && ch <= L'Z') ? static_cast<wchar_t>(ch + (L'a' - L'A')) : ch;
}

int CompareNoCaseAscii(const CUnicodeString& strA, const CUnicodeString& strB)
{
    int nA = strA.GetLength();
    int nB = strB.GetLength();
    for (int i = 0; i < nA && i < nB; ++i)
    {
        wchar_t a = FoldAscii(strA.GetBuffer()[i]);
        wchar_t b = FoldAscii(strB.GetBuffer()[i]);
        if (a != b)
            return a < b ? -1 : 1;
    }
    return nA == nB ? 0 : (nA < nB ? -1 : 1);
}

const CUnicodeString* SortString(const CNetDefragPartitionListEntry& entry, int nColumn)
{
    switch (nColumn)
    {
    case 0: return &entry.m_strDriveRoot;
    case 6: return &entry.m_strStatusText;
    case 7: return &entry.m_strFileSystemName;
    case 8: return &entry.m_strVolumeLabel;
    case 9: return &entry.m_strSerialNumber;
    default: return nullptr;
    }
}

// The figure a numeric column shows, before it is printed.
int64_t ColumnNumber(const CNetDefragPartitionListEntry& entry, int nColumn)
{
    switch (nColumn)
    {
    case 1: return entry.m_nState;
    case 2: return entry.m_nProgress;
    case 3: return entry.m_nFragmentedEntries;
    case 4: return entry.m_nFragmentationPercent;
    case 5: return PercentFree(entry);
    case 10: return entry.m_llMftStart;
    case 11: return entry.m_llMftMirrorStart;
    case 12: return entry.m_llMftZoneStart;
    case 13: return entry.m_llMftZoneEnd;
    case 14: return entry.m_llTotalClusters;
    case 15: return entry.m_llUsedClusters;
    case 16: return entry.m_llTotalBytes;
    case 17: return entry.m_llFreeBytes;
    case 18: return entry.m_nBytesPerCluster;
    case 19: return entry.m_nBytesPerFileRecord;
    case 20: return static_cast<uint32_t>(entry.m_nBytesPerSector);
    case 21: return entry.m_nFilesExamined;
    case 22: return entry.m_nFilesWithClusters;
    case 23: return entry.m_nFilesMoved;
    case 24: return entry.m_nFilesDefragmented;
    case 25: return static_cast<int64_t>(entry.m_nNtfsMajorVersion) * 1000 + entry.m_nNtfsMinorVersion;
    default: return 0;
    }
}
}

CDriveRows::CDriveRows(IDriveListCtrl& list) : m_list(list)
{
}

CDriveRows::~CDriveRows()
{
    Clear();
}

int CDriveRows::GetCount() const
{
    CSectionLock lock(m_lock);
    return static_cast<int>(m_rows.size());
}

void CDriveRows::Clear()
{
    CSectionLock lock(m_lock);
    // The list lets go of the rows before their objects go.
    m_list.DeleteAllRows();
    m_rows.clear();
}

void CDriveRows::Rebuild(const CNetDefragPartitionList& list)
{
    CSectionLock lock(m_lock);
    Clear();
    for (int i = 0; i < list.GetCount(); ++i)
    {
        const CNetDefragPartitionListEntry* pEntry = list.GetEntry(i);
        if (pEntry == nullptr)
            continue;
        std::unique_ptr<stDriveRow> pRow(new stDriveRow);
        pRow->entry = *pEntry;
        m_list.SetRedraw(false);
        int nRow = m_list.InsertRow(m_list.GetRowCount(), WireText(pRow->entry.m_strDriveRoot), pRow.get());
        if (nRow >= 0)
        {
            m_rows.push_back(std::move(pRow));
            UpdateRow(nRow, *pEntry);
        }
        m_list.SetRedraw(true);
    }
    if (!m_rows.empty() && !HasSelection())
        m_list.SelectAndFocusRow(0);
    m_list.SortRows();
}

int CDriveRows::FindRow(int32_t nDriveId) const
{
    CSectionLock lock(m_lock);
    for (int i = 0; i < m_list.GetRowCount(); ++i)
    {
        const stDriveRow* pRow = m_list.GetRow(i);
        if (pRow != nullptr && pRow->entry.m_nVolumeIndex == nDriveId)
            return i;
    }
    return -1;
}

CDriveRows::RESULT_TRIGGER CDriveRows::UpdateRow(int nRow, const CNetDefragPartitionListEntry& entry)
{
    CSectionLock lock(m_lock);
    stDriveRow* pRow = m_list.GetRow(nRow);
    if (pRow == nullptr)
        return RESULT_NONE;
    pRow->entry = entry;
    RESULT_TRIGGER eTrigger = RESULT_NONE;
    if (entry.m_nState == STATE_IDLE && entry.m_nProgress == 100)
    {
        // The Status text still names the run that just ended; once it is
        // emptied below, a later idle report opens nothing again.
        CString strPrevious = m_list.GetCellText(nRow, StatusColumn);
        if (strPrevious == StateText(STATE_ANALYZING))
            eTrigger = RESULT_ANALYSIS;
        else if (strPrevious == StateText(STATE_DEFRAGMENTING))
            eTrigger = RESULT_DEFRAG;
    }
    for (int nColumn = 1; nColumn < ColumnCount; ++nColumn)
        m_list.SetCellText(nRow, nColumn, CellText(entry, nColumn));
    // A fault is shown once and then counts as idle.
    if (entry.m_nState == STATE_FAULTY || entry.m_nState == STATE_VOLUME_ERROR)
        pRow->entry.m_nState = STATE_IDLE;
    return eTrigger;
}

int CDriveRows::GetTrayState(bool bConnected, bool bShowMonitoringStates) const
{
    CSectionLock lock(m_lock);
    std::vector<int32_t> states;
    for (const auto& pRow : m_rows)
        states.push_back(pRow->entry.m_nState);
    return TrayState(states, bConnected, bShowMonitoringStates);
}

std::vector<stDriveRow*> CDriveRows::GetTargets(const stDriveRow* pRightClicked, bool bFirstOnly) const
{
    CSectionLock lock(m_lock);
    std::vector<stDriveRow*> targets;
    if (pRightClicked != nullptr)
    {
        int nRow = FindRowIndex(pRightClicked);
        if (nRow >= 0)
            targets.push_back(m_list.GetRow(nRow));
        return targets;
    }
    for (int i = 0; i < m_list.GetRowCount(); ++i)
    {
        stDriveRow* pRow = m_list.GetRow(i);
        if (pRow == nullptr || !m_list.IsRowSelected(i))
            continue;
        targets.push_back(pRow);
        if (bFirstOnly)
            break;
    }
    return targets;
}

bool CDriveRows::IsIdleCommandEnabled(const stDriveRow* pRightClicked) const
{
    CSectionLock lock(m_lock);
    for (const stDriveRow* pRow : GetTargets(pRightClicked))
        if (pRow->entry.m_nState == STATE_IDLE)
            return true;
    return false;
}

bool CDriveRows::IsStopEnabled(const stDriveRow* pRightClicked) const
{
    CSectionLock lock(m_lock);
    for (const stDriveRow* pRow : GetTargets(pRightClicked))
        if (pRow->entry.m_nState != STATE_IDLE)
            return true;
    return false;
}

int CDriveRows::SendDriveAction(IReplySender& sender, int32_t nCode, UINT nWaitTextId,
                                const stDriveRow* pRightClicked, bool bFirstOnly)
{
    CSectionLock lock(m_lock);
    if (!HasSelection())
        return 0;
    CString strWait = ResourceText(nWaitTextId);
    bool bMarkRunning = nCode == CMD_STOP;
    int nSent = 0;
    for (stDriveRow* pRow : GetTargets(pRightClicked, bFirstOnly))
    {
        CNetDefragPartitionObject drive;
        drive.m_nVolumeIndex = pRow->entry.m_nVolumeIndex;
        if (sender.SendCommand(nCode, drive))
            ++nSent;
        bool bIdle = pRow->entry.m_nState == STATE_IDLE;
        if (bIdle == bMarkRunning)
            continue;
        pRow->entry.m_nState = StatePending;
        m_list.SetCellText(FindRowIndex(pRow), StatusColumn, strWait);
    }
    return nSent;
}

int32_t CDriveRows::StartCommandCode(int nComboSelection)
{
    switch (nComboSelection)
    {
    case 0: return CMD_DEFRAG_QUICK;
    case 2: return CMD_DEFRAG_ADVANCED;
    default: return CMD_DEFRAG_COMPLETE;
    }
}

const stDriveColumn& CDriveRows::GetColumn(int nColumn)
{
    return g_aColumns[nColumn >= 0 && nColumn < ColumnCount ? nColumn : 0];
}

CString CDriveRows::StateText(int32_t nState)
{
    switch (nState)
    {
    case STATE_IDLE: return CString();
    case STATE_MONITORING: return ResourceText(IDS_MONITORING);
    case STATE_AUTO_ANALYZING: return ResourceText(IDS_AUTOANALYZING);
    case STATE_AUTO_DEFRAGMENTING: return ResourceText(IDS_AUTODEFRAGMENTING);
    case STATE_ANALYZING: return ResourceText(IDS_ANALYZING);
    case STATE_DEFRAGMENTING: return ResourceText(IDS_DEFRAGMENTING);
    case STATE_FAULTY:
    case STATE_VOLUME_ERROR: return ResourceText(IDS_FAULTY);
    case STATE_STOPPING: return ResourceText(IDS_STOPPING);
    case STATE_SUSPENDED: return ResourceText(IDS_SUSPENDED);
    case STATE_AUTO_CHECKING: return ResourceText(IDS_AUTOCHECKING);
    case STATE_CHECKING: return ResourceText(IDS_CHECKING);
    case STATE_FAULTY_MONITORING: return ResourceText(IDS_FAULTY_MONITORING);
    default: return ResourceText(IDS_UNKNOWN_STATE);
    }
}

CString CDriveRows::CellText(const CNetDefragPartitionListEntry& entry, int nColumn)
{
    switch (nColumn)
    {
    case 0: return WireText(entry.m_strDriveRoot);
    case 1: return StateText(entry.m_nState);
    case 3:
    case 4:
        return HidesFragmentFigures(entry.m_nState) ? CString(L" ") : NumberText(ColumnNumber(entry, nColumn));
    case 5: return HasFigures(entry) ? NumberText(PercentFree(entry)) : CString(L" ");
    case 16:
    case 17: return NumberText(ColumnNumber(entry, nColumn) >> 20);
    case 20: return CString(std::to_wstring(ColumnNumber(entry, nColumn)));
    case 25:
        if (entry.m_nNtfsMajorVersion == -1)
            return CString(L" ");
        return CString(std::to_wstring(entry.m_nNtfsMajorVersion) + L"." + std::to_wstring(entry.m_nNtfsMinorVersion));
    case 26: return LastDefragText(entry.m_llLastManualDefragTime);
    default:
        if (const CUnicodeString* pText = SortString(entry, nColumn))
            return WireText(*pText);
        if (nColumn > 0 && nColumn < ColumnCount)
            return NumberText(ColumnNumber(entry, nColumn));
        return CString();
    }
}

int CDriveRows::Compare(const CNetDefragPartitionListEntry& a, const CNetDefragPartitionListEntry& b, int nSortKey)
{
    int nColumn = (nSortKey < 0 ? -nSortKey : nSortKey) - 1;
    if (nColumn < 0 || nColumn >= ColumnCount - 1)
        return 0;
    int nResult;
    const CUnicodeString* pA = SortString(a, nColumn);
    if (pA != nullptr)
        nResult = CompareNoCaseAscii(*pA, *SortString(b, nColumn));
    else
        nResult = static_cast<uint64_t>(ColumnNumber(a, nColumn)) > static_cast<uint64_t>(ColumnNumber(b, nColumn)) ? 1 : -1;
    return nSortKey < 0 ? -nResult : nResult;
}

int CDriveRows::TrayState(const std::vector<int32_t>& states, bool bConnected, bool bShowMonitoringStates)
{
    if (!bConnected)
        return 0;
    int32_t nHighest = STATE_IDLE;
    for (int32_t nState : states)
    {
        // Faults, stopping, pending requests and states the program does not know leave the icon alone.
        bool bCounts = (nState >= STATE_IDLE && nState <= STATE_DEFRAGMENTING) || nState == STATE_SUSPENDED ||
                       nState == STATE_AUTO_CHECKING || nState == STATE_CHECKING;
        if (bCounts && nState > nHighest)
            nHighest = nState;
    }
    switch (nHighest)
    {
    case STATE_AUTO_CHECKING:
    case STATE_CHECKING: return 7;
    case STATE_SUSPENDED: return 3;
    case STATE_DEFRAGMENTING: return 6;
    case STATE_ANALYZING: return 5;
    case STATE_MONITORING: return 4;
    case STATE_AUTO_ANALYZING: return bShowMonitoringStates ? 5 : 4;
    case STATE_AUTO_DEFRAGMENTING: return bShowMonitoringStates ? 6 : 4;
    default: return 2;
    }
}

int CDriveRows::FindRowIndex(const stDriveRow* pRow) const
{
    for (int i = 0; i < m_list.GetRowCount(); ++i)
        if (m_list.GetRow(i) == pRow)
            return i;
    return -1;
}

bool CDriveRows::HasSelection() const
{
    for (int i = 0; i < m_list.GetRowCount(); ++i)
        if (m_list.IsRowSelected(i))
            return true;
    return false;
}
