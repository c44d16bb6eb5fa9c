// CBitmapBlockCache: a small direct-mapped cache of blocks of the allocation bitmap, so that
// the free-run index reads the bits of a block again only when it has been pushed out.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/BitmapSource.h"

class CBitmapBlockCache
{
public:
    static constexpr int64_t BlockClusters = 4096;
    static constexpr int64_t BlockBytes = BlockClusters / 8;
    static constexpr int64_t MaxLines = 2048;   // 1 MiB of bits

    explicit CBitmapBlockCache(CBitmapSource& source);

    // The bits of a block, read when they are not held; null when the read fails.
    const BYTE* Block(int64_t llBlock);
    // The held bits of a block, or null.
    BYTE* Held(int64_t llBlock);
    // The bits of a block read afresh; null when the read fails.
    BYTE* Reload(int64_t llBlock);
    // Takes a block's bits from a read that has them already.
    void Store(int64_t llBlock, const BYTE* pBits, int64_t llFirstBit);
    void Clear();
    int64_t BlockLength(int64_t llBlock) const;
    size_t MemoryBytes() const { return m_lines.size() * (BlockBytes + sizeof(int64_t)); }

private:
    BYTE* Line(int64_t llBlock) { return m_pBits.get() + (llBlock % m_llLines) * BlockBytes; }

    CBitmapSource& m_source;
    int64_t m_llLines;
    std::vector<int64_t> m_lines;      // the block each line holds, -1 for none
    std::unique_ptr<BYTE[]> m_pBits;
};
