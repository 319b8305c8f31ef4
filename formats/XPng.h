#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "Transparency.h"
#include "XImg.h"

// Filter set bits of TPngWriter::Filters.
inline constexpr uint8_t pngFilterNone = 1;
inline constexpr uint8_t pngFilterSub = 2;
inline constexpr uint8_t pngFilterUp = 4;
inline constexpr uint8_t pngFilterAverage = 8;
inline constexpr uint8_t pngFilterPaeth = 16;
inline constexpr uint8_t pngAllFilters = 31;

// Compression code of deflated image data.
inline constexpr uint8_t cmpDeflate = 12;

// Palette orders of TPngWriter::PaletteOrder.
inline constexpr uint8_t pngKeepOrder = 0;
inline constexpr uint8_t pngMostUsedFirst = 3;

namespace PngMsg {
inline constexpr const char* ZeroLengthChunk = "Zero length PNG chunk detected!";
inline constexpr const char* CriticalChunk = "Unexpected but critical %s chunk detected.";
inline constexpr const char* CrcError = "CRC error found in %s file.";
} // namespace PngMsg

struct TPngChunkHeader {
  uint32_t Length = 0;
  uint32_t Type = 0; // big-endian type bytes, bit 5 of each cleared
  uint8_t Name[4] = {};
};

class TPngReader : public TImgReader {
public:
  TPngReader();
  ~TPngReader() override;

  TTransparencyInfo Transparency;
  // Color of a tRNS gray or RGB key (0x00BBGGRR); empty when there is none.
  std::optional<TColor> KeyColor;

  const TTransparencyInfo* TransparencyRecord() const override { return &Transparency; }

  // Image data (filter bytes included) up to this many bytes is inflated in
  // one call, all of it held at once; larger images stream through zlib row
  // by row. Tests set 0 to read through the stream.
  int64_t WholeInflateLimit = int64_t(512) << 20;

protected:
  void ReadHeader() override;
  void ReadPalette() override;
  void ReadImage() override;

private:
  struct TInflate;

  TPngChunkHeader ReadChunkHeader();
  // Reads the current chunk's data and CRC into FChunk and checks the CRC.
  void ReadChunkData(const TPngChunkHeader& H);
  void SkipChunk(const TPngChunkHeader& H);
  void ReadIhdr();
  void SetupColors();
  void ReadBkgd(const TPngChunkHeader& H);
  void ReadTrns(const TPngChunkHeader& H);
  void ReadText();
  // The embedded color profile; a damaged one is only noted.
  void ReadIccp(const TPngChunkHeader& H);
  void FinishPalette();
  size_t GatherData(uint8_t* Out, size_t Room);
  bool InflateAll(TInflate& Z);
  uint8_t* NextRow(TInflate& Z, size_t Bytes);
  void FillRow(TInflate& Z, std::span<uint8_t> Row);
  void NextInput(TInflate& Z);
  void DecodeRows(TInflate& Z);
  void DecodeInterlaced(TInflate& Z);
  void FillBackground();
  uint32_t ScaleSample(uint32_t V) const;

  uint32_t FWidth = 0, FHeight = 0;
  uint8_t FBitDepth = 0, FColorType = 0, FCompressionMethod = 0, FFilterMethod = 0, FInterlaceMethod = 0;
  std::vector<uint8_t> FChunk;
  std::unique_ptr<std::array<uint8_t, 256>> FAlphaTable;
  int32_t FAlphaEntries = 0;
  int32_t FBkgdIndex = -1;
  bool FGamma = false;
  int32_t FPixelBytes = 1;
  int32_t FPixelBits = 1;
  int64_t FRowLength = 0; // bytes of one full row without the filter byte
  int64_t FDataBytes = 0; // sum of all IDAT lengths
};

class TPngWriter : public TImgWriter {
public:
  TPngWriter();

  // Bit 0 (None) is always part of the set.
  uint8_t Filters = pngAllFilters;
  int32_t CompressionLevel = 6;
  bool OptimizePalette = false;
  uint8_t PaletteOrder = pngKeepOrder;
  TTransparencyInfo Transparency;
  // Filtered image data up to this many bytes is deflated in one call
  // (libdeflate), all of it held at once; larger images, and level 0, stream
  // through zlib.
  int64_t WholeDeflateLimit = int64_t(512) << 20;

protected:
  void WriteHeader() override;
  void WriteImage() override;

private:
  using TRowSink = std::function<void(std::span<const uint8_t>)>;

  void WriteChunk(const char* Type, std::span<const uint8_t> Data);
  void WriteTexts();
  void WritePalette();
  void BuildPngRow(int32_t Y, std::span<uint8_t> Out);
  void WriteRows(const TRowSink& Put);
  void PutRow(const TRowSink& Put, std::span<uint8_t> Raw, std::span<uint8_t> Previous);
  void DeflateAll(size_t Bytes);
  void DeflateStreamed();

  uint8_t FBitDepth = 8, FColorType = 0;
  int32_t FSamples = 1;
  int32_t FPixelBytes = 1;
  int64_t FRowLength = 0;
  std::array<uint8_t, 256> FIndexMap{};
  bool FMapIndexes = false;
  std::array<std::vector<uint8_t>, 5> FCandidates;
};
