// CCmdTarget: an object that commands and command-state queries are routed to.
// OnCmdMsg is the route; HandleCommand holds a class's own entries, and each
// class overrides it and falls back to its base.
#pragma once

#include "classlib/Object.h"

#include <windows.h>

// Codes of OnCmdMsg besides the control notification codes.
constexpr int CN_COMMAND = 0;
constexpr int CN_UPDATE_COMMAND_UI = -1;

class CCmdUI;

class CCmdTarget : public CObject
{
public:
    // pExtra is the CCmdUI for CN_UPDATE_COMMAND_UI, else null.
    virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra)
    {
        return HandleCommand(nID, nCode, pExtra);
    }

protected:
    virtual BOOL HandleCommand(UINT /*nID*/, int /*nCode*/, void* /*pExtra*/) { return FALSE; }
};
