// CFileChangeListener: what a watched volume is told of changes below its root.
// Names are relative to the root; the calls come on the monitor's thread.
#pragma once

#include "engine/UnicodeString.h"

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

    const CUnicodeString& GetRootPath() const { return m_strRootPath; }

private:
    CUnicodeString m_strRootPath;
};
