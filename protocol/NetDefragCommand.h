// NETDEFRAG_COMMAND: the command of the message header, one table for both
// directions. Codes below 1000 carry no object, codes from 1000 up exactly
// one; CreateNetDefragObject makes the object that a code carries.
#pragma once

#include "protocol/NetDefragObject.h"

#include <cstdint>
#include <memory>

enum NETDEFRAG_COMMAND : int32_t
{
    // Client to service; also, to every client, the notice that the service stops.
    CMD_DISCONNECT = 1,

    // Requests without an object.
    CMD_GET_PARTITION_LIST = 101,
    CMD_GET_VERSION_INFO = 102,
    CMD_GET_SERVICE_INFO = 103,
    CMD_GET_DRIVE_NAMES = 105,
    CMD_GET_SETTINGS = 106,
    CMD_PAUSE = 107,
    CMD_CONTINUE = 108,
    CMD_GET_WIZARD_SETTINGS = 109,

    // Bare replies.
    RESPONSE_TOO_MANY_CLIENTS = 501,
    RESPONSE_PASSWORD_REQUIRED = 502,
    RESPONSE_PASSWORD_ACCEPTED = 503,
    RESPONSE_INCOMPATIBLE = 504,

    // Replies with an object (named after the code).
    RESPONSE_PARTITION_LIST = 1001,     // CNetDefragPartitionList
    RESPONSE_PARTITION_ENTRY = 1002,    // CNetDefragPartitionListEntry
    RESPONSE_CLUSTERMAP = 1003,         // CNetDefragPartitionClustermap
    RESPONSE_CLUSTERMAP_MODLIST = 1004, // CNetDefragClustermapModList
    RESPONSE_CLUSTEREXPLORER = 1005,    // CNetDefragPartitionClusterExplorerResponse
    RESPONSE_PARTITION_INFO = 1006,     // CNetDefragPartitionInfo
    RESPONSE_FRAG_FILES = 1007,         // CNetDefragPartitionFragFiles
    RESPONSE_VERSION_INFO = 1008,       // CNetDefragVersionInfo
    RESPONSE_SERVICE_INFO = 1009,       // CNetDefragVersionInfo
    RESPONSE_FILE_CLUSTERS = 1010,      // CNetDefragPartitionClusterExplorerResponse
    RESPONSE_DRIVE_NAMES = 1012,        // CNetDefragPartitionNameList
    RESPONSE_SETTINGS = 1013,           // CNetDefragSettingsLight2
    RESPONSE_WIZARD_SETTINGS = 1014,    // CNetDefragSettingsLight2

    // Requests with an object.
    CMD_STOP = 1501,                    // CNetDefragPartitionObject, and so on unless noted
    CMD_ANALYZE = 1502,
    CMD_DEFRAG_COMPLETE = 1503,
    CMD_MONITOR = 1504,
    CMD_CLUSTERMAP_SUBSCRIBE = 1505,
    CMD_CLUSTERMAP_UNSUBSCRIBE = 1506,
    CMD_CLUSTEREXPLORER_ASK = 1507,     // CNetDefragPartitionClusterExplorerAsk
    CMD_GET_PARTITION_INFO = 1508,
    CMD_GET_FRAG_FILES = 1509,
    CMD_SET_PASSWORD = 1511,            // CNetDefragPassword
    CMD_PASSWORD = 1512,                // CNetDefragPassword
    CMD_SHOW_FILE = 1513,               // CNetDefragString
    CMD_SET_SETTINGS = 1516,            // CNetDefragSettingsLight2
    CMD_DEFRAG_QUICK = 1517,
    CMD_DEFRAG_ADVANCED = 1518,
    CMD_SET_WIZARD_SETTINGS = 1519,     // CNetDefragSettingsLight2
    CMD_CHECK_DISK = 1550,
};

// How a defragmentation run treats the files: the quick method only works
// through the pending files, the complete one follows with a pass over all.
enum DEFRAG_METHOD : int32_t
{
    DEFRAG_METHOD_QUICK = 0,
    DEFRAG_METHOD_COMPLETE = 1,
};

// The empty object that a message with this command carries, ready to load
// or fill; null for the bare codes and for codes not in the table.
std::unique_ptr<CNetDefragObject> CreateNetDefragObject(int32_t nCommand);
