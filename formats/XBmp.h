#pragma once
#include <cstdint>
#include <string>

#include "XImg.h"

// Windows and OS/2 device-independent bitmaps, also run-length encoded (.RLE)
// and as bump maps (.BUM).
class TBmpReader : public TImgReader {
public:
  TBmpReader();

  bool Os2Header = false;
  // 32-bit pixels, reduced to 24 bits.
  bool Is32Bit = false;

  std::string FormatVariant() const override { return Os2Header ? "OS/2 Bitmap" : ""; }

protected:
  void ReadHeader() override;
  void ReadPalette() override;
  void ReadImage() override;

private:
  // One color of a bit-field pixel: its top 8 (or fewer) bits, shifted down
  // and masked, index Scale for the 8-bit value.
  struct TChannel {
    int32_t Shift = 0;
    uint32_t Mask = 0;
    uint8_t Scale[256] = {};
  };

  uint32_t ReadInfo();
  void DescribePixels();
  void ReadCompression(uint32_t Stored);
  void ReadBitFields();
  int64_t PaletteEntries() const;
  void PlaceData(bool MasksAfterHeader);
  void CheckClaims();

  void ReadRows();
  template <class TConvert>
  void ReadWideRows(int32_t PixelBytes, TConvert Convert);
  void DecodeRle();

  uint32_t FHeaderSize = 0;
  int32_t FBitCount = 0;
  uint32_t FColorsUsed = 0;
  // Masks other than 5-5-5 and 8-8-8: pixels go through FChannels (red,
  // green, blue) into 24 bits.
  bool FBitFields = false;
  TChannel FChannels[3];
};

class TBmpWriter : public TImgWriter {
public:
  TBmpWriter();

  // Write the 12-byte header and 3-byte palette entries.
  bool Os2Format = false;

protected:
  void WriteHeader() override;
  void WriteImage() override;
};
