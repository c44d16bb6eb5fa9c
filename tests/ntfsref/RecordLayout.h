// How a file's attributes are spread over its base record and its extension records, read
// through the seam from the bytes the file system hands out, so that the simulator's
// encoding and a real volume's can be set side by side.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ntfsref {

struct LAID_ATTRIBUTE
{
    LONGLONG llHolder;   // the record that holds it
    int nPosition;       // within the holder's attributes
    DWORD dwType;
    std::wstring strName;
    bool bNonResident;
    LONGLONG llLowestVcn;
    WORD wInstance;
};

struct RECORD_LAYOUT
{
    LONGLONG llBase = -1;
    bool bList = false;
    bool bListNonResident = false;
    std::vector<LAID_ATTRIBUTE> attributes; // in list order; the list itself left out

    // Every $FILE_NAME lies in an extension record.
    bool NamesInExtensions() const;
    // Every attribute of an extension record carries its position there as its instance.
    bool InstancesPerRecord() const;
    // The pieces of a stream after its first lie in extension records, each with an instance
    // other than the first piece's.
    bool ContinuationsOwnInstances() const;
    // How many pieces the stream of this type and name has.
    size_t Pieces(DWORD dwType, const std::wstring& strName) const;
};

// The layout of a base record of the volume behind hVolume; false when its records or its
// attribute list cannot be read.
bool ReadLayout(HANDLE hVolume, DWORD dwBytesPerRecord, DWORD dwBytesPerCluster, LONGLONG llRecord,
                RECORD_LAYOUT& layout);

} // namespace ntfsref
