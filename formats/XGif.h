#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Transparency.h"
#include "XImg.h"

class TGifCanvas;
class TGifDecoder;

// Graphics Interchange Format, 87a and 89a: the first frame of a file, that
// is its first image together with the ones shown at the same time.
class TGifReader : public TImgReader {
public:
  TGifReader();
  ~TGifReader() override;

  // The three version characters of the header ("87a", "89a", ...).
  const std::string& Version() const { return FVersion; }
  std::string FormatVariant() const override { return "GIF " + FVersion; }
  const TTransparencyInfo* TransparencyRecord() const override { return &Transparency; }

  // Filled while reading, from the first image; the caller keeps a copy with
  // the image.
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
  // One image descriptor with the graphic control block before it.
  struct TImageBlock {
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    bool Interlaced = false;
    int32_t LocalCount = 0;
    int32_t Transparent = -1;
    uint8_t Disposal = 0;
    uint16_t Delay = 0;
    uint8_t CodeSize = 0;
  };

  bool ReadImageBlock(TImageBlock& Block, std::vector<uint8_t>& Local);
  bool ReadImageHeader();
  bool ScanFrame();
  bool SameTable(const TImageBlock& Block) const;
  int64_t ScreenArea(const TImageBlock& Block) const;
  std::array<TColor, 256> ImageColors(const TImageBlock& Block) const;
  bool NextIntroducer(uint8_t& Introducer);
  bool SkipSubBlocks();
  bool ReadByte(uint8_t& Value) { return ReadSome(&Value, 1) == 1; }
  void CollectData(size_t FirstChunk);
  void DecodeImage(const TImageBlock& Block, TGifCanvas& Canvas, bool Progress);
  static bool ValidCodeSize(uint8_t Size) { return Size >= 2 && Size <= 11; }
  int64_t PixelCap() const;

  std::string FVersion;
  std::vector<uint8_t> FGlobalTable, FLocalTable;
  // The table of the first image: the local one when it has one.
  const std::vector<uint8_t>* FCurrentTable = &FGlobalTable;
  int32_t FCurrentCount = 0;
  uint8_t FCodeSize = 0;
  int32_t FPass = 0;
  int32_t FRow = 0;
  TImageBlock FFirst;
  // Images of the first frame, and whether all their tables are gray.
  int32_t FFrameImages = 1;
  bool FFrameGray = true;
  // Local table of a later image of the frame.
  std::vector<uint8_t> FScratchTable;
  // What each index of the first image's table shows.
  std::array<TColor, 256> FColors{};
  std::unique_ptr<TGifDecoder> FDecoder;
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
