#pragma once
#include <cstdint>
#include <span>
#include <string>

#include <benchmark/benchmark.h>

// Pillow's decoders as a benchmark yardstick, run in this process through an
// embedded Python. Without the Python library (or without Pillow) every file
// reports why it cannot be decoded, so that the rows skip instead of failing.
class TPillowFile {
public:
  // Copies Data once into a Python bytes object, outside any timing loop.
  explicit TPillowFile(std::span<const uint8_t> Data);
  ~TPillowFile();
  TPillowFile(const TPillowFile&) = delete;
  TPillowFile& operator=(const TPillowFile&) = delete;

  // Image.open(io.BytesIO(data)).load(); false with Error set on failure.
  bool Decode();
  // Why the last decode, or Python and Pillow, failed.
  const std::string& Error() const { return FError; }

private:
  void* FBytes = nullptr;
  std::string FError;
};

// An RGB picture held by Pillow, for its Image.resize as a yardstick.
// Filters are Pillow's numbers (Image.Resampling: 1 Lanczos, 2 bilinear,
// 3 bicubic, 4 box).
class TPillowImage {
public:
  // Copies Width x Height red, green, blue bytes once, outside any timing.
  TPillowImage(std::span<const uint8_t> Rgb, int32_t Width, int32_t Height);
  ~TPillowImage();
  TPillowImage(const TPillowImage&) = delete;
  TPillowImage& operator=(const TPillowImage&) = delete;

  bool Resize(int32_t Width, int32_t Height, int32_t Filter);
  // Image.point with 768 entries (red, green, blue tables).
  bool Point(std::span<const uint8_t> Tables);
  // ImageEnhance.Color(image).enhance(Factor).
  bool EnhanceColor(double Factor);
  // Evaluates Code, a Python expression giving an image, with im the
  // picture and ImageFilter at hand: "im.filter(ImageFilter.BLUR)".
  bool Eval(const char* Code);
  const std::string& Error() const { return FError; }

private:
  bool Call(void* Function, void* Args);
  void* FImage = nullptr;
  std::string FError;
};

// The body of a "...@pillow" row: decodes File on every iteration and counts
// PixelBytes per decode; skips with the reason when Pillow cannot run.
void BenchPillowDecode(benchmark::State& State, std::span<const uint8_t> File, int64_t PixelBytes);
