#include "gui/DriveInfo.h"

#include "gui/DriveInfoTexts.h"
#include "gui/Resource.h"
#include "gui/ResourceText.h"

#include "classlib/DC.h"
#include "guitoolkit/ToolkitColors.h"

#include <iterator>

CDriveInfo::CDriveInfo(CWnd* pParent) : CDialog(IDD_DRIVE_INFO, pParent)
{
    SetAutoDelete(true);
}

BOOL CDriveInfo::OnInitDialog()
{
    CDialog::OnInitDialog();
    for (const DRIVE_INFO_FIELD& field : kDriveInfoFields)
        SetDlgItemText(field.nLabelId, ResourceText(field.nLabelText));
    if (m_bmpPicture.LoadBitmap(IDB_DRIVE_INFO))
        m_bmpMask.Attach(CreateMaskBitmap(m_bmpPicture, TransparentColor));
    return TRUE;
}

void CDriveInfo::ShowValues(const std::vector<CString>& values)
{
    for (size_t i = 0; i < values.size() && i < std::size(kDriveInfoFields); ++i)
        SetDlgItemText(kDriveInfoFields[i].nValueId, values[i]);
}

void CDriveInfo::Reset()
{
    ShowValues(CDriveInfoTexts::Searching());
}

void CDriveInfo::Fill(const CNetDefragPartitionInfo& info)
{
    ShowValues(CDriveInfoTexts::Values(info));
}

void CDriveInfo::DrawPicture(CDC& dc)
{
    CWnd* pPlace = GetDlgItem(IDC_DRIVE_INFO_PICTURE);
    BITMAP stBitmap = {};
    if (pPlace == nullptr || m_bmpMask.m_hObject == NULL || m_bmpPicture.GetBitmap(&stBitmap) == 0)
        return;
    CRect rcPlace;
    pPlace->GetWindowRect(&rcPlace);
    ::MapWindowPoints(NULL, m_hWnd, reinterpret_cast<LPPOINT>(static_cast<RECT*>(&rcPlace)), 2);
    CDC dcImage;
    if (!dcImage.CreateCompatibleDC(&dc))
        return;
    // The mask's 1 becomes the destination's background colour: white keeps
    // what lies under the transparent pixels, black clears the rest for the picture.
    COLORREF crOldBack = dc.SetBkColor(RGB(255, 255, 255));
    COLORREF crOldText = dc.SetTextColor(RGB(0, 0, 0));
    if (dcImage.SelectObject(&m_bmpMask) != NULL)
        dc.BitBlt(rcPlace.left, rcPlace.top, stBitmap.bmWidth, stBitmap.bmHeight, &dcImage, 0, 0, SRCAND);
    if (dcImage.SelectObject(&m_bmpPicture) != NULL)
        dc.BitBlt(rcPlace.left, rcPlace.top, stBitmap.bmWidth, stBitmap.bmHeight, &dcImage, 0, 0, SRCPAINT);
    dc.SetBkColor(crOldBack);
    dc.SetTextColor(crOldText);
}

bool CDriveInfo::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    if (nMsg == WM_PAINT)
    {
        CPaintDC dc(this);
        DrawPicture(dc);
        lResult = 0;
        return true;
    }
    return CDialog::OnMessage(nMsg, wParam, lParam, lResult);
}
