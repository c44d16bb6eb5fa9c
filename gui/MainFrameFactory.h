// Makes the program's main frame for the start-up, and reaches the one
// operation of it that the application's own command needs.
#pragma once

class CFrameWnd;
class CWnd;

// A frame object whose window is not made yet; it deletes itself with its window.
CFrameWnd* NewMainFrame();
// Flips the computer-tree mode of the main frame.
void ToggleMainFrameNetworkMode(CWnd* pMainWnd);
