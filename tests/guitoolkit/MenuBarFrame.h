// A skin frame with a menu bar that sees the frame's keys first, a pump
// that offers every message to the frame as the program's loop does, and a
// script of steps run from a timer, which also fires inside the popups' menu
// loops.
#pragma once

#include "classlib/CmdTarget.h"
#include "guitoolkit/SkinDockBar.h"
#include "guitoolkit/SkinFrameWnd.h"
#include "guitoolkit/SkinMenuBar.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CMenuBarFrame : public CSkinFrameWnd
{
public:
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (m_menuBar.m_hWnd != NULL && m_menuBar.TranslateFrameMessage(pMsg))
            return TRUE;
        return CSkinFrameWnd::PreTranslateMessage(pMsg);
    }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_INITMENUPOPUP && !HIWORD(lParam))
            m_popupsOpened.push_back(reinterpret_cast<HMENU>(wParam));
        return CSkinFrameWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nCode == CN_COMMAND && nID >= 1200 && nID < 1300)
        {
            m_commands.push_back(nID);
            return TRUE;
        }
        return CSkinFrameWnd::HandleCommand(nID, nCode, pExtra);
    }

    CSkinMenuBar m_menuBar;
    std::vector<HMENU> m_popupsOpened;
    std::vector<UINT> m_commands;
};

// Dispatches what waits, each message offered to the frame first; false
// when WM_QUIT came (it is posted again).
inline bool PumpThroughFrame(CFrameWnd* pFrame)
{
    MSG stMsg;
    while (::PeekMessageW(&stMsg, NULL, 0, 0, PM_REMOVE))
    {
        if (stMsg.message == WM_QUIT)
        {
            ::PostQuitMessage(static_cast<int>(stMsg.wParam));
            return false;
        }
        if (pFrame->m_hWnd != NULL && pFrame->PreTranslateMessage(&stMsg))
            continue;
        ::TranslateMessage(&stMsg);
        ::DispatchMessageW(&stMsg);
    }
    return true;
}

inline bool PumpThroughFrameUntil(CFrameWnd* pFrame, const std::function<bool()>& condition, DWORD dwTimeoutMs = 10000)
{
    const DWORD dwStart = ::GetTickCount();
    while (!condition())
    {
        if (::GetTickCount() - dwStart > dwTimeoutMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        if (!PumpThroughFrame(pFrame))
            return false;
    }
    return true;
}

// Steps that wait for a condition and then act; the timer runs them in
// whatever loop is dispatching, the menu loop of an open popup included.
class CStepScript
{
public:
    struct stStep
    {
        std::function<bool()> ready;
        std::function<void()> act;
    };

    explicit CStepScript(std::vector<stStep> steps) : m_steps(std::move(steps))
    {
        s_pScript = this;
        m_nTimer = ::SetTimer(NULL, 0, 25, &CStepScript::Tick);
    }
    ~CStepScript()
    {
        if (m_nTimer != 0)
            ::KillTimer(NULL, m_nTimer);
        s_pScript = nullptr;
    }
    CStepScript(const CStepScript&) = delete;
    CStepScript& operator=(const CStepScript&) = delete;

    // A step that lets a few ticks pass: the X server shows a window some
    // time after Wine painted it.
    static stStep Pause(int nTicks = 6)
    {
        auto pnLeft = std::make_shared<int>(nTicks);
        return {[pnLeft] { return --*pnLeft <= 0; }, [] {}};
    }

    bool Done() const { return m_nNext == m_steps.size(); }
    size_t StepsRun() const { return m_nNext; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        CStepScript* pScript = s_pScript;
        if (pScript == nullptr || pScript->Done() || !pScript->m_steps[pScript->m_nNext].ready())
            return;
        // The action may open a menu loop that runs the next steps inside.
        const size_t nStep = pScript->m_nNext++;
        pScript->m_steps[nStep].act();
    }

    std::vector<stStep> m_steps;
    size_t m_nNext = 0;
    UINT_PTR m_nTimer = 0;
    static inline CStepScript* s_pScript = nullptr;
};

