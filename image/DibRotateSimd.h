#pragma once
// Transposes built for instruction sets beyond the target's baseline, which
// TransposePixels takes when the processor has them.
#include <cstddef>
#include <cstdint>

// The baseline kernel of three-byte pixels, which every processor runs.
void TransposeTiled24Plain(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols);

#if defined(__x86_64__) || defined(__i386__)
#define PELORIN_ROTATE24_SSSE3 1
void TransposeTiled24Ssse3(const uint8_t* S, ptrdiff_t SS, uint8_t* D, ptrdiff_t DS, int32_t Rows, int32_t Cols);
#else
#define PELORIN_ROTATE24_SSSE3 0
#endif
