#include "gui/MapKinds.h"

#include "gui/Resource.h"

const MAP_KIND_INFO kMapKinds[kMapColorCount] = {
    {L"COLOR_FREE", 0xFFFFFF, IDS_KIND_FREE},
    {L"COLOR_MFT_RESERVED", 0xC0C0C0, IDS_KIND_MFT_RESERVED},
    {L"COLOR_USED", 0x408000, IDS_KIND_UNKNOWN},
    {L"COLOR_PAGE_FILE", 0x408080, IDS_KIND_PAGEFILE},
    {L"COLOR_FILE", 0xC08000, IDS_KIND_USED},
    {L"COLOR_DIR", 0x804000, IDS_KIND_DIRECTORY},
    {L"COLOR_SYSTEM", 0xC08030, IDS_KIND_SYSTEM},
    {L"COLOR_MFT", 0xC08080, IDS_KIND_MFT},
    {L"COLOR_FRAGMENTED", 0x0000FF, IDS_KIND_FRAGMENTED},
    {L"COLOR_WRITING", 0x0080FF, IDS_KIND_WRITING},
    {L"COLOR_READING", 0x00FFFF, IDS_KIND_READING},
    {L"COLOR_UNDEF", 0xFF00FF, 0},
};

const uint32_t kLegendOrder[kKindCount] = {
    kKindFree, kKindMftReserved, kKindUsed,       kKindPageFile, kKindFile,    kKindDirectory,
    kKindSystem, kKindMft,       kKindFragmented, kKindReading,  kKindWriting,
};

bool ShowsFragmentationNote(bool bDriveReportedNone, uint32_t nBlocksDrawn, uint32_t nFragmentedBlocks)
{
    return bDriveReportedNone && nBlocksDrawn > 0 &&
           static_cast<uint64_t>(nFragmentedBlocks) * 100 / nBlocksDrawn >= 3;
}
