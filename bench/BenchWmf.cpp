// Playing a metafile of 3000 filled and outlined shapes onto a 2000 x 1500
// picture, beside the same shapes drawn straight through Cairo in this
// process and copied into a new pixel buffer: the ratio is what our record
// player and device context add to the renderer's own work.
#include <cairo.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "XWmf.h"

namespace {

constexpr int32_t PW = 2000, PH = 1500, Shapes = 3000;
// 15 units a pixel: the placeable header's 1440 units per inch at 96 dpi.
constexpr int32_t Units = 15;

struct TShape {
  int32_t Kind, L, T, R, B;
  TColor Fill, Line;
};

std::vector<TShape> MakeShapes() {
  std::vector<TShape> S;
  uint32_t Seed = 12345;
  auto Next = [&Seed](uint32_t N) {
    Seed = Seed * 1664525 + 1013904223;
    return (Seed >> 8) % N;
  };
  for (int32_t I = 0; I < Shapes; ++I) {
    const int32_t L = int32_t(Next(PW - 200)), T = int32_t(Next(PH - 200));
    S.push_back({int32_t(I % 3), L, T, L + 20 + int32_t(Next(180)), T + 20 + int32_t(Next(180)), Next(0xFFFFFF),
                 Next(0xFFFFFF)});
  }
  return S;
}

const std::vector<TShape>& ShapeList() {
  static const std::vector<TShape> S = MakeShapes();
  return S;
}

struct TWriter {
  std::vector<uint8_t> B;
  void Word(uint32_t W) {
    B.push_back(uint8_t(W));
    B.push_back(uint8_t(W >> 8));
  }
  void Rec(uint16_t F, std::initializer_list<uint32_t> P) {
    Word(uint32_t(3 + P.size()));
    Word(0);
    Word(F);
    for (uint32_t V : P)
      Word(V);
  }
};

// Each shape: a brush and a pen made, selected, the shape drawn and both
// deleted again, as drawing programs write them.
const std::vector<uint8_t>& File() {
  static const std::vector<uint8_t> F = [] {
    TWriter W;
    W.Word(0xCDD7);
    W.Word(0x9AC6);
    for (uint32_t V : {0u, 0u, 0u, uint32_t(PW * Units), uint32_t(PH * Units), 1440u, 0u, 0u, 0u})
      W.Word(V);
    for (uint32_t V : {1u, 9u, 0x300u, 0u, 0u, 2u, 0u, 0u, 0u})
      W.Word(V);
    W.Rec(0x020B, {0, 0});
    W.Rec(0x020C, {uint32_t(PH * Units), uint32_t(PW * Units)});
    for (const TShape& S : ShapeList()) {
      W.Rec(0x02FC, {0, S.Fill & 0xFFFF, S.Fill >> 16, 0});
      W.Rec(0x02FA, {0, uint32_t(2 * Units), 0, S.Line & 0xFFFF, S.Line >> 16});
      W.Rec(0x012D, {0});
      W.Rec(0x012D, {1});
      const uint16_t Function = S.Kind == 0 ? 0x041B : S.Kind == 1 ? 0x0418 : 0;
      const uint32_t L = uint32_t(S.L * Units), T = uint32_t(S.T * Units), R = uint32_t(S.R * Units),
                     Bo = uint32_t(S.B * Units);
      if (Function)
        W.Rec(Function, {Bo, R, T, L});
      else
        W.Rec(0x0324, {3, L, Bo, (L + R) / 2, T, R, Bo});
      W.Rec(0x01F0, {0});
      W.Rec(0x01F0, {1});
    }
    W.Rec(0, {});
    return W.B;
  }();
  return F;
}

void SetColor(cairo_t* Cr, TColor C) {
  cairo_set_source_rgb(Cr, (C & 0xFF) / 255.0, ((C >> 8) & 0xFF) / 255.0, ((C >> 16) & 0xFF) / 255.0);
}

void BM_PlayWmf(benchmark::State& State) {
  for (auto _ : State) {
    TWmfReader Reader;
    Reader.OpenMemory(File());
    Reader.Read();
    benchmark::DoNotOptimize(Reader.Dib->Bits());
  }
}

void BM_CairoDirect(benchmark::State& State) {
  for (auto _ : State) {
    cairo_surface_t* Surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, PW, PH);
    cairo_t* Cr = cairo_create(Surface);
    cairo_set_source_rgb(Cr, 1, 1, 1);
    cairo_paint(Cr);
    cairo_set_line_width(Cr, 2);
    for (const TShape& S : ShapeList()) {
      const double W = S.R - S.L, H = S.B - S.T;
      if (S.Kind == 0)
        cairo_rectangle(Cr, S.L, S.T, W, H);
      else if (S.Kind == 1) {
        cairo_save(Cr);
        cairo_translate(Cr, S.L + W / 2, S.T + H / 2);
        cairo_scale(Cr, W / 2, H / 2);
        cairo_arc(Cr, 0, 0, 1, 0, 2 * std::numbers::pi);
        cairo_restore(Cr);
      } else {
        cairo_move_to(Cr, S.L, S.B);
        cairo_line_to(Cr, (S.L + S.R) / 2, S.T);
        cairo_line_to(Cr, S.R, S.B);
        cairo_close_path(Cr);
      }
      SetColor(Cr, S.Fill);
      cairo_fill_preserve(Cr);
      SetColor(Cr, S.Line);
      cairo_stroke(Cr);
    }
    cairo_surface_flush(Surface);
    TDib Dib(PW, PH, pf24bit);
    const uint8_t* Data = cairo_image_surface_get_data(Surface);
    const int Stride = cairo_image_surface_get_stride(Surface);
    for (int32_t Y = 0; Y < PH; ++Y) {
      const uint8_t* Src = Data + size_t(Y) * size_t(Stride);
      uint8_t* Out = Dib.ScanLine(Y);
      for (int32_t X = 0; X < PW; ++X, Src += 4, Out += 3) {
        Out[0] = Src[0];
        Out[1] = Src[1];
        Out[2] = Src[2];
      }
    }
    benchmark::DoNotOptimize(Dib.Bits());
    cairo_destroy(Cr);
    cairo_surface_destroy(Surface);
  }
}

} // namespace

// "name@reference" is the reference the table sets beside "name".
BENCHMARK(BM_PlayWmf)->Name("wmf.play-shapes")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CairoDirect)->Name("wmf.play-shapes@cairo-direct")->Unit(benchmark::kMillisecond);
