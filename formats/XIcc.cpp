#include "XIcc.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <lcms2.h>

#include "ByteOrder.h"
#include "XZlib.h"

namespace {

// Every call works in a context of its own: LittleCMS keeps its plug-ins
// and error handler there, and nothing is shared between threads.
struct TContext {
  cmsContext Id = cmsCreateContext(nullptr, nullptr);
  TContext() = default;
  TContext(const TContext&) = delete;
  TContext& operator=(const TContext&) = delete;
  ~TContext() {
    if (Id)
      cmsDeleteContext(Id);
  }
};

struct TProfileCloser {
  void operator()(void* P) const { cmsCloseProfile(P); }
};
struct TTransformDeleter {
  void operator()(void* T) const { cmsDeleteTransform(T); }
};
using TProfile = std::unique_ptr<void, TProfileCloser>;
using TTransform = std::unique_ptr<void, TTransformDeleter>;

constexpr size_t IccSignatureOffset = 36;
constexpr uint32_t IccSignature = 0x61637370; // "acsp"

// The header's own checks first: LittleCMS reads tags from where the
// directory points, and a profile that lies about its size is not one.
bool HeaderPlausible(std::span<const uint8_t> Profile) {
  if (Profile.size() < MinIccProfileSize || Profile.size() > MaxIccProfileSize)
    return false;
  const uint32_t Size = GetBE32(Profile.data());
  return Size >= MinIccProfileSize && Size <= Profile.size() &&
         GetBE32(Profile.data() + IccSignatureOffset) == IccSignature;
}

// The header's class and color fields, read as numbers: a hostile file's
// values need not be any of the library's enumerators, and loading them as
// its enum types would be undefined.
constexpr size_t IccClassOffset = 12, IccColorSpaceOffset = 16, IccPcsOffset = 20;

TIccModel ModelOf(std::span<const uint8_t> Profile) {
  switch (GetBE32(Profile.data() + IccClassOffset)) {
  case uint32_t(cmsSigInputClass):
  case uint32_t(cmsSigDisplayClass):
  case uint32_t(cmsSigOutputClass):
  case uint32_t(cmsSigColorSpaceClass): break;
  default: return TIccModel::None;
  }
  const uint32_t Pcs = GetBE32(Profile.data() + IccPcsOffset);
  if (Pcs != uint32_t(cmsSigXYZData) && Pcs != uint32_t(cmsSigLabData))
    return TIccModel::None;
  switch (GetBE32(Profile.data() + IccColorSpaceOffset)) {
  case uint32_t(cmsSigRgbData): return TIccModel::Rgb;
  case uint32_t(cmsSigGrayData): return TIccModel::Gray;
  case uint32_t(cmsSigCmykData): return TIccModel::Cmyk;
  default: return TIccModel::None;
  }
}

struct TOpened {
  TProfile Handle;
  TIccModel Model = TIccModel::None;
};

TOpened OpenProfile(const TContext& C, std::span<const uint8_t> Profile) {
  TOpened O;
  if (!C.Id || !HeaderPlausible(Profile))
    return O;
  O.Handle.reset(cmsOpenProfileFromMemTHR(C.Id, Profile.data(), cmsUInt32Number(Profile.size())));
  if (O.Handle)
    O.Model = ModelOf(Profile);
  return O;
}

// The profile's own intent where it has tables for it; perceptual else,
// which every profile LittleCMS opens can serve (matrix-shapers fall back).
cmsUInt32Number IntentOf(cmsHPROFILE H) {
  const cmsUInt32Number Own = cmsGetHeaderRenderingIntent(H);
  if (Own <= INTENT_ABSOLUTE_COLORIMETRIC && cmsIsIntentSupported(H, Own, LCMS_USED_AS_INPUT))
    return Own;
  return INTENT_PERCEPTUAL;
}

// LittleCMS compensates black points by itself for perceptual transforms
// into a version 4 profile, which its own sRGB is; that lifts the black of
// CMYK files above what every other program shows. As version 2 it converts
// like the sRGB profiles those programs use.
TProfile SrgbProfile(const TContext& C) {
  TProfile P(cmsCreate_sRGBProfileTHR(C.Id));
  if (P)
    cmsSetProfileVersion(P.get(), 2.1);
  return P;
}

TTransform MakeTransform(const TContext& C, cmsHPROFILE In, cmsUInt32Number InFormat, cmsHPROFILE Out,
                         cmsUInt32Number OutFormat) {
  return TTransform(cmsCreateTransformTHR(C.Id, In, InFormat, Out, OutFormat, IntentOf(In), 0));
}

std::string PrintableText(const char* Text) {
  std::string S;
  for (const char* P = Text; *P && S.size() < MaxIccDescription; ++P)
    S.push_back(uint8_t(*P) >= 0x20 && uint8_t(*P) < 0x7F ? *P : '?');
  S.erase(S.find_last_not_of(' ') + 1);
  return S;
}

std::string DescriptionOf(cmsHPROFILE H) {
  std::array<char, 256> Text{};
  if (cmsGetProfileInfoASCII(H, cmsInfoDescription, "en", "US", Text.data(), cmsUInt32Number(Text.size())) == 0)
    return {};
  Text.back() = 0;
  return PrintableText(Text.data());
}

bool IsIndexed(const TDib& Dib) { return Dib.PixelFormat() <= pf8bit; }

TIccOutcome ConvertRgb(const TContext& C, cmsHPROFILE In, TDib& Dib) {
  const TProfile Srgb = SrgbProfile(C);
  if (!Srgb)
    return TIccOutcome::Damaged;
  cmsUInt32Number Format = 0;
  switch (Dib.PixelFormat()) {
  case pf1bit:
  case pf4bit:
  case pf8bit: Format = TYPE_BGRA_8; break;
  case pf24bit: Format = TYPE_BGR_8; break;
  case pf32bit: Format = TYPE_RGBA_8; break;
  default: return TIccOutcome::Mismatch;
  }
  // The extra byte (palette reserve or alpha) is not copied, so in place it
  // stays as it was.
  const TTransform T = MakeTransform(C, In, Format, Srgb.get(), Format);
  if (!T)
    return TIccOutcome::Damaged;
  if (IsIndexed(Dib)) {
    uint8_t* P = Dib.PaletteEntries();
    cmsDoTransform(T.get(), P, P, cmsUInt32Number(Dib.PaletteSize()));
  } else {
    const cmsUInt32Number Stride = cmsUInt32Number(Dib.RowBytes());
    cmsDoTransformLineStride(T.get(), Dib.Bits(), Dib.Bits(), cmsUInt32Number(Dib.Width()),
                             cmsUInt32Number(Dib.Height()), Stride, Stride, 0, 0);
  }
  return TIccOutcome::Applied;
}

// The 256 gray levels through the profile to sRGB's tone curve, so that a
// gray image stays gray.
bool GrayTable(const TContext& C, cmsHPROFILE In, std::array<uint8_t, 256>& Table) {
  // sRGB's transfer function in the parametric form of type 4.
  const cmsFloat64Number Params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* Curve = cmsBuildParametricToneCurve(C.Id, 4, Params);
  if (!Curve)
    return false;
  const TProfile Out(cmsCreateGrayProfileTHR(C.Id, cmsD50_xyY(), Curve));
  cmsFreeToneCurve(Curve);
  if (!Out)
    return false;
  const TTransform T = MakeTransform(C, In, TYPE_GRAY_8, Out.get(), TYPE_GRAY_8);
  if (!T)
    return false;
  std::array<uint8_t, 256> Levels{};
  for (size_t I = 0; I < Levels.size(); ++I)
    Levels[I] = uint8_t(I);
  cmsDoTransform(T.get(), Levels.data(), Table.data(), cmsUInt32Number(Levels.size()));
  return true;
}

TIccOutcome ConvertGray(const TContext& C, cmsHPROFILE In, TDib& Dib) {
  const TPixelFormat Pf = Dib.PixelFormat();
  if (Pf != pf24bit && Pf != pf32bit && !IsIndexed(Dib))
    return TIccOutcome::Mismatch;
  std::array<uint8_t, 256> Table{};
  if (!GrayTable(C, In, Table))
    return TIccOutcome::Damaged;
  auto Map3 = [&Table](uint8_t* P) {
    P[0] = Table[P[0]];
    P[1] = Table[P[1]];
    P[2] = Table[P[2]];
  };
  if (IsIndexed(Dib)) {
    uint8_t* P = Dib.PaletteEntries();
    for (int32_t I = 0; I < Dib.PaletteSize(); ++I)
      Map3(P + 4 * I);
    return TIccOutcome::Applied;
  }
  const int32_t Step = Pf == pf24bit ? 3 : 4;
  for (int32_t Y = 0; Y < Dib.Height(); ++Y) {
    uint8_t* P = Dib.ScanLine(Y);
    for (int32_t X = 0; X < Dib.Width(); ++X, P += Step)
      Map3(P);
  }
  return TIccOutcome::Applied;
}

constexpr char IccSegmentName[] = "ICC_PROFILE";
constexpr size_t IccSegmentHead = sizeof IccSegmentName + 2;

} // namespace

TIccInfo InspectIccProfile(std::span<const uint8_t> Profile) {
  const TContext C;
  const TOpened O = OpenProfile(C, Profile);
  TIccInfo Info;
  if (O.Handle && O.Model != TIccModel::None) {
    Info.Model = O.Model;
    Info.Description = DescriptionOf(O.Handle.get());
  }
  return Info;
}

TIccOutcome ConvertToSrgb(TDib& Dib, std::span<const uint8_t> Profile, TIccModel Stored) {
  const TContext C;
  const TOpened O = OpenProfile(C, Profile);
  if (!O.Handle)
    return TIccOutcome::Damaged;
  // A sound profile of a kind we do not convert from (Lab, device links).
  if (O.Model != Stored)
    return TIccOutcome::Mismatch;
  switch (O.Model) {
  case TIccModel::Rgb: return ConvertRgb(C, O.Handle.get(), Dib);
  case TIccModel::Gray: return ConvertGray(C, O.Handle.get(), Dib);
  default: return TIccOutcome::Mismatch;
  }
}

// The context outlives the transform: members go in reverse order.
struct TIccCmykRows::TState {
  TContext Context;
  TTransform Transform;
};

TIccCmykRows::TIccCmykRows() = default;
TIccCmykRows::~TIccCmykRows() = default;

bool TIccCmykRows::Open(std::span<const uint8_t> Profile, bool Inverted) {
  FState.reset();
  auto S = std::make_unique<TState>();
  const TOpened O = OpenProfile(S->Context, Profile);
  if (!O.Handle || O.Model != TIccModel::Cmyk)
    return false;
  const TProfile Srgb = SrgbProfile(S->Context);
  if (!Srgb)
    return false;
  S->Transform =
      MakeTransform(S->Context, O.Handle.get(), Inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, Srgb.get(), TYPE_BGR_8);
  if (!S->Transform)
    return false;
  FState = std::move(S);
  return true;
}

void TIccCmykRows::Convert(const uint8_t* Cmyk, uint8_t* Bgr, uint32_t Pixels) const {
  cmsDoTransform(FState->Transform.get(), Cmyk, Bgr, Pixels);
}

bool IsIccSegment(std::span<const uint8_t> Segment) {
  return Segment.size() > IccSegmentHead && std::memcmp(Segment.data(), IccSegmentName, sizeof IccSegmentName) == 0;
}

TIccFound JoinIccSegments(const std::vector<std::span<const uint8_t>>& Segments, std::vector<uint8_t>& Profile) {
  Profile.clear();
  std::array<std::span<const uint8_t>, 256> Pieces{};
  std::array<bool, 256> Seen{};
  uint32_t Count = 0;
  size_t Total = 0;
  bool Any = false;
  for (const std::span<const uint8_t> S : Segments) {
    if (!IsIccSegment(S))
      continue;
    Any = true;
    const uint8_t Seq = S[sizeof IccSegmentName], N = S[sizeof IccSegmentName + 1];
    if (N == 0 || (Count != 0 && N != Count) || Seq == 0 || Seq > N || Seen[Seq])
      return TIccFound::Broken;
    Count = N;
    Seen[Seq] = true;
    Pieces[Seq] = S.subspan(IccSegmentHead);
    Total += Pieces[Seq].size();
    if (Total > MaxIccProfileSize)
      return TIccFound::Broken;
  }
  if (!Any)
    return TIccFound::None;
  for (uint32_t I = 1; I <= Count; ++I)
    if (!Seen[I])
      return TIccFound::Broken;
  Profile.reserve(Total);
  for (uint32_t I = 1; I <= Count; ++I)
    Profile.insert(Profile.end(), Pieces[I].begin(), Pieces[I].end());
  return TIccFound::Profile;
}

TIccFound ProfileOfIccpChunk(std::span<const uint8_t> Chunk, std::vector<uint8_t>& Profile, size_t Limit) {
  Profile.clear();
  constexpr size_t MaxName = 79, Piece = 65536;
  const auto Zero = std::find(Chunk.begin(), Chunk.begin() + std::min(Chunk.size(), MaxName + 1), uint8_t(0));
  const size_t NameLength = size_t(Zero - Chunk.begin());
  if (NameLength == 0 || NameLength > MaxName || NameLength + 2 > Chunk.size() || Chunk[NameLength + 1] != 0)
    return TIccFound::Broken;
  TInflateStream Z;
  if (!Z.Start())
    return TIccFound::Broken;
  const std::span<const uint8_t> Data = Chunk.subspan(NameLength + 2);
  Z.Feed(Data.data(), Data.size());
  while (!Z.Ended()) {
    const size_t Have = Profile.size(), InputBefore = Z.InputLeft();
    if (Have >= Limit)
      break;
    const size_t Room = std::min(Piece, Limit - Have);
    Profile.resize(Have + Room);
    size_t Written = 0;
    const bool Ok = Z.Inflate({Profile.data() + Have, Room}, Written);
    Profile.resize(Have + Written);
    // No progress without an end: the stream was cut short.
    if (!Ok || (Written == 0 && Z.InputLeft() == InputBefore && !Z.Ended()))
      break;
  }
  if (!Z.Ended()) {
    Profile.clear();
    return TIccFound::Broken;
  }
  return TIccFound::Profile;
}
