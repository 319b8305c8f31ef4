#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <png.h>
#include <vector>

// The conformance corpus and the PNG files that hold its reference pixels,
// decoded by libpng so that none of our own code judges our own readers.
namespace CorpusReference {

inline std::filesystem::path CorpusRoot() {
  const char* Dir = std::getenv("PELORIN_CORPUS");
  return Dir ? std::filesystem::path(Dir) : std::filesystem::path();
}

struct TRgbaImage {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;
};

// Empty when the file is missing or not a valid PNG.
inline TRgbaImage ReadPng(const std::filesystem::path& Name) {
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  TRgbaImage Out;
  if (!png_image_begin_read_from_file(&Img, Name.c_str()))
    return Out;
  Img.format = PNG_FORMAT_RGBA;
  Out.Pixels.resize(PNG_IMAGE_SIZE(Img));
  if (!png_image_finish_read(&Img, nullptr, Out.Pixels.data(), 0, nullptr)) {
    png_image_free(&Img);
    return {};
  }
  Out.Width = int32_t(Img.width);
  Out.Height = int32_t(Img.height);
  return Out;
}

// As ReadPng, but 16-bit samples are taken as stored and scaled to 8 bits.
// The simplified libpng read treats 16-bit files as linear light and gamma
// encodes them on the way to 8 bits, which suits photographs but not
// references that hold a decoder's exact sample values.
inline TRgbaImage ReadPngSamples(const std::filesystem::path& Name) {
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Img, Name.c_str()))
    return {};
  if (!(Img.format & PNG_FORMAT_FLAG_LINEAR)) {
    png_image_free(&Img);
    return ReadPng(Name);
  }
  Img.format = PNG_FORMAT_LINEAR_RGB_ALPHA;
  std::vector<uint16_t> Wide(PNG_IMAGE_SIZE(Img) / 2);
  if (!png_image_finish_read(&Img, nullptr, Wide.data(), 0, nullptr)) {
    png_image_free(&Img);
    return {};
  }
  TRgbaImage Out{int32_t(Img.width), int32_t(Img.height), std::vector<uint8_t>(Wide.size())};
  // Linear output is premultiplied by alpha; opaque pixels keep their values.
  for (size_t I = 0; I < Wide.size(); I += 4) {
    const uint32_t A = Wide[I + 3];
    for (size_t C = 0; C < 4; ++C) {
      const uint32_t V =
          C < 3 && A > 0 && A < 65535 ? std::min<uint32_t>(65535, Wide[I + C] * 65535u / A) : Wide[I + C];
      Out.Pixels[I + C] = uint8_t((V * 255 + 32767) / 65535);
    }
  }
  return Out;
}

} // namespace CorpusReference
