#include "ConvertEdits.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <functional>

#include "DibFilter.h"
#include "DibResample.h"
#include "DibTune.h"
#include "PeQuant.h"

namespace {

using TEdit = std::function<void(std::unique_ptr<TDib>&)>;

std::vector<TEdit> Edits;
int32_t ResizeFilter = rfSpline;

// "WxH" with both sides 1..MaxResizeSide.
bool ParseSize(const std::string& V, int32_t& W, int32_t& H) {
  const size_t X = V.find_first_of("xX");
  if (X == std::string::npos)
    return false;
  auto Side = [](const std::string& S, int32_t& N) {
    if (S.empty() || S.size() > 4)
      return false;
    N = 0;
    for (char C : S) {
      if (!std::isdigit(static_cast<unsigned char>(C)))
        return false;
      N = N * 10 + (C - '0');
    }
    return N >= 1 && N <= MaxResizeSide;
  };
  return Side(V.substr(0, X), W) && Side(V.substr(X + 1), H);
}

// A whole number in Lo..Hi, with an optional sign.
bool ParseInt(const std::string& V, int32_t Lo, int32_t Hi, int32_t& N) {
  size_t K = V.empty() || (V[0] != '-' && V[0] != '+') ? 0 : 1;
  if (K == V.size() || V.size() - K > 6)
    return false;
  int32_t M = 0;
  for (size_t I = K; I < V.size(); ++I) {
    if (!std::isdigit(static_cast<unsigned char>(V[I])))
      return false;
    M = M * 10 + (V[I] - '0');
  }
  N = V[0] == '-' ? -M : M;
  return N >= Lo && N <= Hi;
}

// A decimal with at most two digits after the point, in hundredths.
bool ParseHundredths(const std::string& V, int32_t Lo, int32_t Hi, int32_t& N) {
  const size_t Dot = V.find('.');
  std::string Whole = V.substr(0, Dot), Frac = Dot == std::string::npos ? "" : V.substr(Dot + 1);
  if (Frac.size() > 2 || (Whole.empty() && Frac.empty()) || (!Whole.empty() && !std::isdigit(uint8_t(Whole[0]))))
    return false;
  Frac.resize(2, '0');
  return ParseInt((Whole.empty() ? "0" : Whole) + Frac, Lo, Hi, N);
}

std::vector<std::string> SplitList(const std::string& V, char Sep = ',') {
  std::vector<std::string> Parts;
  size_t Start = 0;
  for (size_t At; (At = V.find(Sep, Start)) != std::string::npos; Start = At + 1)
    Parts.push_back(V.substr(Start, At - Start));
  Parts.push_back(V.substr(Start));
  return Parts;
}

// One value for all three channels or three for red, green and blue.
using TChannels = std::array<int32_t, 3>;
template <class TParse>
TChannels ParseChannels(const std::string& Option, const std::string& V, TParse Parse) {
  const std::vector<std::string> Parts = SplitList(V);
  TChannels C{};
  if (Parts.size() != 1 && Parts.size() != 3)
    throw EUsage(Option + " takes one value or three (red,green,blue)");
  for (size_t I = 0; I < 3; ++I)
    if (!Parse(Parts[Parts.size() == 1 ? 0 : I], C[I]))
      throw EUsage(Option + " value out of range: " + V);
  return C;
}

// The brightness, contrast and gamma dialog's values: one edit, at the
// place of the first of its options.
struct TRgbTune {
  TChannels Brightness{0, 0, 0}, Contrast{100, 100, 100}, Gamma{100, 100, 100};
  bool Added = false;
} RgbTune;

struct THlsTune {
  THlsShift Shift;
  bool Added = false;
} HlsTune;

void AddRgbTune() {
  if (RgbTune.Added)
    return;
  RgbTune.Added = true;
  Edits.push_back([](std::unique_ptr<TDib>& Dib) {
    TLut L[3];
    for (size_t C = 0; C < 3; ++C)
      L[C] = ChannelTable(RgbTune.Brightness[C], RgbTune.Contrast[C], GammaTable(RgbTune.Gamma[C]));
    ApplyTables(*Dib, L[0], L[1], L[2]);
  });
}

void AddHlsTune() {
  if (HlsTune.Added)
    return;
  HlsTune.Added = true;
  Edits.push_back([](std::unique_ptr<TDib>& Dib) { ApplyHls(*Dib, HlsTune.Shift); });
}

void AddLevels(const std::string& V) {
  const std::vector<std::string> Parts = SplitList(V);
  if (Parts.size() != 2 && Parts.size() != 6)
    throw EUsage("--levels takes LOW,HIGH or three pairs (red, green, blue)");
  TLut L[3];
  for (size_t C = 0; C < 3; ++C) {
    const size_t K = Parts.size() == 2 ? 0 : 2 * C;
    int32_t Lo = 0, Hi = 0;
    if (!ParseInt(Parts[K], 0, 254, Lo) || !ParseInt(Parts[K + 1], 1, 255, Hi) || Lo >= Hi)
      throw EUsage("--levels needs 0 <= LOW < HIGH <= 255: " + V);
    L[C] = LevelsTable(Lo, Hi);
  }
  Edits.push_back([L0 = L[0], L1 = L[1], L2 = L[2]](std::unique_ptr<TDib>& Dib) { ApplyTables(*Dib, L0, L1, L2); });
}

// NAME[:STRENGTH[:PARAM]]: strength as the dialog's slider (default 50),
// the radius 1..3 of average and blur or the direction 0..7 of emboss.
void AddFilter(const std::string& V) {
  const std::vector<std::string> Parts = SplitList(V, ':');
  const TFilterInfo* F = Parts.size() <= 3 ? FindFilterByName(Parts[0].c_str()) : nullptr;
  if (!F)
    throw EUsage("--filter-op takes average, blur, gaussian, bartlett, sharpen, edge, contour, emboss, glow, "
                 "solarize or posterize, then :STRENGTH and for average, blur and emboss :PARAM");
  const int32_t MinStrength = F->No == fnEmboss ? 10 : 1, MaxStrength = F->No == fnPosterize ? 128 : 100;
  const bool Radius = F->No == fnAverage || F->No == fnBlur, Direction = F->No == fnEmboss;
  int32_t Strength = 50, Param = Radius ? 1 : 0;
  if (Parts.size() > 1 && !ParseInt(Parts[1], MinStrength, MaxStrength, Strength))
    throw EUsage("--filter-op " + Parts[0] + " takes a strength of " + std::to_string(MinStrength) + " to " +
                 std::to_string(MaxStrength));
  if (Parts.size() > 2 && (!(Radius || Direction) || !ParseInt(Parts[2], Radius ? 1 : 0, Radius ? 3 : 7, Param)))
    throw EUsage("--filter-op: a radius 1 to 3 for average and blur, a direction 0 to 7 for emboss");
  Edits.push_back([No = F->No, Param, Strength](std::unique_ptr<TDib>& Dib) {
    if (!FilterHandles(*Dib))
      throw std::runtime_error("filters need a true-color or gray image");
    ApplyFilter(*Dib, *Dib, No, Param, Strength);
  });
}

// The conversions to palette images: --dither and --quantizer are settings
// of the conversion they stand with, read when it runs.
struct TConvertChoice {
  int32_t Diffusion = -1; // -1: the conversion's default
  int32_t Quantizer = 2;  // median cut of 6 bits
} Conversion;

const char* const DitherNames[] = {"none", "floyd", "stucki", "sierra", "jarvis"};

void AddColors(const std::string& V) {
  int32_t N = 0;
  if (!ParseInt(V, 2, 256, N))
    throw EUsage("--colors takes 2 to 256");
  Edits.push_back([N](std::unique_ptr<TDib>& Dib) {
    std::unique_ptr<TDib> Out;
    const int32_t Diffusion = Conversion.Diffusion < 0 ? 1 : Conversion.Diffusion;
    if (!ConvertToIndexed(*Dib, Out, N, Diffusion, 5, Conversion.Quantizer) || !Out)
      throw std::runtime_error("the conversion to indexed colors failed");
    Dib = std::move(Out);
  });
}

void AddGray(const std::string& V) {
  int32_t N = 0;
  if (!ParseInt(V, 2, 256, N))
    throw EUsage("--gray takes 2 to 256 levels");
  // The CIE weights, the conversion dialog's default.
  Edits.push_back([N](std::unique_ptr<TDib>& Dib) {
    std::unique_ptr<TDib> Out;
    ConvertToGray(*Dib, Out, N, Conversion.Diffusion < 0 ? 0 : Conversion.Diffusion, 7, 72, 21);
    if (!Out)
      throw std::runtime_error("the conversion to gray levels failed");
    Dib = std::move(Out);
  });
}

// X,Y,W,H: the rectangle is clipped to each image; one that misses it fails.
void AddCrop(const std::string& V) {
  const std::vector<std::string> Parts = SplitList(V);
  int32_t R[4] = {};
  if (Parts.size() != 4)
    throw EUsage("--crop takes X,Y,WIDTH,HEIGHT");
  for (size_t K = 0; K < 4; ++K)
    if (!ParseInt(Parts[K], K < 2 ? 0 : 1, 999999, R[K]))
      throw EUsage("--crop needs X,Y from 0 and WIDTH,HEIGHT from 1: " + V);
  Edits.push_back([X = R[0], Y = R[1], W = R[2], H = R[3]](std::unique_ptr<TDib>& Dib) {
    if (X >= Dib->Width() || Y >= Dib->Height())
      throw std::runtime_error("the crop rectangle lies outside the " + std::to_string(Dib->Width()) + "x" +
                               std::to_string(Dib->Height()) + " image");
    Dib->Crop(X, Y, std::min(W, Dib->Width() - X), std::min(H, Dib->Height() - Y));
  });
}

bool TakeConvertOption(const std::vector<std::string>& Args, size_t& I) {
  const std::string& A = Args[I];
  if (A == "--colors") {
    AddColors(ValueOf(Args, I));
  } else if (A == "--gray") {
    AddGray(ValueOf(Args, I));
  } else if (A == "--quantizer") {
    const std::string& V = ValueOf(Args, I);
    if (V != "median" && V != "neural")
      throw EUsage("--quantizer takes median or neural");
    Conversion.Quantizer = V == "median" ? 2 : 4;
  } else if (A == "--dither") {
    const std::string& V = ValueOf(Args, I);
    const auto* It = std::find(std::begin(DitherNames), std::end(DitherNames), V);
    if (It == std::end(DitherNames))
      throw EUsage("--dither takes none, floyd, stucki, sierra or jarvis");
    Conversion.Diffusion = int32_t(It - std::begin(DitherNames));
  } else {
    return false;
  }
  return true;
}

bool TakeTuneOption(const std::vector<std::string>& Args, size_t& I) {
  const std::string& A = Args[I];
  auto Int = [](int32_t Lo, int32_t Hi) {
    return [Lo, Hi](const std::string& V, int32_t& N) { return ParseInt(V, Lo, Hi, N); };
  };
  int32_t N = 0;
  if (A == "--brightness") {
    RgbTune.Brightness = ParseChannels(A, ValueOf(Args, I), Int(-127, 127));
    AddRgbTune();
  } else if (A == "--contrast") {
    RgbTune.Contrast = ParseChannels(A, ValueOf(Args, I), Int(0, 400));
    AddRgbTune();
  } else if (A == "--gamma") {
    RgbTune.Gamma = ParseChannels(A, ValueOf(Args, I),
                                  [](const std::string& V, int32_t& P) { return ParseHundredths(V, 1, 400, P); });
    AddRgbTune();
  } else if (A == "--hue" || A == "--lightness" || A == "--saturation") {
    const bool Hue = A == "--hue";
    if (!ParseInt(ValueOf(Args, I), Hue ? -180 : 0, Hue ? 180 : 200, N))
      throw EUsage(A + (Hue ? " takes -180 to 180" : " takes 0 to 200"));
    (Hue ? HlsTune.Shift.Hue : A == "--lightness" ? HlsTune.Shift.Lightness : HlsTune.Shift.Saturation) = N;
    AddHlsTune();
  } else if (A == "--levels") {
    AddLevels(ValueOf(Args, I));
  } else if (A == "--filter-op") {
    AddFilter(ValueOf(Args, I));
  } else {
    return false;
  }
  return true;
}

} // namespace

const char* const EditUsage = "Edits, applied in the order given: --crop X,Y,W,H keeps that rectangle (clipped\n"
                              "to the image); --resize WxH (1..9999 each) with --filter\n"
                              "box|triangle|hermite|bell|spline|mitchell|lanczos (default spline).\n"
                              "--brightness B (-127..127), --contrast C (0..400, 100 leaves it), --gamma G\n"
                              "(0.01..4.00), each one value or R,G,B, together as one edit; --hue H (-180..180\n"
                              "degrees), --lightness L and --saturation S (0..200 percent) as one edit;\n"
                              "--levels LOW,HIGH (0..255) or three pairs for red, green and blue.\n"
                              "--filter-op average|blur|gaussian|bartlett|sharpen|edge|contour|emboss|glow|\n"
                              "solarize|posterize[:STRENGTH[:PARAM]]: strength 1..100 (emboss 10..100, posterize\n"
                              "1..128; default 50), PARAM the radius 1..3 of average and blur (default 1) or the\n"
                              "direction 0..7 of emboss (default 0).\n"
                              "--colors N (2..256) converts to N adaptive colors with --quantizer median (median\n"
                              "cut, 6 bits; default) or neural (quick learning); --gray N (2..256) to N gray\n"
                              "levels (CIE weights); --dither none|floyd|stucki|sierra|jarvis (default floyd for\n"
                              "colors, none for gray).\n";

const std::string& ValueOf(const std::vector<std::string>& Args, size_t& I) {
  if (I + 1 >= Args.size())
    throw EUsage(Args[I] + " needs a value");
  return Args[++I];
}

bool TakeEditOption(const std::vector<std::string>& Args, size_t& I) {
  const std::string& A = Args[I];
  if (TakeTuneOption(Args, I) || TakeConvertOption(Args, I))
    return true;
  if (A == "--crop") {
    AddCrop(ValueOf(Args, I));
  } else if (A == "--resize") {
    int32_t W = 0, H = 0;
    if (!ParseSize(ValueOf(Args, I), W, H))
      throw EUsage("--resize takes WIDTHxHEIGHT, each 1 to 9999");
    Edits.push_back([W, H](std::unique_ptr<TDib>& Dib) {
      if (!ResizeSizeAllowed(W, H, Dib->PixelFormat()))
        throw std::runtime_error("the resized image would be too large");
      ResizeBuffer(W, H, ResizeFilter, Dib);
    });
  } else if (A == "--filter") {
    const int32_t F = FilterByName(ValueOf(Args, I).c_str());
    if (F < 0)
      throw EUsage("--filter takes box, triangle, hermite, bell, spline, mitchell or lanczos");
    ResizeFilter = F;
  } else {
    return false;
  }
  return true;
}

void ApplyEdits(std::unique_ptr<TDib>& Dib) {
  for (const TEdit& E : Edits)
    E(Dib);
}
