// What ntfsinfo reported about a real volume, read from the table that make-images.sh wrote
// next to the image (oracle.awk describes its lines).
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace ntfsref {

struct ORACLE_RUN
{
    LONGLONG llVcn;
    LONGLONG llLcn; // -1 for a sparse run
    LONGLONG llLength;
    bool operator==(const ORACLE_RUN& o) const { return llVcn == o.llVcn && llLcn == o.llLcn && llLength == o.llLength; }
};

struct ORACLE_ATTRIBUTE
{
    LONGLONG llHolder; // the record that holds it: the base record or an extension record
    DWORD dwType;
    bool bNonResident;
    LONGLONG llLowestVcn;
    LONGLONG llHighestVcn;
    LONGLONG llDataSize; // -1 in the pieces of a split stream after the first
    std::wstring strName;
    std::vector<ORACLE_RUN> runs;
};

struct ORACLE_NAME
{
    LONGLONG llParent;
    int nNamespace;
    std::wstring strName;
};

struct ORACLE_RECORD
{
    bool bDirectory = false;
    std::vector<ORACLE_NAME> names;
    std::vector<ORACLE_ATTRIBUTE> attributes; // in the order ntfsinfo walks them: list order
};

struct ORACLE_VOLUME
{
    int nMajor = 0;
    int nMinor = 0;
    DWORD dwFlags = 0;
    DWORD dwBytesPerCluster = 0;
    DWORD dwBytesPerRecord = 0;
    DWORD dwBytesPerSector = 0;
    std::map<LONGLONG, ORACLE_RECORD> records; // the base records in use
};

// The path of an image or table made by make-images.sh ("small512", ".img").
std::wstring ImagePath(const char* pszImage, const char* pszExtension);

bool LoadOracle(const std::wstring& strPath, ORACLE_VOLUME& volume, std::string& strError);

// The first name that is not a DOS-only one, or null.
const ORACLE_NAME* UsableName(const ORACLE_RECORD& record);

// The path of a record by the first usable names of its parents; the root's files have their
// name alone, as the reader gives them. Empty when a parent is missing.
std::wstring OraclePath(const ORACLE_VOLUME& volume, const ORACLE_NAME& name);

} // namespace ntfsref
