// Reading and driving the controls of another process's windows. Every message is sent with
// a time bound, so that a program that hangs fails the step instead of stopping the driver.
#pragma once

#include "TargetProcess.h"

#include <windows.h>

#include <string>

// Sends a message and waits at most the bound; false when the window is gone, the program
// hangs or the bound passes.
bool SendBounded(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
// The text of a window through WM_GETTEXT, which the system marshals between processes.
bool ReadWindowText(HWND hWnd, std::wstring& strText);
// The first visible window of the class among the descendants of the parent, or NULL.
HWND FindVisibleChild(HWND hParent, const wchar_t* pszClass);
// The first visible window with the control id among the descendants of the parent, or NULL.
HWND FindDescendant(HWND hParent, UINT nId);

// The rows of a report list in the target, read through memory allocated there.
class CRemoteList
{
public:
    CRemoteList(const CTargetProcess& process, HWND hList) : m_process(process), m_hList(hList) {}

    bool RowCount(int& nRows) const;
    // Columns of the header; a list without a header shows one.
    bool ColumnCount(int& nColumns) const;
    // One cell's text; false with the reason.
    bool Cell(int nRow, int nColumn, std::wstring& strText, std::wstring& strError) const;
    // A row's rectangle in the list's client coordinates.
    bool RowRect(int nRow, RECT& rc) const;

private:
    const CTargetProcess& m_process;
    HWND m_hList;
};

// The panes of a status bar in the target.
class CRemoteStatusBar
{
public:
    CRemoteStatusBar(const CTargetProcess& process, HWND hStatus) : m_process(process), m_hStatus(hStatus) {}

    bool PaneCount(int& nPanes) const;
    bool Pane(int nPane, std::wstring& strText, std::wstring& strError) const;

private:
    const CTargetProcess& m_process;
    HWND m_hStatus;
};
