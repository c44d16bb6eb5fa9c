#include "gui/MainFrameFactory.h"

#if __has_include("gui/MainFrame.h")

#include "gui/MainFrame.h"

CFrameWnd* NewMainFrame()
{
    return new CMainFrame;
}

void ToggleMainFrameNetworkMode(CWnd* pMainWnd)
{
    if (auto* pFrame = dynamic_cast<CMainFrame*>(pMainWnd))
        pFrame->ToggleNetworkMode();
}

#else

#include "gui/CommandTail.h"
#include "gui/Resource.h"
#include "gui/qovDefragApp.h"

#include "classlib/FrameWnd.h"
#include "guitoolkit/Registry.h"

namespace
{
// Until the main frame's own class is part of the build, the frame of
// resource 50 stands in for it: it shows itself unless the start asked for
// the tray, takes a later start's command line, and ends on Exit.
class CStandInMainFrame : public CFrameWnd
{
public:
    BOOL LoadFrame(UINT nIDResource, DWORD dwStyle, CWnd* pParent, CCreateContext* pContext) override
    {
        if (!CFrameWnd::LoadFrame(nIDResource, dwStyle, pParent, pContext))
            return FALSE;
        auto* pApp = dynamic_cast<CqovDefragApp*>(CWinApp::GetApp());
        if (pApp == nullptr || !AsksToStayHidden(pApp->GetCommandTail()))
            ShowWindow(SW_SHOW);
        return TRUE;
    }

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_COPYDATA)
        {
            TakeHandedOverCommandLine(m_hWnd, reinterpret_cast<const COPYDATASTRUCT*>(lParam), true);
            lResult = TRUE;
            return true;
        }
        return CFrameWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nID == ID_APP_EXIT && nCode == CN_COMMAND)
        {
            DestroyWindow();
            return TRUE;
        }
        return CFrameWnd::HandleCommand(nID, nCode, pExtra);
    }
};
} // namespace

CFrameWnd* NewMainFrame()
{
    return new CStandInMainFrame;
}

void ToggleMainFrameNetworkMode(CWnd*)
{
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    DWORD dwMode = 0;
    if (!key.Create(HKEY_CURRENT_USER, L"Software\\Varnefold"))
        return;
    key.ReadDWORD(L"NetworkMode", dwMode);
    key.WriteDWORD(L"NetworkMode", dwMode == 1 ? 0 : 1);
}

#endif
