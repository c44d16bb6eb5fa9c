// Encodes pictures as PNG files for review, without a compression library.
#pragma once

#include <windows.h>

#include <vector>

// A PNG of 8-bit RGB pixels, rows top down, three bytes a pixel; stored (uncompressed)
// deflate blocks keep the encoder small, and screenshots are few.
std::vector<BYTE> EncodePng(const std::vector<BYTE>& rgb, int nWidth, int nHeight);
