// A skin frame with bars docked on its sides, for pictures taken by the GUI
// harness: commands 1-4 dock the tool bar at the top, bottom, left or right,
// 5 floats it, 57665 ends the program. After each, the title names the state.
#include "classlib/WinApp.h"
#include "guitoolkit/SkinDockBar.h"
#include "guitoolkit/SkinFrameWnd.h"
#include "guitoolkit/SkinMenuBar.h"

#include "../PaintedBar.h"
#include "DemoWindowClass.h"

namespace
{
constexpr UINT ExitCommand = 57665;
constexpr UINT FloatCommand = 5;

struct stDockCommand
{
    UINT nDockBar;
    const wchar_t* pszTitle;
};

const stDockCommand DockCommands[] = {{AFX_IDW_DOCKBAR_TOP, L"Frames: top"},
                                      {AFX_IDW_DOCKBAR_BOTTOM, L"Frames: bottom"},
                                      {AFX_IDW_DOCKBAR_LEFT, L"Frames: left"},
                                      {AFX_IDW_DOCKBAR_RIGHT, L"Frames: right"}};

class CDemoFrame : public CSkinFrameWnd
{
public:
    CDemoFrame()
        : m_status(32767, 20, RGB(230, 230, 230)), m_menuBar(220, 22, RGB(255, 235, 205)),
          m_tools(160, 28, RGB(190, 215, 255)), m_palette(140, 26, RGB(200, 240, 200))
    {
    }

    BOOL MakeBars()
    {
        if (!m_status.Create(this, L"Status bar", AFX_IDW_STATUS_BAR, CBRS_BOTTOM))
            return FALSE;
        EnableSkinDocking(this, CBRS_ALIGN_ANY);
        if (!m_menuBar.Create(this, L"Menu bar", AFX_IDW_MENUBAR) || !m_tools.Create(this, L"Tools", AFX_IDW_TOOLBAR) ||
            !m_palette.Create(this, L"Palette", AFX_IDW_TOOLBAR + 1))
            return FALSE;
        DockControlBar(&m_menuBar, AFX_IDW_DOCKBAR_TOP);
        DockControlBar(&m_tools, AFX_IDW_DOCKBAR_TOP);
        DockControlBar(&m_palette, AFX_IDW_DOCKBAR_LEFT);
        return TRUE;
    }

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nCode != CN_COMMAND)
            return CSkinFrameWnd::HandleCommand(nID, nCode, pExtra);
        if (nID == ExitCommand)
        {
            DestroyWindow();
            return TRUE;
        }
        const wchar_t* pszTitle = nullptr;
        if (nID >= 1 && nID <= 4)
        {
            DockControlBar(&m_tools, DockCommands[nID - 1].nDockBar);
            pszTitle = DockCommands[nID - 1].pszTitle;
        }
        else if (nID == FloatCommand)
        {
            CRect rc;
            GetWindowRect(rc);
            FloatControlBar(&m_tools, CPoint(rc.left + 200, rc.top + 160));
            pszTitle = L"Frames: floating";
        }
        if (pszTitle == nullptr)
            return CSkinFrameWnd::HandleCommand(nID, nCode, pExtra);
        // Painted before the title tells the harness the state is there.
        ::RedrawWindow(m_hWnd, nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME | RDW_UPDATENOW);
        if (m_tools.IsFloating())
            m_tools.m_pDockBar->GetParentFrame()->RedrawWindow(
                nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME | RDW_UPDATENOW);
        SetWindowText(pszTitle);
        return TRUE;
    }

private:
    CPaintedBar<CControlBar> m_status;
    CPaintedBar<CSkinMenuBar> m_menuBar;
    CPaintedBar<CControlBar> m_tools;
    CPaintedBar<CControlBar> m_palette;
};
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    CWinApp app;
    if (!RegisterDemoWindowClass(L"VfFramesDemo"))
        return 1;
    auto* pFrame = new CDemoFrame;
    if (!pFrame->Create(L"VfFramesDemo", L"Frames", WS_OVERLAPPEDWINDOW, CRect(40, 40, 560, 420)))
        return 1;
    app.m_pMainWnd = pFrame;
    if (!pFrame->MakeBars())
    {
        pFrame->DestroyWindow();
        return 1;
    }
    pFrame->ShowWindow(SW_SHOW);
    pFrame->RecalcLayout();
    pFrame->SetWindowText(L"Frames: ready");
    return app.Run();
}
