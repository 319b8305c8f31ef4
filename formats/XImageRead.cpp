#include "XImageRead.h"

#include <stdexcept>

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
  return F;
}

void Collect(TImageRead& Read, const TImgReader& R) {
  if (const TTransparencyInfo* T = R.TransparencyRecord())
    Read.Transparency = *T;
  Read.Warning = R.Warning;
  Read.Texts = {R.Title, R.Author, R.Rights};
  Read.Facts = FactsOf(R);
  Read.Orientation = R.Orientation;
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
    Collect(Read, R);
    return Read;
  }
  if (OnBuffer) {
    TImageRead Header;
    Header.Format = Format;
    Header.FormatText = Text;
    Collect(Header, R);
    OnBuffer(Read.Dib, Header);
  }
  if (O.OnProgress)
    R.OnProgress = O.OnProgress;
  try {
    R.Read();
  } catch (...) {
    Read.Failure = std::current_exception();
  }
  Collect(Read, R);
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
  Collect(Read, *R);
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
