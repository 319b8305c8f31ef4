#pragma once
#include <cstdint>
#include <vector>

#include "XImg.h"

// The fields of a raster file header, as stored (big-endian on disk).
struct TRasHeader {
  uint32_t Magic = 0, Width = 0, Height = 0, Depth = 0, Length = 0, Type = 0, MapType = 0, MapLength = 0;
};
inline constexpr int32_t RasHeaderSize = 32;
TRasHeader ParseRasHeader(const uint8_t* P);
void StoreRasHeader(const TRasHeader& H, uint8_t* P);

// Sun raster: 1-, 4-, 8-, 24- and 32-bit images, with or without a color
// map, plain or byte-encoded, in blue-first or (type 3) red-first order.
class TRasReader : public TImgReader {
public:
  TRasReader();

  // Depth in bits as the file gives it.
  int32_t Depth = 0;
  // Pixels red first: the RGB type.
  bool RedFirst = false;

protected:
  void ReadHeader() override;
  void ReadPalette() override;
  void ReadImage() override;

private:
  void DescribePixels(uint32_t MapLength);
  int64_t StoredRowBytes(const TRasHeader& H) const;
  void CheckClaims(int64_t StoredRow);
  uint8_t* RowTarget(int32_t Y);
  void FinishRow(int32_t Y);
  void ReadPlain();
  void DecodeRle();

  // Bytes of a row's pixels, without padding.
  int32_t FPixelBytes = 0;
  int64_t FMapLength = 0;
  // A 1-bit file without a map stores black as 1.
  bool FInvert = false;
  // Rows longer than the buffer's go through FRow.
  bool FDirect = true;
  std::vector<uint8_t> FRow;
};

class TRasWriter : public TImgWriter {
public:
  TRasWriter();

protected:
  void WriteHeader() override;
  void WriteImage() override;

private:
  void BuildRow(int32_t Y, uint8_t* Out) const;

  int32_t FPixelBytes = 0;
  // Black and white 1-bit images go without a map, black as 1; readers
  // differ on 1-bit maps, so other 1-bit images go as 8-bit ones.
  bool FBilevel = false;
  bool FInvert = false;
  std::vector<uint8_t> FRow;
};
