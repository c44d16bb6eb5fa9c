#include "ProbeLog.h"

#include <windows.h>

CProbeLog::~CProbeLog()
{
    if (m_pFile != nullptr)
        fclose(m_pFile);
}

bool CProbeLog::Open(const std::wstring& strPath)
{
    m_pFile = _wfopen(strPath.c_str(), L"wb");
    return m_pFile != nullptr;
}

void CProbeLog::Line(const std::wstring& strLine)
{
    std::string utf8;
    if (!strLine.empty())
    {
        int nBytes = ::WideCharToMultiByte(CP_UTF8, 0, strLine.data(), static_cast<int>(strLine.size()), nullptr, 0,
                                           nullptr, nullptr);
        if (nBytes > 0)
        {
            utf8.resize(nBytes);
            ::WideCharToMultiByte(CP_UTF8, 0, strLine.data(), static_cast<int>(strLine.size()), &utf8[0], nBytes,
                                  nullptr, nullptr);
        }
    }
    utf8 += '\n';
    if (m_pFile != nullptr)
    {
        fwrite(utf8.data(), 1, utf8.size(), m_pFile);
        fflush(m_pFile);
    }
}
