// CPropertyPage: one page of a CPropertySheet, a child dialog from a
// template of the resource module. The sheet's page notifications reach
// the virtual operations below; the object is attached when the system
// makes the page's window, at its WM_INITDIALOG.
#pragma once

#include "classlib/Dialog.h"

#include <prsht.h>

class CPropertySheet;

class CPropertyPage : public CDialog
{
public:
    // The caption string names the page (its tab, or the wizard's title).
    explicit CPropertyPage(UINT nIDTemplate, UINT nIDCaption = 0);

    CPropertySheet* GetSheet() const { return m_pSheet; }

    // TRUE lets the page become the current one.
    virtual BOOL OnSetActive();
    // TRUE lets the page be left; the default takes the controls' values.
    virtual BOOL OnKillActive();
    // 0: the neighbouring page; -1: stay; else the template id of the page to go to.
    virtual LRESULT OnWizardBack();
    virtual LRESULT OnWizardNext();
    // TRUE lets the sheet finish; FALSE keeps it as it is.
    virtual BOOL OnWizardFinish();
    // TRUE lets the sheet be cancelled; FALSE keeps it.
    virtual BOOL OnQueryCancel();
    // The sheet was cancelled; the default calls OnCancel.
    virtual void OnReset();

    // Pages neither end nor hide: the sheet does.
    void OnOK() override {}
    void OnCancel() override {}
    // The sheet offers the page's keys to the dialog manager.
    BOOL PreTranslateMessage(MSG*) override { return FALSE; }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

protected:
    // For pages that show a title of their own in a wizard's header.
    void SetHeaderTitle(const CString& strTitle) { m_strHeaderTitle = strTitle; }

private:
    friend class CPropertySheet;

    // The system's page for this object; NULL when the template is missing.
    HPROPSHEETPAGE CreatePage();
    LRESULT OnPageNotify(UINT nCode);
    static INT_PTR CALLBACK PageProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

    CPropertySheet* m_pSheet;
    CString m_strCaption;
    CString m_strHeaderTitle;
    bool m_bFirstSetActive;
};
