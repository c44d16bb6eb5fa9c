// CStringParserOptions and CStringParser: split a command line into fields
// with the quoting rules of the Windows command line. Field 0 of a program's
// own command line is the program's path as the command line gives it.
#pragma once

#include <windows.h>

#include <cstdint>

class CStringParserOptions
{
public:
    constexpr CStringParserOptions(wchar_t chSeparator, wchar_t chQuote, wchar_t chEscape,
                                   bool bCollapseSeparators, bool bIgnoreTrailingSeparator,
                                   bool bKeepQuotes)
        : m_chSeparator(chSeparator), m_chQuote(chQuote), m_chEscape(chEscape),
          m_bCollapseSeparators(bCollapseSeparators),
          m_bIgnoreTrailingSeparator(bIgnoreTrailingSeparator), m_bKeepQuotes(bKeepQuotes)
    {
    }

    wchar_t GetSeparator() const { return m_chSeparator; }
    wchar_t GetQuote() const { return m_chQuote; }
    wchar_t GetEscape() const { return m_chEscape; }
    bool IsCollapsingSeparators() const { return m_bCollapseSeparators; }
    bool IsIgnoringTrailingSeparator() const { return m_bIgnoreTrailingSeparator; }
    bool IsKeepingQuotes() const { return m_bKeepQuotes; }
    // A character of 0 means "none": nothing is a quote or an escape then.
    bool IsQuote(wchar_t ch) const { return m_chQuote != 0 && ch == m_chQuote; }
    bool IsEscape(wchar_t ch) const { return m_chEscape != 0 && ch == m_chEscape; }

private:
    wchar_t m_chSeparator;
    wchar_t m_chQuote;
    wchar_t m_chEscape;
    bool m_bCollapseSeparators;
    bool m_bIgnoreTrailingSeparator;
    bool m_bKeepQuotes;
};

// How the programs split their own command lines: fields between blanks,
// double quotes group, no escape character, runs of blanks count once.
inline constexpr CStringParserOptions g_parserPreset(L' ', L'"', 0, true, true, false);

class CStringParser
{
public:
    CStringParser();
    virtual ~CStringParser();
    CStringParser(const CStringParser&) = delete;
    CStringParser& operator=(const CStringParser&) = delete;

    // The field count; 0 for a null or empty text, and 0 with
    // ERROR_OUTOFMEMORY as the last error when the fields cannot be stored.
    int Split(const wchar_t* pszText, const CStringParserOptions& options);
    int GetCount() const { return m_nCount; }
    // Null outside 0 to count - 1.
    const wchar_t* GetAt(int nIndex) const;
    void Free();

private:
    // One allocation: count + 1 field pointers (the last one null), then
    // every field as a NUL-terminated text.
    void* m_pBlock;
    wchar_t** m_ppFields;
    int32_t m_nCount;
};
