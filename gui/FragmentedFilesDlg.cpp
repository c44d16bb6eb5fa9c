#include "gui/FragmentedFilesDlg.h"

#include "gui/WireText.h"

#include "classlib/DataExchange.h"
#include "protocol/NetDefragPartitionFragFiles.h"

CFragmentedFilesDlg::CFragmentedFilesDlg(CWnd* pParent, IInfoOwner& owner)
    : CFileListDlg(IDD_FRAGMENTED_FILES, pParent, owner, L"FragmentedFiles"), m_nFileCount(0)
{
    m_strDriveLabel = ResourceText(IDS_DRIVE);
    m_strFilesLabel = ResourceText(IDS_FILES_LABEL);
}

BOOL CFragmentedFilesDlg::OnInitDialog()
{
    CFileListDlg::OnInitDialog();
    InitList({{IDS_FRAGMENTS, 80}, {IDS_FRAG_FILENAME, 240}});
    return TRUE;
}

void CFragmentedFilesDlg::DoDataExchange(CDataExchange* pDX)
{
    CFileListDlg::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_FRAG_DRIVE_LABEL, m_strDriveLabel);
    DDX_Text(pDX, IDC_INFO_DRIVE, m_strDrive);
    DDX_Text(pDX, IDC_FRAG_FILES_LABEL, m_strFilesLabel);
    DDX_Text(pDX, IDC_FRAG_COUNT, m_nFileCount);
}

void CFragmentedFilesDlg::Reset()
{
    m_strDrive = ResourceText(IDS_SEARCHING);
    m_nFileCount = 0;
    DeleteRows();
    ClearSortArrow();
    EnableShow(false);
    UpdateData(FALSE);
}

void CFragmentedFilesDlg::Fill(CNetDefragPartitionFragFiles& answer)
{
    DeleteRows();
    EnableShow(false);
    SetDriveId(answer.m_nVolumeIndex);
    m_strDrive = WireText(answer.m_strDriveRoot);
    ClearSortArrow();
    GetList().SetRedraw(FALSE);
    for (stFragRow& row : CFragRows::Build(answer))
    {
        std::vector<CString> cells = {row.strFragments, row.strShown};
        AppendRow(std::move(row), cells);
    }
    GetList().SetRedraw(TRUE);
    GetList().Invalidate();
    m_nFileCount = GetList().GetItemCount();
    UpdateData(FALSE);
}
