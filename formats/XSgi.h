#pragma once
#include <cstdint>
#include <vector>

#include "XImg.h"

// Silicon Graphics images: 1 to 4 channels (gray, gray and alpha, RGB, RGBA)
// of 8 or 16 bits, stored as planes or run-length encoded rows, bottom row
// first. 16-bit samples are reduced to 8 bits.
class TSgiReader : public TImgReader {
public:
  TSgiReader();

  int32_t Channels = 0;
  // 1 or 2.
  int32_t SampleBytes = 1;

protected:
  void ReadHeader() override;
  void ReadPalette() override {}
  void ReadImage() override;

private:
  void DescribeChannels();
  void CheckClaims();
  void ReadTables();
  void ReadPlainRow(int32_t Row, uint8_t* Dest);
  void ReadRleRow(int32_t Row, uint8_t* Dest);
  int32_t DecodeRow(const uint8_t* Data, size_t Size, uint8_t* Dest);
  uint8_t* ChannelStart(uint8_t* Row, int32_t Channel) const;

  // Channel rows land straight in the pixel buffer when its layout is the
  // file's: 8-bit gray and 8-bit RGB.
  bool FDirect = false;
  // Interleaved row of all channels, blue first, in the file's sample size.
  std::vector<uint8_t> FRow;
  std::vector<uint8_t> FPacked;
  std::vector<uint32_t> FOffsets, FLengths;
};

// Gray images as one channel, all others as three, 8 bits each, always
// stored as planes.
class TSgiWriter : public TImgWriter {
public:
  TSgiWriter();

protected:
  void WriteHeader() override;
  void WriteImage() override;

private:
  int32_t FChannels = 3;
};
