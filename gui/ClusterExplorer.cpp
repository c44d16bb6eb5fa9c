#include "gui/ClusterExplorer.h"

#include "gui/BitmapDC.h"
#include "gui/WireText.h"

#include "classlib/DataExchange.h"
#include "guitoolkit/Gradient.h"
#include "guitoolkit/ToolkitColors.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"

namespace
{
const int kImageSize = 16;
// The empty image, then one per kind.
const int kImageCount = kKindCount + 1;
const COLORREF kImageBackground = RGB(255, 255, 255);
} // namespace

CClusterExplorer::CClusterExplorer(CWnd* pParent, IInfoOwner& owner)
    : CFileListDlg(IDD_CLUSTER_EXPLORER, pParent, owner, L"ClusterExplorer"), m_bClusterEdit(false),
      m_bShowingTexts(false)
{
}

BOOL CClusterExplorer::OnInitDialog()
{
    m_bShowingTexts = true;
    CFileListDlg::OnInitDialog();
    m_bShowingTexts = false;
    InitList({{IDS_EXPLORER_START, 80}, {IDS_EXPLORER_END, 70}, {IDS_EXPLORER_FILENAME, 170}});
    if (m_wndSpin.SubclassDlgItem(IDC_EXPLORER_SPIN, this))
    {
        m_wndSpin.SetRange32(0, 2);
        m_wndSpin.SendMessage(UDM_SETBASE, 10);
        m_wndSpin.SetPos32(1);
    }
    return TRUE;
}

void CClusterExplorer::DoDataExchange(CDataExchange* pDX)
{
    CFileListDlg::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_INFO_DRIVE, m_strDrive);
    DDX_Text(pDX, IDC_EXPLORER_START, m_strStart);
    DDX_Text(pDX, IDC_EXPLORER_END, m_strEnd);
    // What the user is typing stays.
    if (pDX->m_bSaveAndValidate || !m_bClusterEdit)
        DDX_Text(pDX, IDC_EXPLORER_CLUSTER, m_strCluster);
}

void CClusterExplorer::ShowTexts()
{
    m_bShowingTexts = true;
    UpdateData(FALSE);
    m_bShowingTexts = false;
}

void CClusterExplorer::Reset()
{
    DeleteRows();
    EnableShow(false);
    ClearSortArrow();
    m_strDrive = ResourceText(IDS_SEARCHING);
    m_strStart.Empty();
    m_strEnd.Empty();
    ShowTexts();
}

void CClusterExplorer::Fill(const CNetDefragPartitionClusterExplorerResponse& answer)
{
    DeleteRows();
    EnableShow(false);
    SetDriveId(answer.m_nVolumeIndex);
    BuildImages();
    m_strDrive = WireText(answer.m_strDriveRoot);
    m_strStart = ClusterText(answer.m_llFirstCluster);
    m_strEnd = ClusterText(answer.m_llLastCluster);
    GetList().SetRedraw(FALSE);
    for (stExplorerRow& row : CExplorerRows::Build(answer))
    {
        int nImage = row.nImage;
        std::vector<CString> cells = {row.strStart, row.strEnd, row.strShown};
        AppendRow(std::move(row), cells, nImage);
    }
    GetList().SetRedraw(TRUE);
    GetList().Invalidate();
    if (!m_bClusterEdit)
        m_strCluster = m_strStart;
    ShowTexts();
}

void CClusterExplorer::BuildImages()
{
    stMapLook look = Owner().GetMapLook();
    CBitmapDC dc(kImageSize * kImageCount, kImageSize, this, kImageBackground);
    if (!dc.IsValid())
        return;
    for (int nKind = 0; nKind < static_cast<int>(kKindCount); ++nKind)
    {
        CRect rc(kImageSize * (nKind + 1) + 3, 4, kImageSize * (nKind + 1) + 13, 14);
        COLORREF cr = look.acrKinds[nKind];
        if (look.bShaded)
            DrawGradient(&dc, rc, cr, LightenColor(look.nLighten, cr), FALSE, FALSE);
        else
            dc.FillSolidRect(&rc, cr);
        dc.Draw3dRect(&rc, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
    }
    HBITMAP hImages = dc.Close();
    CImageList images;
    if (images.Create(kImageSize, kImageSize, ILC_COLOR32 | ILC_MASK, kImageCount, 0) &&
        images.Add(hImages, kImageBackground) >= 0)
    {
        // The list shares the images: the old ones go only once it shows the new.
        GetList().SetImageList(images.m_hImageList, LVSIL_SMALL);
        m_images.DeleteImageList();
        m_images.Attach(images.Detach());
    }
    ::DeleteObject(hImages);
}

void CClusterExplorer::OnOK()
{
    m_bClusterEdit = false;
    CFileListDlg::OnOK();
}

BOOL CClusterExplorer::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    if (nID == ID_EXPLORER_REFRESH && nCode == BN_CLICKED)
    {
        OnRefresh();
        return TRUE;
    }
    if (nID == IDC_EXPLORER_CLUSTER && (nCode == EN_SETFOCUS || nCode == EN_CHANGE))
    {
        if (!m_bShowingTexts)
            m_bClusterEdit = true;
        return TRUE;
    }
    return CFileListDlg::HandleCommand(nID, nCode, pExtra);
}

BOOL CClusterExplorer::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
    if (pHeader->idFrom == IDC_EXPLORER_SPIN && pHeader->code == UDN_DELTAPOS)
    {
        OnSpin(reinterpret_cast<const NMUPDOWN*>(lParam)->iDelta);
        // The control would move on from the position just set back.
        *pResult = 1;
        return TRUE;
    }
    return CFileListDlg::OnNotify(wParam, lParam, pResult);
}

int64_t CClusterExplorer::EditedCluster() const
{
    CString strCluster;
    GetDlgItemText(IDC_EXPLORER_CLUSTER, strCluster);
    return ClusterOfText(strCluster);
}

void CClusterExplorer::OnRefresh()
{
    ClearSortArrow();
    Owner().ExploreSelection(EditedCluster());
}

void CClusterExplorer::OnSpin(int nDelta)
{
    int64_t llNext = 0;
    if (!CExplorerRows::Page(ClusterOfText(m_strStart), ClusterOfText(m_strEnd), EditedCluster(), nDelta, llNext))
        return;
    m_bClusterEdit = false;
    m_strCluster = ClusterText(llNext);
    m_bShowingTexts = true;
    SetDlgItemText(IDC_EXPLORER_CLUSTER, m_strCluster);
    m_bShowingTexts = false;
    Owner().ExploreSelection(llNext);
    m_wndSpin.SetPos32(1);
}
