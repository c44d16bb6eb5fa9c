// CColorDialog: the system's colour chooser, opened full with a colour chosen
// at the start. The sixteen custom colours are kept for the whole program, so
// that colours the user mixed are there again the next time.
#pragma once

#include <windows.h>

#include <commdlg.h>

class CWnd;

class CColorDialog
{
public:
    explicit CColorDialog(COLORREF crInitial = 0, DWORD dwFlags = 0, CWnd* pParent = nullptr);
    virtual ~CColorDialog() = default;

    // IDOK with the chosen colour, IDCANCEL when the user cancelled or the
    // dialog could not be shown.
    virtual INT_PTR DoModal();
    COLORREF GetColor() const { return m_cc.rgbResult; }
    static COLORREF* GetSavedCustomColors();

    CHOOSECOLORW m_cc;
};
