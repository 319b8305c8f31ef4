#pragma once
// libpng as a reference codec on files held in memory, for the PNG tests and
// the PNG benchmark alike.
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace LibPngMemory {

// What libpng is told before the rows; an unset option is left to libpng.
struct TWriteSetup {
  uint32_t Width = 0, Height = 0;
  int Depth = 8, ColorType = PNG_COLOR_TYPE_RGB;
  bool Interlaced = false;
  // Set as PLTE when not empty.
  std::vector<png_color> Palette;
  std::optional<int> Level, Filters;
  // The zlib buffer, and so the largest IDAT chunk.
  std::optional<size_t> IdatSize;
  // The rows hold blue, green, red.
  bool Bgr = false;
};

// The file libpng writes of Rows (one pointer a row, in libpng's layout);
// empty when libpng refuses.
inline std::vector<uint8_t> Write(const TWriteSetup& S, const std::vector<const uint8_t*>& Rows) {
  std::vector<uint8_t> Out;
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  // libpng takes the rows as writable, though it only reads them.
  std::vector<png_bytep> Pointers;
  for (const uint8_t* Row : Rows)
    Pointers.push_back(const_cast<png_bytep>(Row));
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_write_struct(&Png, &Info);
    return {};
  }
  png_set_write_fn(
      Png, &Out,
      [](png_structp P, png_bytep Data, png_size_t N) {
        auto* V = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(P));
        V->insert(V->end(), Data, Data + N);
      },
      nullptr);
  png_set_IHDR(Png, Info, S.Width, S.Height, S.Depth, S.ColorType,
               S.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!S.Palette.empty())
    png_set_PLTE(Png, Info, S.Palette.data(), int(S.Palette.size()));
  if (S.Level)
    png_set_compression_level(Png, *S.Level);
  if (S.Filters)
    png_set_filter(Png, PNG_FILTER_TYPE_BASE, *S.Filters);
  if (S.IdatSize)
    png_set_compression_buffer_size(Png, *S.IdatSize);
  png_write_info(Png, Info);
  if (S.Bgr)
    png_set_bgr(Png);
  png_write_image(Png, Pointers.data());
  png_write_end(Png, Info);
  png_destroy_write_struct(&Png, &Info);
  return Out;
}

// A file in memory as libpng's input; a read past its end is a libpng error.
struct TSource {
  const std::vector<uint8_t>* Data;
  size_t At = 0;
};

inline void ReadFrom(png_structp Png, TSource& Source) {
  png_set_read_fn(Png, &Source, [](png_structp P, png_bytep Out, png_size_t N) {
    auto* S = static_cast<TSource*>(png_get_io_ptr(P));
    if (S->At + N > S->Data->size())
      png_error(P, "short");
    std::memcpy(Out, S->Data->data() + S->At, N);
    S->At += N;
  });
}

} // namespace LibPngMemory
