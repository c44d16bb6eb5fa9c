// CClusterExplorer: the modeless window that lists which files occupy a range
// of clusters of one drive, one row a run, free stretches as rows of their
// own, and pages through the drive block by block.
#pragma once

#include "gui/ExplorerRows.h"
#include "gui/FileListDlg.h"

#include "classlib/ImageList.h"
#include "classlib/SpinButtonCtrl.h"

class CNetDefragPartitionClusterExplorerResponse;

class CClusterExplorer : public CFileListDlg<stExplorerRow, &CExplorerRows::Compare>
{
public:
    CClusterExplorer(CWnd* pParent, IInfoOwner& owner);

    // Before a new request: no rows, "Searching..." for the drive, no range.
    void Reset();
    void Fill(const CNetDefragPartitionClusterExplorerResponse& answer);
    bool IsClusterEdited() const { return m_bClusterEdit; }

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;

private:
    // One image per cluster kind after an empty one, in the map's colours.
    void BuildImages();
    void ShowTexts();
    void OnRefresh();
    void OnSpin(int nDelta);
    int64_t EditedCluster() const;

    // Set while the user types in the cluster edit: a fill then leaves it alone.
    bool m_bClusterEdit;
    // Set while the texts are put into the controls: the edit's own change
    // notice then is not the user's.
    bool m_bShowingTexts;
    CImageList m_images;
    CString m_strDrive;
    CString m_strStart;
    CString m_strEnd;
    CString m_strCluster;
    CSpinButtonCtrl m_wndSpin;
};
