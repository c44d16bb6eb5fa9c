// The command dispatcher and the four senders.
#include "service/DefragService.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragException.h"
#include "protocol/NetDefragPacketHeader.h"
#include "protocol/NetDefragPartitionClusterExplorerAsk.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionNameList.h"
#include "protocol/NetDefragPartitionObject.h"
#include "protocol/NetDefragPassword.h"
#include "protocol/NetDefragSettingsLight.h"
#include "protocol/NetDefragString.h"
#include "protocol/NetDefragVersionInfo.h"
#include "base/FileVersionInfo.h"

#include <memory>
#include <new>

namespace {

constexpr int32_t DefaultPort = 7110;
constexpr int32_t KeepStoredPort = -1;
constexpr int32_t LastPort = 65535;
constexpr int32_t MaxIdlePercentage = 100;
// Drive letters and the characters that keep volumes out of monitoring; a password digest.
constexpr int MaxLettersText = 64;
constexpr int MaxPasswordText = 128;

bool IsFlag(int32_t n)
{
    return n == 0 || n == 1;
}

// RunChkDskBeforeDefrag and UseIOGuard hold two flag bits each.
bool IsTwoBits(int32_t n)
{
    return n >= 0 && n <= 3;
}

// The settings a client may write; what a settings dialog can produce passes. A request with
// any other value is refused whole, before anything is written.
void CheckWizardSettings(const CNetDefragSettingsLight2& wanted)
{
    if (!IsFlag(wanted.m_nUseBoottimeDefrag) || !IsFlag(wanted.m_nDisableAutoMonitoring) ||
        !IsFlag(wanted.m_nUseRemovableDisks))
        throw CNetDefragException(L"Setting out of range");
}

void CheckSettings(const CNetDefragSettingsLight2& wanted)
{
    CheckWizardSettings(wanted);
    const bool bPort = wanted.m_nDefaultPort == KeepStoredPort ||
                       (wanted.m_nDefaultPort > 0 && wanted.m_nDefaultPort <= LastPort);
    if (!bPort || !IsFlag(wanted.m_nPauseOnBattery) || !IsTwoBits(wanted.m_nRunChkDskBeforeDefrag) ||
        !IsTwoBits(wanted.m_nUseIOGuard))
        throw CNetDefragException(L"Setting out of range");
    if (settings::UpperTrimmed(wanted.m_strAddDrivesManually).GetLength() > MaxLettersText ||
        settings::UpperTrimmed(wanted.m_strIgnoreMonitoringDrives).GetLength() > MaxLettersText ||
        wanted.m_strPassword.GetLength() > MaxPasswordText)
        throw CNetDefragException(L"Setting too long");
}

// The idle percentage is typed as a number in the settings dialog: one past the scale is
// taken as its end rather than losing the whole dialog's settings.
int32_t ClampedIdlePercentage(int32_t n)
{
    return n < 0 ? 0 : (n > MaxIdlePercentage ? MaxIdlePercentage : n);
}

// Texts that go on the wire are cut to what a receiver accepts in one string.
void BoundWireText(CUnicodeString& str)
{
    str = CDefragPartition::WireText(str);
}

void BoundTexts(CNetDefragPartitionListEntry& entry)
{
    for (CUnicodeString* pText : {&entry.m_strDriveRoot, &entry.m_strVolumeGuidPath, &entry.m_strVolumeLabel,
                                  &entry.m_strStatusText, &entry.m_strFileSystemName, &entry.m_strSerialNumber})
        BoundWireText(*pText);
}

} // namespace

bool CDefragService::BuildMessage(CNetDefragBuffer& ar, int32_t nCode, CNetDefragObject* pObject)
{
    CNetDefragPacketHeader header;
    header.SetCommand(nCode);
    header.Serialize(ar);
    if (pObject != nullptr)
        pObject->Serialize(ar);
    // A message that could not be built whole would be misread by its receiver.
    return !ar.HasFailed();
}

bool CDefragService::SendArchive(int32_t nClient, CNetDefragBuffer& ar)
{
    CSectionLock guiLock(m_csGuiServer);
    if (m_pGuiServer == nullptr)
        return false;
    CClientTable::stCLIENT stClient;
    if (!CClientTable::Decode(nClient, stClient))
        return false;
    int nId = 0;
    uint32_t nGeneration = 0;
    CQOVQueuedServer* pServer = ServerOfClient(nClient, &nId, &nGeneration);
    // A reply to a client that has left is dropped, as one to a client not connected.
    if (pServer == nullptr)
        return (stClient.bCommandServer ? m_pCommandServer : m_pGuiServer) != nullptr;
    return pServer->SendTo(nId, ar.GetBuffer(), static_cast<int32_t>(ar.GetSize()), nGeneration);
}

bool CDefragService::BroadcastArchive(CNetDefragBuffer& ar)
{
    CSectionLock guiLock(m_csGuiServer);
    if (m_pGuiServer == nullptr)
        return false;
    bool bGuiSent = true;
    BroadcastToServer(true, ar, nullptr);
    BroadcastToServer(false, ar, &bGuiSent);
    return bGuiSent;
}

// Under the graphical program's server lock. Only the connections the service thread has
// seen connect are reached, each by its own generation.
void CDefragService::BroadcastToServer(bool bCommandServer, CNetDefragBuffer& ar, bool* pbAllSent)
{
    for (int32_t nClient : m_clients.ConnectedKeys(bCommandServer))
    {
        if (!IsAuthorised(nClient))
            continue;
        const bool bSent = SendArchive(nClient, ar);
        if (pbAllSent != nullptr)
            *pbAllSent &= bSent;
    }
}

bool CDefragService::IsAuthorised(int32_t nClient)
{
    return !m_bPasswordSet || m_clients.IsLoggedIn(nClient);
}

bool CDefragService::IsOpenRequest(int32_t nCommand)
{
    // 103 tells the same version as 102, and lets the console client learn that a password
    // is wanted; 101 answers 502 by itself; 1 ends the asking connection only.
    return nCommand == CMD_GET_VERSION_INFO || nCommand == CMD_GET_SERVICE_INFO || nCommand == CMD_PASSWORD ||
           nCommand == CMD_GET_PARTITION_LIST || nCommand == CMD_DISCONNECT;
}

void CDefragService::SetStoredPassword(const CUnicodeString& strPassword)
{
    m_strPassword = strPassword;
    m_bPasswordSet = m_strPassword.GetLength() > 0;
}

bool CDefragService::SendCode(int32_t nClient, int32_t nCode)
{
    CNetDefragBuffer ar(true);
    return BuildMessage(ar, nCode, nullptr) && SendArchive(nClient, ar);
}

bool CDefragService::SendObject(int32_t nClient, int32_t nCode, CNetDefragObject& object)
{
    if (auto* pEntry = dynamic_cast<CNetDefragPartitionListEntry*>(&object))
        BoundTexts(*pEntry);
    CNetDefragBuffer ar(true);
    return BuildMessage(ar, nCode, &object) && SendArchive(nClient, ar);
}

bool CDefragService::BroadcastCode(int32_t nCode)
{
    CNetDefragBuffer ar(true);
    return BuildMessage(ar, nCode, nullptr) && BroadcastArchive(ar);
}

bool CDefragService::BroadcastObject(int32_t nCode, CNetDefragObject& object)
{
    if (auto* pEntry = dynamic_cast<CNetDefragPartitionListEntry*>(&object))
        BoundTexts(*pEntry);
    CNetDefragBuffer ar(true);
    return BuildMessage(ar, nCode, &object) && BroadcastArchive(ar);
}

bool CDefragService::DispatchCommand(int32_t nClient, int32_t nCommand, CNetDefragBuffer& ar)
{
    // Until it has given the stored password a connection can learn the version and log in,
    // nothing more.
    if (!IsOpenRequest(nCommand) && !IsAuthorised(nClient))
        return true;
    switch (nCommand)
    {
    case CMD_DISCONNECT:
    {
        CClientTable::stCLIENT stClient;
        if (CClientTable::Decode(nClient, stClient) && !stClient.bCommandServer)
            DisconnectClient(nClient);
        break;
    }
    case CMD_GET_PARTITION_LIST:
        if (m_strPassword.GetLength() > 0)
            SendCode(nClient, RESPONSE_PASSWORD_REQUIRED);
        else
            SendDriveList(nClient);
        break;
    case CMD_GET_VERSION_INFO:
    case CMD_GET_SERVICE_INFO:
    {
        CNetDefragVersionInfo info;
        if (FillVersionInfo(info, nullptr))
            SendObject(nClient, nCommand == CMD_GET_VERSION_INFO ? RESPONSE_VERSION_INFO : RESPONSE_SERVICE_INFO,
                       info);
        break;
    }
    case CMD_GET_DRIVE_NAMES:
        SendDriveNames(nClient);
        break;
    case CMD_GET_SETTINGS:
        SendSettings(nClient, RESPONSE_SETTINGS);
        break;
    case CMD_GET_WIZARD_SETTINGS:
        SendSettings(nClient, RESPONSE_WIZARD_SETTINGS);
        break;
    case CMD_PAUSE:
        PauseService(true);
        break;
    case CMD_CONTINUE:
        OnContinue();
        break;
    case CMD_SET_PASSWORD:
        SetPassword(nClient, ar);
        break;
    case CMD_PASSWORD:
        CheckPassword(nClient, ar);
        break;
    case CMD_SET_SETTINGS:
        WriteSettings(nClient, ar);
        break;
    case CMD_SET_WIZARD_SETTINGS:
        WriteWizardSettings(nClient, ar);
        break;
    default:
        return DispatchVolumeCommand(nClient, nCommand, ar);
    }
    return true;
}

bool CDefragService::DispatchVolumeCommand(int32_t nClient, int32_t nCommand, CNetDefragBuffer& ar)
{
    // Only the requests that name a volume are read; replies and unknown codes are ignored
    // without an answer. The object is read whole before any volume is looked at, so that a
    // malformed request changes nothing.
    std::unique_ptr<CNetDefragObject> pObject = CreateNetDefragObject(nCommand);
    const int32_t* pnIndex = nullptr;
    if (auto* pVolume = dynamic_cast<CNetDefragPartitionObject*>(pObject.get()))
        pnIndex = &pVolume->m_nVolumeIndex;
    else if (auto* pAsk = dynamic_cast<CNetDefragPartitionClusterExplorerAsk*>(pObject.get()))
        pnIndex = &pAsk->m_nVolumeIndex;
    else if (auto* pFile = dynamic_cast<CNetDefragString*>(pObject.get()))
        pnIndex = &pFile->m_nVolumeIndex;
    if (pnIndex == nullptr)
        return true;
    pObject->Serialize(ar);
    CSectionLock lock(m_csDriveList);
    for (int i = 0; i < GetVolumeCount(); ++i)
    {
        CDefragPartition& volume = *ListedAt(i).pVolume;
        if (volume.GetIndex() != *pnIndex)
            continue;
        ActOnVolume(nClient, nCommand, *pObject, volume);
        // A subscription reaches every volume of the index, every other request the first.
        if (nCommand != CMD_CLUSTERMAP_SUBSCRIBE)
            break;
    }
    return true;
}

void CDefragService::ActOnVolume(int32_t nClient, int32_t nCommand, CNetDefragObject& request, CDefragPartition& volume)
{
    switch (nCommand)
    {
    case CMD_STOP:
        volume.StopJob();
        break;
    case CMD_ANALYZE:
        if (volume.StartAnalysis(m_nManualAnalysisArgument))
            ReportPausedStart(volume);
        break;
    case CMD_DEFRAG_COMPLETE:
        StartRun(volume, {true, CDefragPartition::RUN_REQUEST::MOVE_TO_END::Stored, 0});
        break;
    case CMD_DEFRAG_QUICK:
        StartRun(volume, {false, CDefragPartition::RUN_REQUEST::MOVE_TO_END::Keep, 0});
        break;
    case CMD_DEFRAG_ADVANCED:
        StartRun(volume, {true, CDefragPartition::RUN_REQUEST::MOVE_TO_END::Forced, 2});
        break;
    case CMD_CHECK_DISK:
        if (volume.StartCheckDisk())
            ReportPausedStart(volume);
        break;
    case CMD_MONITOR:
        volume.SetBackgroundMode(true, m_pMonitor.get(), true);
        break;
    case CMD_CLUSTERMAP_SUBSCRIBE:
        volume.SubscribeClusterMap(nClient, true);
        break;
    case CMD_CLUSTERMAP_UNSUBSCRIBE:
        volume.SubscribeClusterMap(nClient, false);
        TrimWorkingSet();
        break;
    case CMD_CLUSTEREXPLORER_ASK:
        SendRangeFilesUnlocked(nClient, request, volume);
        break;
    case CMD_GET_PARTITION_INFO:
        volume.SendVolumeInfo(nClient);
        break;
    case CMD_GET_FRAG_FILES:
        volume.SendFragmentedFiles(nClient);
        break;
    case CMD_SHOW_FILE:
        volume.SendFileClusters(nClient, static_cast<const CNetDefragString&>(request).m_strFileName);
        break;
    default:
        break;
    }
}

template <class TEntry, class TFill>
void CDefragService::FillTable(CNetDefragObjectTable<TEntry>& table, TFill fnFill)
{
    CSectionLock lock(m_csDriveList);
    for (int i = 0; i < GetVolumeCount(); ++i)
    {
        std::unique_ptr<TEntry> pEntry(new (std::nothrow) TEntry);
        if (!pEntry || !fnFill(*ListedAt(i).pVolume, *pEntry))
            continue;
        // The table holds at most its fixed number of entries; the rest are left out.
        if (!table.Add(std::move(pEntry)))
            break;
    }
}

// The walk over a volume's files can take long on a large volume: the drive-list lock is
// released for it, with the volume kept from being freed by a rebuild meanwhile.
void CDefragService::SendRangeFilesUnlocked(int32_t nClient, const CNetDefragObject& request,
                                            CDefragPartition& volume)
{
    const auto& ask = static_cast<const CNetDefragPartitionClusterExplorerAsk&>(request);
    m_pReportVolume = &volume;
    {
        CSectionUnlock unlock(m_csDriveList);
        volume.SendClusterRangeFiles(nClient, ask.m_llFirstCluster, ask.m_llLastCluster);
    }
    m_pReportVolume = nullptr;
    ReapRetired();
}

void CDefragService::StartRun(CDefragPartition& volume, const CDefragPartition::RUN_REQUEST& request)
{
    // The method and the placement of recent files go with the run, so that a request that
    // is refused leaves the run in progress as it is.
    if (volume.StartDefragmentation(&request))
        ReportPausedStart(volume);
}

void CDefragService::ReportPausedStart(CDefragPartition& volume)
{
    // A job started while the service is paused waits from its first step.
    if (!m_bPaused)
        return;
    volume.SetPaused(true);
    volume.ReportState();
}

void CDefragService::FillDriveList(CNetDefragPartitionList& list)
{
    FillTable(list, [](CDefragPartition& volume, CNetDefragPartitionListEntry& entry) {
        if (!volume.FillListEntry(entry))
            return false;
        BoundTexts(entry);
        return true;
    });
}

void CDefragService::SendDriveList(int32_t nClient)
{
    CNetDefragPartitionList list;
    CSectionLock lock(m_csDriveList);
    FillDriveList(list);
    SendObject(nClient, RESPONSE_PARTITION_LIST, list);
}

void CDefragService::SendDriveNames(int32_t nClient)
{
    CNetDefragPartitionNameList names;
    CSectionLock lock(m_csDriveList);
    FillTable(names, [](CDefragPartition& volume, CNetDefragPartitionNameEntry& entry) {
        if (!volume.FillVolumeNames(entry))
            return false;
        for (CUnicodeString* pText : {&entry.m_strDriveRoot, &entry.m_strVolumeGuidPath, &entry.m_strVolumeLabel})
            BoundWireText(*pText);
        return true;
    });
    ::Sleep(DriveNamesDelayMs);
    SendObject(nClient, RESPONSE_DRIVE_NAMES, names);
}

bool CDefragService::FillVersionInfo(CNetDefragVersionInfo& info, CUnicodeString* pstrFileVersion)
{
    CFileVersionInfo version;
    if (!version.OpenOwnProgram() || version.GetFixedInfo() == nullptr)
        return false;
    const VS_FIXEDFILEINFO* pFixed = version.GetFixedInfo();
    info.m_nMajorVersion = HIWORD(pFixed->dwProductVersionMS);
    info.m_nMinorVersion = LOWORD(pFixed->dwProductVersionMS);
    info.m_nThirdVersion = HIWORD(pFixed->dwProductVersionLS);
    CUnicodeString strFileVersion = version.GetFileVersion();
    BoundWireText(strFileVersion);
    info.m_strVersionText = strFileVersion;
    if (info.m_nThirdVersion % 2 != 0)
        info.m_strVersionText += L" BETA";
    BoundWireText(info.m_strVersionText);
    if (pstrFileVersion != nullptr)
        *pstrFileVersion = strFileVersion;
    return true;
}

void CDefragService::SendSettings(int32_t nClient, int32_t nCode)
{
    CNetDefragVersionInfo version;
    CNetDefragSettingsLight2 stored;
    if (!FillVersionInfo(version, &stored.m_strVersionText))
        return;
    using settings::ReadInt;
    stored.m_nDefaultPort = ReadInt(m_registry, L"DefaultPort", DefaultPort);
    stored.m_nUseBoottimeDefrag = ReadInt(m_registry, L"UseBoottimeDefrag", 1);
    stored.m_strIgnoreMonitoringDrives = settings::ReadLetters(m_registry, L"IgnoreMonitoringDrives", L" ");
    stored.m_strAddDrivesManually = settings::ReadLetters(m_registry, L"AddDrivesManually", L" ");
    stored.m_nDisableAutoMonitoring = ReadInt(m_registry, L"DisableAutoMonitoring", 0);
    stored.m_nUseRemovableDisks = ReadInt(m_registry, L"UseRemovableDisks", 0);
    stored.m_nPauseOnBattery = m_nPauseOnBattery;
    CUnicodeString strPassword;
    m_registry.ReadString(L"Password", strPassword);
    SetStoredPassword(strPassword);
    stored.m_strPassword = m_strPassword;
    stored.m_nRunChkDskBeforeDefrag = ReadInt(m_registry, L"RunChkDskBeforeDefrag", 0);
    stored.m_nUseIOGuard = ReadInt(m_registry, L"UseIOGuard", 0);
    stored.m_nIOGuardMinIdlePercentage = ReadInt(m_registry, L"IOGuardMinIdlePercentage", 95);
    stored.m_nMoveModifiedFilesToEnd = ReadInt(m_registry, L"MoveModifiedFilesToEnd", 0);
    for (CUnicodeString* pText : {&stored.m_strIgnoreMonitoringDrives, &stored.m_strAddDrivesManually,
                                  &stored.m_strPassword})
        BoundWireText(*pText);
    SendObject(nClient, nCode, stored);
}

void CDefragService::SetPassword(int32_t nClient, CNetDefragBuffer& ar)
{
    CNetDefragPassword password;
    password.Serialize(ar);
    if (password.m_strPassword.GetLength() > MaxPasswordText)
        throw CNetDefragException(L"Setting too long");
    StorePassword(nClient, password.m_strPassword);
}

// The connection that stores a password has shown that it knows it.
void CDefragService::StorePassword(int32_t nClient, const CUnicodeString& strPassword)
{
    SetStoredPassword(strPassword);
    m_registry.WriteString(L"Password", m_strPassword);
    if (m_bPasswordSet)
        m_clients.LogIn(nClient);
}

void CDefragService::CheckPassword(int32_t nClient, CNetDefragBuffer& ar)
{
    CNetDefragPassword password;
    password.Serialize(ar);
    // Length and code units, case-sensitive: the text is a digest.
    if (password.m_strPassword.GetLength() != m_strPassword.GetLength() ||
        (m_strPassword.GetLength() > 0 && password.m_strPassword.Compare(m_strPassword) != 0))
    {
        SendCode(nClient, RESPONSE_PASSWORD_REQUIRED);
        return;
    }
    m_clients.LogIn(nClient);
    SendCode(nClient, RESPONSE_PASSWORD_ACCEPTED);
    SendDriveList(nClient);
}

void CDefragService::WriteSettings(int32_t nClient, CNetDefragBuffer& ar)
{
    CNetDefragSettingsLight2 wanted;
    wanted.Serialize(ar);
    CheckSettings(wanted);
    if (wanted.m_nDefaultPort != KeepStoredPort)
        m_registry.WriteDWORD(L"DefaultPort", static_cast<DWORD>(wanted.m_nDefaultPort));
    m_registry.WriteDWORD(L"UseBoottimeDefrag", static_cast<DWORD>(wanted.m_nUseBoottimeDefrag));
    UpdateBootExecute();
    UpdateBootExecute();
    m_registry.WriteString(L"IgnoreMonitoringDrives", settings::UpperTrimmed(wanted.m_strIgnoreMonitoringDrives));
    m_registry.WriteString(L"AddDrivesManually", settings::UpperTrimmed(wanted.m_strAddDrivesManually));
    m_registry.WriteDWORD(L"DisableAutoMonitoring", static_cast<DWORD>(wanted.m_nDisableAutoMonitoring));
    m_registry.WriteDWORD(L"UseRemovableDisks", static_cast<DWORD>(wanted.m_nUseRemovableDisks));
    m_nPauseOnBattery = wanted.m_nPauseOnBattery;
    m_registry.WriteDWORD(L"PauseOnBattery", static_cast<DWORD>(wanted.m_nPauseOnBattery));
    StorePassword(nClient, wanted.m_strPassword);
    m_registry.WriteDWORD(L"RunChkDskBeforeDefrag", static_cast<DWORD>(wanted.m_nRunChkDskBeforeDefrag));
    m_registry.WriteDWORD(L"UseIOGuard", static_cast<DWORD>(wanted.m_nUseIOGuard));
    m_registry.WriteDWORD(L"IOGuardMinIdlePercentage",
                          static_cast<DWORD>(ClampedIdlePercentage(wanted.m_nIOGuardMinIdlePercentage)));
    CSectionLock lock(m_csDriveList);
    for (int i = 0; i < GetVolumeCount(); ++i)
        ListedAt(i).pVolume->LoadSettings();
    UpdateDriveList();
    DispatchCommand(nClient, CMD_GET_PARTITION_LIST, ar);
}

void CDefragService::WriteWizardSettings(int32_t nClient, CNetDefragBuffer& ar)
{
    CNetDefragSettingsLight2 wanted;
    wanted.Serialize(ar);
    CheckWizardSettings(wanted);
    m_registry.WriteDWORD(L"UseBoottimeDefrag", static_cast<DWORD>(wanted.m_nUseBoottimeDefrag));
    UpdateBootExecute();
    UpdateBootExecute();
    m_registry.WriteDWORD(L"DisableAutoMonitoring", static_cast<DWORD>(wanted.m_nDisableAutoMonitoring));
    m_registry.WriteDWORD(L"UseRemovableDisks", static_cast<DWORD>(wanted.m_nUseRemovableDisks));
    UpdateDriveList();
    DispatchCommand(nClient, CMD_GET_PARTITION_LIST, ar);
}
