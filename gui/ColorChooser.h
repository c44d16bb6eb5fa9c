// IColorChooser: asks the user for a colour. The cluster-map pane goes
// through it, so that its legend can be driven without a modal dialog.
#pragma once

#include <windows.h>

class CWnd;

class IColorChooser
{
public:
    virtual ~IColorChooser() = default;
    // True and the chosen colour after OK.
    virtual bool Choose(CWnd* pParent, COLORREF crInitial, COLORREF& crChosen) = 0;
};

// The system's colour dialog, opened full.
class CSystemColorChooser : public IColorChooser
{
public:
    bool Choose(CWnd* pParent, COLORREF crInitial, COLORREF& crChosen) override;
};
