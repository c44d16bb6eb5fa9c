// CInfoWindows: the drive list view's four information windows. Each is made
// once, on first use, with the main frame as parent; it is reset while its
// request is out, filled by the answer, and hidden rather than destroyed. The
// windows end with the frame and delete themselves.
#pragma once

#include "gui/InfoOwner.h"

#include "base/SyncObjects.h"

class CClientInfo;
class CClusterExplorer;
class CDefragListView;
class CDialog;
class CWnd;
class CDriveInfo;
class CFragmentedFilesDlg;

class CInfoWindows : public IInfoOwner
{
public:
    explicit CInfoWindows(CDefragListView& view);
    CInfoWindows(const CInfoWindows&) = delete;
    CInfoWindows& operator=(const CInfoWindows&) = delete;

    // Made when missing, shown; null when the window could not be made.
    CClusterExplorer* ShowClusterExplorer();
    CFragmentedFilesDlg* ShowFragmentedFiles();
    CDriveInfo* ShowDriveInfo();
    CClientInfo* ShowServiceInfo();

    // Each under its window's lock.
    CCriticalSection& ExplorerLock() { return m_explorerLock; }
    CCriticalSection& FragmentedFilesLock() { return m_fragmentedFilesLock; }
    CCriticalSection& DriveInfoLock() { return m_driveInfoLock; }
    CCriticalSection& ServiceInfoLock() { return m_serviceInfoLock; }

    void HideAll();

    // The windows as they are; null before their first use.
    CClusterExplorer* GetClusterExplorer() const { return m_pExplorer; }
    CFragmentedFilesDlg* GetFragmentedFiles() const { return m_pFragmentedFiles; }
    CDriveInfo* GetDriveInfo() const { return m_pDriveInfo; }
    CClientInfo* GetServiceInfo() const { return m_pServiceInfo; }

    stMapLook GetMapLook() override;
    void ExploreSelection(int64_t llCluster) override;
    bool SendShowFile(int32_t nDriveId, const CString& strFileName) override;

private:
    template <class TDlg, class TMake>
    TDlg* Show(TDlg*& pDlg, UINT nIDTemplate, TMake make);
    CWnd* Frame() const;

    CDefragListView& m_view;
    CClusterExplorer* m_pExplorer;
    CFragmentedFilesDlg* m_pFragmentedFiles;
    CDriveInfo* m_pDriveInfo;
    CClientInfo* m_pServiceInfo;
    CCriticalSection m_explorerLock;
    CCriticalSection m_fragmentedFilesLock;
    CCriticalSection m_driveInfoLock;
    CCriticalSection m_serviceInfoLock;
};
