#include "XImageRead.h"

#include <stdexcept>

#include "XIcc.h"

namespace {

TImageFacts FactsOf(const TImgReader& R) {
  TImageFacts F;
  F.Width = R.Width;
  F.Height = R.Height;
  F.PixelFormat = R.PixelFormat;
  F.PaletteSize = R.PaletteSize;
  F.IsGray = R.IsGray;
  F.ColorFormat = R.ColorFormat;
  F.SourceSamples = R.ColorManager.SourceSamples;
  F.SourceBits = R.ColorManager.SourceBits;
  F.Compression = R.Compression;
  F.Resolution = R.Resolution;
  F.Interlaced = R.Interlaced;
  F.HasAlpha = R.HasAlpha;
  F.FileSize = R.FileSize;
  F.FileDate = R.FileDate;
  F.Orientation = R.Orientation;
  return F;
}

void Collect(TImageRead& Read, const TImgReader& R, const TReadOptions& O) {
  if (const TTransparencyInfo* T = R.TransparencyRecord())
    Read.Transparency = *T;
  Read.Warning = R.Warning;
  Read.Texts = {R.Title, R.Author, R.Rights};
  Read.Facts = FactsOf(R);
  // The facts keep the tag either way, for the info window.
  Read.Orientation = O.ApplyOrientation ? R.Orientation : 0;
  Read.Facts.OrientationApplied = OrientationStep(Read.Orientation) != TOrientationStep{};
}

// The colors the reader's samples were in, which an embedded profile must
// describe; None for spaces no profile applies to.
TIccModel StoredModel(const TImgReader& R) {
  switch (R.ColorManager.SourceFormat) {
  case cfGray:
  case cfGrayAlpha: return TIccModel::Gray;
  case cfCMYK:
  case cfCMYKA: return TIccModel::Cmyk;
  case cfCIELab:
  case cfCIELabA:
  case cfLogLuv:
  case cfLogL:
  case cfPhotoYCC: return TIccModel::None;
  default: return R.IsGray ? TIccModel::Gray : TIccModel::Rgb;
  }
}

struct TProfileFacts {
  std::string Description;
  bool Applied = false;
};

// A profile that cannot be used leaves the pixels as stored and a warning;
// it never fails the read.
TProfileFacts ApplyEmbeddedProfile(TImgReader& R, TDib* Dib, const TReadOptions& O) {
  TProfileFacts F;
  if (R.IccBroken) {
    if (O.ApplyProfile)
      R.SetWarning(IccDamagedText);
    return F;
  }
  if (R.IccProfile.empty())
    return F;
  const TIccInfo Info = InspectIccProfile(R.IccProfile);
  F.Description = Info.Description;
  F.Applied = R.IccApplied;
  if (F.Applied || !O.ApplyProfile || !Dib)
    return F;
  const TIccModel Stored = StoredModel(R);
  // CMYK samples only exist inside the reader; one that could not use the
  // profile there has nothing left to convert. Lab and LogLuv samples were
  // made colorimetric by the reader already.
  if ((Info.Model == TIccModel::Cmyk && Stored == TIccModel::Cmyk) || Stored == TIccModel::None)
    return F;
  switch (ConvertToSrgb(*Dib, R.IccProfile, Stored)) {
  case TIccOutcome::Applied: F.Applied = true; break;
  case TIccOutcome::Damaged: R.SetWarning(IccDamagedText); break;
  case TIccOutcome::Mismatch: R.SetWarning(IccMismatchText); break;
  }
  return F;
}

void SetProfileFacts(TImageFacts& Facts, const TProfileFacts& P) {
  Facts.Profile = P.Description;
  Facts.ProfileApplied = P.Applied;
}

// After Open. The buffer exists before the rows are read, so that a file too
// large for memory fails before the caller gives anything up for it.
TImageRead ReadOpened(TImgReader& R, int32_t Format, const std::string& Text, const TReadOptions& O,
                      const TBufferEvent& OnBuffer) {
  TImageRead Read;
  Read.Format = Format;
  Read.FormatText = Text;
  R.AlphaEnabled = O.AlphaEnabled;
  try {
    R.CreateDib();
    Read.Dib = R.TakeDib();
  } catch (...) {
    Read.Failure = std::current_exception();
    Collect(Read, R, O);
    return Read;
  }
  // The caller may take the buffer over; the rows, and then the profile's
  // colors, still go into it.
  TDib* const Target = Read.Dib.get();
  if (OnBuffer) {
    TImageRead Header;
    Header.Format = Format;
    Header.FormatText = Text;
    Collect(Header, R, O);
    OnBuffer(Read.Dib, Header);
  }
  if (O.OnProgress)
    R.OnProgress = O.OnProgress;
  R.ApplyProfile = O.ApplyProfile;
  try {
    R.Read();
  } catch (...) {
    Read.Failure = std::current_exception();
  }
  // Rows read before a failure are shown, so they get their colors too.
  const TProfileFacts Profile = ApplyEmbeddedProfile(R, Target, O);
  Collect(Read, R, O);
  SetProfileFacts(Read.Facts, Profile);
  return Read;
}

std::unique_ptr<TImgReader> OpenReader(const std::filesystem::path& Name, int32_t Format, const TReadOptions& O) {
  std::unique_ptr<TImgReader> R = NewReader(Format, O);
  if (!R)
    throw std::runtime_error(std::string(NotSupportedText) + ":\n" + Name.string());
  R->Open(Name);
  return R;
}

} // namespace

TImageRead ReadImageFile(const std::filesystem::path& Name, const TReadOptions& O, const TBufferEvent& OnBuffer) {
  const std::string Path = Name.string();
  const int32_t Format = FormatOfFile(Path);
  const std::unique_ptr<TImgReader> R = OpenReader(Name, Format, O);
  return ReadOpened(*R, Format, DetailedFormatText(Format, *R, Path), O, OnBuffer);
}

TImageRead ReadImageHeader(const std::filesystem::path& Name, const TReadOptions& O) {
  const std::string Path = Name.string();
  const int32_t Format = FormatOfFile(Path);
  const std::unique_ptr<TImgReader> R = OpenReader(Name, Format, O);
  TImageRead Read;
  Read.Format = Format;
  Read.FormatText = DetailedFormatText(Format, *R, Path);
  Collect(Read, *R, O);
  if (!R->IccProfile.empty())
    Read.Facts.Profile = InspectIccProfile(R->IccProfile).Description;
  return Read;
}

TImageRead ReadImageWith(TImgReader& Reader, const std::filesystem::path& Name, const TReadOptions& O) {
  Reader.Open(Name);
  return ReadOpened(Reader, fmtUnknown, {}, O, {});
}

TImageRead ReadImageWith(TImgReader& Reader, std::span<const uint8_t> Data, const TReadOptions& O) {
  Reader.OpenMemory(Data);
  return ReadOpened(Reader, fmtUnknown, {}, O, {});
}

TOrientationStep OrientationStep(uint16_t Orientation) {
  constexpr int32_t None = 0, UpDown = 1, LeftRight = 2;
  switch (Orientation) {
  case 2: return {LeftRight, 0};
  case 3: return {None, 180};
  case 4: return {UpDown, 0};
  // Row 0 stands at the left, column 0 at the top: the transpose.
  case 5: return {UpDown, 90};
  // Row 0 stands at the right, column 0 at the top.
  case 6: return {None, 90};
  case 7: return {UpDown, 270};
  case 8: return {None, 270};
  default: return {};
  }
}

void ApplyOrientation(TDib& Dib, TOrientationStep Step) {
  if (Step.Mirror == 1)
    Dib.MirrorUpDown();
  else if (Step.Mirror == 2)
    Dib.MirrorLeftRight();
  if (Step.Angle > 0)
    Dib.Rotate(Step.Angle);
}
