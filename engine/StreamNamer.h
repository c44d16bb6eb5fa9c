// CStreamNamer: names the streams of the record a reader has loaded, the way the reader's
// stream paths do, behind a root. The record's own path, which names its unnamed data and its
// directory index, is built once per record however many streams ask for it.
#pragma once

#include <windows.h>

#include <cstdint>

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
    // The root and the stream's path; false, with an empty path, for a record without a name.
    bool Name(const BYTE* pAttribute, CUnicodeString& strPath);

    static DWORD TypeOf(const BYTE* pAttribute);
    static bool IsUnnamedData(const BYTE* pAttribute);
    // The code that IsUnmovableSystemAttribute and the zone-extent list know an attribute by.
    static int AttributeCode(const BYTE* pAttribute);

private:
    static bool IsNamedByRecord(const BYTE* pAttribute);

    CNtfsRecordReader& m_reader;
    CUnicodeString m_strRoot;
    int64_t m_llRecord = -1;
    bool m_bRecordPathBuilt = false;
    bool m_bRecordNamed = false;
    CUnicodeString m_strRecordPath;
    CUnicodeString m_strRelative;
};
