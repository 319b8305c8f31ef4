#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ByteOrder.h"
#include "DibImage.h"
#include "Progressors.h"
#include "Transparency.h"
#include "XColor.h"
#include "XStream.h"

// Format numbers of the registry, in the order the extensions are tested.
enum TImgFormat : int32_t {
  fmtBMP = 0,
  fmtPCX = 1,
  fmtGIF = 2,
  fmtPNG = 3,
  fmtTIFF = 4,
  fmtJPEG = 5,
  fmtJP2 = 6,
  fmtTGA = 7,
  fmtPNM = 8,
  fmtSGI = 9,
  fmtRAS = 10,
  fmtIFF = 11,
  fmtPSD = 12,
  fmtPCD = 13,
  fmtWMF = 14,
  fmtBUM = 15,
  fmtUnknown = 16,
};
inline constexpr int32_t FormatCount = 16;

// Format number of a file by the extension of its file name part. These
// read the table of formats in XFormats.cpp.
int32_t FormatOfFile(std::string_view Name);
std::string FormatText(int32_t Format);
// The texts of formats 0 to 15, for menus that list the formats.
std::vector<std::string> FormatTexts();

// Texts of the Compression and ColorFormat codes.
std::string CompressionText(int32_t Compression);
std::string ColorFormatText(int32_t ColorFormat);

// Compression codes.
inline constexpr uint8_t cmpNone = 0;
inline constexpr uint8_t cmpRLE = 1;

// Messages shared by the codecs; "%s" receives the format name.
namespace ImgMsg {
inline constexpr const char* InvalidHeader = "Invalid %s header";
inline constexpr const char* InvalidFormat = "Invalid %s image format.";
inline constexpr const char* InvalidCompression = "Invalid compression scheme in %s file.";
inline constexpr const char* InvalidColor = "Invalid color scheme in %s file.";
inline constexpr const char* InvalidPalette = "Invalid palette in %s file.";
inline constexpr const char* UnsupportedFormat = "Unsupported %s image format.";
inline constexpr const char* UnsupportedCompression = "Unsupported compression scheme in %s file.";
inline constexpr const char* UnsupportedFeature = "Unsupported feature in %s file.";
inline constexpr const char* StreamRead = "Stream read error in %s file.";
inline constexpr const char* CompressionError = "Compression error found in %s file.";
inline constexpr const char* FileCreation = "File creation error.";
inline constexpr const char* FileWrite = "File write error\nDisk full?";
inline constexpr const char* TextCut = "A text was too long for a %s file and was cut to the length the file holds.";
inline constexpr const char* TextReplaced =
    "A text held characters that a %s file cannot store; they were written as \"?\".";
} // namespace ImgMsg

// What every codec shares: the description of the image file and the
// services for streams, progress, colors and errors.
class TImgIO {
public:
  TImgIO();
  virtual ~TImgIO();
  TImgIO(const TImgIO&) = delete;
  TImgIO& operator=(const TImgIO&) = delete;

  // Raises EInvalidGraphicOperation with Message, its "%s" replaced by
  // FormatName; OK goes false first.
  [[noreturn]] void Fail(std::string_view Message);
  // Keeps only the first warning of a run.
  void SetWarning(const std::string& Text);
  // Message with its "%s" replaced by FormatName.
  std::string FormatMessage(std::string_view Message) const;

  int64_t FileSize = 0;
  std::filesystem::file_time_type FileDate{};
  int32_t Width = 0, Height = 0;
  uint8_t PixelFormat = 0;
  int32_t PaletteSize = 0;
  int32_t RowBytes = 0;
  bool IsGray = false;
  int32_t Resolution = 300;
  uint8_t Compression = cmpNone;
  bool Interlaced = false;
  bool OK = false;
  TColorManager ColorManager;
  std::string FormatName;
  std::string Title, Author, Rights;
  std::string Warning;
  TProgressEvent OnProgress;

protected:
  // Stream in use; owned by OwnedStream unless the caller lent it.
  TStream* Stream = nullptr;
  std::unique_ptr<TStream> OwnedStream;
  std::unique_ptr<TXProgressor> Progressor;
  std::filesystem::path FileName;

  void UseStream(std::unique_ptr<TStream> S);
  void LendStream(TStream& S);
  void FreeStream();
  void RowDone() {
    if (Progressor)
      Progressor->RowDone();
  }
};

class TImgReader : public TImgIO {
public:
  // Opens the file and reads its header; raises EFileStreamError when the file
  // cannot be opened and the codec's error when the header is broken.
  void Open(const std::filesystem::path& Name);
  // Same from a block of memory, which must outlive the reader's Read.
  void OpenMemory(std::span<const uint8_t> Data);
  // A temporary block would be gone before Read.
  void OpenMemory(std::vector<uint8_t>&&) = delete;
  // Same from a stream of the caller's, which must outlive Read.
  void OpenStream(TStream& S);

  void CreateDib();
  void Read();
  // Hands the image over; Read may still fill it, so the caller keeps the
  // reader alive until Read returns.
  std::unique_ptr<TDib> TakeDib();
  TDib* Dib = nullptr;

  void SetBackground(TColor Color);

  // The variant of its format the file is in ("OS/2 Bitmap", "GIF 89a");
  // empty when the format's own text names it. Valid after Open.
  virtual std::string FormatVariant() const { return {}; }
  // The palette transparency the reader keeps; none for formats without one.
  virtual const TTransparencyInfo* TransparencyRecord() const { return nullptr; }

  int64_t DataSize = 0;
  int64_t DataOffset = 0;
  int64_t PaletteOffset = 0;
  bool BottomUp = false;
  bool ShowProgress = true;
  TColor BackgroundColor = 0xFFFFFF;
  bool AlphaEnabled = false;
  bool HasAlpha = false;
  uint8_t ColorFormat = 0;
  // How the stored rows are to be turned for display: the TIFF/Exif
  // orientation 2 to 8; 0 or 1 when they stand as stored.
  uint16_t Orientation = 0;
  // The embedded ICC color profile as stored; empty for none. IccBroken: the
  // file held one that could not be gathered whole.
  std::vector<uint8_t> IccProfile;
  bool IccBroken = false;
  // Readers that convert samples through the profile themselves (CMYK) do
  // so when asked, and then say it is done.
  bool ApplyProfile = false;
  bool IccApplied = false;

protected:
  virtual void ReadHeader() = 0;
  virtual void ReadPalette() = 0;
  virtual void ReadImage() = 0;

  // Reads exactly Count bytes or fails with "Stream read error in %s file.".
  void ReadExact(void* Buffer, size_t Count);
  // Reads up to Count bytes; fewer at the end of the file.
  size_t ReadSome(void* Buffer, size_t Count) { return Stream->Read(Buffer, Count); }
  void Seek(int64_t Position) { Stream->Seek(Position); }
  int64_t Position() const { return Stream->Position(); }

  std::vector<uint8_t> ReadBuffer;

private:
  void AfterOpen();
  std::unique_ptr<TDib> FOwnedDib;
};

class TImgWriter : public TImgIO {
public:
  // Creates or truncates the file.
  void CreateFile(const std::filesystem::path& Name);
  // Writes to a stream of the caller's (memory, a temporary file).
  void CreateStream(TStream& S);
  void Write(const TDib& ADib);

  const TDib* Dib = nullptr;

  static constexpr int32_t WriteBufferSize = 8192;

  // Unbuffered write; a short write fails with "File write error\nDisk full?".
  void WriteRaw(const void* Data, size_t Count);
  void BeginBuffer();
  void BufferedWrite(const void* Data, size_t Count);
  void FlushBuffer();
  void EndBuffer();

  std::vector<uint8_t> WriteBuffer;
  int32_t BufferPos = 0;
  int32_t BufferCount = 0;

protected:
  virtual void WriteHeader() = 0;
  virtual void WriteImage() = 0;

  // UTF-8 Text cut to at most MaxBytes bytes without splitting a character;
  // a cut leaves the warning TextCut.
  std::string FittedText(const std::string& Text, size_t MaxBytes);
};
