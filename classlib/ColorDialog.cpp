#include "classlib/ColorDialog.h"

#include "classlib/WinApp.h"
#include "classlib/Wnd.h"

namespace
{
COLORREF g_acrCustom[16] = {
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
};
} // namespace

CColorDialog::CColorDialog(COLORREF crInitial, DWORD dwFlags, CWnd* pParent) : m_cc{}
{
    m_cc.lStructSize = sizeof(m_cc);
    m_cc.hwndOwner = pParent != nullptr ? pParent->GetSafeHwnd() : NULL;
    m_cc.rgbResult = crInitial;
    m_cc.lpCustColors = g_acrCustom;
    m_cc.Flags = dwFlags | CC_RGBINIT;
}

INT_PTR CColorDialog::DoModal()
{
    if (m_cc.hwndOwner == NULL)
    {
        CWnd* pMain = CWinApp::GetMainWnd();
        m_cc.hwndOwner = pMain != nullptr ? pMain->GetSafeHwnd() : NULL;
    }
    return ::ChooseColorW(&m_cc) ? IDOK : IDCANCEL;
}

COLORREF* CColorDialog::GetSavedCustomColors()
{
    return g_acrCustom;
}
