// CDlgWelcome: the modeless welcome screen of a first start. It explains the
// first steps and offers the configuration wizard; it can be told not to
// come again.
#pragma once

#include "classlib/Dialog.h"
#include "classlib/String.h"

class ISettingsHost;

class CDlgWelcome : public CDialog
{
public:
    explicit CDlgWelcome(ISettingsHost& host);

    void DoDataExchange(CDataExchange* pDX) override;
    // Close, the close box and Escape alike.
    void OnOK() override;
    void OnCancel() override { OnOK(); }

    bool m_bDontShowAgain;
    CString m_strText;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;

private:
    ISettingsHost& m_host;
};
