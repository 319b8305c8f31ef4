#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CorpusFiles.h"
#include "CorpusReference.h"
#include "DibImage.h"
#include "TgaPmgExternal.h"

// What libtiff's own renderer (tiff2rgba) makes of a file. Its output is an
// uncompressed 8-bit RGBA TIFF in strips, which is parsed here directly so
// that our reader never judges itself.
namespace TiffTool {

inline bool HaveTiff2Rgba() { return TgaPmgExternal::HaveCommand("tiff2rgba"); }

namespace Detail {
inline uint32_t Get(const std::vector<uint8_t>& B, size_t At, int Bytes, bool Big) {
  if (At + size_t(Bytes) > B.size())
    return 0;
  uint32_t V = 0;
  for (int I = 0; I < Bytes; ++I)
    V = Big ? V << 8 | B[At + size_t(I)] : V | uint32_t(B[At + size_t(I)]) << (8 * I);
  return V;
}
} // namespace Detail

// Empty when tiff2rgba refuses the file.
inline CorpusReference::TRgbaImage Render(const std::filesystem::path& Name) {
  TgaPmgExternal::TTempFile Out(".tif");
  const std::string Cmd = "tiff2rgba -c none '" + Name.string() + "' '" + Out.Path().string() + "' >/dev/null 2>&1";
  if (std::system(Cmd.c_str()) != 0)
    return {};
  std::ifstream In(Out.Path(), std::ios::binary);
  const std::vector<uint8_t> B((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  if (B.size() < 8)
    return {};
  const bool Big = B[0] == 'M';
  using Detail::Get;
  const size_t Dir = Get(B, 4, 4, Big);
  const uint32_t Count = Get(B, Dir, 2, Big);
  uint32_t W = 0, H = 0, Rps = 0;
  std::vector<uint32_t> Offsets;
  for (uint32_t I = 0; I < Count; ++I) {
    const size_t E = Dir + 2 + 12 * size_t(I);
    const uint32_t Tag = Get(B, E, 2, Big), Type = Get(B, E + 2, 2, Big), N = Get(B, E + 4, 4, Big);
    const int Size = Type == 3 ? 2 : 4;
    const uint32_t One = Get(B, E + 8, Size, Big);
    if (Tag == 256)
      W = One;
    else if (Tag == 257)
      H = One;
    else if (Tag == 278)
      Rps = One;
    else if (Tag == 273) {
      const size_t At = N * Size <= 4 ? E + 8 : Get(B, E + 8, 4, Big);
      for (uint32_t K = 0; K < N; ++K)
        Offsets.push_back(Get(B, At + size_t(K) * size_t(Size), Size, Big));
    }
  }
  CorpusReference::TRgbaImage Img{int32_t(W), int32_t(H), {}};
  const size_t StripBytes = size_t(W) * 4 * std::min(Rps ? Rps : H, H);
  for (size_t S = 0; S < Offsets.size() && Img.Pixels.size() < size_t(W) * H * 4; ++S) {
    const size_t Take = std::min(StripBytes, size_t(W) * H * 4 - Img.Pixels.size());
    if (Offsets[S] + Take > B.size())
      return {};
    Img.Pixels.insert(Img.Pixels.end(), B.begin() + Offsets[S], B.begin() + Offsets[S] + Take);
  }
  if (Img.Pixels.size() != size_t(W) * H * 4)
    return {};
  return Img;
}

// Largest channel difference over the fully opaque reference pixels: libtiff
// premultiplies colors by alpha, which the buffer does not; -1 when the sizes
// differ.
inline int MaxDifference(const TDib& Dib, const CorpusReference::TRgbaImage& Ref) {
  return CorpusFiles::MaxOpaqueDifference(Dib, Ref, 255);
}

} // namespace TiffTool
