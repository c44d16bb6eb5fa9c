// CImageList: owns one image list and frees it when it goes (unless detached).
#pragma once

#include "classlib/Object.h"

#include <windows.h>
#include <commctrl.h>

class CDC;

class CImageList : public CObject
{
public:
    CImageList() : m_hImageList(NULL) {}
    ~CImageList() override { DeleteImageList(); }
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    HIMAGELIST m_hImageList;

    operator HIMAGELIST() const { return m_hImageList; }
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }

    BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow);
    BOOL Attach(HIMAGELIST hImageList);
    HIMAGELIST Detach();
    BOOL DeleteImageList();

    int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
    // The index of the first image added, -1 on failure.
    int Add(HBITMAP hBitmap, HBITMAP hMask) { return ImageList_Add(m_hImageList, hBitmap, hMask); }
    int Add(HBITMAP hBitmap, COLORREF crMask) { return ImageList_AddMasked(m_hImageList, hBitmap, crMask); }
    int Add(HICON hIcon) { return ImageList_AddIcon(m_hImageList, hIcon); }
    BOOL Replace(int nImage, HBITMAP hBitmap, HBITMAP hMask)
    {
        return ImageList_Replace(m_hImageList, nImage, hBitmap, hMask);
    }
    int Replace(int nImage, HICON hIcon) { return ImageList_ReplaceIcon(m_hImageList, nImage, hIcon); }
    BOOL Remove(int nImage) { return ImageList_Remove(m_hImageList, nImage); }
    BOOL Draw(CDC* pDC, int nImage, POINT pt, UINT nStyle);
    // Both bound when first called: FALSE where the loaded comctl32 lacks them.
    BOOL DrawEx(CDC* pDC, int nImage, POINT pt, SIZE sz, COLORREF crBack, COLORREF crFore, UINT nStyle);
    static BOOL DrawIndirect(IMAGELISTDRAWPARAMS* pParams);
    // A new icon the caller destroys; null on failure.
    HICON ExtractIcon(int nImage) const { return ImageList_GetIcon(m_hImageList, nImage, ILD_NORMAL); }
    COLORREF SetBkColor(COLORREF cr) { return ImageList_SetBkColor(m_hImageList, cr); }
    BOOL GetImageInfo(int nImage, IMAGEINFO* pInfo) const
    {
        return ImageList_GetImageInfo(m_hImageList, nImage, pInfo);
    }
};
