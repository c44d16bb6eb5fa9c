#include "updater/LanguageModule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring String130(HINSTANCE hModule)
{
    wchar_t szText[64] = {};
    ::LoadStringW(hModule != NULL ? hModule : ::GetModuleHandleW(nullptr), 130, szText, 64);
    return szText;
}

TEST(LanguageModule, NamesTriedForALanguage)
{
    EXPECT_EQ(CLanguageModule::LibraryName(0x807), L"Update807.dll");
    EXPECT_EQ(CLanguageModule::LibraryName(0x807 & 0x3FF), L"Update07.dll");
    EXPECT_EQ(CLanguageModule::LibraryName((0x807 & 0x3FF) | 0x400), L"Update407.dll");
    EXPECT_EQ(CLanguageModule::LibraryName(0x40C), L"Update40c.dll");
}

TEST(LanguageModule, UserLanguageThenSystemLanguageThenOwnResources)
{
    const struct
    {
        LANGID nUser;
        LANGID nSystem;
        bool bFound;
        const wchar_t* pszText;
    } aCases[] = {
        {0x0409, 0x0807, true, L"Update now?"},
        {0x0807, 0x0409, true, L"Jetzt aktualisieren?"},
        {0x0407, 0x0409, true, L"Jetzt aktualisieren?"},
        {0x040C, 0x0409, true, L"Update now?"},
        {0x040C, 0x0C07, true, L"Jetzt aktualisieren?"},
        {0x040C, 0x0410, false, L"Update now?"},
    };
    for (const auto& test : aCases)
    {
        SCOPED_TRACE(testing::Message() << std::hex << test.nUser << " " << test.nSystem);
        CLanguageModule module;
        EXPECT_EQ(module.Load(test.nUser, test.nSystem), test.bFound);
        EXPECT_EQ(String130(module.Get()), test.pszText);
    }
}

} // namespace
