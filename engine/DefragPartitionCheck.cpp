#include "engine/DefragPartition.h"

#include <algorithm>
#include <cstring>

#include "engine/EventLock.h"
#include "engine/NativeFunctions.h"
#include "engine/PartitionOwner.h"
#include "base/Registry.h"
#include "engine/SysHandle.h"

namespace {

constexpr int32_t NoPercentage = -1;
constexpr int StatusChars = 255;
// The collected output goes into one event-log string, whose limit is 31,839 characters:
// the text keeps its latest part within this bound, the summary lines included.
constexpr int OutputLimit = 30000;
constexpr int32_t CheckExitCode = 0;

// The checker's text output: a line count and a narrow text in the OEM code page.
struct CHECK_TEXT_OUTPUT
{
    DWORD dwLines;
    PCHAR pszOutput;
};

enum CHECK_COMMAND : DWORD
{
    CHECK_PROGRESS = 0,
    CHECK_DONE = 11,
    CHECK_OUTPUT = 14,
};

} // namespace

struct CDefragPartition::CHKDSK_CONTEXT
{
    int32_t nLastPercentage = NoPercentage;
    int32_t nErrorFound = 0;
    int32_t nStageCount = 0;
    HANDLE hStopEvent = nullptr;
    bool bCancelled = false;
    CDefragPartition* pPartition = nullptr;
    HANDLE hVolume = INVALID_HANDLE_VALUE;
    CUnicodeString strOutput;
};

namespace {

// The checker passes no argument of ours to its callback: the checking thread keeps the
// volume object, the handler and the context where the fixed entry routine finds them.
struct CHECK_THREAD_CALLBACK
{
    CDefragPartition* pPartition;
    void* pContext;
};

thread_local CHECK_THREAD_CALLBACK* t_pCheckCallback = nullptr;

class CThreadCallback
{
public:
    CThreadCallback(CDefragPartition* pPartition, void* pContext) : m_stCallback{pPartition, pContext}
    {
        t_pCheckCallback = &m_stCallback;
    }
    ~CThreadCallback() { t_pCheckCallback = nullptr; }
    CThreadCallback(const CThreadCallback&) = delete;
    CThreadCallback& operator=(const CThreadCallback&) = delete;

private:
    CHECK_THREAD_CALLBACK m_stCallback;
};

const wchar_t* CheckFileSystemName(int32_t nCode)
{
    switch (nCode)
    {
    case FS_FAT: return L"FAT";
    case FS_FAT32: return L"FAT32";
    case FS_NTFS: return L"NTFS";
    default: return nullptr;
    }
}

void AppendToLogFile(const CUnicodeString& strText)
{
    CRegistry key;
    CUnicodeString strFile;
    if (strText.GetLength() == 0 || !key.OpenQuiet(HKEY_LOCAL_MACHINE, L"Software\\Varnefold") ||
        !key.ReadString(L"ChkDskLogFile", strFile) || strFile.GetLength() == 0)
        return;
    CSysHandle file(sys::CreateFileW(strFile.GetBuffer(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file.IsOpen())
        return;
    LONG lHigh = 0;
    if (sys::SetFilePointer(file.Get(), 0, &lHigh, FILE_END) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR)
        return;
    DWORD dwWritten = 0;
    sys::WriteFile(file.Get(), strText.GetBuffer(), static_cast<DWORD>(strText.GetLength()) * sizeof(wchar_t),
                   &dwWritten, nullptr);
}

} // namespace

CUnicodeString CDefragPartition::DriveOrVolumeName() const
{
    return RootPath();
}

BOOLEAN WINAPI CDefragPartition::ChkDskEntry(DWORD dwCommand, DWORD /*dwSubCommand*/, PVOID pData)
{
    const CHECK_THREAD_CALLBACK* pCallback = t_pCheckCallback;
    if (pCallback == nullptr)
        return FALSE;
    return ChkDskCallback(pCallback->pPartition, dwCommand, pData, static_cast<CHKDSK_CONTEXT*>(pCallback->pContext));
}

BOOLEAN CDefragPartition::ChkDskCallback(CDefragPartition* pPartition, DWORD dwCommand, PVOID pData,
                                         CHKDSK_CONTEXT* pContext)
{
    if (pContext == nullptr || pContext->pPartition == nullptr || pPartition == nullptr)
        return FALSE;
    if (pContext->bCancelled ||
        (pContext->hStopEvent != nullptr && ::WaitForSingleObject(pContext->hStopEvent, 0) == WAIT_OBJECT_0))
    {
        pContext->bCancelled = true;
        return FALSE;
    }
    switch (dwCommand)
    {
    case CHECK_PROGRESS:
    {
        if (pData == nullptr)
            break;
        const int32_t nPercent = static_cast<int32_t>(*static_cast<const DWORD*>(pData));
        // The last percentage starts at -1, which counts as higher than any: the first report
        // opens the first stage.
        if (static_cast<uint32_t>(nPercent) < static_cast<uint32_t>(pContext->nLastPercentage))
            ++pContext->nStageCount;
        if (nPercent != pContext->nLastPercentage)
            pPartition->WaitForDiskIdle(pContext->hVolume);
        pContext->nLastPercentage = nPercent;
        const int32_t nProgress = pContext->nStageCount * 33 + nPercent * 33 / 100 - 33;
        pPartition->m_nProgress = std::min(100, std::max(0, nProgress));
        pPartition->ReportState();
        break;
    }
    case CHECK_DONE:
        // A check that ends unsuccessfully without being asked to stop has failed, also when
        // it failed before any progress.
        if (pData != nullptr && *static_cast<const BOOLEAN*>(pData) == 0 && !pContext->bCancelled)
            pContext->nErrorFound = 1;
        pPartition->m_nProgress = 100;
        break;
    case CHECK_OUTPUT:
    {
        const CHECK_TEXT_OUTPUT* pOutput = static_cast<const CHECK_TEXT_OUTPUT*>(pData);
        if (pOutput != nullptr && pOutput->pszOutput != nullptr)
            pPartition->OnCheckOutput(pOutput->pszOutput, *pContext);
        break;
    }
    default:
        break;
    }
    return TRUE;
}

void CDefragPartition::OnCheckOutput(const char* pszText, CHKDSK_CONTEXT& context)
{
    const size_t uLength = ::strnlen(pszText, StatusChars);
    if (uLength == 0)
        return;
    wchar_t szLine[StatusChars + 1] = {};
    // One wide character per byte at most, so the buffer always suffices.
    const int nChars =
        ::MultiByteToWideChar(CP_OEMCP, 0, pszText, static_cast<int>(uLength), szLine, StatusChars);
    CUnicodeString strLine;
    if (nChars > 0)
    {
        szLine[nChars] = L'\0';
        strLine = szLine;
    }
    strLine.TrimLeft(L"\r\n ");
    strLine.TrimRight(L"\r\n ");
    bool bReport = false;
    {
        CSectionLock lock(m_csStatus);
        m_strStatusText = strLine;
        if (strLine.GetLength() > 0)
        {
            // Lines are kept one to a line; the oldest give way when the bound is reached.
            if (context.strOutput.GetLength() > 0)
                context.strOutput += L"\n";
            context.strOutput += strLine;
            const int nOver = context.strOutput.GetLength() - OutputLimit;
            if (nOver > 0)
                context.strOutput = context.strOutput.Mid(nOver, OutputLimit);
            bReport = true;
        }
    }
    if (bReport)
    {
        ReportState();
        ::Sleep(0);
    }
    if (m_nChkDskLevel != 0 && std::strchr(pszText, '/') != nullptr)
        context.nErrorFound = 1;
}

bool CDefragPartition::RunCheckDisk()
{
    m_nProgress = 0;
    const wchar_t* pszFileSystem = CheckFileSystemName(m_nFileSystem);
    CSysHandle volume(OpenVolume());
    CHKDSK_CONTEXT context;
    context.hStopEvent = m_hStopEvent;
    context.pPartition = this;
    context.hVolume = volume.Get();
    {
        CEventLockGuard guard(m_pOwner != nullptr ? &m_pOwner->GetCheckLock() : nullptr, m_hStopEvent);
        if (guard.IsAcquired() && native::ChkdskEx != nullptr)
        {
            CUnicodeString strRoot = DriveOrVolumeName();
            CUnicodeString strFileSystem(pszFileSystem);
            int32_t anOptions[3] = {1, 0, -1};
            CThreadCallback callback(this, &context);
            native::ChkdskEx(strRoot.GetBuffer(), pszFileSystem != nullptr ? strFileSystem.GetBuffer() : nullptr,
                             FALSE, anOptions, reinterpret_cast<native::PFN_FMIFS_CALLBACK>(&ChkDskEntry));
        }
        m_bCheckCompleted = !context.bCancelled && context.nStageCount > 0;
        SetStatusText(L" ");
        if (context.nErrorFound != 0)
        {
            RecordCheckErrors(context);
            return false;
        }
    }
    m_nState = m_bBackgroundMode ? STATE_MONITORING : STATE_IDLE;
    return true;
}

void CDefragPartition::RecordCheckErrors(const CHKDSK_CONTEXT& context)
{
    m_bCheckCompleted = false;
    const CUnicodeString strDrive = DriveOrVolumeName();
    if (m_bBackgroundMode)
    {
        m_nState = STATE_FAULTY_MONITORING;
        if (m_pOwner != nullptr)
            m_pOwner->LogVolumeEvent(EVENTLOG_ERROR_TYPE, (L"AutoChkDsk error on drive: " + strDrive).GetBuffer());
    }
    else
    {
        m_nState = STATE_FAULTY;
        if (m_pOwner != nullptr)
            m_pOwner->LogVolumeEvent(EVENTLOG_ERROR_TYPE,
                                     (L"ChkDsk error on drive: " + strDrive + L"\n" + context.strOutput).GetBuffer());
    }
    ReportState();
    AppendToLogFile(context.strOutput);
}

DWORD WINAPI CDefragPartition::CheckDiskThreadProc(LPVOID pParameter)
{
    CDefragPartition* pThis = static_cast<CDefragPartition*>(pParameter);
    const int32_t nRemembered = pThis->m_nState;
    if (nRemembered == STATE_IDLE || nRemembered == STATE_MONITORING)
        pThis->m_nState = STATE_CHECKING;
    const bool bClean = pThis->RunCheckDisk();
    if (!pThis->m_bClientConnected)
    {
        CSectionLock lock(pThis->m_csMap);
        pThis->m_pClusterMap.reset();
    }
    if (nRemembered == STATE_MONITORING && pThis->m_nState == STATE_IDLE && pThis->m_bBackgroundMode)
    {
        pThis->m_nState = STATE_MONITORING;
        pThis->ReportState();
    }
    else if (bClean)
    {
        // A failed check has reported already.
        pThis->ReportState();
    }
    return CheckExitCode;
}

bool CDefragPartition::StartCheckDisk()
{
    const int32_t nState = m_nState;
    if (IsJobRunning() || (nState != STATE_IDLE && nState != STATE_MONITORING && nState != STATE_FAULTY &&
                           nState != STATE_FAULTY_MONITORING))
        return false;
    ::ResetEvent(m_hStopEvent);
    return LaunchJobThread(&CheckDiskThreadProc, false, STATE_CHECKING);
}

bool CDefragPartition::RunCheckDiskNow()
{
    const int32_t nState = m_nState;
    if (nState != STATE_IDLE && nState != STATE_FAULTY && nState != STATE_FAULTY_MONITORING)
        return false;
    m_nState = STATE_CHECKING;
    return RunCheckDisk();
}

bool CDefragPartition::RunCheckDiskAndWait()
{
    const int32_t nState = m_nState;
    if (IsJobRunning() ||
        (nState != STATE_IDLE && nState != STATE_FAULTY && nState != STATE_FAULTY_MONITORING))
        return false;
    m_nState = STATE_AUTO_CHECKING;
    ::ResetEvent(m_hStopEvent);
    if (!StartStepJobThread(&CheckDiskThreadProc))
    {
        m_nState = nState;
        return false;
    }
    WaitForJobThread(INFINITE);
    ::ResetEvent(m_hStopEvent);
    return true;
}
