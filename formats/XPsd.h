#pragma once
#include <cstdint>
#include <vector>

#include "XImg.h"

// Layered image files ("8BPS", version 1): only the merged image is read.
// Bitmap, gray, duotone, indexed, RGB, CMYK, multichannel and Lab files of 1,
// 8, 16 or 32 (float) bits per channel, raw or PackBits rows, channels
// stored one after the other. Layers, masks and resources are skipped.
class TPSDReader : public TImgReader {
public:
  TPSDReader();

  // As the header gives them.
  int32_t Channels = 0, Depth = 0, ColorMode = 0;
  // The leading channels that make up the picture (color and first alpha).
  int32_t UsedChannels = 0;

protected:
  void ReadHeader() override;
  void ReadPalette() override;
  void ReadImage() override;

private:
  void DescribeColors();
  void SetSource(TColorFormat Color, TColorFormat WithAlpha, int32_t ColorChannels, TColorFormat Target);
  void SkipSections(int64_t& Pos);
  void CheckRaw();
  void ReadCounts();
  void ReadChannelRow(int32_t Channel, int32_t Row, uint8_t* Dest);
  void InterleaveRow(uint8_t* Dest) const;

  int32_t FColorChannels = 0;
  int64_t FChannelRowBytes = 0;
  // 1 for 8-bit and Lab samples, 2 for 16-bit and float ones (high byte first).
  int32_t FSampleBytes = 1;
  bool FInvert = false;
  // One channel of 1 or 8 bits: rows land in the pixel buffer as they are.
  bool FDirect = false;
  // 8-bit RGB without alpha: channels land in the buffer's blue-first slots.
  bool FDirectBgr = false;
  int64_t FPaletteStride = 0;
  // Where each used channel row's run-length bytes start, and how many.
  std::vector<int64_t> FRowStart;
  std::vector<uint16_t> FRowCount;
  std::vector<uint8_t> FPacked, FPlanes, FRow;
};

// One merged image, raw: 1-bit black and white as a bitmap, gray as 8-bit
// gray, other indexed images with their palette, everything else as 8-bit
// RGB (with an opaque fourth channel for 32-bit buffers).
class TPSDWriter : public TImgWriter {
public:
  TPSDWriter();

protected:
  void WriteHeader() override;
  void WriteImage() override;

private:
  void WriteIndexRows();
  void WriteColorPlanes();

  int32_t FChannels = 1;
  uint16_t FMode = 0;
  // Written byte of each pixel value for indexed and gray buffers.
  uint8_t FValueMap[256] = {};
};
