// CDlgResultBase: what the two result dialogs share: a modeless dialog with
// one tab per drive, keyed by the drive's volume GUID path, a Close button
// that hides it for the next result, and "Do not show again".
#pragma once

#include "classlib/Dialog.h"
#include "classlib/String.h"
#include "guitoolkit/MyTabCtrl.h"

#include <functional>

class CNetDefragPartitionListEntry;

class CDlgResultBase : public CDialog
{
public:
    // onTurnedOff runs when the dialog is closed with "Do not show again" ticked.
    CDlgResultBase(UINT nIDTemplate, CWnd* pParent, std::function<void()> onTurnedOff);

    // Modeless, owned by pParent (else the main window), hidden until shown.
    BOOL CreateModeless(CWnd* pParent) { return Create(m_nIDTemplate, pParent); }
    // The drive's tab, added or brought up to date, becomes the current one.
    void Fill(const CNetDefragPartitionListEntry& entry);
    // The page of the drive with this volume GUID path; -1 when none.
    int FindPage(const CString& strGuidPath);
    CMyTabCtrl& GetTabs() { return m_tabs; }

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnCancel() override;

    // Control k of page n.
    static UINT ControlId(int nPage, int k) { return static_cast<UINT>(nPage * 100 + k); }

protected:
    // One labelled value per row, 20 px apart; nGap more before the row.
    struct stRow
    {
        UINT nLabelId;
        int k;
        int nGap;
    };

    void AddPage(int nPage, const CNetDefragPartitionListEntry& entry);
    // The label's height, for the value beside it.
    int AddLabel(int nPage, UINT nTextId, int k, int y);
    void SetValues(int nPage, const CNetDefragPartitionListEntry& entry);
    // The rows below the drive's name and file system, and the advice under them.
    virtual const stRow* NumberRows(int& nCount) const = 0;
    virtual int RecommendationHeight() const = 0;
    virtual unsigned NumberValue(const CNetDefragPartitionListEntry& entry, int k) const = 0;
    virtual CString Recommendation(const CNetDefragPartitionListEntry& entry) const = 0;

private:
    void Close();

    CMyTabCtrl m_tabs;
    std::function<void()> m_onTurnedOff;
};
