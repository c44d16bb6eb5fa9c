#include "updater/AppUpdate.h"

#include "updater/InternetHandle.h"
#include "updater/UrlRules.h"
#include "updater/VersionCompare.h"

#include <process.h>

#include <memory>
#include <vector>

namespace
{
constexpr DWORD OpenFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_NEED_FILE;
constexpr DWORD CanonicalUrlChars = 1024;
constexpr DWORD BlockBytes = 4096;
// Progress is posted at most this often: each post takes a place in the
// window's queue, which Windows bounds, and the done message must still fit.
constexpr ULONGLONG ProgressIntervalMs = 50;

std::u16string_view AsUtf16(const std::wstring& str)
{
    return std::u16string_view(reinterpret_cast<const char16_t*>(str.data()), str.size());
}

// Waits for the handle while letting messages that other threads send to
// this one through: a worker that reports synchronously must not deadlock
// against the thread that waits for it.
bool WaitPumping(HANDLE hObject, DWORD dwTimeout)
{
    ULONGLONG nStart = ::GetTickCount64();
    for (;;)
    {
        ULONGLONG nElapsed = ::GetTickCount64() - nStart;
        DWORD dwLeft = nElapsed >= dwTimeout ? 0 : static_cast<DWORD>(dwTimeout - nElapsed);
        DWORD dwWait = ::MsgWaitForMultipleObjects(1, &hObject, FALSE, dwLeft, QS_SENDMESSAGE);
        if (dwWait == WAIT_OBJECT_0)
            return true;
        if (dwWait != WAIT_OBJECT_0 + 1)
            return false;
        MSG msg;
        ::PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
} // namespace

CAppUpdate::CAppUpdate()
    : m_hInternet(::InternetOpenW(L"UpdateAgent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)),
      m_nProgressMessage(WM_UPDATE_PROGRESS), m_nDoneMessage(WM_UPDATE_DONE)
{
}

CAppUpdate::~CAppUpdate()
{
    // A worker still blocked after Cancel keeps its job alive and ends when
    // its read returns; waiting for it here could hang the program's end.
    if (HasWorker())
        Cancel();
    if (m_hInternet != NULL)
        ::InternetCloseHandle(m_hInternet);
}

bool CAppUpdate::IsConnected() const
{
    DWORD dwFlags = 0;
    return ::InternetGetConnectedState(&dwFlags, 0) != FALSE;
}

HINTERNET CAppUpdate::OpenUrl(std::wstring& strUrl)
{
    return OpenRequest(m_hInternet, strUrl);
}

HINTERNET CAppUpdate::OpenRequest(HINTERNET hInternet, std::wstring& strUrl)
{
    if (hInternet == NULL || !CanonicalUrl(strUrl, strUrl))
        return NULL;
    if (!IsWebUrl(AsUtf16(strUrl)))
    {
        ::SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return NULL;
    }
    CInternetHandle request(::InternetOpenUrlW(hInternet, strUrl.c_str(), nullptr, 0, OpenFlags, 0));
    if (request.Get() == NULL)
        return NULL;
    DWORD dwStatus = 0;
    DWORD dwSize = sizeof(dwStatus);
    if (!::HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &dwStatus, &dwSize,
                          nullptr))
        return NULL;
    if (dwStatus != HTTP_STATUS_OK)
    {
        ::SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        return NULL;
    }
    return request.Release();
}

int CAppUpdate::OpenConnected(const wchar_t* pszUrl, CInternetHandle& request)
{
    if (m_hInternet == NULL || !IsConnected())
        return ResultNoConnection;
    std::wstring strUrl = pszUrl;
    request.Reset(OpenUrl(strUrl));
    return request.Get() == NULL ? ResultCannotOpen : ResultDone;
}

bool CAppUpdate::CanonicalUrl(const std::wstring& strUrl, std::wstring& strCanonical)
{
    wchar_t szCanonical[CanonicalUrlChars];
    DWORD dwChars = CanonicalUrlChars;
    if (!::InternetCanonicalizeUrlW(strUrl.c_str(), szCanonical, &dwChars, ICU_BROWSER_MODE))
        return false;
    strCanonical.assign(szCanonical, dwChars);
    return true;
}

int CAppUpdate::FetchText(const wchar_t* pszUrl, std::u16string& strText)
{
    strText.clear();
    CInternetHandle request;
    int nResult = OpenConnected(pszUrl, request);
    if (nResult != ResultDone)
        return nResult;
    // Two zero bytes past the read keep the text terminated even when the
    // reply fills the whole buffer.
    std::vector<char16_t> vecBuffer(MaxDescriptionBytes / 2 + 1, 0);
    DWORD dwRead = 0;
    if (!::InternetReadFile(request.Get(), vecBuffer.data(), MaxDescriptionBytes, &dwRead) || dwRead == 0)
        return ResultEmpty;
    std::u16string_view strRead(vecBuffer.data(), dwRead / 2);
    strText.assign(strRead.substr(0, strRead.find(u'\0')));
    return ResultDone;
}

int CAppUpdate::GetContentLength(const wchar_t* pszUrl, stContentLength& stLength)
{
    stLength = stContentLength{false, 0};
    CInternetHandle request;
    int nResult = OpenConnected(pszUrl, request);
    if (nResult == ResultDone)
        stLength = QueryContentLength(request.Get());
    return nResult;
}

stContentLength CAppUpdate::QueryContentLength(HINTERNET hRequest)
{
    wchar_t szLength[2048] = {};
    DWORD dwSize = sizeof(szLength) - sizeof(wchar_t);
    if (!::HttpQueryInfoW(hRequest, HTTP_QUERY_CONTENT_LENGTH, szLength, &dwSize, nullptr))
        return stContentLength{false, 0};
    std::u16string_view strLength(reinterpret_cast<const char16_t*>(szLength), dwSize / sizeof(wchar_t));
    // A length is digits only and fits 64 bits; anything else counts as unknown.
    if (strLength.empty() || strLength.size() > 19)
        return stContentLength{false, 0};
    uint64_t nBytes = 0;
    for (char16_t ch : strLength)
    {
        if (ch < u'0' || ch > u'9')
            return stContentLength{false, 0};
        nBytes = nBytes * 10 + static_cast<uint64_t>(ch - u'0');
    }
    return stContentLength{true, nBytes};
}

int CAppUpdate::StartDownload(const wchar_t* pszUrl, const wchar_t* pszTarget, HWND hWindow)
{
    if (HasWorker() && !Finish(0))
        return ResultFailed;
    auto pJob = std::make_shared<stDownloadJob>();
    pJob->hInternet = m_hInternet;
    pJob->bConnected = m_hInternet != NULL && IsConnected();
    pJob->strUrl = pszUrl;
    pJob->strTarget = pszTarget;
    pJob->hWindow = hWindow;
    pJob->nProgressMessage = m_nProgressMessage;
    pJob->nDoneMessage = m_nDoneMessage;
    pJob->hRequest = NULL;
    m_pJob = pJob;
    if (hWindow == NULL)
    {
        uint64_t nTotal = 0;
        return Download(*pJob, false, nTotal);
    }
    pJob->hCancel.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (pJob->hCancel.Get() == NULL)
        return ResultFailed;
    auto* pWorkerRef = new std::shared_ptr<stDownloadJob>(pJob);
    uintptr_t nThread = ::_beginthreadex(nullptr, 0, &CAppUpdate::WorkerProc, pWorkerRef, 0, nullptr);
    if (nThread == 0)
    {
        delete pWorkerRef;
        return ResultFailed;
    }
    m_hThread.Reset(reinterpret_cast<HANDLE>(nThread));
    return ResultStarted;
}

unsigned __stdcall CAppUpdate::WorkerProc(void* pParam)
{
    std::unique_ptr<std::shared_ptr<stDownloadJob>> pRef(static_cast<std::shared_ptr<stDownloadJob>*>(pParam));
    stDownloadJob& job = **pRef;
    uint64_t nTotal = 0;
    int nResult = Download(job, true, nTotal);
    ::PostMessageW(job.hWindow, job.nDoneMessage, static_cast<WPARAM>(nTotal), nResult);
    return static_cast<unsigned>(nResult);
}

int CAppUpdate::Download(stDownloadJob& job, bool bReport, uint64_t& nTotal)
{
    nTotal = 0;
    if (bReport)
        ::PostMessageW(job.hWindow, job.nProgressMessage, 0, 0);
    if (!job.bConnected)
        return ResultNoConnection;
    std::wstring strUrl = job.strUrl;
    HINTERNET hRequest = OpenRequest(job.hInternet, strUrl);
    if (hRequest == NULL)
        return ResultCannotOpen;
    {
        CSectionLock lock(job.requestSection);
        job.hRequest = hRequest;
    }
    // Shared for delete too, so that a cancel can remove the file while a
    // blocked read still holds it open.
    CAutoHandle file(::CreateFileW(job.strTarget.c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
    {
        CloseRequest(job);
        return ResultFailed;
    }
    int nResult = CopyToFile(job, hRequest, file.Get(), bReport, nTotal);
    file.Reset();
    CloseRequest(job);
    if (nResult != ResultDone)
        ::DeleteFileW(job.strTarget.c_str());
    return nResult;
}

int CAppUpdate::CopyToFile(stDownloadJob& job, HINTERNET hRequest, HANDLE hFile, bool bReport, uint64_t& nTotal)
{
    auto IsCancelled = [&job] {
        return job.hCancel.Get() != NULL && ::WaitForSingleObject(job.hCancel.Get(), 0) == WAIT_OBJECT_0;
    };
    stContentLength stLength = QueryContentLength(hRequest);
    BYTE abBlock[BlockBytes];
    ULONGLONG nLastReport = ::GetTickCount64();
    for (;;)
    {
        if (IsCancelled())
            return ResultFailed;
        DWORD dwRead = 0;
        if (!::InternetReadFile(hRequest, abBlock, BlockBytes, &dwRead))
            return ResultFailed;
        if (dwRead == 0)
            break;
        DWORD dwWritten = 0;
        if (!::WriteFile(hFile, abBlock, dwRead, &dwWritten, nullptr) || dwWritten != dwRead)
            return ResultFailed;
        nTotal += dwWritten;
        ULONGLONG nNow = ::GetTickCount64();
        if (bReport && nNow - nLastReport >= ProgressIntervalMs)
        {
            ::PostMessageW(job.hWindow, job.nProgressMessage, static_cast<WPARAM>(nTotal), 0);
            nLastReport = nNow;
        }
    }
    // WinINet reports a connection that broke off as a normal end: only the
    // announced length tells a cut download from a complete one.
    if (IsCancelled() || (stLength.bKnown && nTotal != stLength.nBytes))
        return ResultFailed;
    return ResultDone;
}

void CAppUpdate::CloseRequest(stDownloadJob& job)
{
    CSectionLock lock(job.requestSection);
    if (job.hRequest != NULL)
        ::InternetCloseHandle(job.hRequest);
    job.hRequest = NULL;
}

bool CAppUpdate::Cancel()
{
    if (!HasWorker())
        return false;
    if (::WaitForSingleObject(m_hThread.Get(), 0) != WAIT_OBJECT_0)
    {
        ::SetEvent(m_pJob->hCancel.Get());
        // Closing the request ends a read that waits for more of a slow reply.
        CloseRequest(*m_pJob);
    }
    if (Finish(CancelWaitMs))
        return true;
    // A server that has gone silent keeps the read blocked in recv under
    // Wine, closed handle or not. The file goes now; the worker ends when the
    // read returns and keeps the job alive until then.
    ::DeleteFileW(m_pJob->strTarget.c_str());
    m_hThread.Reset();
    return false;
}

bool CAppUpdate::Finish(DWORD dwTimeout)
{
    if (!HasWorker())
        return true;
    if (!WaitPumping(m_hThread.Get(), dwTimeout))
        return false;
    m_hThread.Reset();
    return true;
}

int CAppUpdate::CompareVersions(const wchar_t* pszA, const wchar_t* pszB)
{
    return ::CompareVersions(reinterpret_cast<const char16_t*>(pszA), reinterpret_cast<const char16_t*>(pszB));
}
