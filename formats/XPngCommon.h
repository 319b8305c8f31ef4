#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "PixelLayout.h"

// What the PNG reader and writer share: the signature, the interlace passes,
// the Paeth predictor and the pixel copies between passes and full rows.
namespace Png {

inline constexpr uint8_t Signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// The image texts: their tEXt keywords and the most characters the reader
// keeps of each, which is what the writer may store.
struct TTextKey {
  const char* Keyword;
  size_t Limit;
};
inline constexpr TTextKey TitleKey{"Title", 250}, AuthorKey{"Author", 249}, RightsKey{"Copyright", 246};

struct TPass {
  int32_t StartRow, RowStep, StartCol, ColStep;
  // Pixels of a row of this pass in an image Width pixels wide.
  constexpr int32_t Width(int32_t ImageWidth) const { return (ImageWidth + ColStep - 1 - StartCol) / ColStep; }
};
inline constexpr TPass Adam7[7] = {{0, 8, 0, 8}, {0, 8, 4, 8}, {4, 8, 0, 4}, {0, 4, 2, 4},
                                   {2, 4, 0, 2}, {0, 2, 1, 2}, {1, 2, 0, 1}};

// Selects instead of branches: on image data the branches are taken at
// random, while selects become conditional moves, or blends where the
// writer's loops are vectorized.
inline uint8_t PaethPredictor(int32_t A, int32_t B, int32_t C) {
  const int32_t Pa = std::abs(B - C), Pb = std::abs(A - C), Pc = std::abs(A + B - 2 * C);
  const int32_t BOrC = Pb <= Pc ? B : C;
  return uint8_t(((Pa <= Pb) & (Pa <= Pc)) ? A : BOrC);
}

// Bytes of the filtered image data, filter bytes included, of an image of
// the given size and bits per pixel; interlaced images hold the seven passes
// one after the other, each with rows of its own width.
inline int64_t ImageDataBytes(int64_t Width, int64_t Height, int64_t PixelBits, bool Interlaced) {
  auto RowBytes = [PixelBits](int64_t W) { return PackedRowBytes(W, PixelBits) + 1; };
  if (!Interlaced)
    return Height * RowBytes(Width);
  int64_t Total = 0;
  for (const TPass& P : Adam7) {
    if (P.StartCol >= Width || P.StartRow >= Height)
      continue;
    const int64_t Rows = (Height - P.StartRow + P.RowStep - 1) / P.RowStep;
    Total += Rows * RowBytes(P.Width(int32_t(Width)));
  }
  return Total;
}

// Copies Count pixels of PixelBits bits each (most significant bits first
// within a byte) from every SourceStep-th source pixel to every DestStep-th
// destination pixel.
inline void CopyPixels(const uint8_t* Source, int64_t SourceIndex, int64_t SourceStep, uint8_t* Dest, int64_t DestIndex,
                       int64_t DestStep, int64_t Count, int32_t PixelBits) {
  if (PixelBits % 8 == 0) {
    const size_t Bytes = size_t(PixelBits / 8);
    const uint8_t* P = Source + size_t(SourceIndex) * Bytes;
    uint8_t* Q = Dest + size_t(DestIndex) * Bytes;
    const size_t PStep = size_t(SourceStep) * Bytes, QStep = size_t(DestStep) * Bytes;
    switch (Bytes) {
    case 1:
      for (int64_t I = 0; I < Count; ++I, P += PStep, Q += QStep)
        *Q = *P;
      break;
    case 3:
      for (int64_t I = 0; I < Count; ++I, P += PStep, Q += QStep) {
        Q[0] = P[0];
        Q[1] = P[1];
        Q[2] = P[2];
      }
      break;
    default:
      for (int64_t I = 0; I < Count; ++I, P += PStep, Q += QStep)
        std::memcpy(Q, P, Bytes);
      break;
    }
    return;
  }
  const uint32_t Mask = (1u << PixelBits) - 1;
  for (int64_t I = 0; I < Count; ++I) {
    const uint64_t SBit = uint64_t(SourceIndex + I * SourceStep) * uint64_t(PixelBits);
    const uint64_t DBit = uint64_t(DestIndex + I * DestStep) * uint64_t(PixelBits);
    const uint32_t V = (Source[SBit / 8] >> (8 - SBit % 8 - PixelBits)) & Mask;
    const uint32_t Shift = uint32_t(8 - DBit % 8 - PixelBits);
    uint8_t& Out = Dest[DBit / 8];
    Out = uint8_t((Out & ~(Mask << Shift)) | (V << Shift));
  }
}

} // namespace Png
