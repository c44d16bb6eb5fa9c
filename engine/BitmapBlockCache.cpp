#include "engine/BitmapBlockCache.h"

#include <algorithm>
#include <cstring>

#include "engine/BitRange.h"

CBitmapBlockCache::CBitmapBlockCache(CBitmapSource& source)
    : m_source(source),
      m_llLines(std::max<int64_t>(
          1, std::min(MaxLines, (source.TotalClusters() + BlockClusters - 1) / BlockClusters))),
      m_lines(static_cast<size_t>(m_llLines), -1), m_pBits(new BYTE[static_cast<size_t>(m_llLines * BlockBytes)])
{
}

int64_t CBitmapBlockCache::BlockLength(int64_t llBlock) const
{
    return std::max<int64_t>(0, std::min(BlockClusters, m_source.TotalClusters() - llBlock * BlockClusters));
}

BYTE* CBitmapBlockCache::Held(int64_t llBlock)
{
    return m_lines[static_cast<size_t>(llBlock % m_llLines)] == llBlock ? Line(llBlock) : nullptr;
}

const BYTE* CBitmapBlockCache::Block(int64_t llBlock)
{
    const BYTE* pHeld = Held(llBlock);
    return pHeld != nullptr ? pHeld : Reload(llBlock);
}

BYTE* CBitmapBlockCache::Reload(int64_t llBlock)
{
    int64_t& llTag = m_lines[static_cast<size_t>(llBlock % m_llLines)];
    BYTE* pLine = Line(llBlock);
    // Bits past the volume's end read as used.
    std::memset(pLine, 0xFF, static_cast<size_t>(BlockBytes));
    if (!m_source.ReadBits(llBlock * BlockClusters, BlockLength(llBlock), pLine))
    {
        llTag = -1;
        return nullptr;
    }
    llTag = llBlock;
    return pLine;
}

void CBitmapBlockCache::Store(int64_t llBlock, const BYTE* pBits, int64_t llFirstBit)
{
    BYTE* pLine = Line(llBlock);
    std::memset(pLine, 0xFF, static_cast<size_t>(BlockBytes));
    CBitRange::Copy(pBits, llFirstBit, pLine, 0, BlockLength(llBlock));
    m_lines[static_cast<size_t>(llBlock % m_llLines)] = llBlock;
}

void CBitmapBlockCache::Clear()
{
    std::fill(m_lines.begin(), m_lines.end(), -1);
}
