// Resource and command ids of the stand-in program, shared with its resource script.
#pragma once

#define IDR_STANDIN 100
#define IDR_CONTEXT 101
#define IDD_ANALYZE 200
#define IDC_MESSAGE 249
#define IDC_NOTE 251
// A tab control in the dialog, and a check box it hosts, whose id is also the dialog's Cancel.
#define IDC_PAGES 1020
#define IDC_MARK 2

#define ID_CONTEXT_MENU 999
#define ID_ANALYZE 32773
#define ID_START 32775
#define ID_STOP 32776
#define ID_CRASH 32999
#define ID_APP_EXIT 57665

#define IDW_STATUS_BAR 59393
#define IDW_LIST 59648
