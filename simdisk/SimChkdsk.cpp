#include "simdisk/SimChkdsk.h"

#include "simdisk/SimSystem.h"
#include "simdisk/SimVerifier.h"

#include <cstring>
#include <string>

namespace {

class CCheckReporter
{
public:
    explicit CCheckReporter(CSimChkdsk::PCALLBACK pfn) : m_pfn(pfn) {}

    bool Stopped() const { return m_bStopped; }

    void Line(const std::wstring& strLine)
    {
        if (m_bStopped)
            return;
        // The checker's text arrives in the OEM code page, one line at a time.
        int nBytes = ::WideCharToMultiByte(CP_OEMCP, 0, strLine.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string strText(static_cast<size_t>(nBytes > 0 ? nBytes : 1), '\0');
        ::WideCharToMultiByte(CP_OEMCP, 0, strLine.c_str(), -1, &strText[0], nBytes, nullptr, nullptr);
        strText.back() = '\n';
        strText.push_back('\0');
        CSimChkdsk::TEXT_OUTPUT output = {1, &strText[0]};
        m_bStopped = !m_pfn(CSimChkdsk::CommandOutput, 0, &output);
    }

    bool Progress(DWORD dwPercent)
    {
        if (!m_bStopped)
            m_bStopped = !m_pfn(CSimChkdsk::CommandProgress, 0, &dwPercent);
        return !m_bStopped;
    }

    void Done(bool bSuccess)
    {
        BOOLEAN bResult = bSuccess ? TRUE : FALSE;
        m_pfn(CSimChkdsk::CommandDone, 0, &bResult);
    }

private:
    CSimChkdsk::PCALLBACK m_pfn;
    bool m_bStopped = false;
};

const wchar_t* const s_stages[] = {
    L"Checking the files and their clusters (stage 1 of 3)...",
    L"Checking the file records and indexes (stage 2 of 3)...",
    L"Checking the free space (stage 3 of 3)...",
};

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
        return;
    }
    CSimLock lock(*pSystem);
    SIM_FAULT fault;
    if (pSystem->Fault(SIM_CALL::Checker, 0, pszRoot ? pszRoot : L"", -1, &fault))
    {
        // A failure before any progress, such as a volume that another program has locked.
        reporter.Line(L"Cannot lock the current drive.");
        reporter.Done(false);
        return;
    }
    reporter.Line(std::wstring(L"The type of the file system is ") + pVolume->FsName() + L".");
    reporter.Line(L"Volume label is " + pVolume->Label() + L".");
    CSimVerifier verifier(*pVolume);
    int nStage = 0;
    verifier.m_fnProgress = [&](int nNewStage, int nPercent) {
        if (nNewStage != nStage)
        {
            nStage = nNewStage;
            reporter.Line(L"");
            reporter.Line(s_stages[nStage - 1]);
        }
        return reporter.Progress(static_cast<DWORD>(nPercent));
    };
    const bool bClean = verifier.Run();
    if (reporter.Stopped())
    {
        if (pSystem->m_bCheckerDoneAfterStop)
            reporter.Done(false);
        return;
    }
    for (const std::wstring& strProblem : verifier.Problems())
        reporter.Line(L"  " + strProblem);
    const ULONGLONG ullKb = pVolume->BytesPerCluster() / 1024;
    reporter.Line(L"");
    reporter.Line(bClean ? L"The volume was checked and no problems were found."
                         : L"Problems were found on the volume; they were not corrected.");
    reporter.Line(L"  " + std::to_wstring(pVolume->TotalClusters() * ullKb) + L" KB total disk space.");
    reporter.Line(L"  " + std::to_wstring(pVolume->FreeClusters() * ullKb) + L" KB available on disk.");
    reporter.Line(L"  " + std::to_wstring(pVolume->BytesPerCluster()) + L" bytes in each allocation unit.");
    reporter.Done(bClean);
}
