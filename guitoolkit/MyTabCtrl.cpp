#include "guitoolkit/MyTabCtrl.h"

#include "classlib/DC.h"

#include <cwchar>

namespace
{
constexpr DWORD CheckBoxStyle = WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD RadioButtonStyle = WS_CHILD | WS_TABSTOP | BS_AUTORADIOBUTTON;
constexpr DWORD EditStyle = WS_CHILD | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD GroupBoxStyle = WS_CHILD | BS_GROUPBOX;
constexpr DWORD StaticStyle = WS_CHILD;
constexpr int EditHeight = 20;
constexpr int EditTextLimit = 260;
constexpr int CheckMarkWidth = 17;
} // namespace

CMyTabCtrl::CMyTabCtrl() : m_hBackground(NULL), m_bThemed(true), m_rcLast(), m_nCurrentPage(0), m_nHotControl(-1)
{
}

CMyTabCtrl::~CMyTabCtrl()
{
    DeleteBackgroundBrush();
}

void CMyTabCtrl::DeleteBackgroundBrush()
{
    if (m_hBackground != NULL)
        ::DeleteObject(m_hBackground);
    m_hBackground = NULL;
}

POINT CMyTabCtrl::FlowPosition(DWORD dwFlags, int dx, int dy) const
{
    RECT rcClient = {};
    GetClientRect(&rcClient);
    POINT pt = {rcClient.left + 10, rcClient.top + 30};
    if (dwFlags & TABLAYOUT_RIGHTOF)
        pt.x = m_rcLast.right;
    else if (dwFlags & TABLAYOUT_SAMELEFT)
        pt.x = m_rcLast.left;
    if (dwFlags & TABLAYOUT_NEXTLINE)
        pt.y = m_rcLast.bottom;
    else if (dwFlags & TABLAYOUT_SAMETOP)
        pt.y = m_rcLast.top;
    pt.x += dx;
    pt.y += dy;
    return pt;
}

SIZE CMyTabCtrl::TextSize(const wchar_t* pszText)
{
    CClientDC dc(this);
    HFONT hFont = GetFont();
    if (hFont != NULL)
        dc.SelectObject(hFont);
    CSize size = dc.GetTextExtent(pszText, static_cast<int>(wcslen(pszText)));
    return SIZE{size.cx, size.cy};
}

CWnd* CMyTabCtrl::AddControl(const wchar_t* pszClass, const wchar_t* pszText, DWORD dwStyle, UINT nID, int nPage,
                             bool bFocusable, const RECT& rc)
{
    auto pControl = std::make_unique<CWnd>();
    if (nPage == m_nCurrentPage)
        dwStyle |= WS_VISIBLE;
    if (!pControl->CreateEx(0, pszClass, pszText, dwStyle, rc, this, nID))
        return nullptr;
    pControl->SetFont(GetFont(), FALSE);
    m_rcLast = rc;
    m_controls.push_back(stHostedControl{std::move(pControl), nPage, bFocusable});
    return m_controls.back().pControl.get();
}

CWnd* CMyTabCtrl::AddCheckable(BOOL bChecked, const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int dx,
                               int dy, DWORD dwStyle)
{
    POINT pt = FlowPosition(dwFlags, dx, dy);
    SIZE size = TextSize(pszText);
    RECT rc = {pt.x, pt.y, pt.x + size.cx + CheckMarkWidth, pt.y + size.cy + 4};
    CWnd* pControl = AddControl(L"BUTTON", pszText, dwStyle, nID, nPage, true, rc);
    if (pControl != nullptr)
        CheckDlgButton(nID, bChecked ? BST_CHECKED : BST_UNCHECKED);
    return pControl;
}

CWnd* CMyTabCtrl::AddCheckBox(BOOL bChecked, const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int dx,
                              int dy)
{
    return AddCheckable(bChecked, pszText, nID, nPage, dwFlags, dx, dy, CheckBoxStyle);
}

CWnd* CMyTabCtrl::AddRadioButton(BOOL bChecked, const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int dx,
                                 int dy, DWORD dwExtraStyle)
{
    return AddCheckable(bChecked, pszText, nID, nPage, dwFlags, dx, dy, RadioButtonStyle | dwExtraStyle);
}

CWnd* CMyTabCtrl::AddEditOfStyle(const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int x, int dy,
                                 int nWidth, DWORD dwStyle)
{
    POINT pt = FlowPosition(dwFlags, x, dy);
    RECT rc = {pt.x, pt.y, pt.x + nWidth, pt.y + EditHeight};
    CWnd* pControl = AddControl(L"EDIT", L"", dwStyle, nID, nPage, true, rc);
    if (pControl != nullptr)
    {
        pControl->SendMessage(EM_LIMITTEXT, EditTextLimit);
        pControl->SetWindowText(pszText);
    }
    return pControl;
}

CWnd* CMyTabCtrl::AddEdit(const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int x, int dy, int nWidth)
{
    return AddEditOfStyle(pszText, nID, nPage, dwFlags, x, dy, nWidth, EditStyle);
}

CWnd* CMyTabCtrl::AddPasswordEdit(const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int x, int dy,
                                  int nWidth)
{
    return AddEditOfStyle(pszText, nID, nPage, dwFlags, x, dy, nWidth, EditStyle | ES_PASSWORD);
}

CWnd* CMyTabCtrl::AddGroupBox(const wchar_t* pszText, UINT nID, int nPage, int nWidth, int nHeight, DWORD dwFlags,
                              int dx, int dy)
{
    POINT pt = FlowPosition(dwFlags, dx, dy);
    RECT rc = {pt.x, pt.y, pt.x + nWidth, pt.y + nHeight};
    return AddControl(L"BUTTON", pszText, GroupBoxStyle, nID, nPage, false, rc);
}

CWnd* CMyTabCtrl::AddStatic(const wchar_t* pszText, UINT nID, int nPage, DWORD dwFlags, int dx, int dy, int nWidth,
                            int nHeight)
{
    POINT pt = FlowPosition(dwFlags, dx, dy);
    if (nWidth == 0 || nHeight == 0)
    {
        SIZE size = TextSize(pszText);
        if (nWidth == 0)
            nWidth = size.cx;
        if (nHeight == 0)
            nHeight = size.cy + 4;
    }
    RECT rc = {pt.x, pt.y, pt.x + nWidth, pt.y + nHeight};
    return AddControl(L"STATIC", pszText, StaticStyle, nID, nPage, false, rc);
}

void CMyTabCtrl::SetActivePage(int nPage)
{
    m_nHotControl = -1;
    if (nPage == m_nCurrentPage)
        return;
    if (GetCurFocus() != nPage)
        SetCurSel(nPage);
    for (const stHostedControl& stControl : m_controls)
    {
        if (stControl.nPage == m_nCurrentPage)
            stControl.pControl->ShowWindow(SW_HIDE);
    }
    for (const stHostedControl& stControl : m_controls)
    {
        if (stControl.nPage == nPage)
            stControl.pControl->ShowWindow(SW_SHOW);
    }
    m_nCurrentPage = nPage;
}

BOOL CMyTabCtrl::IsItemChecked(UINT nID) const
{
    return IsDlgButtonChecked(nID) == BST_CHECKED;
}

CString CMyTabCtrl::GetItemText(UINT nID) const
{
    CString str;
    GetDlgItemText(nID, str);
    return str;
}

int CMyTabCtrl::GetItemInt(UINT nID) const
{
    return static_cast<int>(wcstol(GetItemText(nID), nullptr, 10));
}

void CMyTabCtrl::DeletePageControls(int nPage)
{
    for (auto it = m_controls.begin(); it != m_controls.end();)
    {
        if (it->nPage == nPage)
        {
            it->pControl->DestroyWindow();
            it = m_controls.erase(it);
        }
        else
        {
            ++it;
        }
    }
    m_nHotControl = -1;
    DeleteItem(nPage);
}

void CMyTabCtrl::DestroyHostedControls()
{
    for (stHostedControl& stControl : m_controls)
        stControl.pControl->DestroyWindow();
    m_controls.clear();
    m_nHotControl = -1;
}

bool CMyTabCtrl::IsAppThemed()
{
    // Looked up for each call: the program also runs where the visual-style
    // library is missing.
    HMODULE hLibrary = ::LoadLibraryW(L"UxTheme.dll");
    if (hLibrary == NULL)
        return false;
    auto pfnIsAppThemed =
        reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(hLibrary, "IsAppThemed")));
    bool bThemed = pfnIsAppThemed != nullptr && pfnIsAppThemed();
    ::FreeLibrary(hLibrary);
    return bThemed;
}

void CMyTabCtrl::UpdateBackgroundBrush()
{
    m_nCurrentPage = 0;
    m_rcLast = RECT{};
    m_nHotControl = -1;
    DeleteBackgroundBrush();
    m_bThemed = IsAppThemed();
    if (!m_bThemed)
        return;
    // The themed page face is a texture the controls cannot paint
    // themselves; one pixel of the printed tab stands for it.
    RECT rcClient = {};
    GetClientRect(&rcClient);
    CClientDC dcScreen(this);
    CDC dcMemory;
    CBitmap bitmap;
    if (rcClient.right < 6 || rcClient.bottom < 6 || !dcMemory.CreateCompatibleDC(&dcScreen) ||
        !bitmap.CreateCompatibleBitmap(&dcScreen, rcClient.right, rcClient.bottom))
    {
        m_bThemed = false;
        return;
    }
    dcMemory.SelectObject(&bitmap);
    SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dcMemory.m_hDC), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
    COLORREF crPage = dcMemory.GetPixel(5, 5);
    dcMemory.RestoreObjects();
    m_hBackground = crPage != CLR_INVALID ? ::CreateSolidBrush(crPage) : NULL;
    if (m_hBackground == NULL)
        m_bThemed = false;
}

int CMyTabCtrl::HostedIndex(HWND hWnd) const
{
    for (size_t i = 0; i < m_controls.size(); ++i)
    {
        if (m_controls[i].pControl->m_hWnd == hWnd)
            return static_cast<int>(i);
    }
    return -1;
}

void CMyTabCtrl::MoveFocus(bool bBackwards)
{
    int nCount = static_cast<int>(m_controls.size());
    // An empty list has no index to clamp the hot control into.
    if (nCount == 0)
        return;
    int nStep = bBackwards ? -1 : 1;
    int nIndex = m_nHotControl + nStep;
    if (nIndex < 0)
        nIndex = 0;
    if (nIndex >= nCount)
        nIndex = nCount - 1;
    for (; nIndex >= 0 && nIndex < nCount; nIndex += nStep)
    {
        const stHostedControl& stControl = m_controls[nIndex];
        if (stControl.bFocusable && stControl.nPage == m_nCurrentPage)
        {
            stControl.pControl->SetFocus();
            m_nHotControl = nIndex;
            return;
        }
    }
}

bool CMyTabCtrl::IsHostedCheckBox(HWND hControl) const
{
    if (hControl == NULL || HostedIndex(hControl) < 0)
        return false;
    DWORD dwStyle = static_cast<DWORD>(::GetWindowLongPtrW(hControl, GWL_STYLE));
    return (dwStyle & BS_TYPEMASK) == BS_AUTOCHECKBOX;
}

void CMyTabCtrl::Activate(HWND hControl, bool bByKey)
{
    // Only the tab's own controls: the tab itself and foreign windows would
    // pass for push buttons by their style.
    if (HostedIndex(hControl) < 0)
        return;
    RECT rc;
    POINT pt;
    if (!bByKey && !(::GetWindowRect(hControl, &rc) && ::GetCursorPos(&pt) && ::PtInRect(&rc, pt)))
        return;
    DWORD dwKind = static_cast<DWORD>(::GetWindowLongPtrW(hControl, GWL_STYLE)) &
                   ~static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_TABSTOP);
    WPARAM nID = static_cast<WPARAM>(::GetDlgCtrlID(hControl));
    HWND hParent = ::GetParent(m_hWnd);
    if (dwKind == BS_PUSHBUTTON || dwKind == BS_DEFPUSHBUTTON)
        ::PostMessageW(hParent, WM_TABCTRL_ACTIVATE, nID, 0);
    else if (dwKind == BS_AUTOCHECKBOX)
        ::PostMessageW(hParent, WM_TABCTRL_ITEMCLICKED, nID, 0);
}

BOOL CMyTabCtrl::PreTranslateMessage(MSG* pMsg)
{
    switch (pMsg->message)
    {
    case WM_KEYDOWN:
        switch (pMsg->wParam)
        {
        case VK_TAB:
        case VK_LEFT:
        case VK_RIGHT:
            m_nHotControl = -1;
            return FALSE;
        case VK_UP:
            PostMessage(WM_TABCTRL_MOVEFOCUS, 1);
            return TRUE;
        case VK_DOWN:
            PostMessage(WM_TABCTRL_MOVEFOCUS, 0);
            return TRUE;
        case VK_ESCAPE:
            return TRUE;
        default:
            return FALSE;
        }
    case WM_KEYUP:
        if (pMsg->wParam == VK_SPACE)
            PostMessage(WM_TABCTRL_ACTIVATE, reinterpret_cast<WPARAM>(pMsg->hwnd), 1);
        return FALSE;
    case WM_LBUTTONUP:
        PostMessage(WM_TABCTRL_ACTIVATE, reinterpret_cast<WPARAM>(pMsg->hwnd), 0);
        return FALSE;
    default:
        return FALSE;
    }
}

bool CMyTabCtrl::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_TABCTRL_ACTIVATE:
        Activate(reinterpret_cast<HWND>(wParam), lParam == 1);
        lResult = 0;
        return true;
    case WM_TABCTRL_MOVEFOCUS:
        MoveFocus(wParam == 1);
        lResult = 0;
        return true;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
        if (!m_bThemed || m_hBackground == NULL || HostedIndex(reinterpret_cast<HWND>(lParam)) < 0)
            return CTabCtrl::OnMessage(nMsg, wParam, lParam, lResult);
        ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        lResult = reinterpret_cast<LRESULT>(m_hBackground);
        return true;
    case WM_COMMAND:
        // A click sent to a box (BM_CLICK, as test drivers and accessibility
        // tools make it) passes no message loop and reaches the tab only as
        // the box's notification. The dialog's rules read the box's state,
        // so a click told twice, by this and by the button-up, does no harm.
        if (HIWORD(wParam) == BN_CLICKED && IsHostedCheckBox(reinterpret_cast<HWND>(lParam)))
            ::PostMessageW(::GetParent(m_hWnd), WM_TABCTRL_ITEMCLICKED, LOWORD(wParam), 0);
        return CTabCtrl::OnMessage(nMsg, wParam, lParam, lResult);
    case WM_LBUTTONDOWN:
        lResult = Default();
        SetActivePage(GetCurFocus());
        return true;
    case WM_DESTROY:
        lResult = Default();
        DestroyHostedControls();
        return true;
    default:
        return CTabCtrl::OnMessage(nMsg, wParam, lParam, lResult);
    }
}

BOOL CMyTabCtrl::OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (nMsg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == TCN_SELCHANGE)
    {
        SetActivePage(GetCurFocus());
        // The parent may follow the change as well.
        return FALSE;
    }
    return CTabCtrl::OnChildNotify(nMsg, wParam, lParam, pResult);
}
