#include "engine/DefragPartition.h"

#include "engine/PartitionOwner.h"

void CDefragPartition::BeginMoveFailure(const wchar_t* pszPath)
{
    m_stMoveFailure = MOVE_FAILURE();
    m_stMoveFailure.strPath = pszPath;
}

void CDefragPartition::NoteMoveFailure(const wchar_t* pszCall, DWORD dwStatus, bool bWin32, int64_t llVcn,
                                       int64_t llLcn)
{
    // The first failure is kept: what follows it is most often its consequence.
    if (m_stMoveFailure.pszCall != nullptr)
        return;
    m_stMoveFailure.pszCall = pszCall;
    m_stMoveFailure.dwStatus = dwStatus;
    m_stMoveFailure.bWin32 = bWin32;
    m_stMoveFailure.llVcn = llVcn;
    m_stMoveFailure.llLcn = llLcn;
}

void CDefragPartition::WriteRunFailures()
{
    const RUN_SKIPS& st = m_stSkips;
    const int32_t nSkipped =
        st.nNoFreeRun + st.nNotOpened + st.nMoveFailed + st.nHeldBack + st.nNoTarget + st.nStopped + st.nRunRefused;
    // A background step that only met changing files has nothing to tell; a failed call or
    // a client's run that left files is told.
    if (m_pOwner == nullptr || (m_runFailures.GetCount() == 0 && !(m_bManualRun && nSkipped > 0)))
        return;
    CUnicodeString strSummary;
    strSummary.Format(L"Defragmentation of %ls left files as they were: %d refused or cut short by the file system, "
                      L"%d not opened, %d without a free run of their size, %d without a target, %d changing "
                      L"still, %d left at a stop%ls",
                      RootPath().GetBuffer(), st.nMoveFailed, st.nNotOpened, st.nNoFreeRun, st.nNoTarget,
                      st.nHeldBack, st.nStopped,
                      st.nRunRefused != 0 ? L"; nothing was moved: the volume is faulty or its check or analysis "
                                            L"failed"
                                          : L"");
    m_runFailures.Write(*m_pOwner, strSummary);
}
