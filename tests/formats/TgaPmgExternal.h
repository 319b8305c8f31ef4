#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "CorpusReference.h"
#include "DibImage.h"
#include "XStream.h"

// What the Targa and portable map tests share: images to write, and the
// independent decoders (netpbm, Pillow) that judge the files we write.
namespace TgaPmgExternal {

// Rows of runs broken by single pixels, so that run-length coders meet runs,
// literals and both at the row ends. Indexed images get a random palette,
// or a gray ramp when Gray.
inline std::unique_ptr<TDib> PatternDib(int32_t W, int32_t H, TPixelFormat Pf, uint32_t Seed, bool Gray = false) {
  auto D = std::make_unique<TDib>(W, H, Pf);
  std::mt19937 Rng(Seed);
  if (Gray)
    D->MakeGrayPalette();
  else
    for (int32_t I = 0; I < D->PaletteSize(); ++I)
      D->SetPaletteColor(I, Rng() & 0xFFFFFF);
  const uint32_t Mask = Pf == pf15bit || Pf == pf16bit ? 0x7FFF : Pf >= pf24bit ? 0xFFFFFF : 0xFF;
  uint32_t V = 0;
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) {
      if (Rng() % 4 == 0)
        V = Rng();
      D->SetPixelValue(X, Y, (Pf == pf1bit ? V & 1 : Pf == pf4bit ? V & 15 : V) & Mask);
    }
  return D;
}

class TTempFile {
public:
  explicit TTempFile(const std::string& Ext)
      : FPath(std::filesystem::temp_directory_path() /
              ("pelorin-" + std::to_string(::getpid()) + "-" + std::to_string(Counter()++) + Ext)) {}
  ~TTempFile() {
    std::error_code Ec;
    std::filesystem::remove(FPath, Ec);
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  const std::filesystem::path& Path() const { return FPath; }
  void Write(std::span<const uint8_t> Bytes) const {
    std::ofstream(FPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
  }

private:
  static int& Counter() {
    static int N = 0;
    return N;
  }
  std::filesystem::path FPath;
};

inline bool HaveCommand(const char* Name) {
  return std::system(("command -v " + std::string(Name) + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool HavePillow() { return std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0; }

// netpbm's decoding of a file (any format anytopnm knows), through PNG.
inline CorpusReference::TRgbaImage NetpbmDecode(const std::filesystem::path& Name) {
  TTempFile Png(".png");
  // anytopnm guesses the type with file(1), which misses plain graymaps.
  const std::string Source = Name.extension() == ".pnm" ? "cat" : "anytopnm";
  const std::string Cmd =
      Source + " '" + Name.string() + "' 2>/dev/null | pnmtopng > '" + Png.Path().string() + "' 2>/dev/null";
  if (std::system(Cmd.c_str()) != 0)
    return {};
  return CorpusReference::ReadPng(Png.Path());
}

// Pillow's decoding of a file as 8-bit RGB, with its size.
inline CorpusReference::TRgbaImage PillowDecode(const std::filesystem::path& Name) {
  TTempFile Raw(".rgb");
  const std::string Cmd = "/usr/bin/python3 -c 'import sys\nfrom PIL import Image\n"
                          "im = Image.open(sys.argv[1]).convert(\"RGBA\")\n"
                          "open(sys.argv[2], \"wb\").write(b\"%d %d \" % im.size + im.tobytes())' '" +
                          Name.string() + "' '" + Raw.Path().string() + "' 2>/dev/null";
  CorpusReference::TRgbaImage Out;
  if (std::system(Cmd.c_str()) != 0)
    return Out;
  std::ifstream In(Raw.Path(), std::ios::binary);
  In >> Out.Width >> Out.Height;
  In.get();
  Out.Pixels.assign(std::istreambuf_iterator<char>(In), {});
  if (Out.Pixels.size() != size_t(Out.Width) * size_t(Out.Height) * 4)
    return {};
  return Out;
}

// The first pixel whose color differs by more than Tolerance in a channel, as
// "x,y ours theirs"; "" when all agree, "size" when the sizes differ.
inline std::string FirstDifference(const TDib& Dib, const CorpusReference::TRgbaImage& Ref, int Tolerance = 0) {
  if (Ref.Width != Dib.Width() || Ref.Height != Dib.Height())
    return "size";
  const uint8_t* P = Ref.Pixels.data();
  for (int32_t Y = 0; Y < Dib.Height(); ++Y)
    for (int32_t X = 0; X < Dib.Width(); ++X, P += 4) {
      const TColor C = Dib.GetPixelColor(X, Y);
      if (std::abs(GetRValue(C) - P[0]) > Tolerance || std::abs(GetGValue(C) - P[1]) > Tolerance ||
          std::abs(GetBValue(C) - P[2]) > Tolerance)
        return std::to_string(X) + "," + std::to_string(Y) + " " + std::to_string(C) + " " +
               std::to_string(RGBColor(P[0], P[1], P[2]));
    }
  return "";
}

} // namespace TgaPmgExternal
