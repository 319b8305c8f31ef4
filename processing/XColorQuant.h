#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "DibImage.h"

// Adaptive palettes for an image (median cut on a color histogram, or a
// self-organising network) and the lookup of the nearest palette entry.

// A palette entry as the quantizers write it: red, green, blue, 0.
struct TPalEntry {
  uint8_t R = 0, G = 0, B = 0, Flag = 0;
};
using TPalette = std::vector<TPalEntry>;

class TColorQuantizer {
public:
  // Colors: the entries wanted; Param: bits per channel (median cut, 5 or
  // 6) or the sampling factor (network).
  TColorQuantizer(int32_t AColors, int32_t AParam) : Colors(AColors), Param(AParam) {}
  virtual ~TColorQuantizer() = default;
  virtual void ProcessImage(const TDib& Buffer) = 0;
  // Writes Colors entries (Colors may have shrunk in ProcessImage).
  virtual void MakePalette(TPalette& Palette) = 0;

  int32_t Colors;
  int32_t Param;
};

class TMcaQuantizer : public TColorQuantizer {
public:
  TMcaQuantizer(int32_t AColors, int32_t ABits);
  ~TMcaQuantizer() override;
  void ProcessImage(const TDib& Buffer) override;
  void MakePalette(TPalette& Palette) override;

private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};

class TNeuQuantizer : public TColorQuantizer {
public:
  TNeuQuantizer(int32_t AColors, int32_t ASampleFac);
  ~TNeuQuantizer() override;
  void ProcessImage(const TDib& Buffer) override;
  void MakePalette(TPalette& Palette) override;

private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};

// The entry a lookup chose and its color, which error diffusion needs.
struct TLookupResult {
  uint8_t Index, R, G, B;
};

// The plain nearest entry by squared distance, first minimum winning; 0 for
// an empty palette. Not virtual: the dither engines are templates on the
// lookup kind, so no pixel goes through a virtual call.
class TSlowColorLookup {
public:
  TSlowColorLookup(const TPalette& APalette, int32_t ACount);
  TLookupResult Lookup(uint8_t R, uint8_t G, uint8_t B) const;
  int32_t Count() const { return FCount; }
  const TPalette& Palette() const { return FPalette; }

private:
  const TPalette& FPalette;
  int32_t FCount;
};

// Caches the answer of each 6-bit cell: the first color that reaches a cell
// decides it for all later ones.
class TFastColorLookup {
public:
  TFastColorLookup(const TPalette& APalette, int32_t ACount);
  TLookupResult Lookup(uint8_t R, uint8_t G, uint8_t B);
  int32_t Count() const { return Slow.Count(); }
  const TPalette& Palette() const { return Slow.Palette(); }

private:
  TSlowColorLookup Slow;
  std::vector<uint8_t> Cache;       // 2^18 cells
  std::vector<uint64_t> CacheValid; // one bit per cell
};
