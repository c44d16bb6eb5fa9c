#include "engine/DefragPartition.h"

bool CDefragPartition::DefragmentFiles(int32_t /*nProgressStart*/, int32_t /*nProgressShare*/)
{
    return false;
}
