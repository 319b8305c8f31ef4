#include "XJpg.h"

#include <algorithm>
#include <array>

#include "XExif.h"
#include "XIcc.h"

namespace {

constexpr uint8_t CompressionDCT = 8;
constexpr uint8_t CompressionDCTProgressive = 9;

// A JPEG file may claim far more pixels than its bytes describe (a cut-off
// file still loads). Allowed are a generous number of pixels per file byte,
// beyond what baseline encoders reach, and any small image.
constexpr int64_t PixelsPerFileByte = 1024;
constexpr int64_t PixelAllowance = int64_t(1) << 20;

constexpr uint32_t MaxRowsPerCall = 16;

// The orientation of the first Exif segment; later ones are copies that
// editors left behind.
uint16_t OrientationOfMarkers(const jpeg_decompress_struct& D) {
  for (jpeg_saved_marker_ptr M = D.marker_list; M; M = M->next) {
    const std::span<const uint8_t> Data(M->data, M->data_length);
    if (M->marker == JPEG_APP0 + 1 && IsExifSegment(Data))
      return ExifOrientation(Data);
  }
  return 0;
}

// The ICC profile spread over the APP2 segments.
void GatherProfile(const jpeg_decompress_struct& D, TImgReader& R) {
  std::vector<std::span<const uint8_t>> Segments;
  for (jpeg_saved_marker_ptr M = D.marker_list; M; M = M->next)
    if (M->marker == JPEG_APP0 + 2)
      Segments.emplace_back(M->data, M->data_length);
  R.IccBroken = JoinIccSegments(Segments, R.IccProfile) == TIccFound::Broken;
}

} // namespace

TJpgReader::TJpgReader() { FormatName = "JPG"; }

void TJpgReader::ReadHeader() {
  FormatName = "JPG";
  FOptions = TJpegDecodeOptions{};
  TJpegContext C;
  C.ErrorText = ImgMsg::InvalidHeader;
  C.KeepWarnings = true;
  TJpegDecodeOptions HeaderOptions = FOptions;
  HeaderOptions.SavedMarkers |= JpegSaveApp1;
  HeaderOptions.SavedMarkers |= JpegSaveApp2;
  JpegSetupDecompress(*this, C, *Stream, HeaderOptions);
  const jpeg_decompress_struct& D = C.Decompress;
  GatherProfile(D, *this);
  Orientation = OrientationOfMarkers(D);
  Width = int32_t(D.image_width);
  Height = int32_t(D.image_height);

  IsGray = false;
  PixelFormat = pf24bit;
  switch (D.jpeg_color_space) {
  case JCS_GRAYSCALE:
    IsGray = true;
    PixelFormat = pf8bit;
    ColorManager.SetSource(cfGray, 1, 8);
    ColorFormat = cfGray;
    break;
  case JCS_RGB:
    ColorManager.SetSource(cfRGB, 3, 8);
    ColorFormat = cfRGB;
    break;
  case JCS_YCbCr:
    ColorManager.SetSource(cfRGB, 3, 8);
    ColorFormat = cfYCbCr;
    break;
  case JCS_CMYK:
    ColorManager.SetSource(cfCMYK, 4, 8);
    ColorManager.SetTarget(cfBGR, 8);
    ColorFormat = cfCMYK;
    break;
  case JCS_YCCK:
    ColorManager.SetSource(cfCMYK, 4, 8);
    ColorManager.SetTarget(cfBGR, 8);
    ColorFormat = cfYCCK;
    break;
  default: Fail(ImgMsg::InvalidColor);
  }

  bool MultiScan = false;
  JpegCall(C, [&] { MultiScan = jpeg_has_multiple_scans(&C.Decompress); });
  Progressive = MultiScan;
  Interlaced = Progressive;
  Compression = Progressive ? CompressionDCTProgressive : CompressionDCT;
  DataOffset = 0;
  DataSize = FileSize;
  PaletteSize = 0;
  PaletteOffset = 0;

  if (int64_t(Width) * Height > PixelsPerFileByte * FileSize + PixelAllowance)
    Fail(ImgMsg::StreamRead);
}

void TJpgReader::ReadImage() {
  std::span<const uint8_t> Data;
  if (const auto* Memory = dynamic_cast<const TMemoryStream*>(Stream)) {
    Data = Memory->Bytes();
  } else {
    FData.resize(size_t(std::max<int64_t>(FileSize, 0)));
    Seek(0);
    FData.resize(ReadSome(FData.data(), FData.size()));
    Data = FData;
  }

  TJpegContext C;
  C.ErrorText = ImgMsg::InvalidHeader;
  C.KeepWarnings = true;
  TJpegDecodeOptions Options = FOptions;
  Options.Gray = IsGray;
  JpegSetupDecompressMemory(*this, C, Data, Options);
  C.ErrorText = ImgMsg::CompressionError;
  JpegStartDecompress(C);

  // The file may have changed since its header was read: the rows must fit
  // the buffer made from that header.
  const jpeg_decompress_struct& D = C.Decompress;
  const bool Cmyk = ColorManager.SourceFormat == cfCMYK;
  const int Components = IsGray ? 1 : Cmyk ? 4 : 3;
  if (int32_t(D.output_width) != Dib->Width() || int32_t(D.output_height) != Dib->Height() ||
      D.output_components != Components)
    Fail(ImgMsg::InvalidHeader);

  IccApplied = false;
  TIccCmykRows Profile;
  // Adobe's files store ink inverted, and the library hands it on so.
  if (Cmyk && ApplyProfile && !IccProfile.empty())
    IccApplied = Profile.Open(IccProfile, D.saw_Adobe_marker != 0);
  if (Cmyk)
    ReadRowsCmyk(C, IccApplied ? &Profile : nullptr);
  else
    ReadRowsDirect(C);
  JpegFinishDecompress(C);
  JpegRelease(C);
  FData = std::vector<uint8_t>();
}

void TJpgReader::ReadRowsDirect(TJpegContext& C) {
  const uint32_t Rows = std::clamp<uint32_t>(uint32_t(C.Decompress.rec_outbuf_height), 1, MaxRowsPerCall);
  std::array<JSAMPROW, MaxRowsPerCall> Pointers{};
  const uint32_t H = uint32_t(Dib->Height());
  while (C.Decompress.output_scanline < H) {
    const uint32_t Y = C.Decompress.output_scanline;
    const uint32_t N = std::min(Rows, H - Y);
    for (uint32_t I = 0; I < N; ++I)
      Pointers[I] = Dib->ScanLine(int32_t(Y + I));
    if (JpegReadScanlines(C, Pointers.data(), N) == 0)
      Fail(ImgMsg::CompressionError);
  }
}

// Without a profile, stored CMYK counts ink inverted (255 is none) and the
// color manager converts it; a profile takes the samples as they are.
void TJpgReader::ReadRowsCmyk(TJpegContext& C, const TIccCmykRows* Profile) {
  ReadBuffer.assign(size_t(Dib->Width()) * 4, 0);
  JSAMPROW Row = ReadBuffer.data();
  const uint32_t H = uint32_t(Dib->Height());
  while (C.Decompress.output_scanline < H) {
    const int32_t Y = int32_t(C.Decompress.output_scanline);
    if (JpegReadScanlines(C, &Row, 1) == 0)
      Fail(ImgMsg::CompressionError);
    if (Profile) {
      Profile->Convert(ReadBuffer.data(), Dib->ScanLine(Y), uint32_t(Dib->Width()));
      continue;
    }
    for (uint8_t& B : ReadBuffer)
      B = uint8_t(255 - B);
    ColorManager.ConvertRow(ReadBuffer, Dib->Row(Y), 0, 0, Dib->Width());
  }
}

TJpgWriter::TJpgWriter() { FormatName = "JPG"; }

void TJpgWriter::WriteImage() {
  Compression = Progressive ? CompressionDCTProgressive : CompressionDCT;
  TMemoryStream Output;
  std::vector<uint8_t> Row;
  std::vector<TColor> Colors;
  if (PixelFormat != pf24bit) {
    Row.resize(size_t(Width) * 3);
    Colors.resize(size_t(Width));
  }

  TJpegContext C;
  JpegSetupCompress(*this, C, Output);
  jpeg_compress_struct& J = C.Compress;
  J.image_width = JDIMENSION(Width);
  J.image_height = JDIMENSION(Height);
  J.input_components = 3;
  J.in_color_space = JCS_EXT_BGR;
  const int Q = std::clamp<int>(Quality, 1, 100);
  JpegCall(C, [&] {
    jpeg_set_defaults(&J);
    jpeg_set_quality(&J, Q, TRUE);
    if (IsGray)
      jpeg_set_colorspace(&J, JCS_GRAYSCALE);
    if (Progressive)
      jpeg_simple_progression(&J);
    jpeg_start_compress(&J, TRUE);
  });

  const uint32_t H = uint32_t(Height);
  std::array<JSAMPROW, MaxRowsPerCall> Pointers{};
  while (J.next_scanline < H) {
    const uint32_t Y = J.next_scanline;
    uint32_t N = 1;
    if (Row.empty()) {
      // The library only reads the rows it is handed.
      N = std::min(MaxRowsPerCall, H - Y);
      for (uint32_t I = 0; I < N; ++I)
        Pointers[I] = const_cast<JSAMPROW>(Dib->ScanLine(int32_t(Y + I)));
    } else {
      Dib->GetRowColors(int32_t(Y), Colors);
      uint8_t* P = Row.data();
      for (const TColor Color : Colors) {
        ColorToBGRBytes(Color, P);
        P += 3;
      }
      Pointers[0] = Row.data();
    }
    JDIMENSION Written = 0;
    JpegCall(C, [&] { Written = jpeg_write_scanlines(&J, Pointers.data(), N); });
    if (Written == 0)
      Fail(ImgMsg::CompressionError);
  }
  JpegCall(C, [&] { jpeg_finish_compress(&J); });
  JpegRelease(C);
  const std::span<const uint8_t> Bytes = Output.Bytes();
  WriteRaw(Bytes.data(), Bytes.size());
}
