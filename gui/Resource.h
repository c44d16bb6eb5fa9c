// Ids of the graphical program's resources.
#pragma once

// The program's own message box and its text.
#define IDD_DEFRAG_MESSAGEBOX 45
#define IDC_MESSAGEBOX_TEXT 249

// The application's name in captions (the class library's title string).
#define IDS_APP_TITLE 57344
