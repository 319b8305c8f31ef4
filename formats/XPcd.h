#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "XImg.h"

// One Huffman table of luminance or chrominance corrections, looked up by
// the next 16 bits of the stream: the code length in the high byte (0 where
// no code matches) and the correction in the low byte.
struct TPcdHuffman {
  std::vector<uint16_t> Lookup;
  bool Empty() const { return Lookup.empty(); }
};

// Photo CD image packs and overview packs at one of five resolutions, 192 x
// 128 up to 3072 x 2048. The three smallest are stored as plain planes; the
// two largest add Huffman-coded luminance (and chrominance) corrections to
// the upsampled planes below them. Portrait images are turned upright.
class TPcdReader : public TImgReader {
public:
  TPcdReader();

  bool IsOverview = false;
  // 0 to 4, set before Open; lowered by Open to what the file holds.
  uint8_t PcdResolution = 2;
  // The number of resolutions the header names; 0 when it names none.
  int32_t Resolutions = 0;
  // 0 landscape, 1 a quarter turn counter-clockwise, 2 a half turn,
  // 3 a quarter turn clockwise: the turn that stands the image upright.
  uint8_t PcdRotation = 0;

protected:
  void ReadHeader() override;
  void ReadPalette() override {}
  void ReadImage() override;

private:
  void ClampResolution(const uint8_t* Header);
  bool HoldsFourBaseTable();
  void ReadPlainPlanes();
  void ReadCorrections();
  std::span<const uint8_t> SectionAt(int64_t Offset) const;
  int64_t Correct(int64_t Offset, int32_t Tables, int32_t LumaWidth, int32_t LumaHeight);
  void ConvertRows();

  // Landscape size of the planes.
  int32_t FWidth = 0, FHeight = 0;
  std::vector<uint8_t> FLuma, FChroma1, FChroma2;
  // The file from the first correction sector on.
  std::vector<uint8_t> FTail;
  TPcdHuffman FTables[3];
};
