// CCmdTarget: an object that commands and command-state queries are routed to.
// OnCmdMsg is the route; HandleCommand holds a class's own entries, and each
// class overrides it and falls back to its base.
#pragma once

#include "classlib/Object.h"

#include <windows.h>

// Codes of OnCmdMsg besides the control notification codes of WM_COMMAND,
// which are 16-bit and never negative.
constexpr int CN_COMMAND = 0;
constexpr int CN_UPDATE_COMMAND_UI = -1;
// A control's WM_NOTIFY. Its own codes are negative too (NM_OUTOFMEMORY is
// -1), so they never travel as the route's code: pExtra is an stNotifyInfo
// with the header, which holds the code, and the answer to fill.
constexpr int CN_NOTIFY = -2;

struct stNotifyInfo
{
    NMHDR* pHeader;
    LRESULT* pResult;
};

class CCmdUI;

class CCmdTarget : public CObject
{
public:
    // pExtra is the CCmdUI for CN_UPDATE_COMMAND_UI, the stNotifyInfo for
    // CN_NOTIFY, else null.
    virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra)
    {
        return HandleCommand(nID, nCode, pExtra);
    }

protected:
    virtual BOOL HandleCommand(UINT /*nID*/, int /*nCode*/, void* /*pExtra*/) { return FALSE; }
};
