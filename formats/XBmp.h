#pragma once
#include <cstdint>

#include "XImg.h"

// Windows and OS/2 device-independent bitmaps, also run-length encoded (.RLE)
// and as bump maps (.BUM).
class TBmpReader : public TImgReader {
public:
  TBmpReader();

  bool Os2Header = false;
  // 32-bit pixels, reduced to 24 bits.
  bool Is32Bit = false;

protected:
  void ReadHeader() override;
  void ReadPalette() override;
  void ReadImage() override;

private:
  void ReadRows();
  void ReadRows32();
  void DecodeRle();

  uint32_t FColorsUsed = 0;
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
