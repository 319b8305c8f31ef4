#pragma once
#include <atomic>
#include <cstdint>
#include <span>

#include "DibImage.h"

// Color format codes, shared with the info window's texts.
enum TColorFormat : uint8_t {
  cfNone = 0,
  cfPalette = 1,
  cfGray = 2,
  cfGrayAlpha = 3,
  cfRGB = 4,
  cfRGBA = 5,
  cfBGR = 6,
  cfBGRA = 7,
  cf15bit = 8,
  cf16bit = 9,
  cfCMY = 10,
  cfCMYK = 11,
  cfCMYKA = 12,
  cfCIELab = 13,
  cfCIELabA = 14,
  cfYCbCr = 15,
  cfPhotoYCC = 16,
  cfYCCK = 17,
  cfLogLuv = 18,
  cfLogL = 19,
};

// SourceFlags bits.
inline constexpr uint8_t sfHasAlpha = 1;
inline constexpr uint8_t sfSwap16 = 8;       // 16-bit samples stored high byte first
inline constexpr uint8_t sfLabL255 = 16;     // L* stored as 0..255
inline constexpr uint8_t sfLabUnsigned = 32; // a*, b* stored with an offset of 128
// Flags bits.
inline constexpr uint8_t cmfHasAlpha = 1;
inline constexpr uint8_t cmfComposite = 2;   // composite alpha onto BackR/G/B
inline constexpr uint8_t cmfLevels = 4;      // apply LevelTable
inline constexpr uint8_t cmfKeepValues = 64; // unpacked low-bit values keep their value

// Program-wide LogLuv brightness factor: the last exposure set, which a new
// color manager starts from and the brightness window shows. The routines
// read their manager's own Exposure, so that readers in other threads
// neither race on it nor change each other's rows.
extern std::atomic<double> LuvExposure;

// Turns decoded sample rows of any color model into TDib rows. Every reader
// owns one; it is told the source layout once and picks one row routine.
class TColorManager {
public:
  TColorManager();

  void SetSource(TColorFormat Format, int32_t Samples, int32_t Bits);
  void SetTarget(TColorFormat Format, int32_t Bits);
  void SetSourceFlags(uint8_t AFlags);
  void SetFlags(uint8_t AFlags);
  void SetBackground(int32_t R, int32_t G, int32_t B);
  void SetGamma(double Display, double File);
  void SetLevels(int32_t Low, int32_t High);
  void SetWeights(float R, float G, float B);
  void SetExposure(double E);
  // The TDib pixel format for the source (Target false) or target samples and
  // bits; pfInvalid for layouts no pixel format holds.
  uint8_t PixelFormatFor(bool Target) const;

  // Converts Count pixels starting at pixel SourceIndex of Source into Dest
  // starting at pixel DestIndex. Fails with EColorConversionError when no
  // routine serves the layout or the pixels would not fit either row.
  // 16-bit samples are stored low byte first unless sfSwap16; LogLuv pixels
  // (4 or 3 samples of 8 bits) most significant byte first. A fourth target
  // byte is written 0: the pixel buffer keeps no alpha.
  void ConvertRow(std::span<const uint8_t> Source, std::span<uint8_t> Dest, int32_t DestIndex, int32_t SourceIndex,
                  int32_t Count);

  int32_t SourceBits = 8, TargetBits = 8;
  int32_t SourceSamples = 3, TargetSamples = 3;
  double FileGamma = 1.0, DisplayGamma = 2.0;
  uint8_t LevelTable[256] = {};
  float WeightR = 0.299f, WeightG = 0.587f, WeightB = 0.114f;
  TColorFormat SourceFormat = cfNone, TargetFormat = cfNone;
  uint8_t SourceFlags = 0;
  uint8_t Flags = 0;
  int32_t BackR = 0, BackG = 0, BackB = 0;
  bool SwapRB = false;
  double Exposure = 1.0;
  bool ExposureOn = true;

private:
  friend struct TColorRoutines;
  using TRowRoutine = void (*)(TColorManager& CM, const uint8_t* Source, uint8_t* Dest, int32_t DestIndex,
                               int32_t SourceIndex, int32_t Count);
  void Prepare();
  void BuildYCbCrTables();
  void BuildPhotoYccTables();
  void BuildUnpackTable();

  TRowRoutine FConvertRow;
  // The layout the chosen routine works with, fixed by Prepare so that
  // ConvertRow checks the rows against exactly what the routine touches.
  int64_t FSourcePixelBits = 0, FDestPixelBits = 0;
  int32_t FSourceBits = 0;
  int32_t FSourceStep = 0; // samples per source pixel
  int32_t FDestStep = 0;   // bytes per destination pixel
  int32_t FUnpackBits = 0; // target bits of bit unpacking
  bool FSourceRedFirst = true;
  bool FComposite = false;
  uint8_t FUnpackTable[256] = {};
  // 1, 2 and 4 bits to 8: the pixels of each source byte, first in the low byte.
  uint64_t FUnpackBytes[256] = {};
  int32_t CrRTable[256] = {}, CbBTable[256] = {}, CbGTable[256] = {}, CrGTable[256] = {};
  // PhotoYCC terms in 1/65536: luminance, then chroma 1 to blue and green,
  // chroma 2 to red and green; green follows the luminance weights.
  int32_t FYccL[256] = {}, FYccC1B[256] = {}, FYccC1G[256] = {}, FYccC2R[256] = {}, FYccC2G[256] = {};
};
