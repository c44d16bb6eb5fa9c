#include "gui/DefragListView.h"

void CDefragListView::ShowMessage(const CString& /*strText*/)
{
}

void CDefragListView::PostServerLost()
{
}

bool CDefragListView::AskPassword(const CString& /*strPrompt*/, CString& /*strTyped*/)
{
    return false;
}

void CDefragListView::DisconnectAndReset()
{
}

void CDefragListView::SetServiceVersionText(const CString& strText)
{
    m_strServiceVersion = strText;
}

void CDefragListView::ShowSplash(const CString& /*strFirstLine*/, const CString& /*strSecondLine*/)
{
}

void CDefragListView::PumpMessages()
{
}

void CDefragListView::Sleep(DWORD /*dwMilliseconds*/)
{
}

void CDefragListView::SetTrayState(int /*nState*/)
{
}
