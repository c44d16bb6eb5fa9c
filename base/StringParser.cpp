#include "base/StringParser.h"

#include <climits>
#include <cstdlib>

namespace
{
// One scan over the text. Without output buffers it only counts the fields
// and the characters they need; with them it also stores the fields.
class CFieldScanner
{
public:
    CFieldScanner(const CStringParserOptions& options, wchar_t** ppFields, wchar_t* pChars)
        : m_options(options), m_ppFields(ppFields), m_pChars(pChars), m_nFields(0), m_nChars(0),
          m_bQuoting(false)
    {
    }

    void Scan(const wchar_t* p);
    size_t GetFieldCount() const { return m_nFields; }
    size_t GetCharCount() const { return m_nChars; }

private:
    void BeginField()
    {
        if (m_ppFields != nullptr)
            m_ppFields[m_nFields] = m_pChars + m_nChars;
    }
    void EndField()
    {
        Emit(L'\0');
        ++m_nFields;
    }
    void Emit(wchar_t ch)
    {
        if (m_pChars != nullptr)
            m_pChars[m_nChars] = ch;
        ++m_nChars;
    }
    void EmitRepeated(wchar_t ch, size_t nCount)
    {
        for (size_t i = 0; i < nCount; ++i)
            Emit(ch);
    }
    const wchar_t* TakeEscapes(const wchar_t* p);
    const wchar_t* TakeQuote(const wchar_t* p);

    const CStringParserOptions& m_options;
    wchar_t** m_ppFields;
    wchar_t* m_pChars;
    size_t m_nFields;
    size_t m_nChars;
    bool m_bQuoting;
};

void CFieldScanner::Scan(const wchar_t* p)
{
    if (m_options.IsQuote(p[0]) && p[1] != L'\0')
    {
        m_bQuoting = true;
        ++p;
    }
    bool bEndsWithSeparator = false;
    BeginField();
    while (*p != L'\0')
    {
        if (m_options.IsEscape(*p))
            p = TakeEscapes(p);
        else if (m_options.IsQuote(*p))
            p = TakeQuote(p);
        else if (!m_bQuoting && *p == m_options.GetSeparator())
        {
            EndField();
            ++p;
            if (m_options.IsCollapsingSeparators())
                while (*p == m_options.GetSeparator())
                    ++p;
            if (*p == L'\0')
            {
                bEndsWithSeparator = true;
                break;
            }
            BeginField();
        }
        else
            Emit(*p++);
    }
    if (!bEndsWithSeparator)
        EndField();
    else if (!m_options.IsIgnoringTrailingSeparator())
    {
        BeginField();
        EndField();
    }
}

const wchar_t* CFieldScanner::TakeEscapes(const wchar_t* p)
{
    wchar_t chEscape = *p;
    size_t nRun = 0;
    while (m_options.IsEscape(*p))
    {
        ++nRun;
        ++p;
    }
    if (!m_options.IsQuote(*p))
    {
        EmitRepeated(chEscape, nRun);
        return p;
    }
    // Escapes in front of a quote escape each other in pairs; one left over
    // makes the quote a plain character.
    EmitRepeated(chEscape, nRun / 2);
    if (nRun % 2 == 0)
        return TakeQuote(p);
    Emit(*p);
    return p + 1;
}

const wchar_t* CFieldScanner::TakeQuote(const wchar_t* p)
{
    if (m_bQuoting)
    {
        m_bQuoting = false;
        // A doubled quote that closes quoting stands for one plain quote.
        if (m_options.IsQuote(p[1]))
        {
            Emit(p[1]);
            return p + 2;
        }
    }
    else
        m_bQuoting = true;
    if (m_options.IsKeepingQuotes())
        Emit(*p);
    return p + 1;
}
}

CStringParser::CStringParser() : m_pBlock(nullptr), m_ppFields(nullptr), m_nCount(0)
{
}

CStringParser::~CStringParser()
{
    Free();
}

int CStringParser::Split(const wchar_t* pszText, const CStringParserOptions& options)
{
    Free();
    if (pszText == nullptr || *pszText == L'\0')
        return 0;

    CFieldScanner counter(options, nullptr, nullptr);
    counter.Scan(pszText);
    size_t nFields = counter.GetFieldCount();
    size_t nChars = counter.GetCharCount();
    size_t nPointerBytes = (nFields + 1) * sizeof(wchar_t*);
    if (nFields >= INT32_MAX || nChars > (SIZE_MAX - nPointerBytes) / sizeof(wchar_t))
    {
        ::SetLastError(ERROR_OUTOFMEMORY);
        return 0;
    }
    m_pBlock = std::malloc(nPointerBytes + nChars * sizeof(wchar_t));
    if (m_pBlock == nullptr)
    {
        ::SetLastError(ERROR_OUTOFMEMORY);
        return 0;
    }
    m_ppFields = static_cast<wchar_t**>(m_pBlock);
    CFieldScanner filler(options, m_ppFields,
                         reinterpret_cast<wchar_t*>(static_cast<BYTE*>(m_pBlock) + nPointerBytes));
    filler.Scan(pszText);
    m_ppFields[nFields] = nullptr;
    m_nCount = static_cast<int32_t>(nFields);
    return m_nCount;
}

const wchar_t* CStringParser::GetAt(int nIndex) const
{
    if (nIndex < 0 || nIndex >= m_nCount)
        return nullptr;
    return m_ppFields[nIndex];
}

void CStringParser::Free()
{
    std::free(m_pBlock);
    m_pBlock = nullptr;
    m_ppFields = nullptr;
    m_nCount = 0;
}
