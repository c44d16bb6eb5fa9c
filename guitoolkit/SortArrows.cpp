#include "guitoolkit/SortArrows.h"

#include <shlwapi.h>

namespace
{
constexpr UINT IdDescendingArrow = 16;
constexpr UINT IdAscendingArrow = 18;
constexpr int ArrowWidth = 9;
constexpr int ArrowHeight = 5;

int ReadCommonControlsClass()
{
    int nClass = CSortArrows::controlsBelow6;
    HMODULE hComctl = ::LoadLibraryW(L"COMCTL32.DLL");
    if (hComctl == NULL)
        return nClass;
    auto pfnGetVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(::GetProcAddress(hComctl, "DllGetVersion")));
    DLLVERSIONINFO stVersion = {};
    stVersion.cbSize = sizeof(stVersion);
    if (pfnGetVersion != nullptr && SUCCEEDED(pfnGetVersion(&stVersion)) && stVersion.dwMajorVersion >= 6)
        nClass = CSortArrows::controls6;
    ::FreeLibrary(hComctl);
    return nClass;
}
} // namespace

int CSortArrows::GetCommonControlsClass()
{
    static const int s_nClass = ReadCommonControlsClass();
    return s_nClass;
}

CSortArrows::CSortArrows(int nControlsClass) : m_nControlsClass(nControlsClass)
{
}

BOOL CSortArrows::BuildImages()
{
    CBitmap ascending, descending;
    CImageList images;
    if (!ascending.LoadMappedBitmap(IdAscendingArrow) || !descending.LoadMappedBitmap(IdDescendingArrow) ||
        !images.Create(ArrowWidth, ArrowHeight, ILC_COLOR24 | ILC_MASK, 2, 0) ||
        images.Add(ascending, RGB(255, 255, 255)) != 0 || images.Add(descending, RGB(255, 255, 255)) != 1)
        return FALSE;
    // A header that shows the old list keeps drawing from it until given the new one.
    m_images.DeleteImageList();
    m_images.Attach(images.Detach());
    m_ascending.Attach(ascending.Detach());
    m_descending.Attach(descending.Detach());
    return TRUE;
}

void CSortArrows::Apply(CHeaderCtrl& header, int nSortItem, bool bDescending)
{
    bool bImages = m_nControlsClass == controlsBelow6;
    if (bImages && m_images.GetSafeHandle() == NULL)
        bImages = BuildImages() != FALSE;
    if (bImages)
        header.SetImageList(m_images);
    for (int i = 0; i < header.GetItemCount(); ++i)
    {
        HDITEMW stItem = {};
        stItem.mask = HDI_FORMAT;
        if (!header.GetItem(i, &stItem))
            continue;
        stItem.fmt = (stItem.fmt & HDF_JUSTIFYMASK) | HDF_STRING;
        if (i == nSortItem && m_nControlsClass == controls6)
            stItem.fmt |= bDescending ? HDF_SORTDOWN : HDF_SORTUP;
        else if (i == nSortItem && bImages)
        {
            stItem.mask |= HDI_IMAGE;
            stItem.fmt |= HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
            stItem.iImage = bDescending ? 1 : 0;
        }
        header.SetItem(i, &stItem);
    }
}
