#pragma once
#include <cstdint>
#include <vector>

#include "XImg.h"

// Hand-made bitmap files for the cases no writer produces (run-length data,
// top-down rows, hostile headers).
struct TBmpLayout {
  int32_t Width = 4, Height = 2;
  uint16_t BitCount = 8;
  uint32_t Compression = 0;
  uint32_t ColorsUsed = 0;
  int32_t PelsPerMetre = 2835;
  int32_t PaletteEntries = -1; // -1: the full palette for the bit count
  std::vector<uint8_t> Data;
};

inline std::vector<uint8_t> MakeBmp(const TBmpLayout& S) {
  const int32_t Full = S.BitCount <= 8 ? 1 << S.BitCount : 0;
  const int32_t Entries = S.PaletteEntries >= 0 ? S.PaletteEntries : Full;
  const uint32_t Offset = 14 + 40 + 4 * uint32_t(Entries);
  std::vector<uint8_t> F(Offset, 0);
  F[0] = 'B';
  F[1] = 'M';
  PutLE32(&F[2], Offset + uint32_t(S.Data.size()));
  PutLE32(&F[10], Offset);
  PutLE32(&F[14], 40);
  PutLE32(&F[18], uint32_t(S.Width));
  PutLE32(&F[22], uint32_t(S.Height));
  PutLE16(&F[26], 1);
  PutLE16(&F[28], S.BitCount);
  PutLE32(&F[30], S.Compression);
  PutLE32(&F[34], uint32_t(S.Data.size()));
  PutLE32(&F[38], uint32_t(S.PelsPerMetre));
  PutLE32(&F[42], uint32_t(S.PelsPerMetre));
  PutLE32(&F[46], S.ColorsUsed);
  // Entry i is (i, 2i, 3i) so that indexes are easy to read back.
  for (int32_t I = 0; I < Entries; ++I) {
    F[54 + 4 * I + 2] = uint8_t(I);
    F[54 + 4 * I + 1] = uint8_t(2 * I);
    F[54 + 4 * I + 0] = uint8_t(3 * I);
  }
  F.insert(F.end(), S.Data.begin(), S.Data.end());
  return F;
}
