// CNetDefragPartitionList: the drive list reply, one entry per listed volume.
#pragma once

#include "protocol/NetDefragObjectTable.h"
#include "protocol/NetDefragPartitionListEntry.h"

class CNetDefragPartitionList : public CNetDefragObjectTable<CNetDefragPartitionListEntry>
{
};
