#pragma once
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

} // namespace CorpusReference
