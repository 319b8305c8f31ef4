// Decode of the LZW strips of a 6000 x 4000 RGB TIFF written by libtiff,
// beside libtiff decoding the same strips of the same file in the same run.
#include <tiffio.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "BenchCodec.h"
#include "LzwLib.h"
#include "XTif.h"

namespace {

using BenchCodec::H;
using BenchCodec::W;

constexpr int32_t RowsPerStrip = 16;
constexpr tmsize_t RowBytes = tmsize_t(W) * 3;

struct TLzwFile {
  std::string Path;
  std::vector<std::vector<uint8_t>> Strips;
  ~TLzwFile() {
    std::error_code Ec;
    if (!Path.empty())
      std::filesystem::remove(Path, Ec);
  }
};

const TLzwFile& LzwFile() {
  static const TLzwFile F = [] {
    TLzwFile R;
    R.Path =
        (std::filesystem::temp_directory_path() / ("pelorin-bench-" + std::to_string(::getpid()) + ".tif")).string();
    TIFF* T = TIFFOpen(R.Path.c_str(), "w");
    TIFFSetField(T, TIFFTAG_IMAGEWIDTH, uint32_t(W));
    TIFFSetField(T, TIFFTAG_IMAGELENGTH, uint32_t(H));
    TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(T, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, uint32_t(RowsPerStrip));
    const TDib& P = BenchCodec::BandPicture();
    for (int32_t Y = 0; Y < H; ++Y)
      TIFFWriteScanline(T, const_cast<uint8_t*>(P.ScanLine(Y)), uint32_t(Y), 0);
    TIFFClose(T);
    T = TIFFOpen(R.Path.c_str(), "r");
    for (uint32_t S = 0; S < TIFFNumberOfStrips(T); ++S) {
      std::vector<uint8_t> Raw(size_t(TIFFGetStrileByteCount(T, S)));
      TIFFReadRawStrip(T, S, Raw.data(), tmsize_t(Raw.size()));
      R.Strips.push_back(std::move(Raw));
    }
    TIFFClose(T);
    return R;
  }();
  return F;
}

void BM_DecodeLzwStrips(benchmark::State& State) {
  const TLzwFile& F = LzwFile();
  std::vector<uint8_t> Out(size_t(RowBytes) * RowsPerStrip);
  TTifLzwDecoder D;
  for (auto _ : State) {
    for (const auto& S : F.Strips) {
      D.Start(S);
      benchmark::DoNotOptimize(D.Decode(Out));
    }
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * RowBytes * H);
}

// libtiff reads each strip from the file (cached) before decoding it.
void BM_DecodeLzwStripsLibtiff(benchmark::State& State) {
  const TLzwFile& F = LzwFile();
  TIFF* T = TIFFOpen(F.Path.c_str(), "r");
  std::vector<uint8_t> Out(size_t(RowBytes) * RowsPerStrip);
  for (auto _ : State) {
    for (uint32_t S = 0; S < TIFFNumberOfStrips(T); ++S)
      benchmark::DoNotOptimize(TIFFReadEncodedStrip(T, S, Out.data(), tmsize_t(Out.size())));
    benchmark::ClobberMemory();
  }
  TIFFClose(T);
  State.SetBytesProcessed(int64_t(State.iterations()) * RowBytes * H);
}

// The whole file through the reader: directory, strips, conversion to the
// pixel buffer; libtiff opens the file and decodes every strip.
void BM_DecodeLzwFile(benchmark::State& State) {
  std::ifstream In(LzwFile().Path, std::ios::binary);
  const std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  BenchCodec::Decode<TTifReader>(State, Bytes);
}

void BM_DecodeLzwFileLibtiff(benchmark::State& State) {
  const TLzwFile& F = LzwFile();
  for (auto _ : State) {
    // A new buffer each time, as our reader makes a new pixel buffer.
    std::vector<uint8_t> Out(size_t(RowBytes) * H);
    TIFF* T = TIFFOpen(F.Path.c_str(), "r");
    const tmsize_t StripSize = TIFFStripSize(T);
    for (uint32_t S = 0; S < TIFFNumberOfStrips(T); ++S)
      benchmark::DoNotOptimize(TIFFReadEncodedStrip(T, S, Out.data() + tmsize_t(S) * StripSize, StripSize));
    TIFFClose(T);
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * RowBytes * H);
}

} // namespace

BENCHMARK(BM_DecodeLzwFile)->Name("tif.decode-lzw24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLzwFileLibtiff)->Name("tif.decode-lzw24@libtiff")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLzwStrips)->Name("tif.decode-lzw24-strips")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLzwStripsLibtiff)->Name("tif.decode-lzw24-strips@libtiff")->Unit(benchmark::kMillisecond);
