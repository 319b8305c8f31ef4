#pragma once
#include <cstdint>
#include <vector>

#include "XImg.h"

// PCX: run-length rows of one to four 1-bit planes, of 2- or 4-bit packed
// pixels, of 8-bit palette indexes or of three 8-bit color planes. The first
// page of a DCX file reads as the PCX file it holds.
class TPcxReader : public TImgReader {
public:
  TPcxReader();

  // As the header gives them.
  int32_t BitsPerPixel = 0, Planes = 0, BytesPerLine = 0, Version = 0;

protected:
  void ReadHeader() override;
  void ReadPalette() override;
  void ReadImage() override;

private:
  void FindPage();
  void CheckSizes(const uint8_t* H);
  void DescribePixels(const uint8_t* H);
  void CheckClaims();
  void HeaderPalette();
  void CgaPalette();
  bool DecodeRow(const uint8_t*& P, const uint8_t* End);
  void StoreRow(int32_t Y);

  // Where the PCX data lies in the file: all of it, or a DCX page.
  int64_t FBase = 0, FEnd = 0;
  uint8_t FHeader[128] = {};
  // Planes one after the other, BytesPerLine bytes each.
  std::vector<uint8_t> FRow;
};

// 1-bit images as one plane, 4-bit ones as four planes, 8-bit ones with the
// palette at the end, everything else as red, green and blue planes.
class TPcxWriter : public TImgWriter {
public:
  TPcxWriter();

protected:
  void WriteHeader() override;
  void WriteImage() override;

private:
  void BuildRow(int32_t Y);
  void EncodeRow();

  int32_t FPlanes = 1, FBytesPerLine = 0;
  // Readers take 1-bit files as black on white: bit 1 is the brighter color.
  bool FInvert = false;
  std::vector<uint8_t> FRow, FPacked;
  std::vector<TColor> FColors;
};
