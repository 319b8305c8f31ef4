#include "PeQuant.h"

#include <cstring>

namespace {

constexpr int32_t ProgressRows = 16;
constexpr uint8_t RampFlag = 4;

constexpr TPalEntry Hex(uint32_t Rgb, uint8_t Flag = 0) {
  return {uint8_t(Rgb >> 16), uint8_t(Rgb >> 8), uint8_t(Rgb), Flag};
}

constexpr std::array<TPalEntry, 20> Default20{
    Hex(0x000000), Hex(0x800000), Hex(0x008000), Hex(0x808000), Hex(0x000080), Hex(0x800080), Hex(0x008080),
    Hex(0xC0C0C0), Hex(0xC0DCC0), Hex(0xA6CAF0), Hex(0xFFFBF0), Hex(0xA0A0A4), Hex(0x808080), Hex(0xFF0000),
    Hex(0x00FF00), Hex(0xFFFF00), Hex(0x0000FF), Hex(0xFF00FF), Hex(0x00FFFF), Hex(0xFFFFFF)};

// 255 x (36 k / 255)^(5/6) and 255 x (84 k / 255)^(5/6), rounded: finer
// steps in the dark, where the eye tells levels apart best.
constexpr uint8_t Levels8[8] = {0, 50, 89, 125, 158, 191, 222, 252};
constexpr uint8_t Levels4[4] = {0, 101, 180, 252};

// Num / Den rounded to nearest, ties to even.
int32_t RoundedQuotient(int32_t Num, int32_t Den) {
  const int32_t Q = Num / Den, R2 = 2 * (Num % Den);
  return R2 > Den || (R2 == Den && (Q & 1)) ? Q + 1 : Q;
}

bool AllGray(const TPalette& Palette, int32_t Count) {
  for (int32_t I = 0; I < Count; ++I) {
    const TPalEntry& E = Palette[size_t(I)];
    if (E.R != E.G || E.G != E.B)
      return false;
  }
  return true;
}

TPixelFormat IndexedFormat(int32_t Count) { return Count >= 17 ? pf8bit : Count < 3 ? pf1bit : pf4bit; }

std::unique_ptr<TDib> MakeDestination(const TDib& Src, TPixelFormat Pf, const TPalette& Palette, int32_t Count) {
  auto D = std::make_unique<TDib>(Src.Width(), Src.Height(), Pf);
  D->CopyAttributes(Src);
  for (int32_t I = 0; I < D->PaletteSize(); ++I) {
    const TPalEntry E = I < Count ? Palette[size_t(I)] : TPalEntry{};
    D->SetPaletteColor(I, RGBColor(E.R, E.G, E.B));
  }
  return D;
}

std::unique_ptr<TColorQuantizer> MakeQuantizer(int32_t Quantizer, int32_t Colors) {
  switch (Quantizer) {
  case qkMedianCut5: return std::make_unique<TMcaQuantizer>(Colors, 5);
  case qkMedianCut6: return std::make_unique<TMcaQuantizer>(Colors, 6);
  case qkNeuQuantSlow: return std::make_unique<TNeuQuantizer>(Colors, 1);
  case qkNeuQuantQuick: return std::make_unique<TNeuQuantizer>(Colors, 4);
  }
  return nullptr;
}

// The quantizer may settle for fewer colors than asked (an image with fewer
// distinct colors); the palette then has that many entries.
TPalette AdaptivePalette(TColorQuantizer& Q, const TDib& Src) {
  Q.ProcessImage(Src);
  TPalette P(size_t(std::max(Q.Colors, 0)));
  Q.MakePalette(P);
  P.resize(size_t(std::max(Q.Colors, 0)));
  return P;
}

// The palette of the kind, or false for an unknown kind or quantizer.
bool BuildPalette(const TDib& Src, int32_t Colors, int32_t Kind, int32_t Quantizer, TPalette& Palette) {
  switch (Kind) {
  case pkSystem16: Palette = SystemPalette16(); return true;
  case pkWeb216: Palette = WebPalette216(); return true;
  case pkQuantized256: Palette = QuantizedPalette256(); return true;
  case pkAdaptive:
  case pkSystem20Adaptive: break;
  default: return false;
  }
  auto Q = MakeQuantizer(Quantizer, Kind == pkAdaptive ? std::clamp(Colors, 1, 256) : 236);
  if (!Q)
    return false;
  const TPalette Adaptive = AdaptivePalette(*Q, Src);
  if (Kind == pkAdaptive) {
    Palette = Adaptive;
    return true;
  }
  // Entries a smaller adaptive palette leaves free stay black.
  Palette.assign(256, TPalEntry{});
  std::copy_n(Default20.begin(), 10, Palette.begin());
  std::copy_n(Adaptive.begin(), std::min<size_t>(Adaptive.size(), 236), Palette.begin() + 10);
  std::copy_n(Default20.begin() + 10, 10, Palette.begin() + 246);
  return true;
}

} // namespace

TPalette SystemPalette20() { return {Default20.begin(), Default20.end()}; }

TPalette SystemPalette16() {
  TPalette P(Default20.begin(), Default20.begin() + 8);
  P.insert(P.end(), Default20.begin() + 12, Default20.end());
  return P;
}

TPalette WebPalette216() {
  TPalette P;
  P.reserve(216);
  for (int32_t R = 0; R < 6; ++R)
    for (int32_t G = 0; G < 6; ++G)
      for (int32_t B = 0; B < 6; ++B)
        P.push_back({uint8_t(51 * R), uint8_t(51 * G), uint8_t(51 * B), 0});
  return P;
}

TPalette QuantizedPalette256() {
  TPalette P;
  P.reserve(256);
  for (int32_t B = 0; B < 4; ++B)
    for (int32_t G = 0; G < 8; ++G)
      for (int32_t R = 0; R < 8; ++R)
        P.push_back({Levels8[R], Levels8[G], Levels4[B], 0});
  return P;
}

TPalette GrayRamp(int32_t Levels) {
  if (Levels < 3)
    return {Hex(0x000000, RampFlag), Hex(0xFFFFFF, RampFlag)};
  Levels = std::min(Levels, 256);
  TPalette P(static_cast<size_t>(Levels));
  for (int32_t I = 0; I < Levels; ++I) {
    const auto V = uint8_t(Levels == 256 ? I : RoundedQuotient(I * 255, Levels - 1));
    P[size_t(I)] = {V, V, V, RampFlag};
  }
  return P;
}

TGrayChannels::TGrayChannels(int32_t ALevels, const TPalette& GrayPalette) {
  const int32_t Entries = int32_t(std::min<size_t>(GrayPalette.size(), 256));
  FLevels = std::clamp(ALevels, 1, std::max(Entries, 1));
  for (int32_t I = 0; I < Entries; ++I)
    FValues[size_t(I)] = GrayPalette[size_t(I)].G;
}

void TGrayChannels::SetWeights(int32_t R, int32_t G, int32_t B) {
  FWeightR = R;
  FWeightG = G;
  FWeightB = B;
  FWeightSum = R + G + B == 0 ? 1 : R + G + B;
}

void PutIndexRow(TDib& Dst, int32_t Y, const uint8_t* Indexes) {
  uint8_t* Row = Dst.ScanLine(Y);
  const int32_t W = Dst.Width();
  switch (Dst.PixelFormat()) {
  case pf1bit:
    for (int32_t X = 0; X < W; ++X)
      Set1(Row, X, Indexes[X]);
    break;
  case pf4bit:
    for (int32_t X = 0; X < W; ++X)
      Set4(Row, X, Indexes[X]);
    break;
  case pf8bit: std::memcpy(Row, Indexes, size_t(W)); break;
  default: break;
  }
}

void ReportRows(const TConvertProgress& Progress, int32_t Done, int32_t Rows) {
  if (Progress && (Done % ProgressRows == 0 || Done == Rows))
    Progress(Done, Rows);
}

bool ConvertToIndexed(const TDib& Src, std::unique_ptr<TDib>& Dst, int32_t Colors, int32_t Diffusion,
                      int32_t PaletteKind, int32_t Quantizer, const TConvertProgress& Progress) {
  TPalette Palette;
  if (!BuildPalette(Src, Colors, PaletteKind, Quantizer, Palette))
    return false;
  const auto Count = int32_t(Palette.size());
  auto D = MakeDestination(Src, IndexedFormat(Count), Palette, Count);
  // A gray source stays flagged gray only while its palette is all gray.
  D->IsGray = Src.IsGray && AllGray(Palette, Count);
  const bool Exact = PaletteKind == pkSystem16 || (PaletteKind == pkAdaptive && Count < 17);
  if (Exact) {
    TSlowColorLookup Lookup(Palette, Count);
    DitherWith(Diffusion, TColorChannels<TSlowColorLookup>(Lookup), Src, *D, Progress);
  } else {
    TFastColorLookup Lookup(Palette, Count);
    DitherWith(Diffusion, TColorChannels<TFastColorLookup>(Lookup), Src, *D, Progress);
  }
  Dst = std::move(D);
  return true;
}

void ConvertToGray(const TDib& Src, std::unique_ptr<TDib>& Dst, int32_t Levels, int32_t Diffusion, int32_t WeightB,
                   int32_t WeightG, int32_t WeightR, const TConvertProgress& Progress) {
  const int32_t N = Levels < 3 ? 2 : std::min(Levels, 256);
  const TPalette Ramp = GrayRamp(N);
  const TPixelFormat Pf = N < 3 ? pf1bit : N < 17 ? pf4bit : pf8bit;
  auto D = MakeDestination(Src, Pf, Ramp, N);
  if (N == 256 || N == 16 || N == 2)
    D->MakeGrayPalette();
  // Every entry is gray, the unused black ones too, whatever the level count.
  D->IsGray = true;
  TGrayChannels Channels(N, Ramp);
  Channels.SetWeights(WeightR, WeightG, WeightB);
  DitherWith(N == 256 ? int32_t(dfNone) : Diffusion, Channels, Src, *D, Progress);
  Dst = std::move(D);
}
