#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <png.h>
#include <zlib.h>
#ifdef PELORIN_HAVE_SPNG
#include <spng.h>
#endif

#include <cmath>
#include <memory>
#include <span>
#include <vector>

#include "BenchCodec.h"
#include "LibPngMemory.h"
#include "XPng.h"
#include "XImageRead.h"
#include "XZlib.h"

// Decode and encode of a photo-like RGB image and a palette image, each beside
// libpng in the same run (decodes beside libspng too, where it is installed).
// Encoders use level 6 and every filter; the "bytes" counters compare file
// sizes, "libpng default" being libpng's output with its own filter choice,
// "@zlib" our writer through the zlib stream instead of the one-call deflate.
// The CRC-32 rows show which library the chunk checks are taken from.

namespace {

using TBytes = std::vector<uint8_t>;

constexpr int32_t PalWidth = 4000, PalHeight = 4000;
constexpr int Level = 6;

using BenchCodec::Noise;

// Posterized shading with dithering, as a quantizer leaves it.
std::unique_ptr<TDib> MakePalette() {
  auto Dib = std::make_unique<TDib>(PalWidth, PalHeight, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    Dib->SetPaletteColor(I, RGBColor(uint8_t(I), uint8_t(255 - I), uint8_t(I * 7)));
  uint32_t State = 999;
  for (int32_t Y = 0; Y < PalHeight; ++Y) {
    uint8_t* Row = Dib->ScanLine(Y);
    for (int32_t X = 0; X < PalWidth; ++X) {
      const double V = 128 + 100 * std::sin(X / 300.0) * std::cos(Y / 410.0);
      Row[X] = uint8_t(std::clamp(V + (Noise(State) & 3), 0.0, 255.0)) & 0xF8;
    }
  }
  return Dib;
}

const TDib& Photo() { return BenchCodec::PhotoPicture(); }
const TDib& Palette() {
  static const auto D = MakePalette();
  return *D;
}

TBytes PelorinEncode(const TDib& Dib, uint8_t Filters = pngAllFilters, bool Streamed = false) {
  TMemoryStream S;
  TPngWriter W;
  W.CompressionLevel = Level;
  W.Filters = Filters;
  if (Streamed)
    W.WholeDeflateLimit = 0;
  W.CreateStream(S);
  W.Write(Dib);
  const auto B = S.Bytes();
  return TBytes(B.begin(), B.end());
}

// libpng's rows in its own layouts: RGB or 8-bit indexes.
TBytes LibpngEncode(const TDib& Dib, bool AllFilters) {
  const bool Pal = Dib.PixelFormat() == pf8bit;
  LibPngMemory::TWriteSetup S;
  S.Width = png_uint_32(Dib.Width());
  S.Height = png_uint_32(Dib.Height());
  S.ColorType = Pal ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB;
  if (Pal)
    for (int32_t I = 0; I < 256; ++I) {
      const TColor C = Dib.GetPaletteColor(I);
      S.Palette.push_back({GetRValue(C), GetGValue(C), GetBValue(C)});
    }
  S.Level = Level;
  if (AllFilters)
    S.Filters = PNG_ALL_FILTERS;
  S.Bgr = !Pal;
  std::vector<const uint8_t*> Rows;
  for (int32_t Y = 0; Y < Dib.Height(); ++Y)
    Rows.push_back(Dib.ScanLine(Y));
  return LibPngMemory::Write(S, Rows);
}

// Decodes into a fresh buffer of the rows as libpng gives them.
size_t LibpngDecode(const TBytes& File) {
  png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  LibPngMemory::TSource Source{&File};
  std::unique_ptr<uint8_t[]> Pixels;
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_read_struct(&Png, &Info, nullptr);
    return 0;
  }
  LibPngMemory::ReadFrom(Png, Source);
  png_read_info(Png, Info);
  const size_t RowBytes = png_get_rowbytes(Png, Info);
  const png_uint_32 H = png_get_image_height(Png, Info);
  Pixels.reset(new uint8_t[RowBytes * H]());
  for (png_uint_32 Y = 0; Y < H; ++Y)
    png_read_row(Png, Pixels.get() + RowBytes * Y, nullptr);
  png_read_end(Png, nullptr);
  png_destroy_read_struct(&Png, &Info, nullptr);
  benchmark::DoNotOptimize(Pixels.get());
  return RowBytes * H;
}

#ifdef PELORIN_HAVE_SPNG
// libspng's rows in the file's own layout, as libpng gives them above.
size_t SpngDecode(const TBytes& File) {
  spng_ctx* Ctx = spng_ctx_new(0);
  size_t Size = 0;
  std::unique_ptr<uint8_t[]> Pixels;
  if (spng_set_png_buffer(Ctx, File.data(), File.size()) == 0 &&
      spng_decoded_image_size(Ctx, SPNG_FMT_PNG, &Size) == 0) {
    Pixels = std::make_unique_for_overwrite<uint8_t[]>(Size);
    if (spng_decode_image(Ctx, Pixels.get(), Size, SPNG_FMT_PNG, 0) != 0)
      Size = 0;
  }
  spng_ctx_free(Ctx);
  benchmark::DoNotOptimize(Pixels.get());
  return Size;
}
#endif

void PelorinDecode(const TBytes& File) {
  TPngReader R;
  const TImageRead Read = ReadImageWith(R, File);
  Read.ThrowFailure();
  benchmark::DoNotOptimize(Read.Dib->Bits());
}

const TDib& Source(int Kind) { return Kind == 0 ? Photo() : Palette(); }

const TBytes& LibpngFile(int Kind) {
  static const TBytes Files[2] = {LibpngEncode(Photo(), true), LibpngEncode(Palette(), true)};
  return Files[Kind];
}

void SetSizes(benchmark::State& S, int Kind) {
  static const size_t Default[2] = {LibpngEncode(Photo(), false).size(), LibpngEncode(Palette(), false).size()};
  S.counters["libpng_default_bytes"] = double(Default[Kind]);
  S.counters["libpng_all_filters_bytes"] = double(LibpngFile(Kind).size());
}

void BM_EncodePelorin(benchmark::State& S) {
  const int Kind = int(S.range(0));
  size_t Bytes = 0;
  for (auto _ : S)
    Bytes = PelorinEncode(Source(Kind)).size();
  S.counters["bytes"] = double(Bytes);
  SetSizes(S, Kind);
}

// Palette images are saved unfiltered by the program; compared with libpng's
// default output, which leaves them unfiltered too.
void BM_EncodePelorinPaletteUnfiltered(benchmark::State& S) {
  size_t Bytes = 0;
  for (auto _ : S)
    Bytes = PelorinEncode(Palette(), pngFilterNone).size();
  S.counters["bytes"] = double(Bytes);
  SetSizes(S, 1);
}

void BM_EncodeZlib(benchmark::State& S) {
  const int Kind = int(S.range(0));
  size_t Bytes = 0;
  for (auto _ : S)
    Bytes = PelorinEncode(Source(Kind), pngAllFilters, true).size();
  S.counters["bytes"] = double(Bytes);
}

void BM_EncodeZlibPaletteUnfiltered(benchmark::State& S) {
  size_t Bytes = 0;
  for (auto _ : S)
    Bytes = PelorinEncode(Palette(), pngFilterNone, true).size();
  S.counters["bytes"] = double(Bytes);
}

void BM_EncodeLibpngPaletteDefault(benchmark::State& S) {
  size_t Bytes = 0;
  for (auto _ : S)
    Bytes = LibpngEncode(Palette(), false).size();
  S.counters["bytes"] = double(Bytes);
}

void BM_EncodeLibpng(benchmark::State& S) {
  const int Kind = int(S.range(0));
  size_t Bytes = 0;
  for (auto _ : S)
    Bytes = LibpngEncode(Source(Kind), true).size();
  S.counters["bytes"] = double(Bytes);
}

void BM_DecodePelorin(benchmark::State& S) {
  const TBytes& File = LibpngFile(int(S.range(0)));
  for (auto _ : S)
    PelorinDecode(File);
}

void BM_DecodeLibpng(benchmark::State& S) {
  const TBytes& File = LibpngFile(int(S.range(0)));
  for (auto _ : S)
    LibpngDecode(File);
}

#ifdef PELORIN_HAVE_SPNG
void BM_DecodeSpng(benchmark::State& S) {
  const TBytes& File = LibpngFile(int(S.range(0)));
  for (auto _ : S)
    if (SpngDecode(File) == 0)
      S.SkipWithError("libspng refused the file");
}
#endif

// The photo's pixels, 72 MB.
std::span<const uint8_t> CrcData() { return {Photo().Bits(), size_t(Photo().ImageSize())}; }

void BM_Crc(benchmark::State& S) {
  for (auto _ : S)
    benchmark::DoNotOptimize(Crc32(0, CrcData().data(), CrcData().size()));
  S.SetBytesProcessed(S.iterations() * int64_t(CrcData().size()));
}

void BM_CrcZlib(benchmark::State& S) {
  for (auto _ : S)
    benchmark::DoNotOptimize(crc32_z(0, CrcData().data(), CrcData().size()));
  S.SetBytesProcessed(S.iterations() * int64_t(CrcData().size()));
}

void BM_CrcLibdeflate(benchmark::State& S) {
  for (auto _ : S)
    benchmark::DoNotOptimize(libdeflate_crc32(0, CrcData().data(), CrcData().size()));
  S.SetBytesProcessed(S.iterations() * int64_t(CrcData().size()));
}

} // namespace

// Argument 0: the 6000 x 4000 RGB photo; 1: the 4000 x 4000 palette image.
BENCHMARK(BM_DecodeLibpng)->Name("png.decode@libpng")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
#ifdef PELORIN_HAVE_SPNG
BENCHMARK(BM_DecodeSpng)->Name("png.decode@libspng")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
#endif
BENCHMARK(BM_DecodePelorin)->Name("png.decode")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_EncodeLibpng)->Name("png.encode@libpng")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_EncodeZlib)->Name("png.encode@zlib")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_EncodePelorin)->Name("png.encode")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_EncodeLibpngPaletteDefault)
    ->Name("png.encode-palette@libpng")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_EncodePelorinPaletteUnfiltered)->Name("png.encode-palette")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_EncodeZlibPaletteUnfiltered)
    ->Name("png.encode-palette@zlib")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_CrcZlib)->Name("png.crc32@zlib")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrcLibdeflate)->Name("png.crc32@libdeflate")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc)->Name("png.crc32")->Unit(benchmark::kMillisecond);
