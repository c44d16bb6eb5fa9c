// CLanguageModule: the updater's resource library for the user's language.
// Its texts and dialog come from "Update<language>.dll" beside the program
// when one is there, else from the program itself.
#pragma once

#include <windows.h>

#include <string>

class CLanguageModule
{
public:
    CLanguageModule() : m_hModule(NULL) {}
    ~CLanguageModule();
    CLanguageModule(const CLanguageModule&) = delete;
    CLanguageModule& operator=(const CLanguageModule&) = delete;

    // Tries the user's language, then the system's; false when neither has a
    // library, and the program's own resources serve.
    bool Load(LANGID nUserLanguage, LANGID nSystemLanguage);
    // The library, or null for the program's own resources.
    HINSTANCE Get() const { return m_hModule; }

    // The names tried for a language, in order: the full id, the primary
    // language alone, and the primary language with the first sublanguage.
    static std::wstring LibraryName(unsigned nId);

private:
    // True when the language has its resources; English (United States)
    // is the program's own.
    bool LoadFor(LANGID nLanguage);

    HMODULE m_hModule;
};
