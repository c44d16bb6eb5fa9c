// CUpdateOptions: the updater's command line after it was split into fields:
// /N: product name, /U: URL of the version description, /V: installed version.
#pragma once

#include <string>
#include <vector>

class CUpdateOptions
{
public:
    // Field 0 (the program) is skipped. Returns false when a field of another
    // letter ended the set-up: nothing is to be fetched then. Values read
    // before that field are kept.
    bool Parse(const std::vector<std::u16string>& vecFields);

    const std::u16string& GetProductName() const { return m_strProductName; }
    const std::u16string& GetUrl() const { return m_strUrl; }
    const std::u16string& GetVersion() const { return m_strVersion; }

private:
    std::u16string m_strProductName;
    std::u16string m_strUrl;
    std::u16string m_strVersion;
};
