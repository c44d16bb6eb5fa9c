// The driver's log: one line a step and its details, in UTF-8, written through at once so
// that a run that is stopped from outside still leaves everything said so far.
#pragma once

#include <cstdio>
#include <string>

class CProbeLog
{
public:
    CProbeLog() = default;
    ~CProbeLog();
    CProbeLog(const CProbeLog&) = delete;
    CProbeLog& operator=(const CProbeLog&) = delete;

    bool Open(const std::wstring& strPath);
    void Line(const std::wstring& strLine);

private:
    FILE* m_pFile = nullptr;
};
