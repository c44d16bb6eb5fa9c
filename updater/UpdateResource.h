// Ids of the updater's resources, shared by its resource script and its code.
#pragma once

#define IDD_UPDATE 102
#define IDR_MAINFRAME 128

#define IDS_UPDATE_NOW 130
#define IDS_UPDATE_ERROR 131
#define IDS_FILE_NOT_FOUND 132
#define IDS_NEWEST_VERSION 133
#define IDS_CANNOT_CONNECT 134
#define IDS_NOTHING_NEW 135

#define IDC_UPDATE_PROGRESS 1000
#define IDC_INSTALLED_VERSION 1002
#define IDC_NEW_VERSION 1003
#define IDC_UPDATE_STATUS 1004
#define IDC_WHATS_NEW 1006
#define IDC_WHATS_NEW_GROUP 1008
#define IDC_MORE_INFORMATION 1009
