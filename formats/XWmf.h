#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "XImg.h"
#include "XMetaDC.h"

inline constexpr uint8_t cmpVector = 13;

namespace ImgMsg {
inline constexpr const char* InvalidMetafile = "Metafile is not valid";
} // namespace ImgMsg

// What the header of a metafile says about the picture.
struct TMetaHeader {
  bool Enhanced = false;
  bool Placeable = false;
  // Offset of the first record.
  size_t RecordsOffset = 0;
  int32_t UnitsPerInch = 0;
  // Placeable: the bounding box in logical units. Enhanced: the bounds in
  // reference device pixels, inclusive.
  TMetaRect Box;
  // Enhanced: the frame in 0.01 mm and the reference device.
  TMetaRect Frame;
  int32_t DevicePixelsX = 0, DevicePixelsY = 0, DeviceMmX = 0, DeviceMmY = 0;
  uint32_t Objects = 0;
};

// False for anything that is not a metafile of either kind.
bool ParseMetaHeader(std::span<const uint8_t> File, TMetaHeader& H);

// Windows metafiles, placeable or plain, and enhanced metafiles, played by
// our own record players onto a white 24-bit picture of their natural size.
class TWmfReader : public TImgReader {
public:
  TWmfReader();

  bool IsEnhanced() const { return FHeader.Enhanced; }
  std::string FormatVariant() const override { return IsEnhanced() ? "Enhanced Metafile" : "Windows Metafile"; }

  // The largest picture drawn; a larger one is drawn smaller, with a warning.
  int64_t MaxPixels = 100'000'000;
  // Records the player skipped as unknown or broken in the last Read.
  int32_t SkippedRecords = 0;

protected:
  void ReadHeader() override;
  void ReadPalette() override {}
  void ReadImage() override;

private:
  void LoadFile();
  void NaturalSize(double& W, double& H);
  void BoundSize(double W, double H);
  void PlaceDevice(TMetaDC& DC) const;
  void FitDrawing(TMetaDC& DC) const;

  TMetaHeader FHeader;
  std::vector<uint8_t> FData;
  // Picture pixels per natural pixel, below 1 when the size was bounded.
  double FScale = 1;
  // A plain metafile's window, found in its records.
  TMetaRect FWindow;
  bool FHasWindow = false;
};
