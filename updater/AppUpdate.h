// CAppUpdate: the updater's web access over WinINet. It fetches the version
// description, asks the size of a download, downloads a file on a worker
// thread that reports to a window, and cancels that download.
#pragma once

#include "base/AutoHandle.h"
#include "updater/DownloadJob.h"
#include "updater/InternetHandle.h"

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <string>

// Posted by the download's worker to the window that started it. The worker
// never waits for the window, so a window that is busy cancelling cannot
// block it.
enum : UINT
{
    WM_UPDATE_PROGRESS = WM_USER + 1, // wParam: bytes written so far
    WM_UPDATE_DONE = WM_USER + 2,     // wParam: bytes written; lParam: the result
};

class CAppUpdate
{
public:
    enum EResult : int
    {
        ResultDone = 0,
        ResultStarted = 1,
        ResultNoConnection = 2,
        ResultCannotOpen = 3,
        ResultEmpty = 4,
        ResultFailed = 5, // file not written, read failed, short or cancelled
    };

    // A description must fit into one read of this many bytes.
    static constexpr DWORD MaxDescriptionBytes = 4096;
    // How long Cancel waits for a worker that was told to stop.
    static constexpr DWORD CancelWaitMs = 1500;

    CAppUpdate();
    virtual ~CAppUpdate();
    CAppUpdate(const CAppUpdate&) = delete;
    CAppUpdate& operator=(const CAppUpdate&) = delete;

    // Opens the canonical form of the URL, which replaces the caller's text.
    // Null (the caller owns the handle otherwise) unless the address is a web
    // address and the server answered 200: an error page is no description
    // and no installer.
    HINTERNET OpenUrl(std::wstring& strUrl);
    int FetchText(const wchar_t* pszUrl, std::u16string& strText);
    int GetContentLength(const wchar_t* pszUrl, stContentLength& stLength);
    // With a window: ResultStarted, or ResultFailed when no worker could start;
    // the worker then posts WM_UPDATE_PROGRESS and ends with one WM_UPDATE_DONE
    // that carries the result. Without a window the download runs here. A
    // download that does not complete leaves no file behind.
    int StartDownload(const wchar_t* pszUrl, const wchar_t* pszTarget, HWND hWindow);
    // Stops a running download and waits a while for its worker; true when no
    // worker is left. A worker still blocked then ends on its own later, and
    // its file is already marked for deletion.
    bool Cancel();
    // Waits for the worker to end on its own and releases it; true when it has.
    bool Finish(DWORD dwTimeout);
    bool HasWorker() const { return m_hThread.Get() != NULL; }

    static int CompareVersions(const wchar_t* pszA, const wchar_t* pszB);
    // The URL in the form the browser would use; false when it has none.
    static bool CanonicalUrl(const std::wstring& strUrl, std::wstring& strCanonical);

protected:
    // Whether the machine has a network connection; a seam for the tests.
    virtual bool IsConnected() const;

private:
    // ResultDone with the request open, or the result that says why not.
    int OpenConnected(const wchar_t* pszUrl, CInternetHandle& request);
    static HINTERNET OpenRequest(HINTERNET hInternet, std::wstring& strUrl);
    static stContentLength QueryContentLength(HINTERNET hRequest);
    static unsigned __stdcall WorkerProc(void* pParam);
    static int Download(stDownloadJob& job, bool bReport, uint64_t& nTotal);
    static int CopyToFile(stDownloadJob& job, HINTERNET hRequest, HANDLE hFile, bool bReport, uint64_t& nTotal);
    static void CloseRequest(stDownloadJob& job);

    HINTERNET m_hInternet;
    UINT m_nProgressMessage;
    UINT m_nDoneMessage;
    std::shared_ptr<stDownloadJob> m_pJob;
    // Owned by this object alone: the worker only ends, Cancel and Finish
    // wait for it and close the handle.
    CAutoHandle m_hThread;
};
