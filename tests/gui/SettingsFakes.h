// A stand-in for the program around the settings windows: it keeps every
// message as the bytes that would go out and notes what the windows asked.
#pragma once

#include "gui/SettingsHost.h"

#include "ReplyFakes.h"

#include <string>
#include <vector>

namespace guitest {

class CFakeSettingsHost : public ISettingsHost
{
public:
    bool SendBareCommand(int32_t nCode) override { return m_sender.SendBareCommand(nCode); }
    bool SendCommand(int32_t nCode, CNetDefragObject& object) override { return m_sender.SendCommand(nCode, object); }
    bool GetAppOptions(stAppOptions& options) const override
    {
        if (m_bHasFrame)
            options = m_options;
        return m_bHasFrame;
    }
    void ApplyAppOptions(const stAppOptions& options) override { m_applied.push_back(options); }
    void ShowHelp(int nTopic) override { m_helpTopics.push_back(nTopic); }
    void KeepPassword(const CString& strPassword) override { m_keptPasswords.push_back(strPassword.Str()); }
    void SetShowWelcomeScreen(bool bShow) override { m_welcomeFlags.push_back(bShow); }

    CFakeSender m_sender;
    bool m_bHasFrame = true;
    stAppOptions m_options;
    std::vector<stAppOptions> m_applied;
    std::vector<int> m_helpTopics;
    std::vector<std::wstring> m_keptPasswords;
    std::vector<bool> m_welcomeFlags;
};

} // namespace guitest
