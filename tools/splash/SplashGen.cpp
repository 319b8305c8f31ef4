#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>

#include "XPng.h"

namespace {

constexpr int32_t SplashWidth = 400, SplashHeight = 160;
// Samples per pixel side for the edges of the shapes.
constexpr int32_t Sub = 4;

struct TRgb {
  double R, G, B;
};

TRgb Mix(const TRgb& A, const TRgb& B, double T) {
  return {A.R + (B.R - A.R) * T, A.G + (B.G - A.G) * T, A.B + (B.B - A.B) * T};
}

// Night blue to sea green along the diagonal, lighter towards the top.
TRgb Background(double X, double Y) {
  const TRgb From{29, 43, 83}, To{42, 157, 143};
  const double T = std::clamp((X / SplashWidth) * 0.7 + (Y / SplashHeight) * 0.3, 0.0, 1.0);
  TRgb C = Mix(From, To, T);
  const double Glow = std::max(0.0, 1.0 - Y / SplashHeight) * 18.0;
  return {C.R + Glow, C.G + Glow, C.B + Glow};
}

// Fraction of the pixel at (X, Y) inside a shape.
template <typename TInside>
double Coverage(int32_t X, int32_t Y, TInside&& Inside) {
  int32_t Hits = 0;
  for (int32_t J = 0; J < Sub; ++J)
    for (int32_t I = 0; I < Sub; ++I)
      Hits += Inside(X + (I + 0.5) / Sub, Y + (J + 0.5) / Sub);
  return double(Hits) / (Sub * Sub);
}

void Paint(TRgb& Pixel, const TRgb& Color, double Alpha) { Pixel = Mix(Pixel, Color, std::clamp(Alpha, 0.0, 1.0)); }

// A picture frame with a sun and two hills: what a viewer shows, drawn with
// a few overlapping translucent rings around it.
TRgb SplashPixel(int32_t X, int32_t Y) {
  TRgb P = Background(X + 0.5, Y + 0.5);
  const struct {
    double Cx, Cy, R;
    TRgb Color;
    double Alpha;
  } Rings[] = {
      {300, 40, 70, {233, 196, 106}, 0.18}, {340, 120, 55, {244, 162, 97}, 0.16}, {40, 140, 60, {255, 255, 255}, 0.08}};
  for (const auto& C : Rings) {
    const double A = Coverage(X, Y, [&](double Px, double Py) { return std::hypot(Px - C.Cx, Py - C.Cy) < C.R; });
    Paint(P, C.Color, A * C.Alpha);
  }
  const double L = 150, T = 30, R = 250, B = 130;
  const double Frame = Coverage(X, Y, [&](double Px, double Py) {
    const bool Outer = Px > L && Px < R && Py > T && Py < B;
    const bool Inner = Px > L + 6 && Px < R - 6 && Py > T + 6 && Py < B - 6;
    return Outer && !Inner;
  });
  const double Inside =
      Coverage(X, Y, [&](double Px, double Py) { return Px > L + 6 && Px < R - 6 && Py > T + 6 && Py < B - 6; });
  Paint(P, {250, 250, 245}, Frame * 0.95);
  Paint(P, {168, 218, 220}, Inside * 0.9);
  const double Sun = Coverage(X, Y, [&](double Px, double Py) {
    return Px > L + 6 && Px < R - 6 && Py > T + 6 && Py < B - 6 && std::hypot(Px - 222, Py - 58) < 11;
  });
  Paint(P, {255, 183, 3}, Sun);
  const double Hills = Coverage(X, Y, [&](double Px, double Py) {
    if (!(Px > L + 6 && Px < R - 6 && Py > T + 6 && Py < B - 6))
      return false;
    const double Back = 95 - 30 * std::exp(-std::pow((Px - 185) / 22, 2));
    const double Front = 112 - 22 * std::exp(-std::pow((Px - 225) / 18, 2));
    return Py > std::min(Back, Front);
  });
  const double Front = Coverage(X, Y, [&](double Px, double Py) {
    if (!(Px > L + 6 && Px < R - 6 && Py > T + 6 && Py < B - 6))
      return false;
    return Py > 112 - 22 * std::exp(-std::pow((Px - 225) / 18, 2));
  });
  Paint(P, {38, 70, 83}, Hills);
  Paint(P, {29, 53, 87}, Front);
  return P;
}

std::unique_ptr<TDib> DrawSplash() {
  auto Dib = std::make_unique<TDib>(SplashWidth, SplashHeight, pf24bit);
  for (int32_t Y = 0; Y < SplashHeight; ++Y)
    for (int32_t X = 0; X < SplashWidth; ++X) {
      const TRgb C = SplashPixel(X, Y);
      Dib->SetPixelColor(X, Y, RGBClamped(int(std::lround(C.R)), int(std::lround(C.G)), int(std::lround(C.B))));
    }
  Dib->SetResolution(96);
  return Dib;
}

} // namespace

int main(int Argc, char** Argv) {
  if (Argc != 2) {
    std::fprintf(stderr, "usage: pelorin-splash-gen OUTPUT.png\n");
    return 2;
  }
  try {
    const auto Dib = DrawSplash();
    TPngWriter Writer;
    Writer.CompressionLevel = 9;
    Writer.Filters = pngAllFilters;
    Writer.CreateFile(Argv[1]);
    Writer.Write(*Dib);

    TPngReader Reader;
    Reader.Open(Argv[1]);
    Reader.Read();
    const TDib* Back = Reader.Dib;
    bool Same = Back && Back->Width() == Dib->Width() && Back->Height() == Dib->Height();
    for (int32_t Y = 0; Same && Y < Dib->Height(); ++Y)
      for (int32_t X = 0; Same && X < Dib->Width(); ++X)
        Same = Back->GetPixelColor(X, Y) == Dib->GetPixelColor(X, Y);
    if (!Same) {
      std::fprintf(stderr, "%s does not read back as drawn\n", Argv[1]);
      std::filesystem::remove(Argv[1]);
      return 1;
    }
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    std::filesystem::remove(Argv[1]);
    return 1;
  }
  return 0;
}
