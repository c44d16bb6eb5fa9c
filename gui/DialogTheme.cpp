#include "gui/DialogTheme.h"

#include "classlib/Dialog.h"
#include "guitoolkit/ToolkitEnvironment.h"

namespace
{
// ETDT_ENABLE | ETDT_USETABTEXTURE: the texture of a tab's page.
constexpr DWORD ThemeTabTexture = 0x6;
} // namespace

void ApplyDialogTheme(HWND hDlg)
{
    if (auto pfnEnable = ToolkitEnvironment().pfnEnableThemeDialogTexture)
        pfnEnable(hDlg, ThemeTabTexture);
}

void InstallDialogTheme()
{
    CDialog::SetInitDialogHook(ApplyDialogTheme);
}
