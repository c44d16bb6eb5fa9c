#include "guitoolkit/LabelEdit.h"

#include "guitoolkit/ListBase.h"

bool CLabelEdit::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_KEYDOWN:
        // Some controls report a cancelled edit with the edit's text: the
        // list's own flag is what keeps the item as it was.
        if (wParam == VK_ESCAPE)
            m_pBase->m_bEditCancelled = true;
        break;
    case WM_WINDOWPOSCHANGING:
    {
        WINDOWPOS* pPos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (pPos == nullptr || (pPos->flags & SWP_NOMOVE) || !m_pBase->m_bLeftmostLabel ||
            m_pBase->GetLabelColumn() == 0 || m_pBase->m_nEditItem < 0)
            break;
        // The control places its edit over column 0; the label is elsewhere.
        CRect rcLabel;
        rcLabel.top = m_pBase->GetLabelColumn();
        rcLabel.left = LVIR_BOUNDS;
        if (m_pBase->OnGetSubItemRect(m_pBase->m_nEditItem, reinterpret_cast<LPARAM>(&rcLabel)))
            pPos->x = rcLabel.left;
        break;
    }
    default:
        break;
    }
    return CEdit::OnMessage(nMsg, wParam, lParam, lResult);
}
