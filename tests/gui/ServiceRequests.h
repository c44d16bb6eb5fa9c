// What a program under test sent to a service served in the test's own process.
#pragma once

#include "tests/transport/TransportTestSupport.h"

#include <cstdint>

class CNetDefragObject;

// Long enough for a loaded machine.
const DWORD RequestWaitMs = 60000;

// The command of the next message the service receives, or 0 when none came. When it is
// nObjectCommand, its object is read into pObject.
int32_t ReceiveCommand(CTestEndpoint& server, int32_t nObjectCommand = 0, CNetDefragObject* pObject = nullptr);
