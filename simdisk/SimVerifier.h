// Proves that a simulated volume is whole: every stream's clusters carry its own data in VCN
// order and belong to it alone, the bitmap is exactly the union of the allocations, the free
// count agrees, and on NTFS every record decodes back to the runs and the MFT bitmap agrees.
#pragma once

#include "simdisk/SimVolume.h"

#include <functional>
#include <string>
#include <vector>

class CSimVerifier
{
public:
    explicit CSimVerifier(const CSimVolume& volume) : m_volume(volume) {}

    // Told the stage (1 to 3) and its percentage as the check goes; false stops the check.
    std::function<bool(int nStage, int nPercent)> m_fnProgress;

    // True when nothing is wrong; a stopped check is not a proof and gives false.
    bool Run();
    // The part of the check that no volume can fail, however its data was moved: attributes
    // that agree with the streams, streams and sizes a file system can hold, FAT directories
    // whose entry order lists their entries, and freed clusters that no stream owns. An image
    // loader refuses what fails it; false with the first problem.
    static bool IsPossible(const CSimVolume& volume, std::wstring* pstrProblem);
    const std::vector<std::wstring>& Problems() const { return m_problems; }
    bool Stopped() const { return m_bStopped; }

private:
    void Problem(const wchar_t* pszFormat, ...);
    bool Report(int nStage, size_t nDone, size_t nTotal);
    bool CheckStreams(CSimBitmap& owned);
    void CheckPlace(const CSimFile& file, std::vector<bool>& listed);
    // What no file system holds, whatever became of the clusters: the part of the check that
    // an image loader applies too.
    void CheckFile(const CSimFile& file);
    void CheckOrder(const CSimFile& file);
    void CheckKind(const CSimFile& file, const CSimStream& stream);
    void CheckStream(const CSimFile& file, const CSimStream& stream, CSimBitmap& owned);
    // Every allocated cluster holds its stream's VCN; linear in the streams and the content.
    void CheckContent();
    void CheckAttributes(const CSimFile& file);
    void CheckSizes(const CSimFile& file, const CSimStream& stream);
    // Against the clusters the streams own, or without them against what the clusters hold.
    void CheckPendingFrees(const CSimBitmap* pOwned);
    bool CheckRecords();
    void CheckRecordsOf(const CSimFile& file, std::vector<BYTE>& buffer);
    void CheckMftBitmap();
    void CheckExtensionOwners();
    bool CheckBitmap(CSimBitmap& owned);

    const CSimVolume& m_volume;
    std::vector<std::wstring> m_problems;
    int m_nLastPercent = -1;
    bool m_bStopped = false;
};
