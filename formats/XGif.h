#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Transparency.h"
#include "XImg.h"

// Graphics Interchange Format, 87a and 89a: the first image of a file.
class TGifReader : public TImgReader {
public:
  TGifReader();

  // The three version characters of the header ("87a", "89a", ...).
  const std::string& Version() const { return FVersion; }

  // Filled while reading; the caller keeps a copy with the image.
  TTransparencyInfo Transparency;

  // Rectangle of the first image inside the logical screen.
  int32_t FrameLeft = 0, FrameTop = 0, FrameWidth = 0, FrameHeight = 0;
  uint8_t BackgroundIndex = 0;
  uint8_t AspectRatio = 0;
  int32_t GlobalCount = 0;
  int32_t LocalCount = 0;
  int64_t GlobalTableOffset = 0;

protected:
  void ReadHeader() override;
  void ReadPalette() override;
  void ReadImage() override;

private:
  bool ReadImageHeader();
  bool NextIntroducer(uint8_t& Introducer);
  bool SkipSubBlocks();
  bool ReadByte(uint8_t& Value) { return ReadSome(&Value, 1) == 1; }
  void CollectData();
  void StoreRow(const uint8_t* Line, int32_t Count);

  std::string FVersion;
  std::vector<uint8_t> FGlobalTable, FLocalTable;
  // The table of the first image: the local one when it has one.
  const std::vector<uint8_t>* FCurrentTable = &FGlobalTable;
  int32_t FCurrentCount = 0;
  uint8_t FCodeSize = 0;
  int32_t FPass = 0;
  int32_t FRow = 0;
};

// Single-image GIF89a files from 1-, 4- and 8-bit buffers. Compression
// nonzero writes LZW data, zero the uncompressed expand mode; Interlaced
// stores the rows in the four-pass order.
class TGifWriter : public TImgWriter {
public:
  TGifWriter();

  // The image's transparency as a reader left it.
  TTransparencyInfo Transparency;

protected:
  void WriteHeader() override;
  void WriteImage() override;

private:
  uint8_t FCodeSize = 2;
  int32_t FTableSize = 2;
};
