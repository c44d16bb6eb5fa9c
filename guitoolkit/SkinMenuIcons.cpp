#include "guitoolkit/SkinMenuIcons.h"

#include "classlib/WinApp.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <algorithm>

namespace
{
constexpr UINT ImageListFlags = ILC_COLORDDB | ILC_MASK;
constexpr int ImageListGrowth = 10;
constexpr int DisabledGreyWeight = 110;
constexpr int DisabledLightening = 115;
const wchar_t* const ToolBarResourceType = MAKEINTRESOURCEW(241);

// Whether the ids up to the closing 0 are exactly these.
template <typename T>
bool SameIDs(const std::vector<UINT>& ids, const T* pIDs)
{
    if (pIDs == nullptr)
        return ids.empty();
    size_t i = 0;
    for (; i < ids.size(); ++i)
    {
        if (pIDs[i] != ids[i])
            return false;
    }
    return pIDs[i] == 0;
}

// The colour the disabled images fade toward: the background the current theme paints them on.
COLORREF DisabledBackground()
{
    int nTheme = ToolkitEnvironment().nCurrentTheme;
    if (nTheme == 2 || nTheme == 3)
        return LightenColor(DisabledLightening, GetBarFaceColor());
    if (nTheme >= 8 && nTheme <= 11)
        return LightenColor(DisabledLightening, GetBarBackgroundColor());
    return LightenColor(DisabledLightening, GetMenuBarColor(NULL));
}

// Image lists draw a masked image by AND-ing the mask and OR-ing the colour
// bits, so the colour must stay black wherever the mask lets the background through.
bool BlackenMasked(HBITMAP hColor, HBITMAP hMask)
{
    BITMAPINFO stColorInfo, stMaskInfo;
    std::vector<DWORD> colors, masks;
    if (!ReadBitmapPixels(hColor, stColorInfo, colors) || !ReadBitmapPixels(hMask, stMaskInfo, masks) ||
        masks.size() < colors.size())
        return false;
    for (size_t i = 0; i < colors.size(); ++i)
    {
        if ((masks[i] & 0xFFFFFF) != 0)
            colors[i] = 0;
    }
    return WriteBitmapPixels(hColor, stColorInfo, colors);
}

bool DarkenBitmap(HBITMAP hColor, int nDarkening)
{
    BITMAPINFO stInfo;
    std::vector<DWORD> pixels;
    if (!ReadBitmapPixels(hColor, stInfo, pixels))
        return false;
    int nKeep = 255 - nDarkening;
    for (DWORD& dwPixel : pixels)
    {
        DWORD r = ::MulDiv((dwPixel >> 16) & 0xFF, nKeep, 255);
        DWORD g = ::MulDiv((dwPixel >> 8) & 0xFF, nKeep, 255);
        DWORD b = ::MulDiv(dwPixel & 0xFF, nKeep, 255);
        dwPixel = (r << 16) | (g << 8) | b;
    }
    return WriteBitmapPixels(hColor, stInfo, pixels);
}

// The two bitmaps of an icon, deleted with the object.
class CIconBitmaps
{
public:
    explicit CIconBitmaps(HICON hIcon) : m_stInfo()
    {
        if (hIcon == NULL || !::GetIconInfo(hIcon, &m_stInfo))
            m_stInfo = {};
    }
    ~CIconBitmaps()
    {
        if (m_stInfo.hbmColor != NULL)
            ::DeleteObject(m_stInfo.hbmColor);
        if (m_stInfo.hbmMask != NULL)
            ::DeleteObject(m_stInfo.hbmMask);
    }
    CIconBitmaps(const CIconBitmaps&) = delete;
    CIconBitmaps& operator=(const CIconBitmaps&) = delete;

    bool IsValid() const { return m_stInfo.hbmColor != NULL && m_stInfo.hbmMask != NULL; }
    HBITMAP Color() const { return m_stInfo.hbmColor; }
    HBITMAP Mask() const { return m_stInfo.hbmMask; }

private:
    ICONINFO m_stInfo;
};
} // namespace

std::vector<CSkinMenuIcons*>& CSkinMenuIcons::StoreList()
{
    static std::vector<CSkinMenuIcons*> s_stores;
    return s_stores;
}

void CSkinMenuIcons::DeleteAll()
{
    std::vector<CSkinMenuIcons*> stores;
    stores.swap(StoreList());
    for (CSkinMenuIcons* pIcons : stores)
        delete pIcons;
}

int CSkinMenuIcons::Release(CSkinMenuIcons* pIcons)
{
    if (pIcons == nullptr)
        return 0;
    if (--pIcons->m_nRefCount > 0)
        return pIcons->m_nRefCount;
    auto& stores = StoreList();
    stores.erase(std::remove(stores.begin(), stores.end(), pIcons), stores.end());
    delete pIcons;
    return 0;
}

int CSkinMenuIcons::ImageOfCommand(UINT nCommand) const
{
    for (size_t i = m_commandIDs.size(); i-- > 0;)
    {
        if (m_commandIDs[i] == nCommand)
            return static_cast<int>(3 * i);
    }
    return -1;
}

void CSkinMenuIcons::Reload()
{
    if (!HasResource())
        return;
    SIZE szImage = GetImageSize();
    if (m_imageList.GetSafeHandle() == NULL || szImage.cx <= 0 || szImage.cy <= 0)
        szImage = {16, 16};
    if (LoadBitmapImages(szImage.cx, szImage.cy, ResourceName(), m_hResourceModule))
        BuildDerivedImages();
}

BOOL CSkinMenuIcons::AddBitmap(HBITMAP hBitmap, SIZE szImage, const UINT* pIDs, COLORREF crMask)
{
    m_hSourceBitmap = hBitmap;
    m_crMask = crMask;
    // Adding with a mask colour blackens that colour in the bitmap it is given.
    HBITMAP hCopy = static_cast<HBITMAP>(::CopyImage(hBitmap, IMAGE_BITMAP, 0, 0, 0));
    if (hCopy == NULL)
        return FALSE;
    BOOL bLoaded = RecreateList(szImage.cx, szImage.cy) && m_imageList.Add(hCopy, m_crMask) >= 0;
    ::DeleteObject(hCopy);
    if (!bLoaded)
        return FALSE;
    BOOL bAdded = FALSE;
    for (const UINT* pID = pIDs; pID != nullptr && *pID != 0; ++pID)
    {
        m_commandIDs.push_back(*pID);
        bAdded = TRUE;
    }
    BuildDerivedImages();
    return bAdded;
}

BOOL CSkinMenuIcons::LoadToolInfo(const WORD* pToolInfo, COLORREF crMask)
{
    if (pToolInfo == nullptr || pToolInfo[0] == 0)
        return FALSE;
    m_crMask = crMask;
    if (!LoadBitmapImages(pToolInfo[1], pToolInfo[2], MAKEINTRESOURCEW(pToolInfo[0]), NULL))
        return FALSE;
    m_wResourceId = pToolInfo[0];
    m_strResourceName.Empty();
    m_hResourceModule = NULL;
    m_commandIDs.clear();
    for (const WORD* pID = pToolInfo + 3; *pID != 0; ++pID)
        m_commandIDs.push_back(*pID);
    BuildDerivedImages();
    return TRUE;
}

BOOL CSkinMenuIcons::LoadToolBarResource(const wchar_t* pszName, HINSTANCE hModule)
{
    if (IS_INTRESOURCE(pszName))
    {
        m_wResourceId = LOWORD(reinterpret_cast<ULONG_PTR>(pszName));
        m_strResourceName.Empty();
    }
    else
    {
        m_wResourceId = 0;
        m_strResourceName = pszName;
    }
    m_hResourceModule = hModule;
    HINSTANCE hFound = hModule;
    HRSRC hResource = hModule != NULL ? ::FindResourceW(hModule, pszName, ToolBarResourceType) : NULL;
    if (hResource == NULL)
    {
        hFound = CWinApp::FindResourceModule(pszName, ToolBarResourceType);
        hResource = ::FindResourceW(hFound, pszName, ToolBarResourceType);
    }
    HGLOBAL hData = hResource != NULL ? ::LoadResource(hFound, hResource) : NULL;
    const WORD* pWords = hData != NULL ? static_cast<const WORD*>(::LockResource(hData)) : nullptr;
    DWORD dwWords = hResource != NULL ? ::SizeofResource(hFound, hResource) / sizeof(WORD) : 0;
    // Version, width, height and count come first; the count is believed only
    // as far as the resource reaches.
    if (pWords == nullptr || dwWords < 4)
        return FALSE;
    DWORD dwCount = std::min<DWORD>(pWords[3], dwWords - 4);
    BOOL bAdded = FALSE;
    if (LoadBitmapImages(pWords[1], pWords[2], pszName, hModule))
    {
        m_commandIDs.clear();
        for (DWORD i = 0; i < dwCount; ++i)
        {
            if (pWords[4 + i] == 0)
                continue;
            m_commandIDs.push_back(pWords[4 + i]);
            bAdded = TRUE;
        }
    }
    BuildDerivedImages();
    return bAdded;
}

BOOL CSkinMenuIcons::MatchesBitmap(HBITMAP hBitmap, SIZE szImage, const UINT* pIDs) const
{
    SIZE szOwn = GetImageSize();
    return hBitmap == m_hSourceBitmap && szImage.cx == szOwn.cx && szImage.cy == szOwn.cy &&
           SameIDs(m_commandIDs, pIDs);
}

BOOL CSkinMenuIcons::MatchesToolInfo(const WORD* pToolInfo, COLORREF crMask) const
{
    // A longer table with the same start names commands this store has no images for.
    return pToolInfo != nullptr && crMask == m_crMask && pToolInfo[0] != 0 && m_strResourceName.IsEmpty() &&
           pToolInfo[0] == m_wResourceId && SameIDs(m_commandIDs, pToolInfo + 3);
}

BOOL CSkinMenuIcons::MatchesResource(const wchar_t* pszName, HINSTANCE hModule) const
{
    if (hModule != m_hResourceModule || pszName == nullptr)
        return FALSE;
    if (IS_INTRESOURCE(pszName))
        return m_strResourceName.IsEmpty() && LOWORD(reinterpret_cast<ULONG_PTR>(pszName)) == m_wResourceId;
    return !m_strResourceName.IsEmpty() && m_strResourceName == pszName;
}

BOOL CSkinMenuIcons::LoadBitmapImages(int cx, int cy, const wchar_t* pszName, HINSTANCE hModule)
{
    int nColors = 0;
    HBITMAP hBitmap = LoadBitmapWithColors(pszName, hModule, &nColors);
    if (hBitmap == NULL)
        return FALSE;
    m_nSourceColors = nColors;
    BOOL bLoaded = RecreateList(cx, cy) && m_imageList.Add(hBitmap, m_crMask) >= 0;
    ::DeleteObject(hBitmap);
    return bLoaded;
}

int CSkinMenuIcons::AddDarkenedImage(HICON hIcon, int nIndex)
{
    CIconBitmaps bitmaps(hIcon);
    if (!bitmaps.IsValid() || !DarkenBitmap(bitmaps.Color(), CSkinMenu::GetIconDarkening()))
        return -1;
    return AddOrReplace(bitmaps.Color(), bitmaps.Mask(), nIndex);
}

int CSkinMenuIcons::AddDisabledImage(HICON hIcon, int nIndex)
{
    CIconBitmaps bitmaps(hIcon);
    if (!bitmaps.IsValid() ||
        GreyBlendBitmap(bitmaps.Color(), DisabledGreyWeight, DisabledBackground()) == CLR_INVALID ||
        !BlackenMasked(bitmaps.Color(), bitmaps.Mask()))
        return -1;
    return AddOrReplace(bitmaps.Color(), bitmaps.Mask(), nIndex);
}

BOOL CSkinMenuIcons::BuildDerivedImages()
{
    int nImages = m_imageList.GetSafeHandle() != NULL ? m_imageList.GetImageCount() : 0;
    if (nImages <= 0)
        return FALSE;
    SIZE szImage = GetImageSize();
    CImageList oldList;
    oldList.Attach(m_imageList.Detach());
    bool bBuilt = m_imageList.Create(szImage.cx, szImage.cy, ImageListFlags, 0, ImageListGrowth) != FALSE;
    for (int i = 0; bBuilt && i < nImages; ++i)
    {
        HICON hIcon = oldList.ExtractIcon(i);
        // Every image takes exactly three places, or the places of later commands shift.
        bBuilt = hIcon != NULL && m_imageList.Add(hIcon) >= 0 && AddDarkenedImage(hIcon, -1) >= 0 &&
                 AddDisabledImage(hIcon, -1) >= 0;
        if (hIcon != NULL)
            ::DestroyIcon(hIcon);
    }
    if (!bBuilt)
        m_imageList.Attach(oldList.Detach());
    return bBuilt;
}

SIZE CSkinMenuIcons::GetImageSize() const
{
    int cx = 0, cy = 0;
    if (m_imageList.GetSafeHandle() == NULL || !ImageList_GetIconSize(m_imageList, &cx, &cy))
        return {0, 0};
    return {cx, cy};
}

const wchar_t* CSkinMenuIcons::ResourceName() const
{
    return m_strResourceName.IsEmpty() ? MAKEINTRESOURCEW(m_wResourceId) : m_strResourceName.GetString();
}

BOOL CSkinMenuIcons::RecreateList(int cx, int cy)
{
    m_imageList.DeleteImageList();
    return m_imageList.Create(cx, cy, ImageListFlags, 0, ImageListGrowth);
}

int CSkinMenuIcons::AddOrReplace(HBITMAP hColor, HBITMAP hMask, int nIndex)
{
    if (nIndex < 0)
        return m_imageList.Add(hColor, hMask);
    return m_imageList.Replace(nIndex, hColor, hMask) ? nIndex : -1;
}
