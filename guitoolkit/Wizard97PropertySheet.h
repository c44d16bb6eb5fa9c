// CWizard97PropertySheet and CWizard97PropertyPage: the bases of the
// program's wizards. The sheet is a light Wizard 97 tool window of a fixed
// width with its buttons moved along and given mnemonics; the pages set the
// wizard buttons by their place and hand Cancel and Finish to the sheet. A
// cancelled sheet, and one whose Finish the sheet refuses, is hidden and
// kept for its next use.
#pragma once

#include "classlib/PropertySheet.h"

class CWizard97PropertySheet : public CPropertySheet
{
public:
    explicit CWizard97PropertySheet(const wchar_t* pszCaption = nullptr, CWnd* pParent = nullptr);

    BOOL OnInitDialog() override;

    // The user cancelled; the sheet is hidden after this.
    virtual void OnWizardCancel() {}
    // The user pressed Finish: nonzero lets the sheet end, 0 hides it for reuse.
    virtual BOOL OnWizardDone() { return 0; }
    // The page of that index has become the current one.
    virtual void OnPageActivate(int /*nPage*/) {}

    // The sheet's window width in pixels after its initialisation; 0 leaves it.
    int m_nWidth;

private:
    // Gives a caption a mnemonic unless it has one already.
    static void AddMnemonic(HWND hButton);
};

class CWizard97PropertyPage : public CPropertyPage
{
public:
    CWizard97PropertyPage(UINT nIDTemplate, UINT nIDCaption);

    BOOL OnSetActive() override;
    void OnCancel() override;
    BOOL OnWizardFinish() override;
    // Refuses the close, so that the sheet is kept, and hides it.
    BOOL OnQueryCancel() override;

    // The wizard buttons of a page at that place among that many.
    static DWORD WizardButtonsAt(int nPage, int nPages);

private:
    CWizard97PropertySheet* Wizard() const;
};
