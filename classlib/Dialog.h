// CDialog: a dialog from a template of the resource module (the resource
// library when it holds the template, else the program), modal through
// DoModal or modeless through Create. The object is attached before the
// dialog's first message; OK, Cancel and WM_CLOSE reach OnOK and OnCancel,
// which end a modal dialog and hide a modeless one for its next use. Values
// travel between members and controls through DoDataExchange.
#pragma once

#include "classlib/Wnd.h"

class CDataExchange;

class CDialog : public CWnd
{
public:
    explicit CDialog(UINT nIDTemplate = 0, CWnd* pParent = nullptr);

    // The EndDialog code, or -1 when the dialog could not be made. An
    // auto-deleting dialog is gone when this returns.
    virtual INT_PTR DoModal();
    // A modeless dialog owned by pParent, else by the main window.
    virtual BOOL Create(UINT nIDTemplate, CWnd* pParent = nullptr);
    void EndDialog(int nResult);
    bool IsModal() const { return m_bModal; }
    // The object deletes itself after its window's last message.
    void SetAutoDelete(bool bAutoDelete) { m_bAutoDelete = bAutoDelete; }

    // FALSE when a control holds a value its member cannot take: the user
    // has been told, the control has the focus, and the member is unchanged.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // Centres the dialog over the rectangle (screen coordinates), else over
    // its owner, kept inside the work area of the monitor it lands on.
    void CenterWindow(const RECT* prcOver = nullptr);

    // Runs after the initialisation of every top-level dialog and property
    // sheet of the program (the themed look); null: none.
    using InitDialogHook = void (*)(HWND hDlg);
    static void SetInitDialogHook(InitDialogHook pfnHook);
    static InitDialogHook GetInitDialogHook();

    // Fills the controls from the members; TRUE gives the first control the focus.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* pDX);
    // Tells the user why a control's value was refused.
    virtual void ReportDataError(const wchar_t* pszMessage);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    void PostNcDestroy() override;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;
    // OnInitDialog, then the program's hook for a top-level dialog.
    BOOL RunInitDialog();
    // The locked template of that id and the module it comes from; null when missing.
    static const DLGTEMPLATE* LoadTemplate(UINT nIDTemplate, HINSTANCE& hModule);
    // The procedure the system calls behind the object's own handling.
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    HWND OwnerWindow() const;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    bool m_bModal;
    bool m_bAutoDelete;
};
