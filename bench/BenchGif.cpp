#include <benchmark/benchmark.h>

#include <cstring>
#include <gif_lib.h>
#include <memory>
#include <vector>

#include "XGif.h"
#include "XImageRead.h"

// Decoding and encoding of a 4000 x 4000 8-bit image, each beside giflib on
// the same data: the ratio of the two lines is the measure.
namespace {

constexpr int32_t W = 4000, H = 4000;

// Smooth areas with some noise: strings of every length, and a table that
// fills and clears often, as in a dithered photograph.
std::unique_ptr<TDib> MakeImage() {
  auto D = std::make_unique<TDib>(W, H, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    D->SetPaletteColor(I, RGBColor(uint8_t(I), uint8_t(255 - I), uint8_t(I * 7)));
  uint32_t S = 1;
  for (int32_t Y = 0; Y < H; ++Y) {
    uint8_t* Row = D->ScanLine(Y);
    for (int32_t X = 0; X < W; ++X) {
      S = S * 1103515245u + 12345u;
      const uint32_t Noise = (S >> 16) & 0xFF;
      Row[X] = uint8_t((X / 16 + Y / 24) + (Noise < 40 ? Noise & 3 : 0));
    }
  }
  return D;
}

const TDib& Image() {
  static const std::unique_ptr<TDib> D = MakeImage();
  return *D;
}

std::vector<uint8_t> EncodeOurs(const TDib& D) {
  TMemoryStream Out;
  TGifWriter Writer;
  Writer.Compression = 3;
  Writer.CreateStream(Out);
  Writer.Write(D);
  const auto B = Out.Bytes();
  return {B.begin(), B.end()};
}

const std::vector<uint8_t>& File() {
  static const std::vector<uint8_t> F = EncodeOurs(Image());
  return F;
}

struct TMemoryInput {
  const std::vector<uint8_t>* Data;
  size_t Pos;
};

int ReadMemory(GifFileType* Gif, GifByteType* Buffer, int Count) {
  auto* In = static_cast<TMemoryInput*>(Gif->UserData);
  const size_t N = std::min(size_t(Count), In->Data->size() - In->Pos);
  std::memcpy(Buffer, In->Data->data() + In->Pos, N);
  In->Pos += N;
  return int(N);
}

int WriteMemory(GifFileType* Gif, const GifByteType* Buffer, int Count) {
  auto* Out = static_cast<std::vector<uint8_t>*>(Gif->UserData);
  Out->insert(Out->end(), Buffer, Buffer + Count);
  return Count;
}

void BM_DecodePelorin(benchmark::State& State) {
  const auto& F = File();
  for (auto _ : State) {
    TGifReader Reader;
    const TImageRead Read = ReadImageWith(Reader, F);
    Read.ThrowFailure();
    benchmark::DoNotOptimize(Read.Dib->Bits());
  }
  State.SetItemsProcessed(int64_t(State.iterations()) * W * H);
}

void BM_DecodeGiflib(benchmark::State& State) {
  const auto& F = File();
  std::vector<GifPixelType> Pixels(size_t(W) * H);
  for (auto _ : State) {
    TMemoryInput In{&F, 0};
    int Error = 0;
    GifFileType* Gif = DGifOpen(&In, ReadMemory, &Error);
    GifRecordType Type;
    while (DGifGetRecordType(Gif, &Type) == GIF_OK && Type != IMAGE_DESC_RECORD_TYPE) {
      if (Type == EXTENSION_RECORD_TYPE) {
        int Code;
        GifByteType* Ext;
        DGifGetExtension(Gif, &Code, &Ext);
        while (Ext)
          DGifGetExtensionNext(Gif, &Ext);
      }
    }
    DGifGetImageDesc(Gif);
    for (int32_t Y = 0; Y < H; ++Y)
      DGifGetLine(Gif, Pixels.data() + size_t(Y) * W, W);
    DGifCloseFile(Gif, &Error);
    benchmark::DoNotOptimize(Pixels.data());
  }
  State.SetItemsProcessed(int64_t(State.iterations()) * W * H);
}

void BM_EncodePelorin(benchmark::State& State) {
  const TDib& D = Image();
  for (auto _ : State) {
    auto Out = EncodeOurs(D);
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetItemsProcessed(int64_t(State.iterations()) * W * H);
}

void BM_EncodeGiflib(benchmark::State& State) {
  const TDib& D = Image();
  std::vector<GifColorType> Colors(256);
  for (int32_t I = 0; I < 256; ++I) {
    const TColor C = D.GetPaletteColor(I);
    Colors[size_t(I)] = {GetRValue(C), GetGValue(C), GetBValue(C)};
  }
  std::vector<GifPixelType> Row(W);
  for (auto _ : State) {
    std::vector<uint8_t> Out;
    int Error = 0;
    GifFileType* Gif = EGifOpen(&Out, WriteMemory, &Error);
    ColorMapObject* Map = GifMakeMapObject(256, Colors.data());
    EGifSetGifVersion(Gif, true);
    EGifPutScreenDesc(Gif, W, H, 8, 0, Map);
    EGifPutImageDesc(Gif, 0, 0, W, H, false, nullptr);
    for (int32_t Y = 0; Y < H; ++Y) {
      std::memcpy(Row.data(), D.ScanLine(Y), W);
      EGifPutLine(Gif, Row.data(), W);
    }
    EGifCloseFile(Gif, &Error);
    GifFreeMapObject(Map);
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetItemsProcessed(int64_t(State.iterations()) * W * H);
}

} // namespace

BENCHMARK(BM_DecodePelorin)->Name("gif.decode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeGiflib)->Name("gif.decode@giflib")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodePelorin)->Name("gif.encode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeGiflib)->Name("gif.encode@giflib")->Unit(benchmark::kMillisecond);
