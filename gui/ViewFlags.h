// stViewFlags: the display choices of the drive list view that decide what a
// reply opens; each is on unless the user's settings turned it off.
#pragma once

struct stViewFlags
{
    bool bShowClusterView = true;
    bool bShowSplashScreen = true;
    bool bShowAnalyzeFinish = true;
    bool bShowDefragFinish = true;
    bool bShowWelcomeScreen = true;
    bool bShowMonitoringStates = true;
};
