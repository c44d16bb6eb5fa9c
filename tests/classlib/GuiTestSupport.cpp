#include "GuiTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

bool PumpPending()
{
    MSG stMsg;
    while (::PeekMessageW(&stMsg, NULL, 0, 0, PM_REMOVE))
    {
        if (stMsg.message == WM_QUIT)
            return false;
        ::TranslateMessage(&stMsg);
        ::DispatchMessageW(&stMsg);
    }
    return true;
}

bool PumpUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs)
{
    DWORD dwStart = ::GetTickCount();
    while (!condition())
    {
        if (::GetTickCount() - dwStart > dwTimeoutMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpPending();
    }
    return true;
}

HBITMAP CreateSection(int nWidth, int nHeight, void** ppBits)
{
    BITMAPINFO stInfo = {};
    stInfo.bmiHeader.biSize = sizeof(stInfo.bmiHeader);
    stInfo.bmiHeader.biWidth = nWidth;
    stInfo.bmiHeader.biHeight = -nHeight;
    stInfo.bmiHeader.biPlanes = 1;
    stInfo.bmiHeader.biBitCount = 32;
    return ::CreateDIBSection(NULL, &stInfo, DIB_RGB_COLORS, ppBits, nullptr, 0);
}

COLORREF PixelOf(const void* pBits, int nWidth, int x, int y)
{
    DWORD dwPixel = static_cast<const DWORD*>(pBits)[y * nWidth + x];
    return RGB((dwPixel >> 16) & 0xFF, (dwPixel >> 8) & 0xFF, dwPixel & 0xFF);
}

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

// A PNG with stored (uncompressed) deflate blocks: no compressor needed.
std::vector<BYTE> EncodePng(const std::vector<BYTE>& rgb, int nWidth, int nHeight)
{
    std::vector<BYTE> raw;
    for (int y = 0; y < nHeight; ++y)
    {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + y * nWidth * 3, rgb.begin() + (y + 1) * nWidth * 3);
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
} // namespace

bool SaveWindowPicture(HWND hWnd, const wchar_t* pszName)
{
    const wchar_t* pszDir = _wgetenv(L"VF_SCREENSHOT_DIR");
    RECT rc;
    if (pszDir == nullptr || !::GetWindowRect(hWnd, &rc) || rc.right <= rc.left || rc.bottom <= rc.top)
        return false;
    int nWidth = rc.right - rc.left, nHeight = rc.bottom - rc.top;

    void* pBits = nullptr;
    HDC hScreen = ::GetDC(NULL);
    HDC hMemory = ::CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = CreateSection(nWidth, nHeight, &pBits);
    bool bCopied = false;
    if (hMemory != NULL && hBitmap != NULL)
    {
        HGDIOBJ hOld = ::SelectObject(hMemory, hBitmap);
        bCopied = ::BitBlt(hMemory, 0, 0, nWidth, nHeight, hScreen, rc.left, rc.top, SRCCOPY) != FALSE;
        ::SelectObject(hMemory, hOld);
    }
    std::vector<BYTE> rgb;
    if (bCopied)
    {
        ::GdiFlush();
        for (int y = 0; y < nHeight; ++y)
        {
            for (int x = 0; x < nWidth; ++x)
            {
                COLORREF cr = PixelOf(pBits, nWidth, x, y);
                rgb.insert(rgb.end(), {GetRValue(cr), GetGValue(cr), GetBValue(cr)});
            }
        }
    }
    if (hBitmap != NULL)
        ::DeleteObject(hBitmap);
    if (hMemory != NULL)
        ::DeleteDC(hMemory);
    ::ReleaseDC(NULL, hScreen);
    if (!bCopied)
        return false;

    std::wstring strDir(pszDir);
    ::CreateDirectoryW(strDir.c_str(), nullptr);
    std::wstring strPath = strDir + L"\\" + pszName + L".png";
    std::vector<BYTE> png = EncodePng(rgb, nWidth, nHeight);
    FILE* pFile = _wfopen(strPath.c_str(), L"wb");
    if (pFile == nullptr)
        return false;
    bool bWritten = fwrite(png.data(), 1, png.size(), pFile) == png.size();
    return fclose(pFile) == 0 && bWritten;
}
