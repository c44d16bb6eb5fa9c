// The cluster kinds of the map as the user sees them: colour, the registry
// value that keeps it, and the legend's label. The colour array of the pane is
// indexed by kind, with one spare colour after the eleven kinds.
#pragma once

#include "gui/ClusterMapCells.h"

#include <cstdint>

struct MAP_KIND_INFO
{
    const wchar_t* pszRegistryValue;
    uint32_t crDefault; // 0x00BBGGRR
    uint32_t nLabelId;  // 0: never in the legend
};

// The eleven kinds, then the spare colour that is kept but never drawn.
const uint32_t kMapColorCount = kKindCount + 1;
extern const MAP_KIND_INFO kMapKinds[kMapColorCount];
// The legend lists the kinds in this order.
extern const uint32_t kLegendOrder[kKindCount];

// The colour index for a block's dominant kind.
inline uint32_t ColorIndexOfKind(uint32_t nKind)
{
    return nKind == kKindNone ? kKindUsed : nKind;
}

// The note under a drive's grid that some fragmentation remains: when the
// drive reported none after a run and fragmented blocks still make up 3 per
// cent or more of the blocks drawn.
bool ShowsFragmentationNote(bool bDriveReportedNone, uint32_t nBlocksDrawn, uint32_t nFragmentedBlocks);
