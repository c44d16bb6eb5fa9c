// Ids of the graphical program's resources.
#pragma once

// The program's own message box and its text.
#define IDD_DEFRAG_MESSAGEBOX 45
#define IDC_MESSAGEBOX_TEXT 249

// The application's name in captions (the class library's title string).
#define IDS_APP_TITLE 57344

// The computer tree: its context menu and the accelerators that act while it
// has the focus (67), its menu icons, the add-computer dialog, and its names.
#define IDR_COMP_TREE 67
#define IDB_COMP_TREE 24
#define IDD_ADD_COMPUTER 28
#define IDC_COMPUTER_ADDRESS 248
#define IDC_COMPUTER_NAME 250
#define IDC_COMPUTER_PORT 252
#define IDS_NEW_FOLDER 95
#define IDS_MY_COMPUTER 131
#define ID_COMPUTER_ADD 32777
#define ID_FOLDER_ADD 32778
#define ID_COMPUTER_DELETE 32836
#define ID_COMPUTER_CHANGE 32839
#define ID_COMPUTER_CONNECT 32842
#define ID_EDIT_COPY 57634
#define ID_EDIT_CUT 57635
#define ID_EDIT_PASTE 57637
