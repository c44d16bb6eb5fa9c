#include "updater/LanguageModule.h"

#include <cwchar>

namespace
{
constexpr LANGID OwnLanguage = 0x0409;
}

CLanguageModule::~CLanguageModule()
{
    if (m_hModule != NULL)
        ::FreeLibrary(m_hModule);
}

bool CLanguageModule::Load(LANGID nUserLanguage, LANGID nSystemLanguage)
{
    return LoadFor(nUserLanguage) || LoadFor(nSystemLanguage);
}

bool CLanguageModule::LoadFor(LANGID nLanguage)
{
    if (nLanguage == OwnLanguage)
        return true;
    unsigned nPrimary = nLanguage & 0x3FFu;
    for (unsigned nId : {static_cast<unsigned>(nLanguage), nPrimary, nPrimary | 0x400u})
    {
        // As data: a language library is read, never run.
        HMODULE hModule = ::LoadLibraryExW(LibraryName(nId).c_str(), NULL,
                                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (hModule != NULL)
        {
            m_hModule = hModule;
            return true;
        }
    }
    return false;
}

std::wstring CLanguageModule::LibraryName(unsigned nId)
{
    wchar_t szName[32];
    std::swprintf(szName, 32, L"Update%.2x.dll", nId);
    return szName;
}
