#pragma once
#include <cstdint>
#include <vector>

#include "XImg.h"

// IFF pictures: interleaved bit planes (ILBM: 1 to 8 planes, hold-and-modify,
// extra half-brite, 24 planes and 32 with alpha), contiguous planes (ACBM)
// and chunky 8-bit rows (PBM), plain or ByteRun1-compressed.
class TLbmReader : public TImgReader {
public:
  TLbmReader();

  int32_t Planes = 0, Masking = 0;
  // The CAMG chunk's display mode flags; 0 without one.
  uint32_t ViewModes = 0;
  bool Chunky = false, Contiguous = false, Ham = false, HalfBrite = false;

protected:
  void ReadHeader() override;
  void ReadPalette() override;
  void ReadImage() override;

private:
  void WalkChunks(int64_t FormEnd);
  void ReadBitmapHeader(int64_t Position, int64_t Size);
  void DescribePixels();
  void CheckClaims();
  void ReadBody();
  bool UnpackRow(const uint8_t*& P, const uint8_t* End);
  void StoreRow(int32_t Y);
  void GatherPlanes(int32_t First, int32_t Count);
  void HamRow(uint8_t* D) const;

  bool FHaveHeader = false;
  int32_t FCompression = 0;
  int64_t FPlaneRow = 0;
  // One stored row: every plane row (and a mask row), or chunky pixels.
  std::vector<uint8_t> FRow;
  // Pixel values of one row assembled from the planes, 8 per word.
  std::vector<uint64_t> FValues;
  // The file's colors, also for images without a palette (hold-and-modify).
  std::vector<TColor> FColors;
};

// Uncompressed ILBM: 1, 4 or 8 planes with the palette, 24 planes otherwise.
class TLbmWriter : public TImgWriter {
public:
  TLbmWriter();

protected:
  void WriteHeader() override;
  void WriteImage() override;

private:
  void BuildRow(int32_t Y);

  int32_t FPlanes = 0;
  int64_t FPlaneRow = 0;
  std::vector<uint8_t> FRow, FBytes;
  std::vector<TColor> FColors;
};
