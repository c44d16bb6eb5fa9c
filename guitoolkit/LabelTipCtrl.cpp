#include "guitoolkit/LabelTipCtrl.h"

#include "guitoolkit/ListBase.h"
#include "guitoolkit/SortArrows.h"

namespace
{
constexpr wchar_t ShadowlessSuffix[] = L"_without_shadows";
// The tip's own styles: no prefix processing, no animation, no fading.
constexpr DWORD LabelTipStyles = TTS_NOPREFIX | TTS_NOANIMATE | TTS_NOFADE;
// A cell that is not the label has wider margins around its text.
constexpr int CellMarginExtra = 3;
} // namespace

CLabelTipCtrl::~CLabelTipCtrl()
{
    DestroyWindow();
    if (m_bRegistered)
        ::UnregisterClassW(m_strClass.c_str(), ::GetModuleHandleW(nullptr));
}

BOOL CLabelTipCtrl::Create(CWnd* pList)
{
    if (pList == nullptr || m_hWnd != NULL)
        return FALSE;
    m_strClass = TOOLTIPS_CLASSW;
    WNDCLASSEXW stClass = {};
    stClass.cbSize = sizeof(stClass);
    if (::GetClassInfoExW(NULL, TOOLTIPS_CLASSW, &stClass))
    {
        std::wstring strName = std::wstring(TOOLTIPS_CLASSW) + ShadowlessSuffix;
        stClass.style &= ~CS_DROPSHADOW;
        stClass.hInstance = ::GetModuleHandleW(nullptr);
        stClass.lpszClassName = strName.c_str();
        if (::RegisterClassExW(&stClass))
        {
            m_bRegistered = true;
            m_strClass = strName;
        }
        else if (::GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
            m_strClass = strName;
    }
    DWORD dwExStyle = CSortArrows::GetCommonControlsClass() == CSortArrows::controls6 ? WS_EX_TRANSPARENT : 0;
    if (!CreateEx(dwExStyle | WS_EX_TOPMOST, m_strClass.c_str(), nullptr, WS_POPUP | LabelTipStyles, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, pList->m_hWnd, NULL))
        return FALSE;
    SetFont(pList->GetFont(), FALSE);
    GetMargin(&m_rcMargin);
    SetDelayTime(TTDT_INITIAL, 0);
    SetDelayTime(TTDT_RESHOW, 0);
    TOOLINFOW stTool = {};
    stTool.cbSize = TTTOOLINFOW_V2_SIZE;
    stTool.uFlags = TTF_IDISHWND | TTF_TRANSPARENT;
    stTool.hwnd = pList->m_hWnd;
    stTool.uId = reinterpret_cast<UINT_PTR>(pList->m_hWnd);
    stTool.lpszText = const_cast<wchar_t*>(L"");
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&stTool)));
}

bool CLabelTipCtrl::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_WINDOWPOSCHANGING:
        lResult = Default();
        PlaceOverCell(reinterpret_cast<WINDOWPOS*>(lParam));
        return true;
    case WM_MOUSEMOVE:
        if (!m_bTracking)
        {
            TRACKMOUSEEVENT stTrack = {sizeof(stTrack), TME_LEAVE, m_hWnd, 0};
            m_bTracking = ::TrackMouseEvent(&stTrack) != FALSE;
        }
        break;
    case WM_MOUSELEAVE:
        m_bTracking = false;
        m_bPlaced = false;
        m_bWidened = false;
        m_pBase->ClearTipTracking();
        break;
    case WM_TIMER:
        SendMessage(TTM_UPDATE);
        break;
    default:
        break;
    }
    return CToolTipCtrl::OnMessage(nMsg, wParam, lParam, lResult);
}

void CLabelTipCtrl::PlaceOverCell(WINDOWPOS* pPos)
{
    if (pPos == nullptr)
        return;
    if (m_pBase->m_bSorting)
    {
        // The rows move under the tip while they are sorted.
        if (m_bPlaced)
        {
            pPos->x = m_ptLast.x;
            pPos->y = m_ptLast.y;
        }
        return;
    }
    CRect rcLabel;
    bool bLabelColumn = true;
    if (!m_pBase->GetTrackedLabelRect(rcLabel, bLabelColumn))
        return;
    pPos->x = rcLabel.left;
    pPos->y = rcLabel.top;
    if (!(pPos->flags & (SWP_NOSIZE | SWP_NOMOVE)) && pPos->cy > rcLabel.Height() + 1)
        pPos->y -= pPos->cy - (rcLabel.Height() + 1);
    m_ptLast = {pPos->x, pPos->y};
    m_bPlaced = true;
    if (!bLabelColumn && !m_bWidened)
    {
        RECT rcWide = m_rcMargin;
        rcWide.left += CellMarginExtra;
        rcWide.right += CellMarginExtra;
        SetMargin(&rcWide);
        m_bWidened = true;
    }
    else if (bLabelColumn && m_bWidened)
    {
        SetMargin(&m_rcMargin);
        m_bWidened = false;
    }
}
