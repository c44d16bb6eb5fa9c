// CUpdateDlg: the updater's only window. It shows what the look for a newer
// version found and, on OK, downloads the installer into the temporary folder
// with its progress, then starts it.
#pragma once

#include "classlib/Controls.h"
#include "classlib/Dialog.h"
#include "classlib/ProgressCtrl.h"
#include "updater/AppUpdate.h"
#include "updater/HyperLinkCtrl.h"
#include "updater/UpdateCheck.h"

#include <cstdint>
#include <string>

class CUpdateDlg : public CDialog
{
public:
    // The command line is split as the program's own (field 0 is the program).
    explicit CUpdateDlg(const wchar_t* pszCommandLine, CWnd* pParent = nullptr);

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

protected:
    // Starts the downloaded file; false when it could not be started.
    virtual bool StartTarget(const std::wstring& strPath);

private:
    void ShowView(const stUpdateView& view);
    void ShowStatus(UINT nTextId);
    void HideLink();
    void SetProgressRange(uint64_t nBytes);
    void SetProgressPos(uint64_t nBytes);
    void OnProgress(uint64_t nBytes);
    void OnDone(uint64_t nBytes, int nResult);
    void OnPaintIconic();
    static std::wstring LoadText(UINT nId);

    std::wstring m_strCommandLine;
    std::wstring m_strDownloadUrl;
    HICON m_hIcon;
    stContentLength m_stSize;
    CProgressCtrl m_progress;
    std::wstring m_strTargetPath;
    CEdit m_whatsNew;
    CHyperLinkCtrl m_link;
    CAppUpdate m_update;
    // The progress bar takes 32-bit positions: byte counts are shifted right
    // by this much so that the largest one fits.
    unsigned m_nProgressShift;
    uint64_t m_nProgressRange;
    // Set once the dialog is ending: a done message that arrives after a
    // cancel must neither start a file nor end the dialog twice.
    bool m_bEnding;
};
