#include "DibRows.h"

#include <cstring>

#include "ByteOrder.h"
#include "PixelLayout.h"

namespace {

constexpr int32_t CacheBits = 12;
constexpr uint32_t CacheValid = 0x01000000;

constexpr uint32_t Pack555(uint8_t R, uint8_t G, uint8_t B) {
  return (uint32_t(R >> 3) << 10) | (uint32_t(G >> 3) << 5) | uint32_t(B >> 3);
}

bool HasGrayRamp(const TDib& Dib) {
  if (Dib.PixelFormat() != pf8bit)
    return false;
  const uint8_t* E = Dib.PaletteEntries();
  for (int32_t I = 0; I < 256; ++I, E += 4)
    if (E[0] != I || E[1] != I || E[2] != I)
      return false;
  return true;
}

} // namespace

void GetRowBgr(const TDib& Dib, int32_t Y, std::span<uint8_t> Bgr) {
  const int32_t W = Dib.Width();
  if (Dib.PixelFormat() == pf24bit) {
    std::memcpy(Bgr.data(), Dib.ScanLine(Y), size_t(W) * 3);
    return;
  }
  std::vector<TColor> Colors(static_cast<size_t>(W));
  Dib.GetRowColors(Y, Colors);
  for (int32_t X = 0; X < W; ++X)
    ColorToBGRBytes(Colors[size_t(X)], Bgr.data() + 3 * X);
}

void GetRowGray(const TDib& Dib, int32_t Y, std::span<uint8_t> Gray) {
  const int32_t W = Dib.Width();
  if (Dib.PixelFormat() == pf8bit) {
    uint8_t Map[256];
    for (int32_t I = 0; I < 256; ++I)
      Map[I] = Dib.PaletteEntries()[4 * I + 2];
    const uint8_t* Row = Dib.ScanLine(Y);
    for (int32_t X = 0; X < W; ++X)
      Gray[size_t(X)] = Map[Row[X]];
    return;
  }
  std::vector<TColor> Colors(static_cast<size_t>(W));
  Dib.GetRowColors(Y, Colors);
  for (int32_t X = 0; X < W; ++X)
    Gray[size_t(X)] = GetRValue(Colors[size_t(X)]);
}

TRowWriter::TRowWriter(TDib& ADib) : Dib(ADib) {
  Palette = Dib.PaletteSize() > 0;
  GrayRamp = HasGrayRamp(Dib);
  if (Palette) {
    CacheKeys.assign(size_t(1) << CacheBits, 0);
    CacheIndexes.assign(size_t(1) << CacheBits, 0);
    Indexes.resize(size_t(Dib.Width()));
  }
}

uint32_t TRowWriter::IndexOf(uint8_t R, uint8_t G, uint8_t B) {
  const uint32_t Key = RGBColor(R, G, B) | CacheValid;
  const size_t Slot = (Key * 2654435761u) >> (32 - CacheBits);
  if (CacheKeys[Slot] != Key) {
    CacheKeys[Slot] = Key;
    CacheIndexes[Slot] = uint8_t(Dib.NearestPaletteIndex(RGBColor(R, G, B)));
  }
  return CacheIndexes[Slot];
}

void TRowWriter::PutIndexes(int32_t Y, const uint8_t* Index) {
  uint8_t* Row = Dib.ScanLine(Y);
  const int32_t W = Dib.Width();
  switch (Dib.PixelFormat()) {
  case pf1bit:
    for (int32_t X = 0; X < W; ++X)
      Set1(Row, X, Index[X]);
    break;
  case pf4bit:
    for (int32_t X = 0; X < W; ++X)
      Set4(Row, X, Index[X]);
    break;
  default: std::memcpy(Row, Index, size_t(W)); break;
  }
}

void TRowWriter::PutBgr(int32_t Y, std::span<const uint8_t> Bgr) {
  const int32_t W = Dib.Width();
  const uint8_t* S = Bgr.data();
  uint8_t* Row = Dib.ScanLine(Y);
  switch (Dib.PixelFormat()) {
  case pf24bit: std::memcpy(Row, S, size_t(W) * 3); return;
  case pf32bit:
    for (int32_t X = 0; X < W; ++X, S += 3)
      PutLE32(Row + 4 * X, RGBColor(S[2], S[1], S[0]));
    return;
  case pf15bit:
  case pf16bit:
    for (int32_t X = 0; X < W; ++X, S += 3)
      PutLE16(Row + 2 * X, uint16_t(Pack555(S[2], S[1], S[0])));
    return;
  default: break;
  }
  for (int32_t X = 0; X < W; ++X, S += 3)
    Indexes[size_t(X)] = GrayRamp && S[0] == S[1] && S[1] == S[2] ? S[0] : uint8_t(IndexOf(S[2], S[1], S[0]));
  PutIndexes(Y, Indexes.data());
}

void TRowWriter::PutGray(int32_t Y, std::span<const uint8_t> Gray) {
  const int32_t W = Dib.Width();
  if (GrayRamp) {
    std::memcpy(Dib.ScanLine(Y), Gray.data(), size_t(W));
    return;
  }
  if (!Palette) {
    std::vector<uint8_t> Bgr(size_t(W) * 3);
    for (int32_t X = 0; X < W; ++X)
      std::memset(Bgr.data() + 3 * X, Gray[size_t(X)], 3);
    PutBgr(Y, Bgr);
    return;
  }
  for (int32_t X = 0; X < W; ++X) {
    const uint8_t V = Gray[size_t(X)];
    Indexes[size_t(X)] = uint8_t(IndexOf(V, V, V));
  }
  PutIndexes(Y, Indexes.data());
}
