#pragma once
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "XFormats.h"
#include "XImg.h"

// What the info window shows about a file, as the reader left it.
struct TImageFacts {
  int32_t Width = 0, Height = 0;
  uint8_t PixelFormat = 0;
  int32_t PaletteSize = 0;
  bool IsGray = false;
  uint8_t ColorFormat = 0;
  int32_t SourceSamples = 0, SourceBits = 0;
  uint8_t Compression = cmpNone;
  int32_t Resolution = 0;
  bool Interlaced = false;
  bool HasAlpha = false;
  int64_t FileSize = 0;
  std::filesystem::file_time_type FileDate{};
  // The stored orientation tag, 0 when the file has none, and whether the
  // read asked the caller to turn the image by it.
  uint16_t Orientation = 0;
  bool OrientationApplied = false;
  // The embedded color profile's description; empty for none.
  std::string Profile;
  // The pixels were converted by that profile.
  bool ProfileApplied = false;
};

// An image file read, with what was found out about it.
struct TImageRead {
  // Null once OnBuffer took it over.
  std::unique_ptr<TDib> Dib;
  // fmtUnknown for a reader of the caller's.
  int32_t Format = fmtUnknown;
  std::string FormatText;
  // Set for formats whose reader keeps a transparency record.
  std::optional<TTransparencyInfo> Transparency;
  std::string Warning;
  TMetaTexts Texts;
  TImageFacts Facts;
  // The reader's Orientation: 2 to 8 ask the caller to turn the image. 0
  // when the options leave images as stored (Facts keeps the tag).
  uint16_t Orientation = 0;
  // Why the read stopped after the header: Dib is null when the buffer
  // could not be made, and otherwise holds the rows read before.
  std::exception_ptr Failure;

  void ThrowFailure() const {
    if (Failure)
      std::rethrow_exception(Failure);
  }

  // What the header told: everything but the buffer and the failure, for a
  // caller that keeps it apart from the rows.
  TImageRead HeaderPart() const {
    TImageRead H;
    H.Format = Format;
    H.FormatText = FormatText;
    H.Transparency = Transparency;
    H.Warning = Warning;
    H.Texts = Texts;
    H.Facts = Facts;
    H.Orientation = Orientation;
    return H;
  }
};

// Called with the new buffer before its rows are read, and what the header
// told; it may take the buffer over, the rows still go into it.
using TBufferEvent = std::function<void(std::unique_ptr<TDib>& Buffer, const TImageRead& Header)>;

// Opens the file with the reader its extension selects, makes the buffer and
// reads the rows. Fails with "File type not supported" for formats without
// a reader and with the reader's error when the file cannot be opened or its
// header is broken; later failures are kept in Failure.
TImageRead ReadImageFile(const std::filesystem::path& Name, const TReadOptions& O, const TBufferEvent& OnBuffer = {});

// Only opens the file and reads its header: the format, texts and facts of
// a file just written, without making a buffer or reading rows.
TImageRead ReadImageHeader(const std::filesystem::path& Name, const TReadOptions& O);

// The same sequence on a reader the caller made and set up; Resolution and
// Background of O are left to the caller.
TImageRead ReadImageWith(TImgReader& Reader, const std::filesystem::path& Name, const TReadOptions& O = {});
TImageRead ReadImageWith(TImgReader& Reader, std::span<const uint8_t> Data, const TReadOptions& O = {});

// How an image stored with orientation 2 to 8 is turned to stand upright:
// first mirrored (1 up/down, 2 left/right, 0 not), then turned Angle degrees
// clockwise. Other values ask for nothing.
struct TOrientationStep {
  int32_t Mirror = 0;
  int32_t Angle = 0;
  bool operator==(const TOrientationStep&) const = default;
};
TOrientationStep OrientationStep(uint16_t Orientation);
void ApplyOrientation(TDib& Dib, TOrientationStep Step);
