// CPropertySheet: a modeless property sheet or wizard over CPropertyPage
// objects. The object is attached to the sheet's window as soon as the
// system has made it, and OnInitDialog runs then. A sheet whose Finish or
// Cancel went through has no page left: it destroys its window, and the
// owner creates it anew for the next use. Sheets that are reused refuse the
// close in their pages and hide instead.
#pragma once

#include "classlib/PropertyPage.h"
#include "classlib/Wnd.h"

#include <vector>

// The buttons of a wizard sheet.
constexpr int ID_WIZBACK = 0x3023;
constexpr int ID_WIZNEXT = 0x3024;
constexpr int ID_WIZFINISH = 0x3025;

class CPropertySheet : public CWnd
{
public:
    explicit CPropertySheet(const wchar_t* pszCaption = nullptr, CWnd* pParent = nullptr);

    // The header of the sheet; flags added before Create take effect.
    PROPSHEETHEADERW m_psh;

    // The page stays the caller's; it must outlive the sheet's window.
    void AddPage(CPropertyPage* pPage);
    void SetWizardMode() { m_psh.dwFlags |= PSH_WIZARD; }
    // Modeless, owned by pParent, else by the given parent or the main window.
    virtual BOOL Create(CWnd* pParent = nullptr);
    virtual BOOL OnInitDialog();

    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int nPage) const;
    // -1 for a page that is not in the sheet.
    int GetPageIndex(const CPropertyPage* pPage) const;
    // -1 (null) while the sheet shows no page.
    int GetActiveIndex() const;
    CPropertyPage* GetActivePage() const { return GetPage(GetActiveIndex()); }
    BOOL SetActivePage(int nPage);
    // PSWIZB_ flags; posted, so a page may call it while it becomes active.
    void SetWizardButtons(DWORD dwFlags);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    LRESULT WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam) override;

private:
    static int CALLBACK SheetCallback(HWND hWnd, UINT nMsg, LPARAM lParam);
    bool HasEnded() const;

    std::vector<CPropertyPage*> m_pages;
    CString m_strCaption;
    CWnd* m_pParentWnd;
};
