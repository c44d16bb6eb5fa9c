#include "engine/DefragPartition.h"

// Stands in until the analysis joins: a run that needs one fails its analysis step.
bool CDefragPartition::Analyze()
{
    return false;
}

int64_t CDefragPartition::AnalysisTimeUnits() const
{
    return 0;
}
