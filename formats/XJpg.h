#pragma once
#include <cstdint>
#include <vector>

#include "XImg.h"
#include "XJpgLib.h"

class TIccCmykRows;

// JPEG files through the JPEG library: gray files into 8-bit gray buffers,
// YCbCr and RGB files straight into 24-bit rows, CMYK and YCCK files through
// their embedded profile when asked and the color manager otherwise.
class TJpgReader : public TImgReader {
public:
  TJpgReader();

  // The file has more than one scan.
  bool Progressive = false;

protected:
  void ReadHeader() override;
  void ReadPalette() override {}
  void ReadImage() override;

private:
  void ReadRowsDirect(TJpegContext& C);
  void ReadRowsCmyk(TJpegContext& C, const TIccCmykRows* Profile);

  TJpegDecodeOptions FOptions;
  // The in-memory copy of a file that is not in memory already.
  std::vector<uint8_t> FData;
};

class TJpgWriter : public TImgWriter {
public:
  TJpgWriter();

  // 1 to 100.
  uint8_t Quality = 90;
  bool Progressive = false;

protected:
  void WriteHeader() override {}
  void WriteImage() override;
};
