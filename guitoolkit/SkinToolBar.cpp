#include "guitoolkit/SkinToolBar.h"

#include "classlib/DC.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/ToolkitColors.h"

#include <algorithm>

namespace
{
constexpr UINT ImageListFlags = ILC_COLORDDB | ILC_MASK;
constexpr int ImageListGrowth = 10;
constexpr int DisabledGreyWeight = 110;
constexpr int DisabledLightening = 115;

COLORREF CornerColor(HBITMAP hBitmap)
{
    HDC hDC = ::CreateCompatibleDC(NULL);
    if (hDC == NULL)
        return CLR_INVALID;
    HGDIOBJ hOld = ::SelectObject(hDC, hBitmap);
    COLORREF cr = ::GetPixel(hDC, 0, 0);
    ::SelectObject(hDC, hOld);
    ::DeleteDC(hDC);
    return cr;
}

SIZE BitmapSize(HBITMAP hBitmap)
{
    BITMAP stBitmap = {};
    if (!::GetObjectW(hBitmap, sizeof(stBitmap), &stBitmap))
        return SIZE{0, 0};
    return SIZE{stBitmap.bmWidth, stBitmap.bmHeight};
}

// A bitmap of our own: the resource of the module, or a copy of the handle.
HBITMAP OwnBitmap(HINSTANCE hInst, UINT_PTR nID)
{
    if (hInst != NULL)
        return static_cast<HBITMAP>(::LoadImageW(hInst, MAKEINTRESOURCEW(nID), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    return static_cast<HBITMAP>(::CopyImage(reinterpret_cast<HBITMAP>(nID), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

bool IsHostingSeparator(const TBBUTTON& stButton)
{
    return (stButton.fsStyle & TBSTYLE_SEP) && stButton.idCommand != 0;
}

// Every pixel of the icon's colours darkened; null when it cannot be made.
HICON DarkenedIcon(HICON hIcon, int nDarkening)
{
    ICONINFO stInfo = {};
    if (!::GetIconInfo(hIcon, &stInfo))
        return NULL;
    HICON hResult = NULL;
    BITMAPINFO stBits = {};
    std::vector<DWORD> pixels;
    if (stInfo.hbmColor != NULL && ReadBitmapPixels(stInfo.hbmColor, stBits, pixels))
    {
        for (DWORD& dwPixel : pixels)
        {
            COLORREF cr = DarkenColor(nDarkening, RGB(GetBValue(dwPixel), GetGValue(dwPixel), GetRValue(dwPixel)));
            dwPixel = RGB(GetBValue(cr), GetGValue(cr), GetRValue(cr));
        }
        if (WriteBitmapPixels(stInfo.hbmColor, stBits, pixels))
            hResult = ::CreateIconIndirect(&stInfo);
    }
    if (stInfo.hbmColor != NULL)
        ::DeleteObject(stInfo.hbmColor);
    if (stInfo.hbmMask != NULL)
        ::DeleteObject(stInfo.hbmMask);
    return hResult;
}

bool IsBarColorTheme(int nThemeId)
{
    return nThemeId >= 8 && nThemeId <= 11;
}
} // namespace

BOOL CSkinToolBar::LoadToolBar(UINT nID, UINT nBitmapID)
{
    BOOL bResult = CToolBar::LoadToolBar(nID, nBitmapID);
    LoadImages(nBitmapID, MaskFromCorner);
    return bResult;
}

BOOL CSkinToolBar::LoadImages(UINT nBitmapID, COLORREF crMask)
{
    int nColors = 0;
    HBITMAP hBitmap = LoadBitmapWithColors(nBitmapID, NULL, &nColors);
    if (hBitmap == NULL)
        return FALSE;
    m_crMask = crMask == MaskFromCorner ? CornerColor(hBitmap) : crMask;
    CSize sizeImage = GetImageSize();
    m_imagesNormal.DeleteImageList();
    m_imagesNormal.Create(sizeImage.cx, sizeImage.cy, ImageListFlags, 0, ImageListGrowth);
    m_imagesNormal.Add(hBitmap, m_crMask);
    RebuildDarkenedImages();

    // Adding with a mask colour may blacken the source: the grey images
    // come from a fresh copy.
    ::DeleteObject(hBitmap);
    hBitmap = LoadBitmapWithColors(nBitmapID, NULL, &nColors);
    if (hBitmap == NULL)
        return FALSE;
    COLORREF crGround = IsBarColorTheme(CSkinMenu::GetCurrentThemeId()) ? GetBarBackgroundColor() : GetBarFaceColor();
    COLORREF crBlendedMask = GreyBlendBitmap(hBitmap, DisabledGreyWeight, LightenColor(DisabledLightening, crGround));
    m_imagesDisabled.DeleteImageList();
    m_imagesDisabled.Create(sizeImage.cx, sizeImage.cy, ImageListFlags, 0, ImageListGrowth);
    m_imagesDisabled.Add(hBitmap, crBlendedMask);
    ::DeleteObject(hBitmap);
    return TRUE;
}

void CSkinToolBar::RebuildDarkenedImages()
{
    m_imagesDarkened.DeleteImageList();
    if (m_imagesNormal.m_hImageList == NULL)
        return;
    int cx = 0, cy = 0;
    ImageList_GetIconSize(m_imagesNormal, &cx, &cy);
    m_imagesDarkened.Create(cx, cy, ImageListFlags, 0, ImageListGrowth);
    int nDarkening = CSkinMenu::GetIconDarkening();
    for (int i = 0; i < m_imagesNormal.GetImageCount(); ++i)
    {
        HICON hIcon = m_imagesNormal.ExtractIcon(i);
        HICON hDark = hIcon != NULL ? DarkenedIcon(hIcon, nDarkening) : NULL;
        // An image that cannot be darkened keeps its place as it is.
        m_imagesDarkened.Add(hDark != NULL ? hDark : hIcon);
        if (hDark != NULL)
            ::DestroyIcon(hDark);
        if (hIcon != NULL)
            ::DestroyIcon(hIcon);
    }
    CImageList& images = CSkinMenu::GetDisabledIconMode() == 1 ? m_imagesDarkened : m_imagesNormal;
    CWnd::DefWindowProc(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images.m_hImageList));
}

LRESULT CSkinToolBar::OnAddBitmap(WPARAM wParam, LPARAM lParam)
{
    int nBefore = m_imagesNormal.m_hImageList != NULL ? m_imagesNormal.GetImageCount() : 0;
    LRESULT nIndex = CToolBar::DefWindowProc(TB_ADDBITMAP, wParam, lParam);
    // The control adds the images, unmasked, to the list it was given: the
    // masked ones follow below.
    for (int i = m_imagesNormal.m_hImageList != NULL ? m_imagesNormal.GetImageCount() : 0; i > nBefore; --i)
        m_imagesNormal.Remove(i - 1);
    const TBADDBITMAP* pAdd = reinterpret_cast<const TBADDBITMAP*>(lParam);
    if (nIndex == -1 || pAdd == nullptr || nBefore > nIndex)
        return nIndex;
    HBITMAP hBitmap = OwnBitmap(pAdd->hInst, pAdd->nID);
    if (hBitmap == NULL)
        return nIndex;
    HBITMAP hMask = CreateMaskBitmap(hBitmap, CornerColor(hBitmap));
    SIZE size = BitmapSize(hBitmap);
    int nButtons = std::max(1, static_cast<int>(wParam));
    for (CImageList* pImages : {&m_imagesNormal, &m_imagesDisabled})
    {
        if (pImages->m_hImageList == NULL)
            pImages->Create(std::max(1L, size.cx / nButtons), size.cy, ImageListFlags, 0, ImageListGrowth);
        pImages->Add(hBitmap, hMask);
    }
    RebuildDarkenedImages();
    m_addedBitmaps.push_back({pAdd->hInst, pAdd->nID, static_cast<int>(nIndex)});
    if (hMask != NULL)
        ::DeleteObject(hMask);
    ::DeleteObject(hBitmap);
    return nIndex;
}

LRESULT CSkinToolBar::OnReplaceBitmap(LPARAM lParam)
{
    LRESULT lResult = CToolBar::DefWindowProc(TB_REPLACEBITMAP, 0, lParam);
    const TBREPLACEBITMAP* pReplace = reinterpret_cast<const TBREPLACEBITMAP*>(lParam);
    if (!lResult || pReplace == nullptr)
        return lResult;
    auto it = std::find_if(m_addedBitmaps.begin(), m_addedBitmaps.end(), [pReplace](const stAddedBitmap& stAdded) {
        return stAdded.hInst == pReplace->hInstOld && stAdded.nID == pReplace->nIDOld;
    });
    if (it == m_addedBitmaps.end())
        return lResult;
    it->hInst = pReplace->hInstNew;
    it->nID = pReplace->nIDNew;
    HBITMAP hBitmap = OwnBitmap(pReplace->hInstNew, pReplace->nIDNew);
    if (hBitmap == NULL)
        return lResult;
    // The new bitmap's images, one by one, over those of the old one.
    HBITMAP hMask = CreateMaskBitmap(hBitmap, CornerColor(hBitmap));
    CImageList images;
    int cx = 0, cy = 0;
    ImageList_GetIconSize(m_imagesNormal, &cx, &cy);
    if (images.Create(cx, cy, ImageListFlags, 0, ImageListGrowth))
        images.Add(hBitmap, hMask);
    int nImages = std::min({images.GetImageCount(), std::max(1, static_cast<int>(pReplace->nButtons)),
                            m_imagesNormal.GetImageCount() - it->nFirstImage});
    bool bReplaced = false;
    for (int i = 0; i < nImages; ++i)
    {
        HICON hIcon = images.ExtractIcon(i);
        if (hIcon == NULL)
            continue;
        if (m_imagesNormal.Replace(it->nFirstImage + i, hIcon) != -1)
        {
            m_imagesDisabled.Replace(it->nFirstImage + i, hIcon);
            bReplaced = true;
        }
        ::DestroyIcon(hIcon);
    }
    if (bReplaced)
        RebuildDarkenedImages();
    if (hMask != NULL)
        ::DeleteObject(hMask);
    ::DeleteObject(hBitmap);
    return lResult;
}

BOOL CSkinToolBar::InsertControl(int nIndex, CWnd* pControl, DWORD_PTR dwData)
{
    if (pControl == nullptr || pControl->m_hWnd == NULL)
        return FALSE;
    pControl->SetFont(GetFont(), TRUE);
    CRect rcControl;
    pControl->GetWindowRect(rcControl);
    TBBUTTON stButton = {};
    stButton.iBitmap = rcControl.Width();
    stButton.idCommand = pControl->GetDlgCtrlID();
    stButton.fsState = TBSTATE_ENABLED;
    stButton.fsStyle = TBSTYLE_SEP;
    stButton.dwData = dwData;
    stButton.iString = -1;
    int nCount = GetCount();
    if (nIndex < 0 || nIndex > nCount)
        nIndex = nCount;
    if (!SendMessage(TB_INSERTBUTTONW, nIndex, reinterpret_cast<LPARAM>(&stButton)))
        return FALSE;
    m_bDelayedButtonLayout = true;
    SetButtonInfo(nIndex, static_cast<UINT>(stButton.idCommand), TBBS_SEPARATOR, stButton.iBitmap);
    return TRUE;
}

CSize CSkinToolBar::CalcDynamicLayout(int nLength, DWORD dwMode)
{
    m_nLayoutPass = (dwMode & LM_VERTDOCK) ? VerticalLayoutPass : OtherLayoutPass;
    CSize size = CToolBar::CalcDynamicLayout(nLength, dwMode);
    m_nLayoutPass = NoLayoutPass;
    if (dwMode & LM_COMMIT)
        PlaceHostedControls((dwMode & LM_VERTDOCK) != 0);
    return size;
}

void CSkinToolBar::PlaceHostedControls(bool bVertical)
{
    int nCount = GetCount();
    for (int i = 0; i < nCount; ++i)
    {
        TBBUTTON stButton = {};
        if (!CWnd::DefWindowProc(TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&stButton)) || !IsHostingSeparator(stButton))
            continue;
        HWND hControl = ::GetDlgItem(m_hWnd, stButton.idCommand);
        if (hControl == NULL)
            continue;
        if (bVertical)
        {
            CWnd::DefWindowProc(TB_HIDEBUTTON, stButton.idCommand, TRUE);
            ::ShowWindow(hControl, SW_HIDE);
            continue;
        }
        CWnd::DefWindowProc(TB_HIDEBUTTON, stButton.idCommand, FALSE);
        CRect rc;
        GetItemRect(i, rc);
        rc.InflateRect(-1, -1);
        CRect rcControl;
        ::GetWindowRect(hControl, &rcControl);
        rc.OffsetRect(0, (rc.Height() - rcControl.Height()) / 2);
        UINT nFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW;
        if (rcControl.Width() == rc.Width())
            nFlags |= SWP_NOSIZE;
        ::SetWindowPos(hControl, NULL, rc.left, rc.top, rc.Width(), rcControl.Height(), nFlags);
    }
}

LRESULT CSkinToolBar::DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = CToolBar::DefWindowProc(nMsg, wParam, lParam);
    if (nMsg == TB_GETBUTTON && lResult && lParam != 0 && m_nLayoutPass != NoLayoutPass)
    {
        // The layout measures the bar with the hosted controls as they will
        // be: gone down a side, back across.
        TBBUTTON* pButton = reinterpret_cast<TBBUTTON*>(lParam);
        if (IsHostingSeparator(*pButton))
        {
            if (m_nLayoutPass == VerticalLayoutPass)
                pButton->fsState |= TBSTATE_HIDDEN;
            else
                pButton->fsState &= ~TBSTATE_HIDDEN;
        }
    }
    return lResult;
}

bool CSkinToolBar::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case TB_ADDBITMAP:
        lResult = OnAddBitmap(wParam, lParam);
        return true;
    case TB_REPLACEBITMAP:
        lResult = OnReplaceBitmap(lParam);
        return true;
    case WM_CREATE:
        if (!CToolBar::OnMessage(nMsg, wParam, lParam, lResult))
            lResult = DefWindowProc(nMsg, wParam, lParam);
        if (lResult != -1)
            ApplyThemeStyle();
        return true;
    case WM_ERASEBKGND:
    {
        CDC dc;
        dc.Attach(reinterpret_cast<HDC>(wParam));
        lResult = EraseBackground(&dc);
        dc.Detach();
        return true;
    }
    case WM_PAINT:
    {
        if (m_bDelayedButtonLayout)
            Layout();
        CPaintDC dc(this);
        Paint(&dc);
        lResult = 0;
        return true;
    }
    case WM_NCPAINT:
        OnNcPaint();
        lResult = 0;
        return true;
    default:
        return CToolBar::OnMessage(nMsg, wParam, lParam, lResult);
    }
}

void CSkinToolBar::OnNcPaint()
{
    CWindowDC dc(this);
    if (dc.m_hDC == NULL)
        return;
    CRect rcWindow;
    GetWindowRect(rcWindow);
    CPoint ptClient(0, 0);
    ClientToScreen(&ptClient);
    ptClient.x -= rcWindow.left;
    ptClient.y -= rcWindow.top;
    rcWindow.OffsetRect(-rcWindow.left, -rcWindow.top);
    CRect rcClient;
    GetClientRect(rcClient);
    rcClient.OffsetRect(ptClient.x, ptClient.y);
    dc.ExcludeClipRect(rcClient);
    DrawBorders(&dc, rcWindow);
    dc.IntersectClipRect(rcWindow);
    // The ground is painted in client coordinates: a docked bar's reaches
    // out over its borders and gripper.
    CPoint ptOldOrigin;
    if (!IsFloating())
        ptOldOrigin = dc.SetWindowOrg(-ptClient.x, -ptClient.y);
    SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC));
    if (!IsFloating())
        dc.SetWindowOrg(ptOldOrigin.x, ptOldOrigin.y);
    DrawGripper(&dc, rcWindow);
}
