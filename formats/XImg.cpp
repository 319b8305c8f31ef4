#include "XImg.h"

#include <cstring>
#include <iterator>
#include <system_error>

namespace {

constexpr const char* CompressionTexts[] = {"Uncompressed",
                                            "Run Length Coding",
                                            "Thunder Scan RLE",
                                            "LZW",
                                            "LZW prediction",
                                            "Huffman Coding",
                                            "CCITT Group 3",
                                            "CCITT Group 4",
                                            "DCT",
                                            "DCT progressive",
                                            "DCT (old style jpeg)",
                                            "DCT (embedded jpeg)",
                                            "LZ77 deflate",
                                            "Vector graphic",
                                            "Uncompressed Ascii",
                                            "LogLUV 16bit RLE",
                                            "LogLuv 24bit",
                                            "LogLUV 32bit RLE"};

constexpr const char* ColorFormatTexts[] = {"",
                                            "Color Palette",
                                            "Grayscale",
                                            "Grayscale+Alpha",
                                            "True Color RGB",
                                            "True Color RGBA",
                                            "True Color RGB",
                                            "True Color RGBA",
                                            "High Color RGB (15bit)",
                                            "High Color RGB (16bit)",
                                            "True Color CMY",
                                            "True Color CMYK",
                                            "True Color CMYKA",
                                            "True Color CIE L*A*B",
                                            "True Color CIE L*A*B A",
                                            "True Color YCbCr",
                                            "True Color YCC",
                                            "True Color YCCK",
                                            "High Dyn. Range LogLUV",
                                            "High Dyn. Gray LogL"};

} // namespace

std::string CompressionText(int32_t Compression) {
  if (Compression < 0 || Compression >= int32_t(std::size(CompressionTexts)))
    return "Unknown";
  return CompressionTexts[Compression];
}

std::string ColorFormatText(int32_t ColorFormat) {
  if (ColorFormat <= 0 || ColorFormat >= int32_t(std::size(ColorFormatTexts)))
    return "";
  return ColorFormatTexts[ColorFormat];
}

TImgIO::TImgIO() = default;
TImgIO::~TImgIO() = default;

std::string TImgIO::FormatMessage(std::string_view Message) const {
  std::string Text(Message);
  const size_t At = Text.find("%s");
  if (At != std::string::npos)
    Text.replace(At, 2, FormatName);
  return Text;
}

void TImgIO::Fail(std::string_view Message) {
  OK = false;
  throw EInvalidGraphicOperation(FormatMessage(Message));
}

void TImgIO::SetWarning(const std::string& Text) {
  if (Warning.empty())
    Warning = Text;
}

void TImgIO::UseStream(std::unique_ptr<TStream> S) {
  FreeStream();
  OwnedStream = std::move(S);
  Stream = OwnedStream.get();
}

void TImgIO::LendStream(TStream& S) {
  FreeStream();
  Stream = &S;
}

void TImgIO::FreeStream() {
  Stream = nullptr;
  OwnedStream.reset();
}

void TImgReader::Open(const std::filesystem::path& Name) {
  OK = false;
  FreeStream();
  FileName = Name;
  UseStream(std::make_unique<TFileStream>(Name, TFileMode::Read));
  std::error_code Ec;
  FileDate = std::filesystem::last_write_time(Name, Ec);
  AfterOpen();
}

void TImgReader::OpenMemory(std::span<const uint8_t> Data) {
  OK = false;
  UseStream(std::make_unique<TMemoryStream>(Data));
  AfterOpen();
}

void TImgReader::OpenStream(TStream& S) {
  OK = false;
  LendStream(S);
  AfterOpen();
}

void TImgReader::AfterOpen() {
  FileSize = Stream->Size();
  ShowProgress = true;
  IccProfile.clear();
  IccBroken = false;
  IccApplied = false;
  ReadHeader();
  OK = true;
  Dib = nullptr;
  FOwnedDib.reset();
}

void TImgReader::CreateDib() {
  FOwnedDib = std::make_unique<TDib>(Width, Height, TPixelFormat(PixelFormat));
  Dib = FOwnedDib.get();
}

std::unique_ptr<TDib> TImgReader::TakeDib() { return std::move(FOwnedDib); }

void TImgReader::SetBackground(TColor Color) {
  BackgroundColor = Color;
  ColorManager.SetBackground(GetRValue(Color), GetGValue(Color), GetBValue(Color));
}

void TImgReader::ReadExact(void* Buffer, size_t Count) {
  if (Stream->Read(Buffer, Count) != Count)
    Fail(ImgMsg::StreamRead);
}

void TImgReader::Read() {
  if (Width <= 0 || Height <= 0 || !Stream || !OK)
    return;
  if (!Dib)
    CreateDib();
  if (PaletteOffset > 0 && PaletteSize > 0) {
    Seek(PaletteOffset);
    ReadPalette();
  } else if (IsGray && PaletteSize == 0) {
    Dib->MakeGrayPalette();
  }
  Dib->SetResolution(Resolution);
  if (HasAlpha && AlphaEnabled)
    ColorManager.SetFlags(ColorManager.Flags | cmfComposite);
  ReadBuffer.clear();
  Progressor = std::make_unique<TXProgressor>();
  Progressor->Init(Width, Height, OnProgress);
  Progressor->BottomUp = BottomUp;
  Progressor->ReportRects = ShowProgress;
  Progressor->Start();
  Seek(DataOffset);
  ReadImage();
  Progressor->Finish();
  Progressor.reset();
  ReadBuffer = std::vector<uint8_t>();
  FreeStream();
}

void TImgWriter::CreateFile(const std::filesystem::path& Name) {
  FreeStream();
  OK = false;
  FileName = Name;
  UseStream(std::make_unique<TFileStream>(Name, TFileMode::Create));
  OK = true;
}

void TImgWriter::CreateStream(TStream& S) {
  FreeStream();
  OK = false;
  FileName.clear();
  LendStream(S);
  OK = true;
}

void TImgWriter::Write(const TDib& ADib) {
  if (!Stream || !OK)
    return;
  PixelFormat = ADib.PixelFormat();
  Width = ADib.Width();
  Height = ADib.Height();
  PaletteSize = ADib.PaletteSize();
  IsGray = ADib.IsGray;
  Resolution = ADib.Resolution();
  Dib = &ADib;
  Progressor = std::make_unique<TXProgressor>();
  Progressor->Init(Width, Height, OnProgress);
  Progressor->Start();
  WriteHeader();
  WriteImage();
  Progressor->Finish();
  Progressor.reset();
  if (OK) {
    FileSize = Stream->Position();
    std::error_code Ec;
    if (!FileName.empty())
      FileDate = std::filesystem::last_write_time(FileName, Ec);
  } else {
    FileSize = 0;
    FileDate = {};
  }
  FreeStream();
}

void TImgWriter::WriteRaw(const void* Data, size_t Count) {
  if (Count == 0)
    return;
  if (Stream->Write(Data, Count) != Count)
    Fail(ImgMsg::FileWrite);
}

void TImgWriter::BeginBuffer() {
  WriteBuffer.assign(WriteBufferSize, 0);
  BufferPos = 0;
  BufferCount = 0;
}

void TImgWriter::BufferedWrite(const void* Data, size_t Count) {
  if (WriteBuffer.empty()) {
    WriteRaw(Data, Count);
    return;
  }
  if (size_t(BufferCount) + Count > size_t(WriteBufferSize))
    FlushBuffer();
  if (Count > size_t(WriteBufferSize)) {
    WriteRaw(Data, Count);
    return;
  }
  std::memcpy(WriteBuffer.data() + BufferPos, Data, Count);
  BufferPos += int32_t(Count);
  BufferCount += int32_t(Count);
}

void TImgWriter::FlushBuffer() {
  if (BufferCount == 0)
    return;
  const int32_t N = BufferCount;
  BufferPos = 0;
  BufferCount = 0;
  WriteRaw(WriteBuffer.data(), size_t(N));
}

void TImgWriter::EndBuffer() {
  WriteBuffer = std::vector<uint8_t>();
  BufferPos = 0;
  BufferCount = 0;
}

std::string TImgWriter::FittedText(const std::string& Text, size_t MaxBytes) {
  if (Text.size() <= MaxBytes)
    return Text;
  size_t End = MaxBytes;
  // Continuation bytes (10xxxxxx) belong to the character before them.
  while (End > 0 && (uint8_t(Text[End]) & 0xC0) == 0x80)
    --End;
  SetWarning(FormatMessage(ImgMsg::TextCut));
  return Text.substr(0, End);
}
