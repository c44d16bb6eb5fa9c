// CFileChangeListener: what a watched volume is told of changes below its root.
// Names are relative to the root; the calls come on the monitor's thread.
#pragma once

#include "base/UnicodeString.h"

class CFileChangeListener
{
public:
    explicit CFileChangeListener(const CUnicodeString& strRootPath) : m_strRootPath(strRootPath) {}
    virtual ~CFileChangeListener() = default;

    virtual void OnFileAdded(const CUnicodeString& /*strName*/) {}
    virtual void OnFileRemoved(const CUnicodeString& /*strName*/) {}
    virtual void OnFileModified(const CUnicodeString& /*strName*/) {}
    virtual void OnFileRenamed(const CUnicodeString& /*strOld*/, const CUnicodeString& /*strNew*/) {}
    virtual void OnDirectoryAdded(const CUnicodeString& /*strName*/) {}
    virtual void OnDirectoryRemoved(const CUnicodeString& /*strName*/) {}
    virtual void OnDirectoryModified(const CUnicodeString& /*strName*/) {}
    virtual void OnDirectoryRenamed(const CUnicodeString& /*strOld*/, const CUnicodeString& /*strNew*/) {}
    // A watch of the volume ended on its own: its read could not be issued again, so changes
    // go unreported from here on and the volume must look at all of its files again.
    virtual void OnWatchFailed() {}

    const CUnicodeString& GetRootPath() const { return m_strRootPath; }

private:
    CUnicodeString m_strRootPath;
};
