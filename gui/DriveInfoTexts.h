// The label and value texts of the drive-information dialog.
#pragma once

#include "classlib/String.h"

#include <vector>

class CNetDefragPartitionInfo;

struct DRIVE_INFO_FIELD
{
    UINT nLabelId;  // the label's control
    UINT nLabelText; // its string
    UINT nValueId;  // the value's control
};

// The thirteen pairs, in the dialog's order.
extern const DRIVE_INFO_FIELD kDriveInfoFields[13];

class CDriveInfoTexts
{
public:
    // The values in the order of kDriveInfoFields: sizes in MB (bytes shifted
    // right by 20), a number the volume does not know (-1) as a blank.
    static std::vector<CString> Values(const CNetDefragPartitionInfo& info);
    // What the dialog shows while the request is out: "Searching...", the
    // other texts empty and the numbers 0.
    static std::vector<CString> Searching();
};
