// The rows of the fragmented-files dialog: a drive's fragmented files with
// their fragment counts, in the order the service sent them (most first).
#pragma once

#include "classlib/String.h"

#include <vector>

class CNetDefragPartitionFragFiles;

struct stFragRow
{
    CString strName;      // as the service sent it, without the drive
    CString strShown;     // the drive followed by the name
    CString strFragments; // "%u"
};

class CFragRows
{
public:
    // The answer is read from its first entry on; it is left at its end.
    static std::vector<stFragRow> Build(CNetDefragPartitionFragFiles& answer);
    // key 1: the fragment counts as numbers (equal counts give -1, as the
    // list's comparison always did); 2: the names; negative for descending.
    static int Compare(const stFragRow& a, const stFragRow& b, int nKey);
};
