#pragma once
#include <climits>
#include <cmath>
#include <cstdint>

#include "ByteOrder.h"

// How pixels lie in memory: the pixel formats of the buffer, their bit
// counts, row lengths, sub-byte pixel access and resolution units. Codecs,
// the pixel buffer and the undo history share these so that they never
// disagree on a layout.

enum TPixelFormat : uint8_t {
  pf1bit = 1,
  pf4bit = 2,
  pf8bit = 3,
  pf15bit = 4,
  pf16bit = 5, // stored exactly as pf15bit (5-5-5)
  pf24bit = 6, // bytes blue, green, red
  // The color value 0x00BBGGRR stored unchanged as a little-endian dword:
  // bytes red, green, blue and a fourth byte (alpha where a reader keeps it).
  pf32bit = 7,
};
inline constexpr uint8_t pfInvalid = 8;

constexpr bool IsPixelFormat(int32_t Pf) { return Pf >= pf1bit && Pf <= pf32bit; }

// Bits one pixel takes in the buffer; pf15bit is stored in 16 bits like
// pf16bit. 0 for a value that is no pixel format.
constexpr int32_t BitCountOf(int32_t Pf) {
  switch (Pf) {
  case pf1bit: return 1;
  case pf4bit: return 4;
  case pf8bit: return 8;
  case pf15bit:
  case pf16bit: return 16;
  case pf24bit: return 24;
  case pf32bit: return 32;
  }
  return 0;
}

// Bit count a bitmap header names for the format: 15 for pf15bit, whose
// pixels still take 16 bits.
constexpr int32_t HeaderBitCountOf(int32_t Pf) { return Pf == pf15bit ? 15 : BitCountOf(Pf); }
// Bits a pixel takes for a bit count read from a bitmap header.
constexpr int32_t StoredBitsOf(int32_t HeaderBits) { return HeaderBits == 15 ? 16 : HeaderBits; }

// Palette entries of the indexed formats, 0 for the others.
constexpr int32_t PaletteSizeOf(int32_t Pf) { return Pf == pf1bit ? 2 : Pf == pf4bit ? 16 : Pf == pf8bit ? 256 : 0; }

// Bytes of a bitmap row: Width pixels of Bits each, padded to four bytes.
constexpr int64_t DibRowBytes(int64_t Width, int32_t Bits) { return (Width * Bits + 31) / 32 * 4; }
// Bytes of a packed row without padding.
constexpr int64_t PackedRowBytes(int64_t Width, int64_t Bits) { return (Width * Bits + 7) / 8; }

// Sub-byte pixels, leftmost pixel in the most significant bits.
constexpr uint32_t Get1(const uint8_t* Row, int32_t X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }
constexpr void Set1(uint8_t* Row, int32_t X, uint32_t V) {
  const uint8_t Mask = uint8_t(0x80 >> (X & 7));
  if (V == 1)
    Row[X >> 3] |= Mask;
  else
    Row[X >> 3] &= uint8_t(~Mask);
}
constexpr uint32_t Get4(const uint8_t* Row, int32_t X) { return (X & 1) ? Row[X >> 1] & 0x0F : Row[X >> 1] >> 4; }
constexpr void Set4(uint8_t* Row, int32_t X, uint32_t V) {
  uint8_t& B = Row[X >> 1];
  B = (X & 1) ? uint8_t((B & 0xF0) | (V & 0x0F)) : uint8_t((B & 0x0F) | ((V & 0x0F) << 4));
}

// Copies Bits bits of a packed row starting at bit From into Out from its
// first bit, a byte at a time; RowBytes bounds what is read of Row. Bits past
// the copied ones in Out's last byte are cleared, as a new row has them.
constexpr void CopyRowBits(const uint8_t* Row, int64_t RowBytes, int64_t From, int64_t Bits, uint8_t* Out) {
  const int64_t B = From >> 3, N = (Bits + 7) >> 3;
  const int Shift = int(From & 7);
  const uint8_t* S = Row + B;
  if (Shift == 0) {
    for (int64_t I = 0; I < N; ++I)
      Out[I] = S[I];
  } else {
    // Every byte but perhaps the last has its successor in the row; the
    // loop without a bounds test vectorises.
    const int64_t Inner = N < RowBytes - B ? N : RowBytes - B - 1;
    for (int64_t I = 0; I < Inner; ++I)
      Out[I] = uint8_t(S[I] << Shift | S[I + 1] >> (8 - Shift));
    for (int64_t I = Inner; I < N; ++I)
      Out[I] = uint8_t(S[I] << Shift);
  }
  if (Bits & 7)
    Out[N - 1] &= uint8_t(0xFF00 >> (Bits & 7));
}

// Swaps the first and third byte of Width pixels Step bytes apart: red-first
// samples into the buffer's blue-first order and back. Width is a parameter,
// not a member read through the row, so that the loop keeps it in a register.
constexpr void SwapRedBlue(uint8_t* Row, int32_t Width, int32_t Step) {
  for (int32_t X = 0; X < Width; ++X, Row += Step) {
    const uint8_t T = Row[0];
    Row[0] = Row[2];
    Row[2] = T;
  }
}

// Width three-byte pixels from S to D with their first and third byte
// swapped, a word load and store per pixel. Each load takes the next pixel
// before the store that runs over its first byte, so D may be S.
inline void CopySwapRedBlue3(const uint8_t* S, uint8_t* D, int32_t Width) {
  int32_t X = 0;
  if (Width >= 3) {
    uint32_t W = GetLE32(S);
    for (; X + 2 < Width; ++X) {
      const uint32_t Next = GetLE32(S + 3 * X + 3);
      PutLE32(D + 3 * X, __builtin_bswap32(W) >> 8);
      W = Next;
    }
    D[3 * X] = uint8_t(W >> 16);
    D[3 * X + 1] = uint8_t(W >> 8);
    D[3 * X + 2] = uint8_t(W);
    ++X;
  }
  for (; X < Width; ++X) {
    const uint8_t First = S[3 * X];
    D[3 * X] = S[3 * X + 2];
    D[3 * X + 1] = S[3 * X + 1];
    D[3 * X + 2] = First;
  }
}

// Width pf32bit pixels (red first) out as blue, green, red and Fourth, the
// order of files that store 32-bit pixels blue first.
constexpr void CopyBlueFirst32(const uint8_t* S, uint8_t* D, int32_t Width, uint8_t Fourth) {
  for (int32_t X = 0; X < Width; ++X, S += 4, D += 4) {
    D[0] = S[2];
    D[1] = S[1];
    D[2] = S[0];
    D[3] = Fourth;
  }
}

inline constexpr double PelsPerMetrePerDpi = 39.37007874016;
// Largest resolution whose pixels per metre still fit a signed 32-bit field.
inline constexpr int32_t MaxDpiForPels = INT32_MAX / 40;

// Resolution units of the bitmap and PNG headers, rounded to nearest.
inline int32_t DpiToPelsPerMetre(int32_t Dpi) { return int32_t(std::lround(Dpi * PelsPerMetrePerDpi)); }
inline int32_t PelsPerMetreToDpi(uint32_t Pels) { return int32_t(std::lround(Pels / PelsPerMetrePerDpi)); }
