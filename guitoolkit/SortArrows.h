// CSortArrows: the sort mark in a list's header. Common controls 6 draw it
// themselves from a format flag; older ones get a 9 by 5 arrow image at the
// right of the heading, drawn in the gray-text colour.
#pragma once

#include "classlib/GdiObject.h"
#include "classlib/HeaderCtrl.h"
#include "classlib/ImageList.h"

class CSortArrows
{
public:
    enum
    {
        controlsBelow6 = 1,
        controls6 = 2,
    };
    // Read once per process from the loaded comctl32's version.
    static int GetCommonControlsClass();

    explicit CSortArrows(int nControlsClass = GetCommonControlsClass());

    int GetControlsClass() const { return m_nControlsClass; }
    // The images again, in the current system colours.
    BOOL BuildImages();
    HIMAGELIST GetImageList() const { return m_images.GetSafeHandle(); }
    // Every header item keeps its alignment and text; the item nSortItem
    // (-1 none) gets the mark.
    void Apply(CHeaderCtrl& header, int nSortItem, bool bDescending);

private:
    int m_nControlsClass;
    CBitmap m_ascending;
    CBitmap m_descending;
    CImageList m_images;
};
