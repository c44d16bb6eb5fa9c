// CReplyDispatcher: the graphical program's reaction to every message of the
// service: the drive list and its rows, the version check after connecting,
// the connection password, the boxes that end a connection, and the answers
// that fill the modeless windows. Runs on the window's thread.
#pragma once

#include "gui/DriveRows.h"
#include "gui/OwnVersion.h"
#include "gui/ReplySender.h"
#include "gui/ReplyUi.h"

#include "classlib/String.h"

#include <cstdint>

class CNetDefragBuffer;

class CReplyDispatcher
{
public:
    enum VERSION_CHECK
    {
        VERSION_ACCEPTED,
        VERSION_TOO_OLD,
        VERSION_TOO_NEW,
    };

    CReplyDispatcher(IReplySender& sender, IReplyUi& ui, IOwnVersion& ownVersion, CDriveRows& rows);

    // One received message, the archive placed after its header. A malformed
    // payload throws and leaves the rows as they were.
    void DispatchPacket(int32_t nClientId, int32_t nCommand, CNetDefragBuffer& ar);
    // A received payload as the drain loop hands it over, header first. A
    // malformed message, or a peer of another protocol version, ends the
    // connection with the incompatibility box, shown once for the connection
    // however many messages follow. False tells the caller to stop draining.
    bool DispatchPayload(int32_t nClientId, const BYTE* pPayload, UINT nLength);
    // A new connection: its messages are handled again.
    void OnConnectionStarted() { m_bFailed = false; }

    // The service's version (S) against the program's own (O), as unsigned numbers.
    static VERSION_CHECK CompareVersions(UINT nServiceMajor, UINT nServiceMinor, UINT nOwnMajor, UINT nOwnMinor);

    // "Set password": asks with the default prompt; after OK keeps the text and
    // sends it as the connection password, an empty text as no password.
    void SetConnectionPassword();
    const CString& GetKeptPassword() const { return m_strKeptPassword; }
    void SetKeptPassword(const CString& strPassword) { m_strKeptPassword = strPassword; }

private:
    void OnBareReply(int32_t nClientId, int32_t nCommand);
    void EndWithMessage(UINT nTextId);
    void ShowUnknown(int32_t nClientId, int32_t nCommand);
    void AnswerPasswordRequest();
    void OnPartitionList(CNetDefragBuffer& ar);
    void OnPartitionEntry(CNetDefragBuffer& ar);
    void OnVersionInfo(CNetDefragBuffer& ar);
    bool OnPaneReply(int32_t nCommand, CNetDefragBuffer& ar);
    bool OnWindowReply(int32_t nCommand, CNetDefragBuffer& ar);
    void UpdateTrayState();

    IReplySender& m_sender;
    IReplyUi& m_ui;
    IOwnVersion& m_ownVersion;
    CDriveRows& m_rows;
    // Typed by the user and used once for the next password request.
    CString m_strKeptPassword;
    CString m_strLastPasswordSent;
    bool m_bFailed;
};
