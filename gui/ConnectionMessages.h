// The drive list view's private messages. WM_SERVER_DATA (2334) is shared
// with the toolkit's message pump, which holds it back while it pumps.
#pragma once

#include "guitoolkit/GuiUtilities.h"

#include <windows.h>

// The connection broke or the peer is incompatible: disconnect and reset.
// A wParam of ServerLostRetry asks for the retry timer afterwards, for a loss
// the user did not ask for and a peer that may come back.
constexpr UINT WM_SERVER_LOST = 2335;
constexpr WPARAM ServerLostRetry = 1;
// Forget the right-clicked row, once the context menu's command has run.
constexpr UINT WM_CONTEXTMENU_DONE = 2336;
