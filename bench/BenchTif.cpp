// Decode of the LZW strips of a 6000 x 4000 RGB TIFF written by libtiff,
// beside libtiff decoding the same strips of the same file in the same run;
// encoding of a photo-like picture of the same size to memory by our writer
// beside libtiff with the same compression, predictor and rows per strip.
// The "bytes" counters give the file sizes.
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "BenchCodec.h"
#include "LzwLib.h"
#include "XTif.h"
#include "XTifTags.h"

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

// A W x H 8-bit RGB image in strips of Rows rows.
void SetRgbFields(TIFF* T, uint16_t Compression, uint32_t Rows) {
  TIFFSetField(T, TIFFTAG_IMAGEWIDTH, uint32_t(W));
  TIFFSetField(T, TIFFTAG_IMAGELENGTH, uint32_t(H));
  TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(T, TIFFTAG_COMPRESSION, Compression);
  TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, Rows);
}

const TLzwFile& LzwFile() {
  static const TLzwFile F = [] {
    TLzwFile R;
    R.Path =
        (std::filesystem::temp_directory_path() / ("pelorin-bench-" + std::to_string(::getpid()) + ".tif")).string();
    TIFF* T = TIFFOpen(R.Path.c_str(), "w");
    SetRgbFields(T, COMPRESSION_LZW, uint32_t(RowsPerStrip));
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

// A growing file in memory for libtiff, as our writer gets a memory stream.
struct TMemoryFile {
  std::vector<uint8_t> Bytes;
  size_t Pos = 0;
};

tmsize_t MemoryRead(thandle_t H, void* Buf, tmsize_t N) {
  auto& F = *static_cast<TMemoryFile*>(H);
  const size_t Take = std::min(size_t(N), F.Bytes.size() - std::min(F.Pos, F.Bytes.size()));
  std::memcpy(Buf, F.Bytes.data() + F.Pos, Take);
  F.Pos += Take;
  return tmsize_t(Take);
}

tmsize_t MemoryWrite(thandle_t H, void* Buf, tmsize_t N) {
  auto& F = *static_cast<TMemoryFile*>(H);
  if (F.Pos + size_t(N) > F.Bytes.size())
    F.Bytes.resize(F.Pos + size_t(N));
  std::memcpy(F.Bytes.data() + F.Pos, Buf, size_t(N));
  F.Pos += size_t(N);
  return N;
}

toff_t MemorySeek(thandle_t H, toff_t Offset, int Whence) {
  auto& F = *static_cast<TMemoryFile*>(H);
  const toff_t Base = Whence == SEEK_CUR ? F.Pos : Whence == SEEK_END ? F.Bytes.size() : 0;
  F.Pos = size_t(Base + Offset);
  return F.Pos;
}

int MemoryClose(thandle_t) { return 0; }
toff_t MemorySize(thandle_t H) { return static_cast<TMemoryFile*>(H)->Bytes.size(); }
int MemoryMap(thandle_t, void**, toff_t*) { return 0; }
void MemoryUnmap(thandle_t, void*, toff_t) {}

struct TEncoding {
  // Our writer's Compression.
  uint8_t Compression;
  uint16_t LibtiffCompression;
  uint16_t Predictor;
  // libtiff's deflate level; 0 keeps its default.
  int ZipQuality;
};

// The photo as libtiff takes it: red, green, blue.
const std::vector<uint8_t>& PhotoRgb() {
  static const std::vector<uint8_t> Rgb = [] {
    const TDib& P = BenchCodec::PhotoPicture();
    std::vector<uint8_t> Out(size_t(RowBytes) * H);
    for (int32_t Y = 0; Y < H; ++Y) {
      const uint8_t* S = P.ScanLine(Y);
      uint8_t* D = Out.data() + size_t(Y) * size_t(RowBytes);
      for (int32_t X = 0; X < W; ++X, S += 3, D += 3)
        D[0] = S[2], D[1] = S[1], D[2] = S[0];
    }
    return Out;
  }();
  return Rgb;
}

std::vector<uint8_t> OurEncoding(uint8_t Compression, int32_t* Rows = nullptr) {
  TMemoryStream S;
  TTifWriter Writer;
  Writer.Compression = Compression;
  Writer.StripSize = 32768;
  Writer.CreateStream(S);
  Writer.Write(BenchCodec::PhotoPicture());
  if (Rows)
    *Rows = Writer.RowsPerStrip;
  if (!Writer.OK)
    return {};
  return {S.Bytes().begin(), S.Bytes().end()};
}

// The rows per strip our writer chooses for the photo.
uint32_t OurRowsPerStrip() {
  static const int32_t Rows = [] {
    int32_t R = 0;
    OurEncoding(TifCmp::None, &R);
    return R;
  }();
  return uint32_t(Rows);
}

std::vector<uint8_t> LibtiffEncoding(const TEncoding& E) {
  TMemoryFile F;
  TIFF* T = TIFFClientOpen("memory", "w", &F, MemoryRead, MemoryWrite, MemorySeek, MemoryClose, MemorySize, MemoryMap,
                           MemoryUnmap);
  const uint32_t Rows = OurRowsPerStrip();
  SetRgbFields(T, E.LibtiffCompression, Rows);
  TIFFSetField(T, TIFFTAG_PREDICTOR, E.Predictor);
  if (E.LibtiffCompression == COMPRESSION_ADOBE_DEFLATE)
    TIFFSetField(T, TIFFTAG_DEFLATE_SUBCODEC, DEFLATE_SUBCODEC_ZLIB);
  if (E.ZipQuality > 0)
    TIFFSetField(T, TIFFTAG_ZIPQUALITY, E.ZipQuality);
  const std::vector<uint8_t>& Rgb = PhotoRgb();
  // Prediction works in place, so each strip goes through a copy.
  std::vector<uint8_t> Strip(size_t(RowBytes) * Rows);
  for (uint32_t S = 0, Y = 0; Y < uint32_t(H); ++S, Y += Rows) {
    const size_t Bytes = size_t(RowBytes) * std::min(Rows, uint32_t(H) - Y);
    std::memcpy(Strip.data(), Rgb.data() + size_t(RowBytes) * Y, Bytes);
    TIFFWriteEncodedStrip(T, S, Strip.data(), tmsize_t(Bytes));
  }
  TIFFClose(T);
  return std::move(F.Bytes);
}

void BM_EncodeOurs(benchmark::State& State, TEncoding E) {
  size_t Bytes = 0;
  for (auto _ : State)
    Bytes = OurEncoding(E.Compression).size();
  if (Bytes == 0)
    State.SkipWithError("the writer failed");
  State.counters["bytes"] = double(Bytes);
  State.SetBytesProcessed(int64_t(State.iterations()) * RowBytes * H);
}

void BM_EncodeLibtiff(benchmark::State& State, TEncoding E) {
  PhotoRgb();
  OurRowsPerStrip();
  size_t Bytes = 0;
  for (auto _ : State)
    Bytes = LibtiffEncoding(E).size();
  State.counters["bytes"] = double(Bytes);
  State.SetBytesProcessed(int64_t(State.iterations()) * RowBytes * H);
}

constexpr TEncoding Lzw{TifCmp::Lzw, COMPRESSION_LZW, PREDICTOR_NONE, 0};
constexpr TEncoding LzwPredict{TifCmp::LzwPredict, COMPRESSION_LZW, PREDICTOR_HORIZONTAL, 0};
// The writer deflates at level 9 with prediction; libtiff is held to zlib,
// which the writer uses too, instead of libdeflate.
constexpr TEncoding Deflate{TifCmp::Deflate, COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL, 9};
constexpr TEncoding DeflateDefault{TifCmp::Deflate, COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL, 0};

} // namespace

BENCHMARK(BM_DecodeLzwFile)->Name("tif.decode-lzw24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLzwFileLibtiff)->Name("tif.decode-lzw24@libtiff")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLzwStrips)->Name("tif.decode-lzw24-strips")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLzwStripsLibtiff)->Name("tif.decode-lzw24-strips@libtiff")->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(BM_EncodeOurs, lzw, Lzw)->Name("tif.encode-lzw24")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_EncodeLibtiff, lzw, Lzw)
    ->Name("tif.encode-lzw24@libtiff")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK_CAPTURE(BM_EncodeOurs, lzwp, LzwPredict)
    ->Name("tif.encode-lzw24-predict")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK_CAPTURE(BM_EncodeLibtiff, lzwp, LzwPredict)
    ->Name("tif.encode-lzw24-predict@libtiff")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK_CAPTURE(BM_EncodeOurs, zip, Deflate)
    ->Name("tif.encode-deflate24")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK_CAPTURE(BM_EncodeLibtiff, zip9, Deflate)
    ->Name("tif.encode-deflate24@libtiff-level9")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK_CAPTURE(BM_EncodeLibtiff, zip6, DeflateDefault)
    ->Name("tif.encode-deflate24@libtiff-level6")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
