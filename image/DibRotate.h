#pragma once
#include <cstddef>
#include <cstdint>

// Writes the transpose of a Rows x Cols block of pixels of Bits bits each
// (1, 4, 8, 16, 24 or 32): the pixel in column J of source row I goes to
// column I of destination row J. Row steps are signed, so that a quarter turn
// is one transpose with the source rows read bottom up (clockwise) or the
// destination rows written bottom up (counter-clockwise). The bits after the
// last sub-byte pixel of a destination row are left as they are.
// Without SSSE3, three-byte pixels are read as four-byte words everywhere
// but in the last column, so the byte after every other pixel must be
// readable.
void TransposePixels(const uint8_t* Src, ptrdiff_t SrcStep, uint8_t* Dst, ptrdiff_t DstStep, int32_t Rows, int32_t Cols,
                     int32_t Bits);
