#include "PngEncoder.h"

#include <algorithm>

namespace
{
DWORD Crc32(const BYTE* p, size_t n, DWORD dwCrc = 0)
{
    dwCrc = ~dwCrc;
    for (size_t i = 0; i < n; ++i)
    {
        dwCrc ^= p[i];
        for (int k = 0; k < 8; ++k)
            dwCrc = (dwCrc >> 1) ^ (0xEDB88320u & (0u - (dwCrc & 1)));
    }
    return ~dwCrc;
}

void PutBig32(std::vector<BYTE>& out, DWORD dw)
{
    for (int nShift = 24; nShift >= 0; nShift -= 8)
        out.push_back(static_cast<BYTE>(dw >> nShift));
}

void PutChunk(std::vector<BYTE>& out, const char* pszType, const std::vector<BYTE>& data)
{
    PutBig32(out, static_cast<DWORD>(data.size()));
    std::vector<BYTE> body(pszType, pszType + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    PutBig32(out, Crc32(body.data(), body.size()));
}
} // namespace

std::vector<BYTE> EncodePng(const std::vector<BYTE>& rgb, int nWidth, int nHeight)
{
    std::vector<BYTE> raw;
    size_t nRowBytes = static_cast<size_t>(nWidth) * 3;
    for (int y = 0; y < nHeight; ++y)
    {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + y * nRowBytes, rgb.begin() + (y + 1) * nRowBytes);
    }
    std::vector<BYTE> zlib = {0x78, 0x01};
    for (size_t nPos = 0; nPos < raw.size() || nPos == 0;)
    {
        size_t nBlock = std::min<size_t>(65535, raw.size() - nPos);
        bool bLast = nPos + nBlock == raw.size();
        zlib.push_back(bLast ? 1 : 0);
        zlib.push_back(static_cast<BYTE>(nBlock));
        zlib.push_back(static_cast<BYTE>(nBlock >> 8));
        zlib.push_back(static_cast<BYTE>(~nBlock));
        zlib.push_back(static_cast<BYTE>(~nBlock >> 8));
        zlib.insert(zlib.end(), raw.begin() + nPos, raw.begin() + nPos + nBlock);
        nPos += nBlock;
        if (bLast)
            break;
    }
    DWORD a = 1, b = 0;
    for (BYTE c : raw)
    {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(zlib, (b << 16) | a);

    std::vector<BYTE> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<BYTE> header;
    PutBig32(header, nWidth);
    PutBig32(header, nHeight);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}
