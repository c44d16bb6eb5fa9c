#include "classlib/Wnd.h"

#include "classlib/CreationHookScope.h"
#include "classlib/FrameWnd.h"
#include "classlib/Menu.h"
#include "classlib/ThreadState.h"
#include "classlib/WinApp.h"

#include <set>

namespace
{
// Where an object that let go of a window, while another procedure still
// chained to ours, leaves the window's own procedure.
const wchar_t kLeftSuperProp[] = L"Varnefold.LeftSuperProc";
} // namespace

CWnd::CWnd() : m_hWnd(NULL), m_pfnSuper(nullptr), m_bPostNcDestroyDue(false)
{
}

CWnd::~CWnd()
{
    if (m_hWnd != NULL && FromHandlePermanent(m_hWnd) == this)
    {
        ::DestroyWindow(m_hWnd);
        // A window already on its way out keeps going without this object,
        // which its messages must no longer find.
        Detach();
    }
    for (stMessageFrame* pFrame = GetThreadState().pMessageFrames; pFrame != nullptr; pFrame = pFrame->pOuter)
    {
        if (pFrame->pWnd == this)
            pFrame->pWnd = nullptr;
    }
}

bool CWnd::IsHandlingMessage() const
{
    for (const stMessageFrame* pFrame = GetThreadState().pMessageFrames; pFrame != nullptr; pFrame = pFrame->pOuter)
    {
        if (pFrame->pWnd == this)
            return true;
    }
    return false;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    auto& map = GetThreadState().mapPermanentWnd;
    auto it = map.find(hWnd);
    return it != map.end() ? it->second : nullptr;
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (hWnd == NULL)
        return nullptr;
    if (CWnd* pWnd = FromHandlePermanent(hWnd))
        return pWnd;
    auto& map = GetThreadState().mapTemporaryWnd;
    auto& pTemp = map[hWnd];
    if (!pTemp)
    {
        pTemp.reset(new CWnd);
        pTemp->m_hWnd = hWnd;
    }
    return pTemp.get();
}

const MSG* CWnd::GetCurrentMessage()
{
    MSG& stMsg = GetThreadState().stCurrentMessage;
    stMsg.time = ::GetMessageTime();
    DWORD dwPos = ::GetMessagePos();
    stMsg.pt.x = static_cast<short>(LOWORD(dwPos));
    stMsg.pt.y = static_cast<short>(HIWORD(dwPos));
    return &stMsg;
}

LRESULT CALLBACK CWnd::StandardWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (pWnd == nullptr)
    {
        if (auto pfnLeft = reinterpret_cast<WNDPROC>(::GetPropW(hWnd, kLeftSuperProp)); pfnLeft != nullptr)
        {
            if (nMsg == WM_NCDESTROY)
                ::RemovePropW(hWnd, kLeftSuperProp);
            return ::CallWindowProcW(pfnLeft, hWnd, nMsg, wParam, lParam);
        }
        return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
    }
    stThreadState& stState = GetThreadState();
    stMessageFrame stFrame = {pWnd, stState.pMessageFrames};
    stState.pMessageFrames = &stFrame;
    LRESULT lResult;
    {
        CCurrentMessageScope scope(hWnd, nMsg, wParam, lParam);
        lResult = pWnd->WindowProc(nMsg, wParam, lParam);
    }
    stState.pMessageFrames = stFrame.pOuter;
    if (nMsg == WM_NCDESTROY)
    {
        if (stState.pWndCreating == pWnd)
            stState.pWndDestroyedInCreation = pWnd;
        // The object may go in PostNcDestroy: neither the loop nor the
        // application may reach it afterwards.
        if (stState.pInputPreview == pWnd)
            stState.pInputPreview = nullptr;
        if (CWinApp* pApp = CWinApp::GetApp(); pApp != nullptr && pApp->m_pMainWnd == pWnd)
            pApp->m_pMainWnd = nullptr;
    }
    // Deleted by its own handler: nothing of it may be touched.
    if (stFrame.pWnd == nullptr)
        return lResult;
    if (nMsg == WM_NCDESTROY)
    {
        pWnd->DetachAfterNcDestroy();
        pWnd->m_bPostNcDestroyDue = true;
    }
    // A handler that ran a message loop (a modal box, a pump) may have seen its
    // own window destroyed in it; the handler goes on with this object when
    // the loop returns, so an object that deletes itself must wait for that.
    if (pWnd->m_bPostNcDestroyDue && !pWnd->IsHandlingMessage())
    {
        pWnd->m_bPostNcDestroyDue = false;
        pWnd->PostNcDestroy();
    }
    return lResult;
}

const wchar_t* CWnd::RegisterDefaultClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hBackground, HICON hIcon)
{
    // One name per combination; the set keeps the names alive for the process.
    static std::set<std::wstring> s_names;
    HINSTANCE hInstance = ::GetModuleHandleW(nullptr);
    CString strName;
    strName.Format(L"VfWnd:%x:%p:%p:%p", nClassStyle, static_cast<void*>(hCursor),
                   static_cast<void*>(hBackground), static_cast<void*>(hIcon));
    auto it = s_names.find(strName.Str());
    if (it != s_names.end())
        return it->c_str();

    WNDCLASSW stClass = {};
    if (!::GetClassInfoW(hInstance, strName, &stClass))
    {
        stClass.style = nClassStyle;
        stClass.lpfnWndProc = StandardWndProc;
        stClass.hInstance = hInstance;
        stClass.hCursor = hCursor;
        stClass.hbrBackground = hBackground;
        stClass.hIcon = hIcon;
        stClass.lpszClassName = strName;
        if (!::RegisterClassW(&stClass))
            return nullptr;
    }
    return s_names.insert(strName.Str()).first->c_str();
}

BOOL CWnd::Attach(HWND hWnd)
{
    if (m_hWnd != NULL || hWnd == NULL || FromHandlePermanent(hWnd) != nullptr)
        return FALSE;
    m_hWnd = hWnd;
    GetThreadState().mapPermanentWnd[hWnd] = this;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hWnd = m_hWnd;
    if (hWnd != NULL)
    {
        auto& map = GetThreadState().mapPermanentWnd;
        auto it = map.find(hWnd);
        if (it != map.end() && it->second == this)
            map.erase(it);
    }
    m_hWnd = NULL;
    return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (!Attach(hWnd))
        return FALSE;
    PreSubclassWindow();
    WNDPROC pfnOld = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StandardWndProc)));
    if (pfnOld == nullptr)
    {
        Detach();
        return FALSE;
    }
    if (pfnOld != StandardWndProc)
        m_pfnSuper = pfnOld;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent)
{
    if (pParent == nullptr)
        return FALSE;
    HWND hControl = ::GetDlgItem(pParent->m_hWnd, nID);
    return hControl != NULL && SubclassWindow(hControl);
}

HWND CWnd::UnsubclassWindow()
{
    if (m_hWnd == NULL)
        return NULL;
    if (m_pfnSuper != nullptr)
    {
        // Someone who subclassed after us (the list control with its edit, a
        // tool tip with TTF_SUBCLASS) calls our procedure as its super: putting
        // ours back would cut theirs out. We stay in their chain and pass on.
        if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC)) == StandardWndProc)
            ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        else if (!::SetPropW(m_hWnd, kLeftSuperProp, reinterpret_cast<HANDLE>(m_pfnSuper)))
            return NULL;
    }
    m_pfnSuper = nullptr;
    return Detach();
}

void CWnd::AttachForCreation(HWND hWnd)
{
    Attach(hWnd);
    WNDPROC pfnOld = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
    if (pfnOld != StandardWndProc)
    {
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StandardWndProc));
        m_pfnSuper = pfnOld;
    }
    PreSubclassWindow();
}

void CWnd::DetachAfterNcDestroy()
{
    if (m_hWnd == NULL)
        return;
    // Give the window its own procedure back: a system class may still be
    // called after its last message, and this object may be gone by then.
    if (m_pfnSuper != nullptr &&
        reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC)) == StandardWndProc)
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    Detach();
}

BOOL CWnd::CreateEx(DWORD dwExStyle, const wchar_t* pszClass, const wchar_t* pszName, DWORD dwStyle,
                    int x, int y, int cx, int cy, HWND hParent, HMENU hMenuOrId, void* pParam)
{
    stThreadState& stState = GetThreadState();
    // An earlier object that went in its creation may have lived at this
    // address: its record must not answer for this call.
    stState.pWndDestroyedInCreation = nullptr;
    if (m_hWnd != NULL)
        return FALSE;
    CREATESTRUCTW cs = {};
    cs.dwExStyle = dwExStyle;
    cs.lpszClass = pszClass != nullptr ? pszClass : RegisterDefaultClass();
    cs.lpszName = pszName;
    cs.style = dwStyle;
    cs.x = x;
    cs.y = y;
    cs.cx = cx;
    cs.cy = cy;
    cs.hwndParent = hParent;
    cs.hMenu = hMenuOrId;
    cs.hInstance = ::GetModuleHandleW(nullptr);
    cs.lpCreateParams = pParam;
    if (!PreCreateWindow(cs) || cs.lpszClass == nullptr)
        return FALSE;

    HWND hWnd = NULL;
    DWORD dwError = ERROR_SUCCESS;
    {
        CCreationHookScope scope(this);
        if (!scope.IsHooked())
            return FALSE;
        hWnd = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy,
                                 cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
        dwError = ::GetLastError();
    }
    if (hWnd == NULL)
    {
        // A window that failed after it was attached has had its last message
        // and this object may be gone with it (PostNcDestroy): touch nothing.
        if (stState.pWndDestroyedInCreation != this)
        {
            if (m_hWnd != NULL)
                Detach();
            m_pfnSuper = nullptr;
        }
        ::SetLastError(dwError);
        return FALSE;
    }
    if (m_hWnd != hWnd)
    {
        ::DestroyWindow(hWnd);
        return FALSE;
    }
    return TRUE;
}

bool CWnd::WasDestroyedInCreation(const CWnd* pWnd)
{
    return GetThreadState().pWndDestroyedInCreation == pWnd;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, const wchar_t* pszClass, const wchar_t* pszName, DWORD dwStyle,
                    const RECT& rc, CWnd* pParent, UINT nID, void* pParam)
{
    return CreateEx(dwExStyle, pszClass, pszName, dwStyle, rc.left, rc.top, rc.right - rc.left,
                    rc.bottom - rc.top, pParent != nullptr ? pParent->m_hWnd : NULL,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), pParam);
}

BOOL CWnd::Create(const wchar_t* pszClass, const wchar_t* pszName, DWORD dwStyle, const RECT& rc,
                  CWnd* pParent, UINT nID)
{
    return CreateEx(0, pszClass, pszName, dwStyle | WS_CHILD, rc, pParent, nID);
}

BOOL CWnd::DestroyWindow()
{
    if (m_hWnd == NULL)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::PreCreateWindow(CREATESTRUCTW&)
{
    return TRUE;
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!OnMessage(nMsg, wParam, lParam, lResult))
        lResult = DefWindowProc(nMsg, wParam, lParam);
    return lResult;
}

LRESULT CWnd::DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != nullptr)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, nMsg, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, nMsg, wParam, lParam);
}

LRESULT CWnd::Default()
{
    const MSG& stMsg = GetThreadState().stCurrentMessage;
    return DefWindowProc(stMsg.message, stMsg.wParam, stMsg.lParam);
}

bool CWnd::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_COMMAND:
        if (!OnCommand(wParam, lParam))
            return false;
        lResult = 0;
        return true;
    case WM_NOTIFY:
    {
        const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
        if (pHeader == nullptr)
            return false;
        if (ReflectToChild(pHeader->hwndFrom, nMsg, wParam, lParam, lResult))
            return true;
        lResult = 0;
        return OnNotify(wParam, lParam, &lResult) != FALSE;
    }
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    {
        // Both records begin with the control type.
        const UINT* pCtlType = reinterpret_cast<const UINT*>(lParam);
        if (pCtlType != nullptr && *pCtlType == ODT_MENU)
            return OnOwnerDrawMenu(nMsg, lParam, lResult);
        return ReflectToChild(ControlOfMessage(nMsg, lParam), nMsg, wParam, lParam, lResult);
    }
    default:
        return ReflectToChild(ControlOfMessage(nMsg, lParam), nMsg, wParam, lParam, lResult);
    }
}

HWND CWnd::ControlOfMessage(UINT nMsg, LPARAM lParam) const
{
    if (lParam == 0)
        return NULL;
    switch (nMsg)
    {
    case WM_DRAWITEM:
        return reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
    case WM_MEASUREITEM:
        return ::GetDlgItem(m_hWnd, static_cast<int>(reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->CtlID));
    case WM_DELETEITEM:
        return reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem;
    case WM_COMPAREITEM:
        return reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_HSCROLL:
    case WM_VSCROLL:
        return reinterpret_cast<HWND>(lParam);
    default:
        return NULL;
    }
}

bool CWnd::ReflectToChild(HWND hChild, UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    CWnd* pChild = hChild != NULL ? FromHandlePermanent(hChild) : nullptr;
    stThreadState& stState = GetThreadState();
    // A child that passes a notification on to its parent while handling the
    // reflected one must reach the parent's handlers, not itself again.
    if (pChild == nullptr || pChild == stState.pReflectingChild)
        return false;
    CWnd* pSaved = stState.pReflectingChild;
    stState.pReflectingChild = pChild;
    LRESULT lChildResult = 0;
    BOOL bHandled = pChild->OnChildNotify(nMsg, wParam, lParam, &lChildResult);
    stState.pReflectingChild = pSaved;
    if (bHandled)
        lResult = lChildResult;
    return bHandled != FALSE;
}

bool CWnd::OnOwnerDrawMenu(UINT nMsg, LPARAM lParam, LRESULT& lResult)
{
    if (nMsg == WM_DRAWITEM)
    {
        const DRAWITEMSTRUCT* pDraw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        CMenu* pMenu = CMenu::FromHandlePermanent(reinterpret_cast<HMENU>(pDraw->hwndItem));
        if (pMenu == nullptr)
            return false;
        pMenu->DrawItem(const_cast<DRAWITEMSTRUCT*>(pDraw));
        lResult = TRUE;
        return true;
    }
    MEASUREITEMSTRUCT* pMeasure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    // The item is in the menu being tracked for this window, else in the window's own menu.
    const stThreadState& stState = GetThreadState();
    HMENU hRoot = stState.hTrackingWnd == m_hWnd && stState.hTrackingMenu != NULL
                      ? stState.hTrackingMenu
                      : ::GetMenu(m_hWnd);
    CMenu* pMenu = CMenu::FindPermanentMenuOfItem(hRoot, pMeasure->itemID);
    if (pMenu == nullptr)
        return false;
    pMenu->MeasureItem(pMeasure);
    lResult = TRUE;
    return true;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT nID = LOWORD(wParam);
    HWND hControl = reinterpret_cast<HWND>(lParam);
    // Without a control it is a command, whatever the high word carries.
    if (hControl == NULL)
        return OnCmdMsg(nID, CN_COMMAND, nullptr);
    LRESULT lResult = 0;
    if (ReflectToChild(hControl, WM_COMMAND, wParam, lParam, lResult))
        return TRUE;
    return OnCmdMsg(nID, static_cast<int>(HIWORD(wParam)), nullptr);
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* pResult)
{
    stNotifyInfo stInfo = {reinterpret_cast<NMHDR*>(lParam), pResult};
    return OnCmdMsg(static_cast<UINT>(stInfo.pHeader->idFrom), CN_NOTIFY, &stInfo);
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

CWnd* CWnd::GetParent() const
{
    return FromHandle(::GetParent(m_hWnd));
}

CFrameWnd* CWnd::GetParentFrame() const
{
    for (HWND hWnd = ::GetParent(m_hWnd); hWnd != NULL; hWnd = ::GetParent(hWnd))
    {
        if (CFrameWnd* pFrame = dynamic_cast<CFrameWnd*>(FromHandlePermanent(hWnd)))
            return pFrame;
    }
    return nullptr;
}

CFrameWnd* CWnd::GetTopLevelFrame() const
{
    CFrameWnd* pFrame = dynamic_cast<CFrameWnd*>(FromHandlePermanent(m_hWnd));
    if (pFrame == nullptr)
        pFrame = GetParentFrame();
    while (pFrame != nullptr)
    {
        CFrameWnd* pOuter = pFrame->GetParentFrame();
        if (pOuter == nullptr)
            break;
        pFrame = pOuter;
    }
    return pFrame;
}

CWnd* CWnd::GetDlgItem(int nID) const
{
    return FromHandle(::GetDlgItem(m_hWnd, nID));
}

void CWnd::SendMessageToDescendants(UINT nMsg, WPARAM wParam, LPARAM lParam, BOOL bDeep) const
{
    for (HWND hChild = ::GetTopWindow(m_hWnd); hChild != NULL; hChild = ::GetNextWindow(hChild, GW_HWNDNEXT))
    {
        ::SendMessageW(hChild, nMsg, wParam, lParam);
        if (bDeep && ::GetTopWindow(hChild) != NULL)
            FromHandle(hChild)->SendMessageToDescendants(nMsg, wParam, lParam, TRUE);
    }
}

namespace
{
BOOL ModifyLong(HWND hWnd, int nIndex, DWORD dwRemove, DWORD dwAdd, UINT nFlags)
{
    DWORD dwOld = static_cast<DWORD>(::GetWindowLongPtrW(hWnd, nIndex));
    DWORD dwNew = (dwOld & ~dwRemove) | dwAdd;
    if (dwOld == dwNew)
        return FALSE;
    ::SetWindowLongPtrW(hWnd, nIndex, static_cast<LONG_PTR>(dwNew));
    // A frame change must be told to the window before it shows.
    if (nFlags != 0)
        ::SetWindowPos(hWnd, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    return TRUE;
}
} // namespace

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags)
{
    return ModifyLong(m_hWnd, GWL_STYLE, dwRemove, dwAdd, nFlags);
}

BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags)
{
    return ModifyLong(m_hWnd, GWL_EXSTYLE, dwRemove, dwAdd, nFlags);
}

void CWnd::GetWindowText(CString& str) const
{
    int nLength = ::GetWindowTextLengthW(m_hWnd);
    if (nLength <= 0)
    {
        str.Empty();
        return;
    }
    int nCopied = ::GetWindowTextW(m_hWnd, str.GetBuffer(nLength + 1), nLength + 1);
    str.ReleaseBuffer(nCopied > 0 ? nCopied : 0);
}

CMenu* CWnd::GetMenu() const
{
    return CMenu::FromHandle(::GetMenu(m_hWnd));
}

BOOL CWnd::SetMenu(CMenu* pMenu)
{
    return ::SetMenu(m_hWnd, pMenu != nullptr ? pMenu->m_hMenu : NULL);
}

bool CWnd::GetDlgItemText(int nID, CString& str) const
{
    str.Empty();
    HWND hControl = ::GetDlgItem(m_hWnd, nID);
    if (hControl == NULL)
        return false;
    FromHandle(hControl)->GetWindowText(str);
    return true;
}
