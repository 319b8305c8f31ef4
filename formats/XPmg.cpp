#include "XPmg.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>

namespace {

// Headers, comments included, longer than this are taken for junk rather
// than read to the end of a huge file.
constexpr int64_t MaxHeaderBytes = int64_t(1) << 20;
// Comment text kept for the image texts; the rest of a longer line is skipped.
constexpr size_t MaxCommentText = 4096;
constexpr uint32_t MaxSample = 65535;
constexpr uint32_t NumberLimit = uint32_t(std::numeric_limits<int32_t>::max());

bool IsDigit(int C) { return C >= '0' && C <= '9'; }
bool IsSpace(int C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\v' || C == '\f'; }

std::string Trimmed(const std::string& S, size_t From) {
  if (From >= S.size())
    return {};
  const size_t B = S.find_first_not_of(" \t", From);
  if (B == std::string::npos)
    return {};
  return S.substr(B, S.find_last_not_of(" \t") + 1 - B);
}

bool StartsWithKeyword(const std::string& Text, const char* Keyword) {
  const size_t N = std::strlen(Keyword);
  if (Text.size() < N)
    return false;
  for (size_t I = 0; I < N; ++I)
    if (std::toupper(static_cast<unsigned char>(Text[I])) != Keyword[I])
      return false;
  return true;
}

// A text on one comment line: line breaks would end the comment early and
// turn the rest into header junk.
std::string OneLine(std::string S) {
  std::replace_if(
      S.begin(), S.end(), [](char C) { return C == '\n' || C == '\r'; }, ' ');
  return S;
}

} // namespace

TPmgReader::TPmgReader() { FormatName = "PMG"; }

std::string TPmgReader::FormatVariant() const {
  switch (Magic) {
  case '1':
  case '4': return "Portable Bitmap Image";
  case '2':
  case '5': return "Portable Graymap Image";
  case '3':
  case '6': return "Portable Pixelmap Image";
  default: return {};
  }
}

void TPmgReader::Restart(int64_t Position) {
  FBufStart = Position;
  FBufPos = FBufCount = 0;
  Seek(Position);
}

void TPmgReader::Refill() {
  FBufStart += int64_t(FBufCount);
  FBufPos = 0;
  if (FInHeader && FBufStart >= MaxHeaderBytes)
    Fail(ImgMsg::InvalidHeader);
  FBufCount = ReadSome(FBuffer, BufferSize);
}

// The rest of the line after a "#"; texts whose keyword opens the comment
// go to Title, Author or Rights.
void TPmgReader::ReadComment() {
  std::string Text;
  for (int C = Next(); C != -1 && C != '\n' && C != '\r'; C = Next())
    if (Text.size() < MaxCommentText)
      Text.push_back(char(C));
  Text = Trimmed(Text, 0);
  if (StartsWithKeyword(Text, "TITLE"))
    Title = Trimmed(Text, 6);
  else if (StartsWithKeyword(Text, "AUTHOR"))
    Author = Trimmed(Text, 7);
  else if (StartsWithKeyword(Text, "COPYRIGHT"))
    Rights = Trimmed(Text, 10);
}

// Blanks and comments, then decimal digits; the character after them is
// consumed. Anything else where a number belongs, or the end of the data,
// fails. Numbers above NumberLimit stay at NumberLimit + 1.
uint32_t TPmgReader::ReadNumber() {
  int C = Next();
  for (; !IsDigit(C); C = Next()) {
    if (C == -1)
      Fail(ImgMsg::StreamRead);
    if (C == '#')
      ReadComment();
    else if (!IsSpace(C))
      Fail(FInHeader ? ImgMsg::InvalidHeader : ImgMsg::InvalidFormat);
  }
  uint32_t V = 0;
  for (; IsDigit(C); C = Next())
    V = V > NumberLimit / 10 ? NumberLimit + 1 : std::min(V * 10 + uint32_t(C - '0'), NumberLimit + 1);
  if (C == '#')
    ReadComment();
  return V;
}

// Plain bitmaps need no blanks between their digits.
int TPmgReader::ReadBit() {
  for (int C = Next();; C = Next()) {
    if (C == '0' || C == '1')
      return C - '0';
    if (C == -1)
      Fail(ImgMsg::StreamRead);
    if (C == '#')
      ReadComment();
    else if (!IsSpace(C))
      Fail(ImgMsg::InvalidFormat);
  }
}

void TPmgReader::ReadHeader() {
  FormatName = "PMG";
  Restart(0);
  FInHeader = true;
  const int P = Next(), D = Next(), After = Next();
  if (P != 'P' || D < '1' || D > '6' || (!IsSpace(After) && After != '#'))
    Fail(ImgMsg::InvalidHeader);
  if (After == '#')
    ReadComment();
  Magic = char(D);
  const bool Bitmap = Magic == '1' || Magic == '4';
  const bool Gray = Magic == '2' || Magic == '5';
  FormatName = Bitmap ? "PBM" : Gray ? "PGM" : "PPM";
  const uint32_t W = ReadNumber(), H = ReadNumber();
  if (W == 0 || H == 0 || W > NumberLimit || H > NumberLimit)
    Fail(ImgMsg::InvalidHeader);
  Width = int32_t(W);
  Height = int32_t(H);
  Compression = Magic <= '3' ? cmpAscii : cmpNone;
  IsGray = !(Magic == '3' || Magic == '6');
  PaletteSize = 0;
  PaletteOffset = 0;
  MaxVal = 1;
  if (!Bitmap) {
    const uint32_t M = ReadNumber();
    if (M == 0 || M > MaxSample)
      Fail(ImgMsg::InvalidHeader);
    MaxVal = int32_t(M);
  }
  FInHeader = false;
  DataOffset = FBufStart + int64_t(FBufPos);
  DataSize = FileSize - DataOffset;

  FSamples = IsGray ? 1 : 3;
  FSampleBytes = MaxVal > 255 ? 2 : 1;
  const int32_t Bits = Bitmap ? 1 : 8 * FSampleBytes;
  PixelFormat = Bitmap ? pf1bit : Gray ? pf8bit : pf24bit;
  RowBytes = int32_t(Bitmap ? PackedRowBytes(Width, 1) : std::min<int64_t>(int64_t(Width) * FSamples, NumberLimit));
  ColorFormat = IsGray ? cfGray : cfRGB;
  ColorManager.SetSource(TColorFormat(ColorFormat), FSamples, Bits);
  ColorManager.SetTarget(IsGray ? cfGray : cfBGR, Bitmap ? 1 : 8);

  // Never allocate for more samples than the data can hold: raw samples
  // take their bytes, plain ones a digit and a blank at the least (bitmap
  // digits need no blank).
  const int64_t Samples = int64_t(Width) * Height * FSamples;
  const int64_t Needed = Magic == '4'   ? PackedRowBytes(Width, 1) * Height
                         : Magic == '1' ? Samples
                         : Magic <= '3' ? 2 * Samples - 1
                                        : Samples * FSampleBytes;
  if (Needed > DataSize)
    Fail(ImgMsg::StreamRead);
  if (DibRowBytes(Width, BitCountOf(PixelFormat)) * Height > std::numeric_limits<int32_t>::max())
    Fail(ImgMsg::UnsupportedFormat);
}

// Samples above maxval count as maxval.
void TPmgReader::MakeScale() {
  FScale.assign(size_t(MaxSample) + 1, 255);
  for (int32_t V = 0; V <= MaxVal; ++V)
    FScale[size_t(V)] = uint8_t(V * 255 / MaxVal);
}

void TPmgReader::ReadImage() {
  if (Magic != '1' && Magic != '4')
    MakeScale();
  if (Compression == cmpAscii) {
    Restart(DataOffset);
    ReadPlainRows();
  } else {
    ReadRawRows();
  }
}

void TPmgReader::ReadPlainRows() {
  const int32_t Values = Width * FSamples;
  FRow.assign(size_t(Values), 0);
  for (int32_t Y = 0; Y < Height; ++Y) {
    uint8_t* D = Dib->ScanLine(Y);
    if (Magic == '1') {
      // Black is 1 in the file and in the buffer's palette entry 0.
      std::memset(D, 0, size_t(RowBytes));
      for (int32_t X = 0; X < Width; ++X)
        if (ReadBit() == 0)
          D[X >> 3] |= uint8_t(0x80 >> (X & 7));
    } else {
      for (int32_t I = 0; I < Values; ++I)
        FRow[size_t(I)] = FScale[std::min(ReadNumber(), MaxSample)];
      if (FSamples == 1)
        std::memcpy(D, FRow.data(), size_t(Width));
      else
        for (int32_t X = 0; X < Width; ++X)
          ColorToBGRBytes(ColorFromRGBBytes(&FRow[size_t(3 * X)]), D + 3 * X);
    }
    RowDone();
  }
}

// Samples of one row (bytes or big-endian words) scaled into the buffer,
// red, green, blue turned into blue, green, red.
void TPmgReader::StoreSamples(const uint8_t* S, uint8_t* D) const {
  const uint8_t* Scale = FScale.data();
  // A local count: the rows could alias the member for the compiler.
  const int32_t Width = this->Width;
  if (FSampleBytes == 1 && FSamples == 1) {
    for (int32_t X = 0; X < Width; ++X)
      D[X] = Scale[S[X]];
  } else if (FSampleBytes == 1) {
    for (int32_t X = 0; X < Width; ++X, S += 3, D += 3) {
      const uint8_t R = Scale[S[0]], G = Scale[S[1]], B = Scale[S[2]];
      D[0] = B;
      D[1] = G;
      D[2] = R;
    }
  } else if (FSamples == 1) {
    for (int32_t X = 0; X < Width; ++X)
      D[X] = Scale[GetBE16(S + 2 * X)];
  } else {
    for (int32_t X = 0; X < Width; ++X, S += 6, D += 3) {
      D[0] = Scale[GetBE16(S + 4)];
      D[1] = Scale[GetBE16(S + 2)];
      D[2] = Scale[GetBE16(S)];
    }
  }
}

void TPmgReader::ReadRawRows() {
  const size_t FileRow = Magic == '4' ? size_t(RowBytes) : size_t(Width) * size_t(FSamples) * size_t(FSampleBytes);
  FRow.assign(FileRow, 0);
  for (int32_t Y = 0; Y < Height; ++Y) {
    uint8_t* D = Dib->ScanLine(Y);
    if (Magic == '6' && MaxVal == 255) {
      // Samples need no scaling: straight into the row, red and blue swapped there.
      ReadExact(D, FileRow);
      SwapRedBlue(D, Width, 3);
      RowDone();
      continue;
    }
    ReadExact(FRow.data(), FileRow);
    if (Magic == '4')
      for (size_t I = 0; I < FileRow; ++I)
        D[I] = uint8_t(~FRow[I]);
    else
      StoreSamples(FRow.data(), D);
    RowDone();
  }
}

TPmgWriter::TPmgWriter() { FormatName = "PMG"; }

void TPmgWriter::WriteHeader() {
  Compression = Plain ? cmpAscii : cmpNone;
  FKind = IsGray ? Graymap : Pixmap;
  if (PixelFormat == pf1bit) {
    // Only a black and white palette makes a bitmap; other pairs of
    // colors keep their colors or gray levels.
    const TColor C0 = Dib->GetPaletteColor(0), C1 = Dib->GetPaletteColor(1);
    if ((C0 == 0 && C1 == 0xFFFFFF) || (C0 == 0xFFFFFF && C1 == 0)) {
      FKind = Bitmap;
      FOneIsBlack = C1 == 0;
    }
  }
  FormatName = FKind == Bitmap ? "PBM" : FKind == Graymap ? "PGM" : "PPM";
  std::string H = "P";
  H += char('0' + FKind + (Plain ? 0 : 3));
  H += '\n';
  // The reader keeps MaxCommentText characters of a comment after its "#".
  for (const auto& [Keyword, Text] : {std::pair{"Title: ", &Title}, {"Author: ", &Author}, {"Copyright: ", &Rights}})
    if (!Text->empty())
      H += "#" + std::string(Keyword) +
           FittedText(OneLine(*Text), MaxCommentText - std::char_traits<char>::length(Keyword)) + "\n";
  H += std::to_string(Width) + " " + std::to_string(Height) + "\n";
  if (FKind != Bitmap)
    H += "255\n";
  WriteRaw(H.data(), H.size());
}

void TPmgWriter::PutText(int32_t Value, char After) {
  char Digits[12];
  const auto End = std::to_chars(Digits, Digits + sizeof Digits, Value).ptr;
  FOut.insert(FOut.end(), Digits, End);
  FOut.push_back(After);
}

void TPmgWriter::BitmapRow(int32_t Y, std::vector<TColor>&) {
  const uint8_t* S = Dib->ScanLine(Y);
  if (Plain) {
    for (int32_t X = 0; X < Width; ++X) {
      const uint32_t Black = Get1(S, X) == (FOneIsBlack ? 1u : 0u);
      FOut.push_back(char('0' + Black));
      FOut.push_back(++FCount % 32 == 0 ? '\n' : ' ');
    }
    return;
  }
  const size_t N = size_t(PackedRowBytes(Width, 1));
  for (size_t I = 0; I < N; ++I)
    FOut.push_back(FOneIsBlack ? S[I] : uint8_t(~S[I]));
  // Bits past the last pixel are written 0.
  if (Width % 8)
    FOut.back() &= uint8_t(0xFF << (8 - Width % 8));
}

void TPmgWriter::SampleRow(int32_t Y, std::vector<TColor>& Colors) {
  Dib->GetRowColors(Y, Colors);
  for (int32_t X = 0; X < Width; ++X) {
    const TColor C = Colors[size_t(X)];
    if (FKind == Graymap) {
      const uint8_t V = uint8_t(Luminance(C));
      if (Plain)
        PutText(V, ++FCount % 16 == 0 ? '\n' : ' ');
      else
        FOut.push_back(V);
    } else if (Plain) {
      PutText(GetRValue(C), ' ');
      PutText(GetGValue(C), ' ');
      PutText(GetBValue(C), ++FCount % 8 == 0 ? '\n' : ' ');
    } else {
      FOut.insert(FOut.end(), {GetRValue(C), GetGValue(C), GetBValue(C)});
    }
  }
}

void TPmgWriter::WriteImage() {
  std::vector<TColor> Colors(static_cast<size_t>(Width));
  FCount = 0;
  BeginBuffer();
  for (int32_t Y = 0; Y < Height; ++Y) {
    FOut.clear();
    if (FKind == Bitmap)
      BitmapRow(Y, Colors);
    else
      SampleRow(Y, Colors);
    BufferedWrite(FOut.data(), FOut.size());
    RowDone();
  }
  BufferedWrite("\n", 1);
  FlushBuffer();
  EndBuffer();
}
