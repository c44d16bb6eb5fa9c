// CqovDefragApp: the graphical program's application object. Its start
// keeps one running copy per logon, binds the optional resource library and
// the dialogs' themed look, sets the look of the toolkit's menus and makes
// the main frame, which does the rest of the start.
#pragma once

#include "classlib/ImageList.h"
#include "classlib/WinApp.h"
#include "guitoolkit/SingleInstance.h"

#include <memory>

class CqovDefragApp : public CWinApp
{
public:
    // The name by which two starts of the program find each other.
    static constexpr const wchar_t* InstanceName = L"Defrag SI Instance";

    // The command line as the program got it, its own name first.
    explicit CqovDefragApp(const wchar_t* pszCommandLine);
    ~CqovDefragApp() override;
    CqovDefragApp(const CqovDefragApp&) = delete;
    CqovDefragApp& operator=(const CqovDefragApp&) = delete;

    // FALSE when a copy that already runs was brought back instead, or the
    // main frame could not be made: the program then ends.
    BOOL InitInstance() override;

    // What follows the program's name; a later start hands it to the first.
    const CString& GetCommandTail() const { return m_strCommandTail; }
    // Attached by the list views; nothing fills them, so rows show no icons.
    CImageList& GetSmallImageList() { return m_imageListSmall; }
    CImageList& GetLargeImageList() { return m_imageListLarge; }

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;

private:
    // TRUE when another copy runs and was handed the command line.
    BOOL ActivateRunningCopy(bool bSingleInstance);
    void BindThemeDialogTexture();
    void OpenProfile();
    static void SetToolkitLook();
    BOOL CreateMainFrame();

    CString m_strCommandTail;
    // Lives as long as the program: a published window stays findable.
    std::unique_ptr<CSingleInstance> m_pInstance;
    bool m_bSingleInstance;
    HMODULE m_hUxTheme;
    CImageList m_imageListSmall;
    CImageList m_imageListLarge;
};
