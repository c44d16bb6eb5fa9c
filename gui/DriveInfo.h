// CDriveInfo: the modeless window with the figures of one volume, thirteen
// label and value pairs beside the drive picture.
#pragma once

#include "classlib/Dialog.h"
#include "classlib/GdiObject.h"
#include "classlib/String.h"

#include <vector>

class CDC;
class CNetDefragPartitionInfo;

class CDriveInfo : public CDialog
{
public:
    // The picture's colour that lets the dialog show through.
    static constexpr COLORREF TransparentColor = 0x9300D6;

    explicit CDriveInfo(CWnd* pParent);

    // Before a new request: "Searching...", the other texts empty, the numbers 0.
    void Reset();
    void Fill(const CNetDefragPartitionInfo& info);
    // The picture over what the context holds, at the place control 265 keeps for it.
    void DrawPicture(CDC& dc);

    BOOL OnInitDialog() override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    void ShowValues(const std::vector<CString>& values);

    CBitmap m_bmpPicture; // black where the picture is transparent
    CBitmap m_bmpMask;    // 1 where the picture is transparent
};
