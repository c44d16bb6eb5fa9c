// CClientInfo: the modeless window with the service's version.
#pragma once

#include "classlib/Dialog.h"

class CNetDefragVersionInfo;

class CClientInfo : public CDialog
{
public:
    explicit CClientInfo(CWnd* pParent);

    // "Searching..." while the request is out.
    void Reset();
    void Fill(const CNetDefragVersionInfo& version);
};
