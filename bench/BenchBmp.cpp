// Decode and encode of a 6000 x 4000 24-bit bitmap and an 8-bit run-length
// bitmap, beside memcpy of the same pixel data and the bitmap readers of Qt
// and stb_image in the same run.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>

#include "XBmp.h"
#include "XImageRead.h"

namespace {

constexpr int32_t W = 6000, H = 4000;

std::vector<uint8_t> Encode(const TDib& Dib) {
  TMemoryStream S;
  TBmpWriter Writer;
  Writer.CreateStream(S);
  Writer.Write(Dib);
  return {S.Bytes().begin(), S.Bytes().end()};
}

const std::vector<uint8_t>& Plain24() {
  static const std::vector<uint8_t> File = [] {
    TDib Dib(W, H, pf24bit);
    for (int32_t Y = 0; Y < H; ++Y) {
      uint8_t* P = Dib.ScanLine(Y);
      for (int32_t X = 0; X < 3 * W; ++X)
        P[X] = uint8_t(X * 7 + Y * 13);
    }
    return Encode(Dib);
  }();
  return File;
}

// Bands of runs with short literal stretches, as scanned drawings give.
const std::vector<uint8_t>& Rle8() {
  static const std::vector<uint8_t> File = [] {
    std::vector<uint8_t> Data;
    for (int32_t Y = 0; Y < H; ++Y) {
      int32_t X = 0;
      while (X < W) {
        if ((X / 97 + Y / 50) % 5 == 0 && W - X >= 8) {
          Data.insert(Data.end(), {0, 8});
          for (int I = 0; I < 8; ++I)
            Data.push_back(uint8_t(X + I + Y));
          X += 8;
        } else {
          const int32_t N = std::min<int32_t>(W - X, 40 + (X + Y) % 200);
          Data.push_back(uint8_t(N));
          Data.push_back(uint8_t((X / 37 + Y / 11) & 0xFF));
          X += N;
        }
      }
      Data.insert(Data.end(), {0, 0});
    }
    Data.insert(Data.end(), {0, 1});
    std::vector<uint8_t> F(14 + 40 + 1024, 0);
    F[0] = 'B';
    F[1] = 'M';
    PutLE32(&F[2], uint32_t(F.size() + Data.size()));
    PutLE32(&F[10], uint32_t(F.size()));
    PutLE32(&F[14], 40);
    PutLE32(&F[18], W);
    PutLE32(&F[22], H);
    PutLE16(&F[26], 1);
    PutLE16(&F[28], 8);
    PutLE32(&F[30], 1);
    PutLE32(&F[34], uint32_t(Data.size()));
    for (int I = 0; I < 256; ++I)
      F[54 + 4 * I] = F[55 + 4 * I] = F[56 + 4 * I] = uint8_t(I);
    F.insert(F.end(), Data.begin(), Data.end());
    return F;
  }();
  return File;
}

std::unique_ptr<TDib> DecodeOurs(const std::vector<uint8_t>& File) {
  TBmpReader Reader;
  TImageRead Read = ReadImageWith(Reader, File);
  Read.ThrowFailure();
  return std::move(Read.Dib);
}

int64_t PixelBytes(const std::vector<uint8_t>& File) { return int64_t(File.size()) - GetLE32(&File[10]); }

void Report(benchmark::State& State, int64_t Bytes) { State.SetBytesProcessed(State.iterations() * Bytes); }

// memcpy of the pixel data into a new pixel buffer, the floor of any decoder.
void BM_Memcpy24_NewDib(benchmark::State& State) {
  const auto& File = Plain24();
  const uint8_t* Src = File.data() + GetLE32(&File[10]);
  for (auto _ : State) {
    TDib Dib(W, H, pf24bit);
    std::memcpy(Dib.Bits(), Src, size_t(Dib.ImageSize()));
    benchmark::DoNotOptimize(Dib.Bits());
  }
  Report(State, PixelBytes(File));
}

void BM_Memcpy24_WarmBuffer(benchmark::State& State) {
  const auto& File = Plain24();
  const size_t N = size_t(PixelBytes(File));
  std::vector<uint8_t> Dst(N);
  for (auto _ : State) {
    std::memcpy(Dst.data(), File.data() + GetLE32(&File[10]), N);
    benchmark::DoNotOptimize(Dst.data());
  }
  Report(State, int64_t(N));
}

void BM_Decode24_Pelorin(benchmark::State& State) {
  const auto& File = Plain24();
  for (auto _ : State)
    benchmark::DoNotOptimize(DecodeOurs(File));
  Report(State, PixelBytes(File));
}

void BM_Decode24_Qt(benchmark::State& State) {
  const auto& File = Plain24();
  const QByteArray Bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(File.data()), qsizetype(File.size()));
  for (auto _ : State) {
    QBuffer Buf;
    Buf.setData(Bytes);
    QImageReader Reader(&Buf, "bmp");
    QImage Img = Reader.read();
    if (Img.isNull())
      State.SkipWithError("Qt could not read the file");
    benchmark::DoNotOptimize(Img.constBits());
  }
  Report(State, PixelBytes(File));
}

void BM_Decode24_Stb(benchmark::State& State) {
  const auto& File = Plain24();
  for (auto _ : State) {
    int X, Y, N;
    stbi_uc* P = stbi_load_from_memory(File.data(), int(File.size()), &X, &Y, &N, 0);
    if (!P)
      State.SkipWithError("stb_image could not read the file");
    benchmark::DoNotOptimize(P);
    stbi_image_free(P);
  }
  Report(State, PixelBytes(File));
}

// Encoders write to the null device, so only the format's own work counts.
void EncodeOurs(benchmark::State& State, const TDib& Dib) {
  for (auto _ : State) {
    TBmpWriter Writer;
    Writer.CreateFile("/dev/null");
    Writer.Write(Dib);
  }
  Report(State, Dib.ImageSize());
}

void BM_Encode24_Pelorin(benchmark::State& State) { EncodeOurs(State, *DecodeOurs(Plain24())); }

void BM_Encode24_Qt(benchmark::State& State) {
  const auto Dib = DecodeOurs(Plain24());
  const QImage Img(Dib->Bits(), Dib->Width(), Dib->Height(), Dib->RowBytes(), QImage::Format_BGR888);
  for (auto _ : State) {
    QFile Out("/dev/null");
    Out.open(QIODevice::WriteOnly);
    Img.save(&Out, "BMP");
  }
  Report(State, Dib->ImageSize());
}

void BM_DecodeRle8_Pelorin(benchmark::State& State) {
  const auto& File = Rle8();
  for (auto _ : State)
    benchmark::DoNotOptimize(DecodeOurs(File));
  Report(State, int64_t(W) * H);
}

void BM_DecodeRle8_Qt(benchmark::State& State) {
  const auto& File = Rle8();
  const QByteArray Bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(File.data()), qsizetype(File.size()));
  for (auto _ : State) {
    QBuffer Buf;
    Buf.setData(Bytes);
    QImageReader Reader(&Buf, "bmp");
    QImage Img = Reader.read();
    if (Img.isNull())
      State.SkipWithError("Qt could not read the file");
    benchmark::DoNotOptimize(Img.constBits());
  }
  Report(State, int64_t(W) * H);
}

// stb_image has no run-length support; the run records that it refuses.
void BM_DecodeRle8_Stb(benchmark::State& State) {
  const auto& File = Rle8();
  for (auto _ : State) {
    int X, Y, N;
    stbi_uc* P = stbi_load_from_memory(File.data(), int(File.size()), &X, &Y, &N, 0);
    if (!P) {
      State.SkipWithError("stb_image does not read run-length bitmaps");
      break;
    }
    stbi_image_free(P);
  }
}

void BM_Encode8_Pelorin(benchmark::State& State) { EncodeOurs(State, *DecodeOurs(Rle8())); }

void BM_Encode8_Qt(benchmark::State& State) {
  const auto Dib = DecodeOurs(Rle8());
  QImage Img(Dib->Bits(), Dib->Width(), Dib->Height(), Dib->RowBytes(), QImage::Format_Indexed8);
  QList<QRgb> Table;
  for (int32_t I = 0; I < Dib->PaletteSize(); ++I) {
    const TColor C = Dib->GetPaletteColor(I);
    Table.push_back(qRgb(GetRValue(C), GetGValue(C), GetBValue(C)));
  }
  Img.setColorTable(Table);
  for (auto _ : State) {
    QFile Out("/dev/null");
    Out.open(QIODevice::WriteOnly);
    Img.save(&Out, "BMP");
  }
  Report(State, Dib->ImageSize());
}

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_Decode24_Pelorin)->Name("bmp.decode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy24_WarmBuffer)->Name("bmp.decode24@memcpy")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy24_NewDib)->Name("bmp.decode24@memcpy-new-buffer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode24_Qt)->Name("bmp.decode24@qt")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode24_Stb)->Name("bmp.decode24@stb")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode24_Pelorin)->Name("bmp.encode24")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode24_Qt)->Name("bmp.encode24@qt")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRle8_Pelorin)->Name("bmp.decode-rle8")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRle8_Qt)->Name("bmp.decode-rle8@qt")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRle8_Stb)->Name("bmp.decode-rle8@stb")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode8_Pelorin)->Name("bmp.encode8")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode8_Qt)->Name("bmp.encode8@qt")->Unit(benchmark::kMillisecond);
