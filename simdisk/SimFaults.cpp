#include "simdisk/SimFaults.h"

#include "simdisk/SimTypes.h"

int CSimFaults::Fired() const
{
    int nFired = 0;
    for (const RULE& rule : m_rules)
        nFired += rule.nFired;
    return nFired;
}

bool CSimFaults::Match(SIM_CALL eCall, DWORD dwCode, const std::wstring& strPath, LONGLONG llRecord, SIM_FAULT* pFault)
{
    for (RULE& rule : m_rules)
    {
        const SIM_FAULT& fault = rule.fault;
        if (fault.eCall != eCall || (fault.dwCode && fault.dwCode != dwCode) ||
            (fault.llRecord >= 0 && fault.llRecord != llRecord))
            continue;
        if (!fault.strPath.empty() && SimUpper(strPath).find(SimUpper(fault.strPath)) == std::wstring::npos)
            continue;
        ++rule.nSeen;
        if (fault.nNth && rule.nSeen != fault.nNth)
            continue;
        if (fault.nTimes >= 0 && rule.nFired >= fault.nTimes)
            continue;
        ++rule.nFired;
        *pFault = fault;
        return true;
    }
    return false;
}
