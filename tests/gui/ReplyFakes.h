// Stand-ins for the windows and the connection around the reply handling and
// the drive rows: a list of text cells, a sender that keeps every message as
// the bytes that would go out, a window side that notes what it was asked.
#pragma once

#include "gui/DriveRows.h"
#include "gui/OwnVersion.h"
#include "gui/ReplyDispatcher.h"
#include "gui/ReplySender.h"
#include "gui/ReplyUi.h"

#include "ProtocolTestSupport.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace guitest {

class CFakeListCtrl : public IDriveListCtrl
{
public:
    struct stListRow
    {
        stDriveRow* pRow;
        std::vector<CString> cells;
        bool bSelected;
    };

    int GetRowCount() const override { return static_cast<int>(m_rows.size()); }
    stDriveRow* GetRow(int nRow) const override
    {
        return nRow >= 0 && nRow < GetRowCount() ? m_rows[nRow].pRow : nullptr;
    }
    int InsertRow(int nRow, const wchar_t* pszDrive, stDriveRow* pRow) override
    {
        if (nRow < 0 || nRow > GetRowCount())
            nRow = GetRowCount();
        stListRow stRow{pRow, std::vector<CString>(CDriveRows::ColumnCount), false};
        stRow.cells[0] = pszDrive;
        m_rows.insert(m_rows.begin() + nRow, stRow);
        return nRow;
    }
    void DeleteAllRows() override { m_rows.clear(); }
    CString GetCellText(int nRow, int nColumn) const override { return m_rows.at(nRow).cells.at(nColumn); }
    void SetCellText(int nRow, int nColumn, const wchar_t* pszText) override
    {
        m_rows.at(nRow).cells.at(nColumn) = pszText;
    }
    void SetRedraw(bool bRedraw) override { m_nRedrawOff += bRedraw ? -1 : 1; }
    bool IsRowSelected(int nRow) const override { return m_rows.at(nRow).bSelected; }
    void SelectAndFocusRow(int nRow) override { m_rows.at(nRow).bSelected = true; }
    void SortRows() override { ++m_nSorts; }

    std::wstring Cell(int nRow, int nColumn) const { return GetCellText(nRow, nColumn).Str(); }
    std::vector<std::wstring> Drives() const
    {
        std::vector<std::wstring> drives;
        for (const stListRow& stRow : m_rows)
            drives.push_back(stRow.cells[0].Str());
        return drives;
    }

    std::vector<stListRow> m_rows;
    int m_nSorts = 0;
    int m_nRedrawOff = 0;
};

class CFakeSender : public IReplySender
{
public:
    struct stSent
    {
        int32_t nCode;
        prototest::Bytes bytes;
    };

    bool SendBareCommand(int32_t nCode) override
    {
        m_sent.push_back({nCode, prototest::BuildMessage(nCode, nullptr)});
        return true;
    }
    bool SendCommand(int32_t nCode, CNetDefragObject& object) override
    {
        m_sent.push_back({nCode, prototest::BuildMessage(nCode, &object)});
        return true;
    }
    std::vector<int32_t> Codes() const
    {
        std::vector<int32_t> codes;
        for (const stSent& stMessage : m_sent)
            codes.push_back(stMessage.nCode);
        return codes;
    }

    std::vector<stSent> m_sent;
};

class CFakeOwnVersion : public IOwnVersion
{
public:
    bool GetOwnVersion(UINT& nMajor, UINT& nMinor) override
    {
        nMajor = m_nMajor;
        nMinor = m_nMinor;
        return m_bPresent;
    }
    bool m_bPresent = true;
    UINT m_nMajor = 3;
    UINT m_nMinor = 5;
};

// Every call is noted as one line of text, in order.
class CFakeUi : public IReplyUi
{
public:
    const stViewFlags& GetViewFlags() const override { return m_flags; }
    bool IsConnected() const override { return m_bConnected; }
    void ShowMessage(const CString& strText) override
    {
        Note(L"box:" + strText.Str());
        if (m_fnDuringModal)
            m_fnDuringModal();
    }
    void PostServerLost() override { Note(L"lost"); }
    bool AskPassword(const CString& strPrompt, CString& strTyped) override
    {
        Note(L"password:" + strPrompt.Str());
        if (m_fnDuringModal)
            m_fnDuringModal();
        if (m_answers.empty() || m_answers.front() == nullptr)
        {
            if (!m_answers.empty())
                m_answers.pop_front();
            return false;
        }
        strTyped = m_answers.front();
        m_answers.pop_front();
        return true;
    }
    void DisconnectAndReset() override { Note(L"disconnect"); }
    void SetServiceVersionText(const CString& strText) override { Note(L"version:" + strText.Str()); }
    void ShowSplash(const CString&, const CString&) override { Note(L"splash"); }
    void PumpMessages() override { Note(L"pump"); }
    void Sleep(DWORD dwMilliseconds) override { Note(L"sleep:" + std::to_wstring(dwMilliseconds)); }
    bool HasWelcomeDialog() const override { return m_bWelcome; }
    void OpenWelcome() override
    {
        m_bWelcome = true;
        Note(L"welcome");
    }
    void OpenAnalysisResult(const CNetDefragPartitionListEntry& entry) override
    {
        Note(L"analysis:" + std::to_wstring(entry.m_nVolumeIndex));
    }
    void OpenDefragResult(const CNetDefragPartitionListEntry& entry) override
    {
        Note(L"defrag:" + std::to_wstring(entry.m_nVolumeIndex));
    }
    void SetTrayState(int nState) override { Note(L"tray:" + std::to_wstring(nState)); }
    bool IsClusterPaneInUse() const override { return m_bPaneInUse; }
    void SyncClusterView() override { Note(L"sync"); }
    void OnDriveFinished(int32_t nDriveId, bool bUnfragmented) override
    {
        Note(L"finished:" + std::to_wstring(nDriveId) + (bUnfragmented ? L":1" : L":0"));
    }
    void OnClusterMap(std::unique_ptr<CNetDefragPartitionClustermap>) override { Note(L"map"); }
    void OnClusterMapChanges(std::unique_ptr<CNetDefragClustermapModList>) override { Note(L"changes"); }
    void OnFileClusters(std::unique_ptr<CNetDefragPartitionClusterExplorerResponse>) override { Note(L"file clusters"); }
    void OnClusterExplorer(const CNetDefragPartitionClusterExplorerResponse&) override { Note(L"explorer"); }
    void OnPartitionInfo(const CNetDefragPartitionInfo&) override { Note(L"drive info"); }
    void OnFragmentedFiles(const CNetDefragPartitionFragFiles&) override { Note(L"fragmented files"); }
    void OnServiceInfo(const CNetDefragVersionInfo&) override { Note(L"service info"); }
    void OnSettings(const CNetDefragSettingsLight2&) override { Note(L"settings"); }
    void OnWizardSettings(const CNetDefragSettingsLight2&) override { Note(L"wizard"); }

    // The lines that start with the prefix.
    std::vector<std::wstring> Only(const std::wstring& strPrefix) const
    {
        std::vector<std::wstring> lines;
        for (const std::wstring& strLine : m_events)
            if (strLine.compare(0, strPrefix.size(), strPrefix) == 0)
                lines.push_back(strLine);
        return lines;
    }

    stViewFlags m_flags;
    bool m_bConnected = true;
    bool m_bPaneInUse = false;
    bool m_bWelcome = false;
    // Answers of the password dialog in turn; null is Cancel.
    std::deque<const wchar_t*> m_answers;
    // Runs inside every modal box and dialog.
    std::function<void()> m_fnDuringModal;
    std::vector<std::wstring> m_events;

private:
    void Note(const std::wstring& strLine) { m_events.push_back(strLine); }
};

// An entry as the service reports it for a drive.
inline CNetDefragPartitionListEntry MakeEntry(int32_t nId, const wchar_t* pszRoot, int32_t nState = 0, int32_t nProgress = 0)
{
    CNetDefragPartitionListEntry entry;
    entry.m_nVolumeIndex = nId;
    entry.m_strDriveRoot = pszRoot;
    entry.m_nState = nState;
    entry.m_nProgress = nProgress;
    return entry;
}

// The dispatcher with its fakes, fed messages as the drain loop feeds it.
class CDispatchFixture
{
public:
    CDispatchFixture() : m_rows(m_list), m_dispatcher(m_sender, m_ui, m_own, m_rows) {}

    // Builds the message as the service would and hands it over as the drain loop does.
    bool Deliver(int32_t nCommand, CNetDefragObject* pObject = nullptr, int32_t nClientId = -1)
    {
        return DeliverBytes(prototest::BuildMessage(nCommand, pObject), nClientId);
    }
    bool DeliverBytes(const prototest::Bytes& payload, int32_t nClientId = -1)
    {
        return m_dispatcher.DispatchPayload(nClientId, payload.data(), static_cast<UINT>(payload.size()));
    }
    bool DeliverList(const std::vector<CNetDefragPartitionListEntry>& entries)
    {
        CNetDefragPartitionList list;
        for (const CNetDefragPartitionListEntry& entry : entries)
            list.Add(std::make_unique<CNetDefragPartitionListEntry>(entry));
        return Deliver(1001, &list);
    }
    bool DeliverEntry(CNetDefragPartitionListEntry entry) { return Deliver(1002, &entry); }

    CFakeListCtrl m_list;
    CFakeSender m_sender;
    CFakeUi m_ui;
    CFakeOwnVersion m_own;
    CDriveRows m_rows;
    CReplyDispatcher m_dispatcher;
};

}
