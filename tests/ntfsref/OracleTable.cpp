#include "tests/ntfsref/OracleTable.h"

#include <fstream>
#include <sstream>

namespace ntfsref {
namespace {

std::wstring Wide(const std::string& str)
{
    if (str.empty())
        return std::wstring();
    int nLength = ::MultiByteToWideChar(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), nullptr, 0);
    std::wstring strWide(nLength, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), &strWide[0], nLength);
    return strWide;
}

std::string Narrow(const std::wstring& str)
{
    int nLength = ::WideCharToMultiByte(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), nullptr, 0, nullptr, nullptr);
    std::string strNarrow(nLength, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), &strNarrow[0], nLength, nullptr, nullptr);
    return strNarrow;
}

std::vector<std::string> Fields(const std::string& strLine)
{
    std::vector<std::string> fields;
    std::string strField;
    std::istringstream in(strLine);
    while (std::getline(in, strField, '\t'))
        fields.push_back(strField);
    if (!strLine.empty() && strLine.back() == '\t')
        fields.push_back(std::string());
    return fields;
}

LONGLONG Number(const std::string& str) { return std::stoll(str); }

} // namespace

std::wstring ImagePath(const char* pszImage, const char* pszExtension)
{
    // Wine shows the host's file system as drive Z:.
    std::string strPath = std::string("Z:") + NTFSREF_IMAGES + "/" + pszImage + pszExtension;
    for (char& ch : strPath)
        ch = ch == '/' ? '\\' : ch;
    return Wide(strPath);
}

bool LoadOracle(const std::wstring& strPath, ORACLE_VOLUME& volume, std::string& strError)
{
    std::ifstream in(Narrow(strPath));
    if (!in)
    {
        strError = "cannot read " + Narrow(strPath);
        return false;
    }
    std::string strLine;
    ORACLE_ATTRIBUTE* pLast = nullptr;
    bool bVolume = false;
    for (int nLine = 1; std::getline(in, strLine); ++nLine)
    {
        std::vector<std::string> f = Fields(strLine);
        try
        {
            if (f.size() == 3 && f[0] == "record")
                volume.records[Number(f[1])].bDirectory = f[2] == "1";
            else if (f.size() == 5 && f[0] == "name")
                volume.records[Number(f[1])].names.push_back(
                    {Number(f[2]), static_cast<int>(Number(f[3])), Wide(f[4])});
            else if (f.size() == 9 && f[0] == "attr")
            {
                auto& attributes = volume.records[Number(f[1])].attributes;
                attributes.push_back({Number(f[2]), static_cast<DWORD>(Number(f[3])), f[4] == "1", Number(f[5]),
                                      Number(f[6]), Number(f[7]), Wide(f[8]), {}});
                pLast = &attributes.back();
            }
            else if (f.size() == 5 && f[0] == "run" && pLast != nullptr)
                pLast->runs.push_back({Number(f[2]), Number(f[3]), Number(f[4])});
            else if (f.size() == 7 && f[0] == "volume")
            {
                volume.nMajor = static_cast<int>(Number(f[1]));
                volume.nMinor = static_cast<int>(Number(f[2]));
                volume.dwFlags = static_cast<DWORD>(Number(f[3]));
                volume.dwBytesPerCluster = static_cast<DWORD>(Number(f[4]));
                volume.dwBytesPerRecord = static_cast<DWORD>(Number(f[5]));
                volume.dwBytesPerSector = static_cast<DWORD>(Number(f[6]));
                bVolume = true;
            }
            else
            {
                strError = "line " + std::to_string(nLine) + " is not understood: " + strLine;
                return false;
            }
        }
        catch (const std::exception&)
        {
            strError = "line " + std::to_string(nLine) + " has a bad number: " + strLine;
            return false;
        }
    }
    if (!bVolume || volume.records.empty())
    {
        strError = Narrow(strPath) + " is incomplete";
        return false;
    }
    return true;
}

const ORACLE_NAME* UsableName(const ORACLE_RECORD& record)
{
    for (const ORACLE_NAME& name : record.names)
        if (name.nNamespace != 2)
            return &name;
    return nullptr;
}

std::wstring OraclePath(const ORACLE_VOLUME& volume, const ORACLE_NAME& name)
{
    std::wstring strPath = name.strName;
    LONGLONG llParent = name.llParent;
    for (size_t nDepth = 0; llParent != 5; ++nDepth)
    {
        auto it = volume.records.find(llParent);
        const ORACLE_NAME* pName = it != volume.records.end() ? UsableName(it->second) : nullptr;
        if (pName == nullptr || nDepth > volume.records.size())
            return std::wstring();
        strPath = pName->strName + L"\\" + strPath;
        llParent = pName->llParent;
    }
    return strPath;
}

} // namespace ntfsref
