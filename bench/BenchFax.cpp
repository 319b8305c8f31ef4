#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <tiffio.h>
#include <unistd.h>
#include <vector>

#include "CCITTLib.h"

// An A4 page at 300 dpi, encoded once by libtiff, decoded by libtiff and by
// our decoder from the same strip: the ratio of the two lines is the measure.
namespace {

constexpr int32_t W = 2480, H = 3508;
constexpr size_t RowBytes = (W + 7) / 8;

// Lines of text: glyph-sized boxes with strokes inside, words and margins.
std::vector<uint8_t> Page() {
  std::vector<uint8_t> P(RowBytes * H);
  uint32_t S = 7;
  const auto Next = [&] { return (S = S * 1103515245u + 12345u) >> 16; };
  for (int32_t Line = 300; Line + 40 < H - 300; Line += 50)
    for (int32_t X = 250; X + 30 < W - 250;) {
      const int32_t Gw = 14 + int32_t(Next() % 12), Gh = 22 + int32_t(Next() % 14);
      const uint32_t Shape = Next();
      for (int32_t Y = 0; Y < Gh; ++Y)
        for (int32_t Dx = 0; Dx < Gw; ++Dx) {
          const bool Stroke = Dx < 3 || (Shape & 1 && Y < 3) || (Shape & 2 && Dx >= Gw - 3) ||
                              (Shape & 4 && Y >= Gh - 3) || (Shape & 8 && std::abs(Dx - Y / 2) < 2);
          if (Stroke)
            P[size_t(Line + 40 - Gh + Y) * RowBytes + size_t(X + Dx) / 8] |= uint8_t(0x80 >> ((X + Dx) % 8));
        }
      X += Gw + 4 + (Next() % 6 == 0 ? 24 : 0);
    }
  return P;
}

struct TCoded {
  std::string Path;
  std::vector<uint8_t> Strip;
  ~TCoded() { std::remove(Path.c_str()); }
};

// The page as one strip of the compression, in a temporary file.
std::unique_ptr<TCoded> Encode(uint16_t Compression, uint32_t G3Options) {
  auto C = std::make_unique<TCoded>();
  C->Path = "/tmp/pelorin-benchfax-" + std::to_string(::getpid()) + "-" + std::to_string(Compression) + ".tif";
  std::vector<uint8_t> P = Page();
  TIFF* T = TIFFOpen(C->Path.c_str(), "w");
  TIFFSetField(T, TIFFTAG_IMAGEWIDTH, uint32_t(W));
  TIFFSetField(T, TIFFTAG_IMAGELENGTH, uint32_t(H));
  TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(T, TIFFTAG_COMPRESSION, Compression);
  if (Compression == COMPRESSION_CCITTFAX3)
    TIFFSetField(T, TIFFTAG_GROUP3OPTIONS, G3Options);
  TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, uint32_t(H));
  TIFFWriteEncodedStrip(T, 0, P.data(), tmsize_t(P.size()));
  TIFFClose(T);
  T = TIFFOpen(C->Path.c_str(), "r");
  C->Strip.resize(size_t(TIFFRawStripSize(T, 0)));
  TIFFReadRawStrip(T, 0, C->Strip.data(), tmsize_t(C->Strip.size()));
  TIFFClose(T);
  return C;
}

const TCoded& G4() {
  static const auto C = Encode(COMPRESSION_CCITTFAX4, 0);
  return *C;
}
const TCoded& G32D() {
  static const auto C = Encode(COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING);
  return *C;
}

void DecodeOurs(benchmark::State& State, const TCoded& C, TFaxCoding Coding, uint32_t Options) {
  std::vector<uint8_t> Out(RowBytes * H);
  auto Decoder = NewCCITTDecoder({W, Coding, Options, false, false});
  for (auto _ : State) {
    Decoder->Start(C.Strip);
    for (int32_t Y = 0; Y < H; ++Y)
      Decoder->DecodeRow({Out.data() + size_t(Y) * RowBytes, RowBytes});
    benchmark::DoNotOptimize(Out.data());
  }
  if (Out != Page())
    State.SkipWithError("our decoding differs from the page");
  State.SetItemsProcessed(int64_t(State.iterations()) * W * H);
}

// The strip is read from the file each time; it is in the page cache.
void DecodeLibtiff(benchmark::State& State, const TCoded& C) {
  std::vector<uint8_t> Out(RowBytes * H);
  TIFF* T = TIFFOpen(C.Path.c_str(), "r");
  for (auto _ : State) {
    TIFFReadEncodedStrip(T, 0, Out.data(), tmsize_t(Out.size()));
    benchmark::DoNotOptimize(Out.data());
  }
  TIFFClose(T);
  State.SetItemsProcessed(int64_t(State.iterations()) * W * H);
}

void BM_G4(benchmark::State& S) { DecodeOurs(S, G4(), TFaxCoding::Group4, 0); }
void BM_G4Libtiff(benchmark::State& S) { DecodeLibtiff(S, G4()); }
void BM_G32D(benchmark::State& S) { DecodeOurs(S, G32D(), TFaxCoding::Group3, FaxOpt2D); }
void BM_G32DLibtiff(benchmark::State& S) { DecodeLibtiff(S, G32D()); }

} // namespace

BENCHMARK(BM_G4)->Name("fax.decode-g4-a4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G4Libtiff)->Name("fax.decode-g4-a4@libtiff")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G32D)->Name("fax.decode-g3-2d-a4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G32DLibtiff)->Name("fax.decode-g3-2d-a4@libtiff")->Unit(benchmark::kMillisecond);
