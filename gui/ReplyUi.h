// IReplyUi: what the reply handling asks of the windows. The drive list view
// answers it: boxes and the password dialog are modal, every other window is
// modeless, created on first use and then reused.
#pragma once

#include "gui/ViewFlags.h"

#include "classlib/String.h"

#include <windows.h>

#include <cstdint>
#include <memory>

class CNetDefragClustermapModList;
class CNetDefragPartitionClusterExplorerResponse;
class CNetDefragPartitionClustermap;
class CNetDefragPartitionFragFiles;
class CNetDefragPartitionInfo;
class CNetDefragPartitionListEntry;
class CNetDefragSettingsLight2;
class CNetDefragVersionInfo;

class IReplyUi
{
public:
    virtual ~IReplyUi() = default;

    virtual const stViewFlags& GetViewFlags() const = 0;
    virtual bool IsConnected() const = 0;

    // The program's message box, with the application's name as its title.
    virtual void ShowMessage(const CString& strText) = 0;
    // Posts the message that ends the connection and resets the windows.
    virtual void PostServerLost() = 0;
    // The password dialog with this prompt; true and the typed text after OK.
    virtual bool AskPassword(const CString& strPrompt, CString& strTyped) = 0;
    // Ends the connection now and resets the view's windows.
    virtual void DisconnectAndReset() = 0;

    virtual void SetServiceVersionText(const CString& strText) = 0;
    virtual void ShowSplash(const CString& strFirstLine, const CString& strSecondLine) = 0;
    virtual void PumpMessages() = 0;
    virtual void Sleep(DWORD dwMilliseconds) = 0;

    virtual bool HasWelcomeDialog() const = 0;
    virtual void OpenWelcome() = 0;
    virtual void OpenAnalysisResult(const CNetDefragPartitionListEntry& entry) = 0;
    virtual void OpenDefragResult(const CNetDefragPartitionListEntry& entry) = 0;
    virtual void SetTrayState(int nState) = 0;

    // The cluster-map pane: whether it is in use, and its answers.
    virtual bool IsClusterPaneInUse() const = 0;
    virtual void SyncClusterView() = 0;
    // A run on the drive reached 100 percent; bUnfragmented when nothing is left fragmented.
    virtual void OnDriveFinished(int32_t nDriveId, bool bUnfragmented) = 0;
    virtual void OnClusterMap(std::unique_ptr<CNetDefragPartitionClustermap> pMap) = 0;
    virtual void OnClusterMapChanges(std::unique_ptr<CNetDefragClustermapModList> pChanges) = 0;
    virtual void OnFileClusters(std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> pAnswer) = 0;

    virtual void OnClusterExplorer(const CNetDefragPartitionClusterExplorerResponse& answer) = 0;
    virtual void OnPartitionInfo(const CNetDefragPartitionInfo& info) = 0;
    virtual void OnFragmentedFiles(const CNetDefragPartitionFragFiles& files) = 0;
    virtual void OnServiceInfo(const CNetDefragVersionInfo& version) = 0;
    virtual void OnSettings(const CNetDefragSettingsLight2& settings) = 0;
    virtual void OnWizardSettings(const CNetDefragSettingsLight2& settings) = 0;
};
