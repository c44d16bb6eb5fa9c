#include "protocol/NetDefragCommand.h"

#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragPartitionClusterExplorerAsk.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionNameList.h"
#include "protocol/NetDefragPartitionObject.h"
#include "protocol/NetDefragPassword.h"
#include "protocol/NetDefragSettingsLight.h"
#include "protocol/NetDefragString.h"
#include "protocol/NetDefragVersionInfo.h"

std::unique_ptr<CNetDefragObject> CreateNetDefragObject(int32_t nCommand)
{
    switch (nCommand)
    {
    case RESPONSE_PARTITION_LIST:
        return std::make_unique<CNetDefragPartitionList>();
    case RESPONSE_PARTITION_ENTRY:
        return std::make_unique<CNetDefragPartitionListEntry>();
    case RESPONSE_CLUSTERMAP:
        return std::make_unique<CNetDefragPartitionClustermap>();
    case RESPONSE_CLUSTERMAP_MODLIST:
        return std::make_unique<CNetDefragClustermapModList>();
    case RESPONSE_CLUSTEREXPLORER:
    case RESPONSE_FILE_CLUSTERS:
        return std::make_unique<CNetDefragPartitionClusterExplorerResponse>();
    case RESPONSE_PARTITION_INFO:
        return std::make_unique<CNetDefragPartitionInfo>();
    case RESPONSE_FRAG_FILES:
        return std::make_unique<CNetDefragPartitionFragFiles>();
    case RESPONSE_VERSION_INFO:
    case RESPONSE_SERVICE_INFO:
        return std::make_unique<CNetDefragVersionInfo>();
    case RESPONSE_DRIVE_NAMES:
        return std::make_unique<CNetDefragPartitionNameList>();
    case RESPONSE_SETTINGS:
    case RESPONSE_WIZARD_SETTINGS:
    case CMD_SET_SETTINGS:
    case CMD_SET_WIZARD_SETTINGS:
        return std::make_unique<CNetDefragSettingsLight2>();
    case CMD_STOP:
    case CMD_ANALYZE:
    case CMD_DEFRAG_COMPLETE:
    case CMD_MONITOR:
    case CMD_CLUSTERMAP_SUBSCRIBE:
    case CMD_CLUSTERMAP_UNSUBSCRIBE:
    case CMD_GET_PARTITION_INFO:
    case CMD_GET_FRAG_FILES:
    case CMD_DEFRAG_QUICK:
    case CMD_DEFRAG_ADVANCED:
    case CMD_CHECK_DISK:
        return std::make_unique<CNetDefragPartitionObject>();
    case CMD_CLUSTEREXPLORER_ASK:
        return std::make_unique<CNetDefragPartitionClusterExplorerAsk>();
    case CMD_SET_PASSWORD:
    case CMD_PASSWORD:
        return std::make_unique<CNetDefragPassword>();
    case CMD_SHOW_FILE:
        return std::make_unique<CNetDefragString>();
    default:
        return nullptr;
    }
}
