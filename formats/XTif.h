#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "XImg.h"

// One directory entry as stored; the value bytes stay in file order.
struct TTifEntry {
  uint16_t Tag = 0, Type = 0;
  uint32_t Count = 0;
  uint8_t Value[4] = {};
};

// One strip or tile of one plane: where its data are and where its pixels go.
struct TTifSegment {
  int64_t Offset = 0, Bytes = 0;
  // The pixels shown: tiles at the right and bottom edges are cut.
  int32_t X = 0, Y = 0, Width = 0, Rows = 0;
  // The pixels stored.
  int32_t DataWidth = 0, DataRows = 0;
  int32_t Plane = 0, Index = 0;
};

// Tagged Image File Format: the first directory of a file in either byte
// order, strips or tiles, chunky or planar samples; bilevel, gray, palette,
// RGB, CMYK, YCbCr, CIE L*a*b* and LogL/LogLuv; uncompressed, PackBits,
// ThunderScan, LZW, fax, JPEG, deflate and LogLuv data.
class TTifReader : public TImgReader {
public:
  TTifReader();

  std::string FormatVariant() const override;

  // 0 bilevel, 1 gray, 2 palette, 3 RGB, 4 CMYK, 5 YCbCr, 6 L*a*b*, 7 LogLuv.
  uint8_t ColorMode = 0;
  bool BigEndian = false;
  int32_t BitsPerSample = 1, SamplesPerPixel = 1;
  int32_t Photometric = -1;
  uint32_t CompressionTag = 1;
  uint32_t FaxOptions = 0;
  int32_t Predictor = 1, FillOrder = 1, PlanarConfig = 1;
  int32_t PixelBytes = 0;
  // Stored values are complemented before conversion.
  bool Invert = false;
  bool Tiled = false;
  int32_t TileWidth = 0, TileLength = 0, TilesAcross = 0, TilesDown = 0;
  int32_t SubH = 1, SubV = 1;
  bool Upsample = false;
  double StoNits = 1.0;
  // The file's STONITS sets the LogLuv exposure.
  bool UseStoNits = false;
  // Every decoded LogL/LogLuv row before it is converted.
  std::function<void(std::span<const uint8_t>)> OnLuvRow;

protected:
  void ReadHeader() override;
  void ReadPalette() override;
  void ReadImage() override;

private:
  // Directory (XTifDir.cpp).
  void LoadDirectory(int64_t Offset);
  const TTifEntry* Find(uint16_t Tag) const;
  // The entry's values as unsigned numbers, at most Max of them; empty when
  // absent. Fails when the values lie outside the file.
  std::vector<uint32_t> Values(uint16_t Tag, uint32_t Max);
  uint32_t Value(uint16_t Tag, uint32_t Default);
  std::vector<uint8_t> RawValue(const TTifEntry& E, uint64_t MaxBytes);
  double Rational(uint16_t Tag, double Default);
  double DoubleValue(uint16_t Tag, double Default);
  std::string Text(uint16_t Tag);
  // The embedded color profile; one that lies outside the file is only noted.
  void ReadProfile();

  // Header (XTif.cpp).
  void ReadBasics();
  void ReadPhotometric();
  void MapCompression();
  void ReadLayout();
  void SetSegments(const std::vector<uint32_t>& Offsets, const std::vector<uint32_t>& Counts, int64_t PerPlane);
  void ReadStrips();
  void ReadTiles(uint16_t OffsetsTag, uint16_t CountsTag);
  void UseInterchangeStream();
  void ReadDescription();
  void SetUpColors();
  void SetUpGray();
  void CheckConversion();
  void CheckClaims();
  int64_t ExpansionBound(int64_t Bytes) const;

  // Image (XTifStrips.cpp).
  void DecodeSegments();
  std::vector<uint8_t> SegmentData(const TTifSegment& S);
  void DecodeSegment(const TTifSegment& S, std::span<uint8_t> Out, int32_t RowBytes, int32_t Rows);
  void DecodeFax(std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t RowBytes, int32_t Width);
  void DecodeLzw(std::span<const uint8_t> In, std::span<uint8_t> Out);
  void DecodeThunder(std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t RowBytes, int32_t Width);
  void DecodeDeflate(std::span<const uint8_t> In, std::span<uint8_t> Out);
  void DecodeLuvRle(std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t RowBytes, int32_t Width);
  void DecodeJpeg(const TTifSegment& S, std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t RowBytes,
                  int32_t Rows);
  void DecodeJpegStream(std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t RowBytes, int32_t Rows);
  std::vector<uint8_t> OldJpegStream(std::span<const uint8_t> Strip, int32_t Width, int32_t Rows);
  void DeliverRows(const TTifSegment& S, std::span<uint8_t> Data, int32_t RowBytes, int32_t Rows);
  void DeliverPlanes(const TTifSegment& S, const std::vector<std::vector<uint8_t>>& Planes, int32_t RowBytes);
  void DeliverRow(uint8_t* Row, int32_t Y, int32_t X, int32_t Width);
  void DeliverUnitRow(const uint8_t* Units, const TTifSegment& S, int32_t Y);
  void AppendJpegTables(std::vector<uint8_t>& J, uint16_t Tag, int32_t Count, bool Huffman);
  void ConvertInto(const uint8_t* Row, size_t Size, int32_t Y, int32_t X, int32_t Width);
  int32_t SegmentRowBytes(int32_t Width, bool OnePlane) const;
  int32_t SegmentRows(int32_t Rows) const;

  int64_t FDirOffset = 0;
  std::vector<TTifEntry> FEntries;
  std::vector<TTifSegment> FSegments;
  std::vector<uint32_t> FColorMap;
  int64_t FPerPlane = 0;
  std::vector<uint8_t> FJpegTables;
  bool FJpegGray = false;
  int32_t FPlanes = 1;
  // One assembled or upsampled row.
  std::vector<uint8_t> FRow, FUnitRow;
};

// Writes one directory of strips in either byte order: bilevel, gray and
// palette images at their own depth (a 1-bit color image as a 4-bit palette
// one), every other image as 8-bit RGB; uncompressed, LZW with or without
// horizontal prediction, or deflate. Classic TIFF offsets are 32 bits, so an
// image that cannot fit is refused with TifTooLarge.
class TTifWriter : public TImgWriter {
public:
  TTifWriter();

  bool BigEndian = false;
  // Target bytes per strip; the rows per strip follow from it.
  int32_t StripSize = 32768;
  // The largest file the writer makes; tests lower it.
  uint64_t MaxFileSize = 0xFFFFFFFFu;
  // Set by WriteHeader.
  bool UsePredictor = false;
  int32_t RowsPerStrip = 0, StripCount = 0;
  // One directory entry being written.
  struct TDirEntry;

protected:
  void WriteHeader() override;
  void WriteImage() override;

private:
  void ChooseLayout();
  std::vector<TDirEntry> DirectoryEntries() const;
  void FillOutsideValues(std::vector<TDirEntry>& Entries) const;
  void WriteDirectory(const std::vector<TDirEntry>& Entries, const std::vector<size_t>& Order);
  void PutEntry(uint8_t* P, const TDirEntry& E) const;
  // The row as stored, before compression.
  std::span<const uint8_t> ProduceRow(int32_t Y);
  void WriteStrips();
  void FinishStripTable();
  void CheckOffset(uint64_t Position);

  bool FExpandTo4 = false;
  int32_t FBits = 8, FSamples = 1, FPhotometric = 1;
  // Where the directory's StripOffsets and StripByteCounts values lie, or
  // their arrays with two strips or more.
  uint32_t FOffsetsPos = 0, FCountsPos = 0;
  std::vector<uint32_t> FStripOffsets;
  std::vector<uint8_t> FRowBuffer, FPredicted;
  std::vector<TColor> FColors;
};
