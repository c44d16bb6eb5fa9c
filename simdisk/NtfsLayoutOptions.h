// Choices in how records are laid out where implementations of NTFS differ. The defaults are
// the simulator's own layout; each switch gives one that real volumes show, so that the
// engine meets it in tests.
#pragma once

struct SIM_NTFS_LAYOUT
{
    // A record that overflows moves its $FILE_NAME attributes to an extension record first;
    // its streams stay in the base record as far as they fit.
    bool bNamesMoveOutFirst = false;
    // Attributes in an extension record are numbered within that record, so the pieces of a
    // stream split over several records carry instance numbers of their own.
    bool bInstancesPerRecord = false;
    // An attribute list lies in clusters even when it would fit in the base record.
    bool bListAlwaysNonResident = false;
};
