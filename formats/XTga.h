#pragma once
#include <cstdint>
#include <vector>

#include "XImg.h"

// Truevision Targa: color-mapped, gray and true-color images of 8, 15, 16, 24
// or 32 bits, uncompressed or run-length encoded, in any of the four origins.
class TTgaReader : public TImgReader {
public:
  TTgaReader();

  // Color-map entry size in bits and bytes; 0 without a map.
  int32_t EntryBits = 0, EntryBytes = 0;

protected:
  void ReadHeader() override;
  void ReadPalette() override;
  void ReadImage() override;

private:
  void DescribeMap(const uint8_t* Header);
  void DescribePixels(int32_t Kind, int32_t Bits);
  void CheckClaims();
  void ReadPlain();
  void DecodeRle();
  void StoreRow(const uint8_t* Source, int32_t Row);

  int32_t FPixelBytes = 0;
  int32_t FFirstEntry = 0, FMapLength = 0;
  bool FGrayAlpha = false;
  bool FRightToLeft = false;
  // One row as the file stores it.
  std::vector<uint8_t> FRow;
};

class TTgaWriter : public TImgWriter {
public:
  TTgaWriter();

  // Run-length packets instead of plain rows.
  bool RunLength = false;

protected:
  void WriteHeader() override;
  void WriteImage() override;

private:
  void BuildRow(int32_t Y, uint8_t* Out) const;
  void WriteRleRow(const uint8_t* Row);

  int32_t FPixelBytes = 0;
  // Bytes of 1- and 4-bit images and gray levels of gray ones, by pixel value.
  uint8_t FValueMap[256] = {};
  bool FMapValues = false;
  std::vector<uint8_t> FRow, FPacked;
};
