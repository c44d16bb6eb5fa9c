#include "gui/ReplyDispatcher.h"

#include "gui/Md5HexDigest.h"
#include "gui/Resource.h"
#include "gui/ResourceText.h"
#include "gui/WireText.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPacketHeader.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"
#include "protocol/NetDefragPassword.h"
#include "protocol/NetDefragSettingsLight.h"
#include "protocol/NetDefragVersionInfo.h"

#include <exception>

namespace
{
constexpr DWORD SplashPauseMs = 3000;
// Codes from here up carry one object.
constexpr int32_t FirstObjectCode = 1000;
}

CReplyDispatcher::CReplyDispatcher(IReplySender& sender, IReplyUi& ui, IOwnVersion& ownVersion, CDriveRows& rows)
    : m_sender(sender), m_ui(ui), m_ownVersion(ownVersion), m_rows(rows), m_bFailed(false)
{
}

void CReplyDispatcher::DispatchPacket(int32_t nClientId, int32_t nCommand, CNetDefragBuffer& ar)
{
    if (nCommand < FirstObjectCode)
    {
        OnBareReply(nClientId, nCommand);
        return;
    }
    switch (nCommand)
    {
    case RESPONSE_PARTITION_LIST:
        OnPartitionList(ar);
        return;
    case RESPONSE_PARTITION_ENTRY:
        OnPartitionEntry(ar);
        return;
    case RESPONSE_VERSION_INFO:
        OnVersionInfo(ar);
        return;
    default:
        if (!OnPaneReply(nCommand, ar) && !OnWindowReply(nCommand, ar))
            ShowUnknown(nClientId, nCommand);
        return;
    }
}

bool CReplyDispatcher::DispatchPayload(int32_t nClientId, const BYTE* pPayload, UINT nLength)
{
    // The box below runs a modal loop in which the drain may run again; what
    // the same connection still sends is dropped rather than told twice.
    if (m_bFailed)
        return false;
    try
    {
        CNetDefragBuffer ar(false);
        ar.Attach(pPayload, nLength);
        CNetDefragPacketHeader header;
        header.Serialize(ar);
        DispatchPacket(nClientId, header.GetCommand(), ar);
        return true;
    }
    catch (const std::exception&)
    {
        // A malformed message (CNetDefragException) or an out-of-range list
        // index: either way the peer cannot be understood.
    }
    m_bFailed = true;
    EndWithMessage(IDS_REMOTE_INCOMPATIBLE);
    return false;
}

CReplyDispatcher::VERSION_CHECK CReplyDispatcher::CompareVersions(UINT nServiceMajor, UINT nServiceMinor,
                                                                  UINT nOwnMajor, UINT nOwnMinor)
{
    if (nServiceMajor < nOwnMajor || (nServiceMajor == nOwnMajor && nServiceMinor < nOwnMinor))
        return VERSION_TOO_OLD;
    // Services of these two versions speak an older dialect whatever the program's own version.
    if (nServiceMajor == 1 && (nServiceMinor == 10 || nServiceMinor == 65548))
        return VERSION_TOO_OLD;
    if (nServiceMajor > nOwnMajor || (nServiceMajor == nOwnMajor && nServiceMinor > nOwnMinor))
        return VERSION_TOO_NEW;
    return VERSION_ACCEPTED;
}

void CReplyDispatcher::SetConnectionPassword()
{
    CString strTyped;
    if (!m_ui.AskPassword(ResourceText(IDS_PASSWORD_CREATE), strTyped))
        return;
    m_strKeptPassword = strTyped;
    CNetDefragPassword password;
    if (!strTyped.IsEmpty())
    {
        CString strDigest;
        // Without a digest nothing is sent: an empty text would clear the password.
        if (!PasswordDigest(strTyped, strDigest))
            return;
        password.m_strPassword = strDigest.GetString();
    }
    m_sender.SendCommand(CMD_SET_PASSWORD, password);
}

void CReplyDispatcher::OnBareReply(int32_t nClientId, int32_t nCommand)
{
    switch (nCommand)
    {
    case CMD_DISCONNECT:
        EndWithMessage(IDS_SERVICE_DISCONNECTED);
        return;
    case RESPONSE_TOO_MANY_CLIENTS:
        EndWithMessage(IDS_SERVER_HAS_CONNECTION);
        return;
    case RESPONSE_PASSWORD_REQUIRED:
        AnswerPasswordRequest();
        return;
    case RESPONSE_PASSWORD_ACCEPTED:
        m_strKeptPassword = m_strLastPasswordSent;
        return;
    case RESPONSE_INCOMPATIBLE:
        EndWithMessage(IDS_REMOTE_INCOMPATIBLE);
        return;
    default:
        ShowUnknown(nClientId, nCommand);
        return;
    }
}

void CReplyDispatcher::EndWithMessage(UINT nTextId)
{
    // Posted first, so that the connection ends while the box is up.
    m_ui.PostServerLost();
    m_ui.ShowMessage(ResourceText(nTextId));
}

void CReplyDispatcher::ShowUnknown(int32_t nClientId, int32_t nCommand)
{
    CString strText;
    strText.Format(L"Unknown Command: %d (Client: 0x%x)", nCommand, static_cast<unsigned>(nClientId));
    m_ui.ShowMessage(strText);
}

void CReplyDispatcher::AnswerPasswordRequest()
{
    if (m_strKeptPassword.IsEmpty())
    {
        CString strTyped;
        if (!m_ui.AskPassword(ResourceText(IDS_PASSWORD_PROTECTED), strTyped))
        {
            m_ui.DisconnectAndReset();
            return;
        }
        m_strKeptPassword = strTyped;
    }
    // The kept password answers one request; a refusal asks the user again.
    m_strLastPasswordSent = m_strKeptPassword;
    m_strKeptPassword.Empty();
    CString strDigest;
    if (!PasswordDigest(m_strLastPasswordSent, strDigest))
    {
        m_ui.DisconnectAndReset();
        return;
    }
    CNetDefragPassword password;
    password.m_strPassword = strDigest.GetString();
    m_sender.SendCommand(CMD_PASSWORD, password);
}

void CReplyDispatcher::OnPartitionList(CNetDefragBuffer& ar)
{
    bool bHadRows;
    {
        CSectionLock lock(m_rows.GetLock());
        // Decoded whole before the list is touched: a malformed list leaves the rows as they were.
        CNetDefragPartitionList list;
        list.Serialize(ar);
        bHadRows = m_rows.GetCount() > 0;
        m_rows.Rebuild(list);
    }
    UpdateTrayState();
    if (m_ui.GetViewFlags().bShowClusterView)
        m_ui.SyncClusterView();
    if (!bHadRows && !m_ui.HasWelcomeDialog() && m_ui.GetViewFlags().bShowWelcomeScreen)
        m_ui.OpenWelcome();
}

void CReplyDispatcher::OnPartitionEntry(CNetDefragBuffer& ar)
{
    CNetDefragPartitionListEntry entry;
    CDriveRows::RESULT_TRIGGER eTrigger;
    {
        CSectionLock lock(m_rows.GetLock());
        entry.Serialize(ar);
        int nRow = m_rows.FindRow(entry.m_nVolumeIndex);
        if (nRow < 0)
            return;
        eTrigger = m_rows.UpdateRow(nRow, entry);
    }
    if (m_ui.IsClusterPaneInUse() && entry.m_nProgress == 100)
        m_ui.OnDriveFinished(entry.m_nVolumeIndex, entry.m_nFragmentationPercent == 0);
    UpdateTrayState();
    const stViewFlags& flags = m_ui.GetViewFlags();
    if (eTrigger == CDriveRows::RESULT_ANALYSIS && flags.bShowAnalyzeFinish)
        m_ui.OpenAnalysisResult(entry);
    else if (eTrigger == CDriveRows::RESULT_DEFRAG && flags.bShowDefragFinish)
        m_ui.OpenDefragResult(entry);
}

void CReplyDispatcher::OnVersionInfo(CNetDefragBuffer& ar)
{
    CNetDefragVersionInfo service;
    service.Serialize(ar);
    UINT nOwnMajor = 0;
    UINT nOwnMinor = 0;
    if (!m_ownVersion.GetOwnVersion(nOwnMajor, nOwnMinor))
    {
        m_ui.PostServerLost();
        return;
    }
    const CUnicodeString& strText = service.m_strVersionText;
    m_ui.SetServiceVersionText(CString(L"Version: ") + WireText(strText));
    switch (CompareVersions(static_cast<UINT>(service.m_nMajorVersion), static_cast<UINT>(service.m_nMinorVersion),
                            nOwnMajor, nOwnMinor))
    {
    case VERSION_TOO_OLD:
        m_ui.ShowMessage(ResourceText(IDS_REMOTE_TOO_OLD));
        m_ui.PostServerLost();
        return;
    case VERSION_TOO_NEW:
        m_ui.ShowMessage(ResourceText(IDS_REMOTE_TOO_NEW));
        m_ui.PostServerLost();
        return;
    case VERSION_ACCEPTED:
        break;
    }
    if (m_ui.GetViewFlags().bShowSplashScreen)
    {
        m_ui.ShowSplash(CString(), CString());
        if (!m_ui.HasWelcomeDialog())
        {
            m_ui.PumpMessages();
            m_ui.Sleep(SplashPauseMs);
        }
    }
    m_sender.SendBareCommand(CMD_GET_PARTITION_LIST);
}

bool CReplyDispatcher::OnPaneReply(int32_t nCommand, CNetDefragBuffer& ar)
{
    switch (nCommand)
    {
    case RESPONSE_CLUSTERMAP:
        if (m_ui.IsClusterPaneInUse())
        {
            std::unique_ptr<CNetDefragPartitionClustermap> pMap(new CNetDefragPartitionClustermap);
            pMap->Serialize(ar);
            m_ui.OnClusterMap(std::move(pMap));
        }
        return true;
    case RESPONSE_CLUSTERMAP_MODLIST:
        if (m_ui.IsClusterPaneInUse())
        {
            std::unique_ptr<CNetDefragClustermapModList> pChanges(new CNetDefragClustermapModList);
            pChanges->Serialize(ar);
            m_ui.OnClusterMapChanges(std::move(pChanges));
        }
        return true;
    case RESPONSE_FILE_CLUSTERS:
        if (m_ui.IsClusterPaneInUse())
        {
            std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> pAnswer(
                new CNetDefragPartitionClusterExplorerResponse);
            pAnswer->Serialize(ar);
            m_ui.OnFileClusters(std::move(pAnswer));
        }
        return true;
    default:
        return false;
    }
}

bool CReplyDispatcher::OnWindowReply(int32_t nCommand, CNetDefragBuffer& ar)
{
    switch (nCommand)
    {
    case RESPONSE_CLUSTEREXPLORER:
    {
        CNetDefragPartitionClusterExplorerResponse answer;
        answer.Serialize(ar);
        m_ui.OnClusterExplorer(answer);
        return true;
    }
    case RESPONSE_PARTITION_INFO:
    {
        CNetDefragPartitionInfo info;
        info.Serialize(ar);
        m_ui.OnPartitionInfo(info);
        return true;
    }
    case RESPONSE_FRAG_FILES:
    {
        CNetDefragPartitionFragFiles files;
        files.Serialize(ar);
        m_ui.OnFragmentedFiles(files);
        return true;
    }
    case RESPONSE_SERVICE_INFO:
    {
        CNetDefragVersionInfo version;
        version.Serialize(ar);
        m_ui.OnServiceInfo(version);
        return true;
    }
    case RESPONSE_SETTINGS:
    case RESPONSE_WIZARD_SETTINGS:
    {
        CNetDefragSettingsLight2 settings;
        settings.Serialize(ar);
        if (nCommand == RESPONSE_SETTINGS)
            m_ui.OnSettings(settings);
        else
            m_ui.OnWizardSettings(settings);
        return true;
    }
    default:
        return false;
    }
}

void CReplyDispatcher::UpdateTrayState()
{
    m_ui.SetTrayState(m_rows.GetTrayState(m_ui.IsConnected(), m_ui.GetViewFlags().bShowMonitoringStates));
}
