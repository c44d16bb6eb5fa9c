#include "guitoolkit/SkinMenuItemData.h"

#include "classlib/FrameWnd.h"
#include "classlib/WinApp.h"
#include "guitoolkit/KeyName.h"
#include "guitoolkit/SkinMenuIcons.h"

#include <vector>

namespace
{
HACCEL ResolveTable(HACCEL hAccel)
{
    if (hAccel != reinterpret_cast<HACCEL>(-1))
        return hAccel;
    CFrameWnd* pFrame = dynamic_cast<CFrameWnd*>(CWinApp::GetMainWnd());
    return pFrame != nullptr ? pFrame->GetDefaultAccelerator() : NULL;
}

CString KeyText(const ACCEL& stAccel)
{
    CString strKey;
    if (stAccel.fVirt & FALT)
        strKey += L"Alt+";
    if (stAccel.fVirt & FCONTROL)
        strKey += L"Ctrl+";
    if (stAccel.fVirt & FSHIFT)
        strKey += L"Shift+";
    if (stAccel.fVirt & FVIRTKEY)
        strKey += GetAcceleratorKeyName(stAccel.key);
    else
        strKey += static_cast<wchar_t>(stAccel.key);
    return strKey;
}
} // namespace

CSkinMenuItemData::~CSkinMenuItemData()
{
    CSkinMenuIcons::Release(m_pIcons);
}

CString CSkinMenuItemData::GetDisplayText(HACCEL hAccel) const
{
    int nTab = m_strText.Find(L'\t');
    if (hAccel == NULL || (m_nFlags & MF_POPUP))
        return nTab < 0 ? m_strText : m_strText.Left(nTab);
    if (nTab >= 0)
        return m_strText;
    HACCEL hTable = ResolveTable(hAccel);
    int nEntries = hTable != NULL ? ::CopyAcceleratorTableW(hTable, nullptr, 0) : 0;
    if (nEntries <= 0)
        return m_strText;
    std::vector<ACCEL> entries(nEntries);
    nEntries = ::CopyAcceleratorTableW(hTable, entries.data(), nEntries);
    if (nEntries <= 0)
        return m_strText;
    CString strKeys;
    bool bFirst = true;
    for (int i = 0; i < nEntries && i < static_cast<int>(entries.size()); ++i)
    {
        if (entries[i].cmd != m_nID)
            continue;
        if (!bFirst)
            strKeys += L", ";
        strKeys += KeyText(entries[i]);
        bFirst = false;
    }
    return strKeys.IsEmpty() ? m_strText : m_strText + L'\t' + strKeys;
}

void CSkinMenuItemData::SetText(const wchar_t* pszText)
{
    m_strText = pszText;
}
