// The themed look that every dialog and property sheet of the program takes
// after its own initialisation: the tab texture behind its controls, through
// the visual-style function bound at start-up. Without that function the
// dialogs keep the plain look.
#pragma once

#include <windows.h>

void ApplyDialogTheme(HWND hDlg);
// From now on every dialog and sheet of the program runs ApplyDialogTheme.
void InstallDialogTheme();
