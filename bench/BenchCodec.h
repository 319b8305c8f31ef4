// What the codec benchmarks share: the pictures they encode, encoding one
// with our writer and timing our reader on the bytes.
#pragma once
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "DibImage.h"
#include "XStream.h"

namespace BenchCodec {

inline constexpr int32_t W = 6000, H = 4000;

// Bands of flat color with noisy stretches, so that run-length rows hold
// both runs and literals; C counts the channels 0 to 2.
inline uint8_t BandSample(int32_t X, int32_t Y, int32_t C) {
  const bool Noisy = (X / 300 + Y / 200) % 3 == 0;
  const uint8_t V = Noisy ? uint8_t(X * 7 + Y * 13) : uint8_t((X / 50) * 20 + Y / 100);
  return C == 0 ? V : C == 1 ? uint8_t(V + 40) : uint8_t(V ^ 0x55);
}

// BandSample as a 24-bit picture, channel 0 first in every pixel.
inline const TDib& BandPicture() {
  static const TDib Dib = [] {
    TDib D(W, H, pf24bit);
    for (int32_t Y = 0; Y < H; ++Y) {
      uint8_t* P = D.ScanLine(Y);
      for (int32_t X = 0; X < W; ++X)
        for (int32_t C = 0; C < 3; ++C)
          *P++ = BandSample(X, Y, C);
    }
    return D;
  }();
  return Dib;
}

// Flat gray stretches between colored noisy ones: for encodings that work
// on bytes, gray gives runs and color gives literal bytes.
inline const TDib& GrayBandPicture() {
  static const TDib Dib = [] {
    TDib D(W, H, pf24bit);
    for (int32_t Y = 0; Y < H; ++Y) {
      uint8_t* P = D.ScanLine(Y);
      for (int32_t X = 0; X < W; ++X, P += 3) {
        const bool Flat = (X / 400 + Y / 250) % 2 == 0;
        const uint8_t V = Flat ? uint8_t(Y / 16) : uint8_t(X * 5 + Y * 11);
        P[0] = V;
        P[1] = Flat ? V : uint8_t(V + 40);
        P[2] = Flat ? V : uint8_t(V ^ 0x55);
      }
    }
    return D;
  }();
  return Dib;
}

inline uint32_t Noise(uint32_t& State) {
  State = State * 1664525u + 1013904223u;
  return State >> 24;
}

// Smooth shading with edges and a little sensor noise, as a photo gives
// the encoders that predict from neighbours.
inline const TDib& PhotoPicture() {
  static const TDib Dib = [] {
    TDib D(W, H, pf24bit);
    uint32_t State = 12345;
    for (int32_t Y = 0; Y < H; ++Y) {
      uint8_t* Row = D.ScanLine(Y);
      for (int32_t X = 0; X < W; ++X) {
        const double U = X / 600.0, V = Y / 500.0;
        const double Base = 110 + 60 * std::sin(U + 0.7 * std::sin(V)) + 40 * std::cos(V * 1.3 - U * 0.4);
        const double Edge = ((X / 700 + Y / 450) % 3 == 0) ? 35 : 0;
        const int N = int(Noise(State) % 7) - 3;
        Row[3 * X + 0] = uint8_t(std::clamp(Base * 0.8 + Edge + N, 0.0, 255.0));
        Row[3 * X + 1] = uint8_t(std::clamp(Base + N, 0.0, 255.0));
        Row[3 * X + 2] = uint8_t(std::clamp(Base * 1.1 - Edge + N, 0.0, 255.0));
      }
    }
    return D;
  }();
  return Dib;
}

template <class TWriter, class TSetup>
std::vector<uint8_t> Encode(const TDib& Picture, TSetup Setup) {
  TMemoryStream S;
  TWriter Writer;
  Setup(Writer);
  Writer.CreateStream(S);
  Writer.Write(Picture);
  return {S.Bytes().begin(), S.Bytes().end()};
}

template <class TWriter>
std::vector<uint8_t> Encode(const TDib& Picture) {
  return Encode<TWriter>(Picture, [](TWriter&) {});
}

// Planes one after the other, each row by row, appended to Out.
template <class TSample>
void AppendPlanes(std::vector<uint8_t>& Out, int32_t Channels, TSample Sample) {
  Out.reserve(Out.size() + size_t(W) * H * size_t(Channels));
  for (int32_t C = 0; C < Channels; ++C)
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X)
        Out.push_back(Sample(X, Y, C));
}

// Our reader on File; a decode that differs from Expected, when given,
// fails the row.
template <class TReader>
void Decode(benchmark::State& State, const std::vector<uint8_t>& File, const TDib* Expected = nullptr) {
  std::unique_ptr<TDib> Dib;
  for (auto _ : State) {
    TReader Reader;
    Reader.OpenMemory(File);
    Reader.CreateDib();
    Dib = Reader.TakeDib();
    Reader.Read();
    benchmark::DoNotOptimize(Dib->Bits());
  }
  if (Expected && std::memcmp(Dib->Bits(), Expected->Bits(), size_t(Dib->ImageSize())) != 0)
    State.SkipWithError("decoded pixels differ from the picture");
  State.SetBytesProcessed(State.iterations() * int64_t(W) * H * 3);
}

// memcpy of 24-bit pixel bytes into a new pixel buffer, the floor of any
// decoder.
inline void MemcpyNewDib(benchmark::State& State, const uint8_t* Pixels) {
  for (auto _ : State) {
    TDib Dib(W, H, pf24bit);
    std::memcpy(Dib.Bits(), Pixels, size_t(Dib.ImageSize()));
    benchmark::DoNotOptimize(Dib.Bits());
  }
  State.SetBytesProcessed(State.iterations() * int64_t(W) * H * 3);
}

} // namespace BenchCodec
