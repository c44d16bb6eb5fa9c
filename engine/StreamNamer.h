// CStreamNamer: names the streams of the record a reader has loaded, the way the reader's
// stream paths do, behind a root. The record's own path, which names its unnamed data and its
// directory index, is found once per record however many streams ask for it, and put together
// only when asked for whole, into a buffer that is kept from record to record; each
// directory's path is built once per walk, from its parent's, and kept in one block of text: a
// walk of the reader's name cache and an allocation for every file cost more than the rest of
// the file's analysis.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "base/UnicodeString.h"

class CNtfsRecordReader;

class CStreamNamer
{
public:
    CStreamNamer(CNtfsRecordReader& reader, const CUnicodeString& strRoot);
    CStreamNamer(const CStreamNamer&) = delete;
    CStreamNamer& operator=(const CStreamNamer&) = delete;

    // Forgets the path of the previous record.
    void Begin(int64_t llRecord);
    // The length of the root and the stream's path, 0 for a stream without a path, found
    // without putting the path together: most streams never need it whole. At reads it.
    int Locate(const BYTE* pAttribute);
    // The letter at nIndex of the path located last; L'\0' past its end.
    wchar_t At(int nIndex) const;
    // The root and the stream's path, zero-terminated, valid until the next call; nLength 0 and
    // an empty text for a stream without a path.
    const wchar_t* Path(const BYTE* pAttribute, int& nLength);
    // The same as a string, for callers that keep it.
    const CUnicodeString& Name(const BYTE* pAttribute);
    // Keeps what the path located last needs of the record, before the reader loads another;
    // without it, Begin forgets that path.
    void EndRecord();
    // The path Locate, Path or Name found last.
    CUnicodeString LastName() const;

    static DWORD TypeOf(const BYTE* pAttribute);
    static bool IsUnnamedData(const BYTE* pAttribute);
    // The code that IsUnmovableSystemAttribute and the zone-extent list know an attribute by.
    static int AttributeCode(const BYTE* pAttribute);

private:
    // A directory's path relative to the root, ending in a backslash, in m_text; a length of
    // NoPath when it cannot be built.
    struct DIRECTORY_PATH
    {
        int64_t llRecord;   // NoRecord in a free slot
        size_t nOffset;
        int nLength;
        // The path's first letter, which the kind of a file in it turns on: the text is far
        // from the slot, and most files are judged without it.
        wchar_t chFirst;
    };
    struct PENDING_DIRECTORY
    {
        int64_t llRecord;
        const CUnicodeString* pName;
    };
    static constexpr int64_t NoRecord = -1;
    static constexpr int NoPath = -1;

    // Which path was located last.
    enum class LAST { None, Record, Stream };

    static bool IsNamedByRecord(const BYTE* pAttribute);
    // The record's path in pieces: the root, its directory's path in m_text and its name.
    bool LocateRecordPath();
    void BuildRecordPath();
    // Null when the directory has no path, as the reader's BuildPath would find.
    const DIRECTORY_PATH* DirectoryPath(int64_t llDirectory);
    const DIRECTORY_PATH* BuildDirectoryPaths(int64_t llDirectory);
    DIRECTORY_PATH* Slot(int64_t llRecord);
    const DIRECTORY_PATH* Keep(int64_t llRecord, size_t nOffset, int nLength);
    bool SetText(std::vector<wchar_t>& text, const wchar_t* pszRelative, int nRelative, int& nLength) const;

    CNtfsRecordReader& m_reader;
    CUnicodeString m_strRoot;
    int64_t m_llRecord = NoRecord;
    bool m_bRecordLocated = false;
    bool m_bRecordPathBuilt = false;
    // The pieces of the record path located last; its name lies in the loaded record until
    // EndRecord copies it.
    int m_nRecordPath = 0;
    size_t m_nDirectoryOffset = 0;
    int m_nDirectory = 0;
    wchar_t m_chDirectoryFirst = L'\0';
    const wchar_t* m_pszName = nullptr;
    int m_nName = 0;
    bool m_bNameInRecord = false;
    std::vector<wchar_t> m_keptName;
    std::vector<wchar_t> m_recordPath;
    int m_nStreamPath = 0;
    std::vector<wchar_t> m_streamPath;
    LAST m_eLast = LAST::None;
    CUnicodeString m_strRelative;
    CUnicodeString m_strName;
    // Open addressing keyed by directory record, half full at most; the paths in one block.
    std::vector<DIRECTORY_PATH> m_slots;
    size_t m_nKept = 0;
    std::vector<wchar_t> m_text;
    std::vector<PENDING_DIRECTORY> m_pending;
};
