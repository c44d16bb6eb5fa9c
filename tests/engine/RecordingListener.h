// A change listener for tests: records every call as "slot:name[>new]" and
// lets a test wait for one.
#pragma once

#include "engine/FileChangeListener.h"
#include "tests/base/StringText.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

class CRecordingListener : public CFileChangeListener
{
public:
    explicit CRecordingListener(const std::wstring& strRoot)
        : CFileChangeListener(CUnicodeString(strRoot.c_str())),
          m_hChanged(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
    {
    }
    ~CRecordingListener() override { ::CloseHandle(m_hChanged); }

    void OnFileAdded(const CUnicodeString& s) override { Note(L"FileAdded", s); }
    void OnFileRemoved(const CUnicodeString& s) override { Note(L"FileRemoved", s); }
    void OnFileModified(const CUnicodeString& s) override { Note(L"FileModified", s); }
    void OnFileRenamed(const CUnicodeString& a, const CUnicodeString& b) override { Note(L"FileRenamed", a, &b); }
    void OnDirectoryAdded(const CUnicodeString& s) override { Note(L"DirectoryAdded", s); }
    void OnDirectoryRemoved(const CUnicodeString& s) override { Note(L"DirectoryRemoved", s); }
    void OnDirectoryModified(const CUnicodeString& s) override { Note(L"DirectoryModified", s); }
    void OnDirectoryRenamed(const CUnicodeString& a, const CUnicodeString& b) override { Note(L"DirectoryRenamed", a, &b); }
    void OnWatchFailed() override { Note(L"WatchFailed", CUnicodeString()); }

    // True once an event equal to the text has been seen, within the time.
    bool WaitFor(const std::wstring& strEvent, DWORD dwMs = 5000)
    {
        DWORD dwStart = ::GetTickCount();
        for (;;)
        {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (const auto& s : m_events)
                {
                    if (s == strEvent)
                        return true;
                }
            }
            if (::GetTickCount() - dwStart > dwMs)
                return false;
            ::WaitForSingleObject(m_hChanged, 50);
        }
    }
    std::vector<std::wstring> Events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

private:
    void Note(const wchar_t* pszSlot, const CUnicodeString& s, const CUnicodeString* pNew = nullptr)
    {
        std::wstring strEvent = std::wstring(pszSlot) + L":" + Text(s);
        if (pNew != nullptr)
            strEvent += L">" + Text(*pNew);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(strEvent);
        }
        ::SetEvent(m_hChanged);
    }

    std::mutex m_mutex;
    std::vector<std::wstring> m_events;
    HANDLE m_hChanged;
};
