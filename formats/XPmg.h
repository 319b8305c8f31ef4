#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "XImg.h"

// Compression code of the plain (decimal text) forms.
inline constexpr uint8_t cmpAscii = 14;

// Portable bitmaps, graymaps and pixmaps, plain (P1-P3) and raw (P4-P6).
// Bitmaps become 1-bit gray images, graymaps 8-bit gray ones, pixmaps 24-bit
// ones; samples of up to 16 bits are scaled to 8. Comments that begin with
// "Title", "Author" or "Copyright" carry the image texts.
class TPmgReader : public TImgReader {
public:
  TPmgReader();

  // '1' to '6'.
  char Magic = 0;
  int32_t MaxVal = 1;

  // The map kind, plain and raw alike.
  std::string FormatVariant() const override;

protected:
  void ReadHeader() override;
  void ReadPalette() override {}
  void ReadImage() override;

private:
  static constexpr size_t BufferSize = 4096;

  void Restart(int64_t Position);
  void Refill();
  // The next byte, or -1 at the end of the data.
  int Next() {
    if (FBufPos == FBufCount)
      Refill();
    return FBufPos < FBufCount ? FBuffer[FBufPos++] : -1;
  }
  uint32_t ReadNumber();
  void ReadComment();
  int ReadBit();

  void MakeScale();
  void ReadPlainRows();
  void ReadRawRows();
  void StoreSamples(const uint8_t* Source, uint8_t* Dest) const;

  uint8_t FBuffer[BufferSize];
  size_t FBufPos = 0, FBufCount = 0;
  int64_t FBufStart = 0;
  bool FInHeader = false;
  int32_t FSamples = 1;
  // Bytes per raw sample: 1, or 2 for a maxval above 255.
  int32_t FSampleBytes = 1;
  std::vector<uint8_t> FScale;
  std::vector<uint8_t> FRow;
};

class TPmgWriter : public TImgWriter {
public:
  TPmgWriter();

  // Decimal text (P1-P3) instead of raw bytes (P4-P6).
  bool Plain = false;

protected:
  void WriteHeader() override;
  void WriteImage() override;

private:
  enum TKind { Bitmap = 1, Graymap = 2, Pixmap = 3 };

  void BitmapRow(int32_t Y, std::vector<TColor>& Colors);
  void SampleRow(int32_t Y, std::vector<TColor>& Colors);
  void PutText(int32_t Value, char After);

  TKind FKind = Pixmap;
  // 1-bit rows whose value 1 is black need no inversion.
  bool FOneIsBlack = false;
  int64_t FCount = 0;
  std::vector<uint8_t> FOut;
};
