// CSkinMenuIcons: an icon store shared by the menus, made from one toolbar
// bitmap: three images per command (normal, darkened, disabled), counted by
// the item records that use it and kept in one process-wide list.
#pragma once

#include "classlib/ImageList.h"
#include "classlib/Object.h"
#include "classlib/String.h"

#include <windows.h>

#include <vector>

class CSkinMenuIcons : public CObject
{
public:
    CSkinMenuIcons() = default;
    ~CSkinMenuIcons() override = default;
    CSkinMenuIcons(const CSkinMenuIcons&) = delete;
    CSkinMenuIcons& operator=(const CSkinMenuIcons&) = delete;

    // The stores in the order they were made; GUI thread only.
    static std::vector<CSkinMenuIcons*>& StoreList();
    // Deletes every store of the list, at exit.
    static void DeleteAll();
    // One reference less; at 0 the store leaves the list and is deleted. The new count.
    static int Release(CSkinMenuIcons* pIcons);

    // Three times the command's last place in the id list, or -1.
    virtual int ImageOfCommand(UINT nCommand) const;
    // Loads a store made from a resource again, at its current image size.
    virtual void Reload();
    // From a copy of the bitmap; ids end with 0. Whether an id was added.
    virtual BOOL AddBitmap(HBITMAP hBitmap, SIZE szImage, const UINT* pIDs, COLORREF crMask);
    // A tool-info table: bitmap id, image width, image height, command ids, 0.
    virtual BOOL LoadToolInfo(const WORD* pToolInfo, COLORREF crMask);
    // A toolbar resource (version, width, height, count, ids; 0 is a
    // separator) and the bitmap of the same name. Whether an id was added.
    virtual BOOL LoadToolBarResource(const wchar_t* pszName, HINSTANCE hModule);
    virtual BOOL MatchesBitmap(HBITMAP hBitmap, SIZE szImage, const UINT* pIDs) const;
    virtual BOOL MatchesToolInfo(const WORD* pToolInfo, COLORREF crMask) const;
    virtual BOOL MatchesResource(const wchar_t* pszName, HINSTANCE hModule) const;
    virtual BOOL LoadBitmapImages(int cx, int cy, const wchar_t* pszName, HINSTANCE hModule);
    // Append (index -1) or replace the image at the index; the index used or -1.
    virtual int AddDarkenedImage(HICON hIcon, int nIndex);
    virtual int AddDisabledImage(HICON hIcon, int nIndex);
    // Turns each image of the list into its three.
    virtual BOOL BuildDerivedImages();

    SIZE GetImageSize() const;

    // An integer id below 0x10000 (m_strResourceName empty), or a name.
    WORD m_wResourceId = 0;
    CString m_strResourceName;
    // Null: the application's resource module.
    HINSTANCE m_hResourceModule = NULL;
    // The caller's bitmap a store was made from; not owned.
    HBITMAP m_hSourceBitmap = NULL;
    int m_nSourceColors = 0;
    COLORREF m_crMask = static_cast<COLORREF>(-1);
    CImageList m_imageList;
    std::vector<UINT> m_commandIDs;
    // The records that hold the store.
    int m_nRefCount = 0;

private:
    const wchar_t* ResourceName() const;
    bool HasResource() const { return m_wResourceId != 0 || !m_strResourceName.IsEmpty(); }
    BOOL RecreateList(int cx, int cy);
    int AddOrReplace(HBITMAP hColor, HBITMAP hMask, int nIndex);
};
