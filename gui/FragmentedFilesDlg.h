// CFragmentedFilesDlg: the modeless window with the fragmented files of one
// drive and their fragment counts.
#pragma once

#include "gui/FileListDlg.h"
#include "gui/FragRows.h"

class CNetDefragPartitionFragFiles;

class CFragmentedFilesDlg : public CFileListDlg<stFragRow, &CFragRows::Compare>
{
public:
    CFragmentedFilesDlg(CWnd* pParent, IInfoOwner& owner);

    // Before a new request: no rows, a count of 0, "Searching..." for the drive.
    void Reset();
    // Reads the answer's entries from the first on.
    void Fill(CNetDefragPartitionFragFiles& answer);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    CString m_strDriveLabel;
    CString m_strDrive;
    int m_nFileCount;
    CString m_strFilesLabel;
};
