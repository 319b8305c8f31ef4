#pragma once
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "TgaPmgExternal.h"

// Strips of a TIFF file as stored, and the same image decoded by libtiff, so
// that a strip decoder can be judged without the reader.
namespace TifStrips {

struct TStrips {
  int32_t Width = 0, Height = 0, RowsPerStrip = 0, RowBytes = 0;
  std::vector<std::vector<uint8_t>> Strips;
};

// The first directory's strips, by Pillow's tag parser. Empty when Pillow
// or the file is missing.
inline TStrips StripsOf(const std::filesystem::path& Name) {
  TgaPmgExternal::TTempFile Out(".strips");
  const std::string Cmd = "/usr/bin/python3 -c 'import sys, struct\nfrom PIL import Image\n"
                          "im = Image.open(sys.argv[1]); t = im.tag_v2; f = open(sys.argv[1], \"rb\").read()\n"
                          "bits = t.get(258, (1,))[0]; spp = t.get(277, 1); w, h = im.size\n"
                          "o = open(sys.argv[2], \"wb\")\n"
                          "o.write(struct.pack(\"<4i\", w, h, t.get(278, h), (w * bits * spp + 7) // 8))\n"
                          "for s, n in zip(t[273], t[279]): o.write(struct.pack(\"<i\", n) + f[s:s + n])' '" +
                          Name.string() + "' '" + Out.Path().string() + "' 2>/dev/null";
  TStrips S;
  if (std::system(Cmd.c_str()) != 0)
    return S;
  std::ifstream In(Out.Path(), std::ios::binary);
  const std::vector<uint8_t> B{std::istreambuf_iterator<char>(In), {}};
  if (B.size() < 16)
    return S;
  const auto Int = [&](size_t At) { return int32_t(GetLE32(B.data() + At)); };
  S.Width = Int(0), S.Height = Int(4), S.RowsPerStrip = Int(8), S.RowBytes = Int(12);
  for (size_t P = 16; P + 4 <= B.size();) {
    const size_t N = size_t(Int(P));
    P += 4;
    S.Strips.emplace_back(B.begin() + ptrdiff_t(P), B.begin() + ptrdiff_t(std::min(P + N, B.size())));
    P += N;
  }
  return S;
}

// libtiff's decoding of the first directory's data: the rows, unconverted,
// one after the other, up to the first it could not decode. Empty without
// tiffcp.
inline std::vector<uint8_t> LibtiffRows(const std::filesystem::path& Name) {
  TgaPmgExternal::TTempFile Plain(".tif");
  const std::string Cmd =
      "tiffcp -c none -r 1000000 '" + Name.string() + ",0' '" + Plain.Path().string() + "' >/dev/null 2>&1";
  // A failing strip ends tiffcp with an error, after the rows before it.
  (void)std::system(Cmd.c_str());
  std::vector<uint8_t> Rows;
  for (const auto& Strip : StripsOf(Plain.Path()).Strips)
    Rows.insert(Rows.end(), Strip.begin(), Strip.end());
  return Rows;
}

} // namespace TifStrips
