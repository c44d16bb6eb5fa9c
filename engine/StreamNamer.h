// CStreamNamer: names the streams of the record a reader has loaded, the way the reader's
// stream paths do, behind a root. The record's own path, which names its unnamed data and its
// directory index, is built once per record however many streams ask for it, and each
// directory's path once per walk: a walk of the reader's name cache for every file costs more
// than the rest of the file's analysis.
#pragma once

#include <windows.h>

#include <cstdint>
#include <unordered_map>

#include "engine/UnicodeString.h"

class CNtfsRecordReader;

class CStreamNamer
{
public:
    CStreamNamer(CNtfsRecordReader& reader, const CUnicodeString& strRoot) : m_reader(reader), m_strRoot(strRoot) {}
    CStreamNamer(const CStreamNamer&) = delete;
    CStreamNamer& operator=(const CStreamNamer&) = delete;

    // Forgets the path of the previous record.
    void Begin(int64_t llRecord);
    // The root and the stream's path, valid until the next call; empty for a record without
    // a name.
    const CUnicodeString& Name(const BYTE* pAttribute);
    // The path Name gave last.
    const CUnicodeString& LastName() const { return *m_pLast; }

    static DWORD TypeOf(const BYTE* pAttribute);
    static bool IsUnnamedData(const BYTE* pAttribute);
    // The code that IsUnmovableSystemAttribute and the zone-extent list know an attribute by.
    static int AttributeCode(const BYTE* pAttribute);

private:
    static bool IsNamedByRecord(const BYTE* pAttribute);
    void Join(CUnicodeString& strOut) const;
    bool BuildRecordPath();
    const CUnicodeString* DirectoryPath(int64_t llDirectory);

    CNtfsRecordReader& m_reader;
    CUnicodeString m_strRoot;
    int64_t m_llRecord = -1;
    bool m_bRecordPathBuilt = false;
    CUnicodeString m_strRecordPath;
    CUnicodeString m_strStreamPath;
    CUnicodeString m_strRelative;
    const CUnicodeString* m_pLast = &m_strRecordPath;
    // Directory record to its path relative to the root, ending in a backslash; empty when
    // the reader cannot build it.
    std::unordered_map<int64_t, CUnicodeString> m_directories;
};
