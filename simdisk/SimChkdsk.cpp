#include "simdisk/SimChkdsk.h"

#include "simdisk/SimSystem.h"
#include "simdisk/SimVerifier.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// What the check reports, kept while it runs under the simulator's lock and handed to the
// caller's callback only once the lock is released: the callback may do anything, waiting for
// the caller's other threads and their calls into the seam included.
class CCheckReporter
{
public:
    explicit CCheckReporter(CSimChkdsk::PCALLBACK pfn) : m_pfn(pfn) {}

    void Line(const std::wstring& strLine) { m_reports.push_back({CSimChkdsk::CommandOutput, 0, strLine}); }
    void Progress(DWORD dwPercent) { m_reports.push_back({CSimChkdsk::CommandProgress, dwPercent, L""}); }
    void Done(bool bSuccess) { m_reports.push_back({CSimChkdsk::CommandDone, bSuccess ? 1u : 0u, L""}); }

    // Calls back in order until the callback answers false; a stopped check ends with a
    // failed done, or with nothing when bDoneAfterStop is false.
    void Deliver(bool bDoneAfterStop) const
    {
        for (const REPORT& report : m_reports)
        {
            if (report.nCommand == CSimChkdsk::CommandDone)
            {
                SendDone(report.dwValue != 0);
                return;
            }
            if (!Send(report))
            {
                if (bDoneAfterStop)
                    SendDone(false);
                return;
            }
        }
    }

private:
    struct REPORT
    {
        int nCommand;
        DWORD dwValue;
        std::wstring strLine;
    };

    bool Send(const REPORT& report) const
    {
        if (report.nCommand == CSimChkdsk::CommandProgress)
        {
            DWORD dwPercent = report.dwValue;
            return m_pfn(CSimChkdsk::CommandProgress, 0, &dwPercent) != FALSE;
        }
        // The checker's text arrives in the OEM code page, one line at a time.
        int nBytes = ::WideCharToMultiByte(CP_OEMCP, 0, report.strLine.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string strText(static_cast<size_t>(nBytes > 0 ? nBytes : 1), '\0');
        ::WideCharToMultiByte(CP_OEMCP, 0, report.strLine.c_str(), -1, &strText[0], nBytes, nullptr, nullptr);
        strText.back() = '\n';
        strText.push_back('\0');
        CSimChkdsk::TEXT_OUTPUT output = {1, &strText[0]};
        return m_pfn(CSimChkdsk::CommandOutput, 0, &output) != FALSE;
    }

    void SendDone(bool bSuccess) const
    {
        BOOLEAN bResult = bSuccess ? TRUE : FALSE;
        m_pfn(CSimChkdsk::CommandDone, 0, &bResult);
    }

    CSimChkdsk::PCALLBACK m_pfn;
    std::vector<REPORT> m_reports;
};

const wchar_t* const s_stages[] = {
    L"Checking the files and their clusters (stage 1 of 3)...",
    L"Checking the file records and indexes (stage 2 of 3)...",
    L"Checking the free space (stage 3 of 3)...",
};

// Checks the volume for real, with the volume's own proof, and records what a checker reports.
void CheckVolume(CSimSystem& system, const CSimVolume& volume, PWSTR pszRoot, CCheckReporter& reporter)
{
    SIM_FAULT fault;
    if (system.Fault(SIM_CALL::Checker, 0, pszRoot ? pszRoot : L"", -1, &fault))
    {
        // A failure before any progress, such as a volume that another program has locked.
        reporter.Line(L"Cannot lock the current drive.");
        reporter.Done(false);
        return;
    }
    reporter.Line(std::wstring(L"The type of the file system is ") + volume.FsName() + L".");
    reporter.Line(L"Volume label is " + volume.Label() + L".");
    CSimVerifier verifier(volume);
    int nStage = 0;
    verifier.m_fnProgress = [&](int nNewStage, int nPercent) {
        if (nNewStage != nStage)
        {
            nStage = nNewStage;
            reporter.Line(L"");
            reporter.Line(s_stages[nStage - 1]);
        }
        reporter.Progress(static_cast<DWORD>(nPercent));
        return true;
    };
    const bool bClean = verifier.Run();
    for (const std::wstring& strProblem : verifier.Problems())
        reporter.Line(L"  " + strProblem);
    const ULONGLONG ullKb = volume.BytesPerCluster() / 1024;
    reporter.Line(L"");
    reporter.Line(bClean ? L"The volume was checked and no problems were found."
                         : L"Problems were found on the volume; they were not corrected.");
    reporter.Line(L"  " + std::to_wstring(volume.TotalClusters() * ullKb) + L" KB total disk space.");
    reporter.Line(L"  " + std::to_wstring(volume.FreeClusters() * ullKb) + L" KB available on disk.");
    reporter.Line(L"  " + std::to_wstring(volume.BytesPerCluster()) + L" bytes in each allocation unit.");
    reporter.Done(bClean);
}

} // namespace

VOID WINAPI CSimChkdsk::ChkdskEx(PWSTR pszRoot, PWSTR, BOOLEAN, PVOID, PCALLBACK pfnCallback)
{
    Run(pszRoot, pfnCallback);
}

VOID WINAPI CSimChkdsk::Chkdsk(PWSTR pszRoot, PWSTR, BOOLEAN, BOOLEAN, BOOLEAN, BOOLEAN, PVOID, PVOID,
                               PCALLBACK pfnCallback)
{
    Run(pszRoot, pfnCallback);
}

FARPROC CSimChkdsk::EntryPoint(LPCSTR pszName)
{
    if (std::strcmp(pszName, "ChkdskEx") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&CSimChkdsk::ChkdskEx));
    if (std::strcmp(pszName, "Chkdsk") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&CSimChkdsk::Chkdsk));
    return nullptr;
}

void CSimChkdsk::Run(PWSTR pszRoot, PCALLBACK pfnCallback)
{
    if (!pfnCallback)
        return;
    CCheckReporter reporter(pfnCallback);
    CSimSystem* pSystem = CSimSystem::Active();
    CSimVolume* pVolume = pSystem ? pSystem->Parse(pszRoot).pVolume : nullptr;
    if (!pVolume)
    {
        reporter.Line(L"Cannot open the volume for direct access.");
        reporter.Done(false);
    }
    else
    {
        CSimLock lock(*pSystem);
        CheckVolume(*pSystem, *pVolume, pszRoot, reporter);
    }
    reporter.Deliver(!pSystem || pSystem->m_bCheckerDoneAfterStop);
}
