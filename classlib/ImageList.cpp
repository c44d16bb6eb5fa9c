#include "classlib/ImageList.h"

#include "classlib/DC.h"

BOOL CImageList::Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow)
{
    return Attach(ImageList_Create(cx, cy, nFlags, nInitial, nGrow));
}

BOOL CImageList::Attach(HIMAGELIST hImageList)
{
    if (hImageList == NULL)
        return FALSE;
    DeleteImageList();
    m_hImageList = hImageList;
    return TRUE;
}

HIMAGELIST CImageList::Detach()
{
    HIMAGELIST hImageList = m_hImageList;
    m_hImageList = NULL;
    return hImageList;
}

BOOL CImageList::DeleteImageList()
{
    if (m_hImageList == NULL)
        return FALSE;
    return ImageList_Destroy(Detach());
}

namespace
{
template <typename T>
T BindComctl(const char* pszName)
{
    HMODULE hComctl = ::GetModuleHandleW(L"comctl32.dll");
    return hComctl != NULL ? reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(hComctl, pszName)))
                           : nullptr;
}
} // namespace

BOOL CImageList::DrawEx(CDC* pDC, int nImage, POINT pt, SIZE sz, COLORREF crBack, COLORREF crFore, UINT nStyle)
{
    using PFNDRAWEX = BOOL(WINAPI*)(HIMAGELIST, int, HDC, int, int, int, int, COLORREF, COLORREF, UINT);
    static const PFNDRAWEX s_pfnDrawEx = BindComctl<PFNDRAWEX>("ImageList_DrawEx");
    return pDC != nullptr && s_pfnDrawEx != nullptr &&
           s_pfnDrawEx(m_hImageList, nImage, pDC->m_hDC, pt.x, pt.y, sz.cx, sz.cy, crBack, crFore, nStyle);
}

BOOL CImageList::DrawIndirect(IMAGELISTDRAWPARAMS* pParams)
{
    using PFNDRAWINDIRECT = BOOL(WINAPI*)(IMAGELISTDRAWPARAMS*);
    static const PFNDRAWINDIRECT s_pfnDrawIndirect = BindComctl<PFNDRAWINDIRECT>("ImageList_DrawIndirect");
    return pParams != nullptr && s_pfnDrawIndirect != nullptr && s_pfnDrawIndirect(pParams);
}

BOOL CImageList::Draw(CDC* pDC, int nImage, POINT pt, UINT nStyle)
{
    return pDC != nullptr && ImageList_Draw(m_hImageList, nImage, pDC->m_hDC, pt.x, pt.y, nStyle);
}
