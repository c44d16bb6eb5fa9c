// ISettingsHost: what the configuration dialog, the configuration wizard and
// the welcome screen need from the program around them: the service
// connection's sends, the main frame's own options and help, and the drive
// list view's kept password and welcome flag.
#pragma once

#include "gui/ConfigModel.h"
#include "gui/ReplySender.h"

#include "classlib/String.h"

class ISettingsHost : public IReplySender
{
public:
    // The program's options as the main frame holds them; false without a
    // main frame, and then they can be neither shown nor changed.
    virtual bool GetAppOptions(stAppOptions& options) const = 0;
    // Applies the options to the main frame and the list view and saves the
    // frame's settings.
    virtual void ApplyAppOptions(const stAppOptions& options) = 0;
    // -1: the help's contents.
    virtual void ShowHelp(int nTopic) = 0;
    // The typed password, kept to answer the service's later requests.
    virtual void KeepPassword(const CString& strPassword) = 0;
    // Stored at once, and only when it changes.
    virtual void SetShowWelcomeScreen(bool bShow) = 0;
};
