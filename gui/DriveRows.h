// CDriveRows: the rows of the drive list and what they mean: one row object
// per volume the service reports, the texts of its cells, the order of two
// rows, the tray state, and which drives a drive command acts on.
#pragma once

#include "gui/DriveListCtrl.h"

#include "base/SyncObjects.h"
#include "classlib/String.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionListEntry.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

class IReplySender;

// One row: its own copy of the last entry received for the drive, and
// whether the cluster view shows the drive (0 never shown, 1 not subscribed,
// 2 subscribed).
struct stDriveRow
{
    CNetDefragPartitionListEntry entry;
    int nMapState = 0;
};

struct stDriveColumn
{
    UINT nTitleId;
    int nWidth;
    bool bRightAligned;
};

class CDriveRows
{
public:
    static constexpr int ColumnCount = 27;
    static constexpr int StatusColumn = 1;
    // Stored in a row's copy while a request sent for the drive is unanswered.
    static constexpr int32_t StatePending = 99;
    // Without a saved layout only the first seven and the last column show.
    static constexpr int FirstHiddenColumn = 7;
    static constexpr int LastHiddenColumn = 25;

    enum RESULT_TRIGGER
    {
        RESULT_NONE,
        RESULT_ANALYSIS,
        RESULT_DEFRAG,
    };

    explicit CDriveRows(IDriveListCtrl& list);
    ~CDriveRows();
    CDriveRows(const CDriveRows&) = delete;
    CDriveRows& operator=(const CDriveRows&) = delete;

    // Guards the rows and their objects; never held across a modal window.
    CCriticalSection& GetLock() { return m_lock; }

    int GetCount() const;
    void Clear();
    // The rows of the list in the order received; row 0 is selected when no
    // row is, then the rows are sorted.
    void Rebuild(const CNetDefragPartitionList& list);
    // The first row of the drive, -1 when none.
    int FindRow(int32_t nDriveId) const;
    // Takes the entry into the row and fills cells 1 to 26; tells which result
    // dialog the end of a run calls for.
    RESULT_TRIGGER UpdateRow(int nRow, const CNetDefragPartitionListEntry& entry);
    int GetTrayState(bool bConnected, bool bShowMonitoringStates) const;

    // The right-clicked row alone when there is one, else the selected rows in
    // list order (only the first with bFirstOnly).
    std::vector<stDriveRow*> GetTargets(const stDriveRow* pRightClicked, bool bFirstOnly = false) const;
    // Analyze, Start, Monitor and CheckDisk: a target is idle.
    bool IsIdleCommandEnabled(const stDriveRow* pRightClicked) const;
    // Stop: a target is not idle.
    bool IsStopEnabled(const stDriveRow* pRightClicked) const;
    // Sends the code for every target while a row is selected. Stop marks the
    // targets that run, every other command the idle ones: their Status shows
    // the wait text and their state is pending until the drive is reported
    // again. Returns the number of requests sent.
    int SendDriveAction(IReplySender& sender, int32_t nCode, UINT nWaitTextId,
                        const stDriveRow* pRightClicked, bool bFirstOnly = false);

    // The request of Start for the strategy combo's selection.
    static int32_t StartCommandCode(int nComboSelection);
    static const stDriveColumn& GetColumn(int nColumn);
    static CString StateText(int32_t nState);
    // The text of a cell from 1 to 26; column 0 keeps the drive path it was inserted with.
    static CString CellText(const CNetDefragPartitionListEntry& entry, int nColumn);
    // The order of two rows by a signed 1-based sort key; a negative key
    // reverses it. Equal numbers answer -1, as the list's sort expects.
    static int Compare(const CNetDefragPartitionListEntry& a, const CNetDefragPartitionListEntry& b, int nSortKey);
    static int TrayState(const std::vector<int32_t>& states, bool bConnected, bool bShowMonitoringStates);

private:
    int FindRowIndex(const stDriveRow* pRow) const;
    bool HasSelection() const;

    IDriveListCtrl& m_list;
    mutable CCriticalSection m_lock;
    std::vector<std::unique_ptr<stDriveRow>> m_rows;
};
