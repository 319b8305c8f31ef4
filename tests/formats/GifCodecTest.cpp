#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

#include "XGif.h"
#include "XImageRead.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t NoTransparency = -1;

TColor GlobalColor(int32_t I) { return RGBColor(uint8_t(I), uint8_t(2 * I + 1), uint8_t(255 - I)); }
TColor LocalColor(int32_t I) { return RGBColor(uint8_t(255 - I), uint8_t(I), uint8_t(3 * I)); }

// A hand-made GIF file around LZW data made by PackCodes.
struct TGifSpec {
  std::string Version = "89a";
  uint16_t ScreenWidth = 4, ScreenHeight = 2;
  int32_t GlobalEntries = 4; // 0: no global table
  uint8_t Background = 0;
  int32_t TransparentIndex = NoTransparency;
  std::vector<uint8_t> Extensions; // blocks before the image descriptor
  uint16_t Left = 0, Top = 0, Width = 4, Height = 2;
  int32_t LocalEntries = 0;
  bool Interlaced = false;
  uint8_t CodeSize = 2;
  std::vector<uint8_t> Data;
};

uint8_t TableBits(int32_t Entries) {
  uint8_t N = 0;
  while ((2 << N) < Entries)
    ++N;
  return N;
}

std::vector<uint8_t> MakeGif(const TGifSpec& S) {
  const std::string Signature = "GIF" + S.Version;
  std::vector<uint8_t> F(Signature.begin(), Signature.end());
  F.resize(13);
  PutLE16(&F[6], S.ScreenWidth);
  PutLE16(&F[8], S.ScreenHeight);
  F[10] = S.GlobalEntries ? uint8_t(0x80 | 0x70 | TableBits(S.GlobalEntries)) : 0;
  F[11] = S.Background;
  for (int32_t I = 0; I < S.GlobalEntries; ++I)
    F.insert(F.end(), {GetRValue(GlobalColor(I)), GetGValue(GlobalColor(I)), GetBValue(GlobalColor(I))});
  if (S.TransparentIndex >= 0)
    F.insert(F.end(), {0x21, 0xF9, 4, 1, 0, 0, uint8_t(S.TransparentIndex), 0});
  F.insert(F.end(), S.Extensions.begin(), S.Extensions.end());
  uint8_t D[10] = {0x2C};
  PutLE16(D + 1, S.Left);
  PutLE16(D + 3, S.Top);
  PutLE16(D + 5, S.Width);
  PutLE16(D + 7, S.Height);
  D[9] = uint8_t((S.LocalEntries ? 0x80 | TableBits(S.LocalEntries) : 0) | (S.Interlaced ? 0x40 : 0));
  F.insert(F.end(), D, D + 10);
  for (int32_t I = 0; I < S.LocalEntries; ++I)
    F.insert(F.end(), {GetRValue(LocalColor(I)), GetGValue(LocalColor(I)), GetBValue(LocalColor(I))});
  F.push_back(S.CodeSize);
  for (size_t I = 0; I < S.Data.size(); I += 255) {
    const size_t N = std::min<size_t>(255, S.Data.size() - I);
    F.push_back(uint8_t(N));
    F.insert(F.end(), S.Data.begin() + long(I), S.Data.begin() + long(I + N));
  }
  F.push_back(0);
  F.push_back(0x3B);
  return F;
}

// Packs codes with the widths a decoder expects: every code but a clear and
// the first after it defines an entry, and the width grows when the next
// free code reaches it.
std::vector<uint8_t> PackCodes(int32_t CodeSize, const std::vector<int32_t>& Codes) {
  const int32_t Clear = 1 << CodeSize;
  int32_t Width = CodeSize + 1, Next = Clear + 2;
  bool First = true;
  std::vector<uint8_t> Out;
  uint64_t Acc = 0;
  int32_t Bits = 0;
  for (int32_t Code : Codes) {
    Acc |= uint64_t(Code) << Bits;
    Bits += Width;
    for (; Bits >= 8; Bits -= 8, Acc >>= 8)
      Out.push_back(uint8_t(Acc));
    if (Code == Clear) {
      Width = CodeSize + 1;
      Next = Clear + 2;
      First = true;
      continue;
    }
    if (!First && Next < 4096)
      ++Next;
    First = false;
    if (Next == (1 << Width) && Width < 12)
      ++Width;
  }
  if (Bits > 0)
    Out.push_back(uint8_t(Acc));
  return Out;
}

// Clear, each pixel as a literal, end.
std::vector<uint8_t> LiteralData(int32_t CodeSize, const std::vector<uint8_t>& Pixels, bool EndCode = true) {
  std::vector<int32_t> Codes = {1 << CodeSize};
  Codes.insert(Codes.end(), Pixels.begin(), Pixels.end());
  if (EndCode)
    Codes.push_back((1 << CodeSize) + 1);
  return PackCodes(CodeSize, Codes);
}

struct TRead {
  std::unique_ptr<TGifReader> Reader = std::make_unique<TGifReader>();
  std::unique_ptr<TDib> Dib;
  std::string Error;
};

TRead ReadGif(const std::vector<uint8_t>& File, bool AlphaEnabled = false, TColor Background = 0xFFFFFF) {
  TRead R;
  try {
    R.Reader->SetBackground(Background);
    TReadOptions O;
    O.AlphaEnabled = AlphaEnabled;
    TImageRead Read = ReadImageWith(*R.Reader, File, O);
    R.Dib = std::move(Read.Dib);
    Read.ThrowFailure();
  } catch (const EInvalidGraphicOperation& E) {
    R.Error = E.what();
  }
  return R;
}

std::string HeaderError(const std::vector<uint8_t>& File) {
  TGifReader Reader;
  try {
    Reader.OpenMemory(File);
  } catch (const EInvalidGraphicOperation& E) {
    return E.what();
  }
  return "";
}

std::unique_ptr<TDib> MakeDib(TPixelFormat Pf, int32_t W, int32_t H, uint32_t Seed, bool Smooth) {
  auto D = std::make_unique<TDib>(W, H, Pf);
  const uint32_t Colors = uint32_t(D->PaletteSize());
  for (int32_t I = 0; I < D->PaletteSize(); ++I)
    D->SetPaletteColor(I, GlobalColor(I));
  uint32_t S = Seed;
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) {
      S = S * 1103515245u + 12345u;
      // Smooth images give long strings, noisy ones fill the table fast.
      const uint32_t V = Smooth ? uint32_t(X / 7 + Y / 5) : S >> 16;
      D->SetPixelValue(X, Y, V % Colors);
    }
  return D;
}

std::vector<uint8_t> WriteGif(const TDib& Dib, bool Lzw, bool Interlaced, TTransparencyInfo T = {}) {
  TMemoryStream Out;
  TGifWriter W;
  W.Compression = Lzw ? 3 : 0;
  W.Interlaced = Interlaced;
  W.Transparency = T;
  W.CreateStream(Out);
  W.Write(Dib);
  EXPECT_TRUE(W.OK);
  auto B = Out.Bytes();
  return {B.begin(), B.end()};
}

bool SamePixels(const TDib& A, const TDib& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.PixelFormat() != B.PixelFormat())
    return false;
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X)
      if (A.GetPixelValue(X, Y) != B.GetPixelValue(X, Y))
        return false;
  for (int32_t I = 0; I < A.PaletteSize(); ++I)
    if (A.GetPaletteColor(I) != B.GetPaletteColor(I))
      return false;
  return true;
}

struct TCase {
  TPixelFormat Pf;
  int32_t W, H;
  bool Smooth;
};

const TCase RoundTripCases[] = {
    {pf1bit, 37, 23, false}, {pf4bit, 37, 23, false}, {pf8bit, 37, 23, false}, {pf8bit, 301, 203, false},
    {pf8bit, 640, 17, true}, {pf1bit, 1, 1, false},   {pf4bit, 5000, 3, true},
};

} // namespace

TEST(GifCodec, RoundTripsInBothModesInterlacedOrNot) {
  for (const TCase& C : RoundTripCases)
    for (bool Lzw : {true, false})
      for (bool Interlaced : {false, true}) {
        SCOPED_TRACE(::testing::Message()
                     << int(C.Pf) << " " << C.W << "x" << C.H << " lzw " << Lzw << " interlaced " << Interlaced);
        const auto Src = MakeDib(C.Pf, C.W, C.H, uint32_t(C.W * 31 + C.H), C.Smooth);
        const auto File = WriteGif(*Src, Lzw, Interlaced);
        TRead R = ReadGif(File);
        ASSERT_EQ(R.Error, "");
        EXPECT_EQ(R.Reader->Warning, "");
        EXPECT_EQ(R.Reader->Interlaced, Interlaced);
        EXPECT_TRUE(SamePixels(*Src, *R.Dib));
      }
}

TEST(GifCodec, LzwCompressesAndExpandModeStaysNearOneCodePerPixel) {
  const auto Src = MakeDib(pf8bit, 640, 200, 1, true);
  const size_t Lzw = WriteGif(*Src, true, false).size();
  const size_t Expand = WriteGif(*Src, false, false).size();
  EXPECT_LT(Lzw * 3, size_t(640 * 200));
  // Nine bits per pixel plus a clear code every 254 pixels.
  EXPECT_NEAR(double(Expand), 640.0 * 200 * 9 / 8 * 255 / 254 * 256 / 255, 640.0 * 200 / 100);
}

TEST(GifCodec, HeaderBytesFollowThePaletteSize) {
  auto Two = MakeDib(pf1bit, 3, 2, 1, false);
  auto F = WriteGif(*Two, true, false);
  EXPECT_EQ(std::string(F.begin(), F.begin() + 6), "GIF89a");
  EXPECT_EQ(F[10], 0x80);
  EXPECT_EQ(F[13 + 6], 0x2C); // two table entries, then the image
  EXPECT_EQ(F[13 + 6 + 9], 0x01);
  EXPECT_EQ(F[13 + 6 + 10], 2);

  auto Sixteen = MakeDib(pf4bit, 3, 2, 1, false);
  F = WriteGif(*Sixteen, true, false);
  EXPECT_EQ(F[10], 0xB3);
  EXPECT_EQ(F[13 + 48 + 10], 4);

  auto Full = MakeDib(pf8bit, 3, 2, 1, false);
  F = WriteGif(*Full, true, true);
  EXPECT_EQ(F[10], 0xF7);
  EXPECT_EQ(F[13 + 768], 0x2C);
  EXPECT_EQ(F[13 + 768 + 9], 0x47);
  EXPECT_EQ(F[13 + 768 + 10], 8);
  EXPECT_EQ(F.back(), 0x3B);
  EXPECT_EQ(F[F.size() - 2], 0x00);
}

TEST(GifCodec, WriterStoresTransparencyAndBackground) {
  auto Src = MakeDib(pf8bit, 4, 4, 1, false);
  Src->SetPaletteColor(5, 0x00FFFFFF); // replaced for display by a reader
  TTransparencyInfo T{5, int32_t(RGBColor(1, 2, 3)), 7, 0};
  auto F = WriteGif(*Src, true, false, T);
  EXPECT_EQ(F[11], 7);
  EXPECT_EQ(F[13 + 15], 1);
  EXPECT_EQ(F[13 + 16], 2);
  EXPECT_EQ(F[13 + 17], 3);
  const std::vector<uint8_t> Control(F.begin() + 13 + 768, F.begin() + 13 + 768 + 8);
  EXPECT_EQ(Control, (std::vector<uint8_t>{0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x05, 0x00}));

  // The file's own color comes back on reading, with the transparency record.
  TRead R = ReadGif(F);
  ASSERT_EQ(R.Error, "");
  EXPECT_EQ(R.Dib->GetPaletteColor(5), RGBColor(1, 2, 3));
  EXPECT_TRUE(R.Reader->HasAlpha);
  EXPECT_EQ(R.Reader->Transparency.TransparentIndex, 5);
  EXPECT_EQ(R.Reader->Transparency.TransparentColor, int32_t(RGBColor(1, 2, 3)));
  EXPECT_EQ(R.Reader->Transparency.BackIndex, 7);
  EXPECT_EQ(R.Reader->Transparency.BackColor, int32_t(GlobalColor(7)));

  // Without a transparent index there is no control block.
  F = WriteGif(*Src, true, false);
  EXPECT_EQ(F[13 + 768], 0x2C);
}

TEST(GifCodec, WriterRefusesOtherPixelFormatsAndReportsAFullDisk) {
  TDib Rgb(4, 4, pf24bit);
  TMemoryStream Out;
  TGifWriter W;
  W.CreateStream(Out);
  EXPECT_THROW(W.Write(Rgb), EInvalidGraphicOperation);
  EXPECT_FALSE(W.OK);

  auto Src = MakeDib(pf8bit, 200, 200, 3, false);
  TMemoryStream Small;
  Small.SetWriteLimit(5000);
  TGifWriter Full;
  Full.CreateStream(Small);
  try {
    Full.Write(*Src);
    FAIL() << "no error";
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), "File write error\nDisk full?");
  }
  EXPECT_FALSE(Full.OK);
}

TEST(GifCodec, ReaderTransparencyReplacesOnlyTheTransparentEntry) {
  TGifSpec S;
  S.TransparentIndex = 1;
  S.Background = 2;
  S.Data = LiteralData(2, {0, 1, 2, 3, 3, 2, 1, 0});
  TRead Kept = ReadGif(MakeGif(S), false);
  ASSERT_EQ(Kept.Error, "");
  EXPECT_EQ(Kept.Dib->GetPaletteColor(1), GlobalColor(1));
  EXPECT_EQ(Kept.Reader->Transparency.BackIndex, 2);
  EXPECT_EQ(Kept.Reader->Transparency.BackColor, int32_t(GlobalColor(2)));

  TRead Shown = ReadGif(MakeGif(S), true);
  EXPECT_EQ(Shown.Dib->GetPaletteColor(1), GlobalColor(2));
  EXPECT_EQ(Shown.Dib->GetPaletteColor(0), GlobalColor(0));

  // Background index 0 means none: the viewer's color shows through.
  S.Background = 0;
  TRead Viewer = ReadGif(MakeGif(S), true, RGBColor(9, 8, 7));
  EXPECT_EQ(Viewer.Dib->GetPaletteColor(1), RGBColor(9, 8, 7));
  EXPECT_EQ(Viewer.Reader->Transparency.BackIndex, -1);

  // An index outside the table is no transparency.
  S.TransparentIndex = 9;
  TRead Outside = ReadGif(MakeGif(S), true);
  EXPECT_FALSE(Outside.Reader->HasAlpha);
  EXPECT_EQ(Outside.Dib->GetPaletteColor(1), GlobalColor(1));
}

TEST(GifCodec, TablesDecideBufferFormatAndGray) {
  TGifSpec S;
  S.GlobalEntries = 2;
  S.LocalEntries = 4;
  S.Data = LiteralData(2, {0, 1, 2, 3, 3, 2, 1, 0});
  TRead R = ReadGif(MakeGif(S));
  ASSERT_EQ(R.Error, "");
  EXPECT_EQ(R.Reader->PaletteSize, 4);
  EXPECT_EQ(R.Reader->PixelFormat, pf4bit);
  EXPECT_EQ(R.Reader->ColorManager.SourceBits, 2);
  EXPECT_EQ(R.Dib->GetPaletteColor(3), LocalColor(3));
  EXPECT_EQ(R.Dib->GetPaletteColor(4), 0u);
  EXPECT_FALSE(R.Reader->IsGray);

  S.LocalEntries = 0;
  S.GlobalEntries = 32;
  S.Data = LiteralData(5, {31, 1, 2, 3, 3, 2, 1, 0});
  S.CodeSize = 5;
  R = ReadGif(MakeGif(S));
  EXPECT_EQ(R.Reader->PixelFormat, pf8bit);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 31u);

  // Values beyond the table are kept as they are.
  S.GlobalEntries = 8;
  S.Data = LiteralData(5, {9, 15, 2, 3, 3, 2, 1, 0});
  R = ReadGif(MakeGif(S));
  EXPECT_EQ(R.Reader->PixelFormat, pf4bit);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 9u);
  EXPECT_EQ(R.Dib->GetPixelValue(1, 0), 15u);
}

TEST(GifCodec, BrokenHeadersFail) {
  TGifSpec S;
  S.Data = LiteralData(2, {0, 1, 2, 3, 3, 2, 1, 0});
  const auto Good = MakeGif(S);
  auto NotGif = Good;
  NotGif[0] = 'X';
  EXPECT_EQ(HeaderError(NotGif), "Invalid GIF header");
  EXPECT_EQ(HeaderError({'G', 'I', 'F', '8'}), "Invalid GIF header");

  TGifSpec BadControl = S;
  BadControl.Extensions = {0x21, 0xF9, 5, 1, 0, 0, 1, 0, 0};
  EXPECT_EQ(HeaderError(MakeGif(BadControl)), "Invalid GIF header");

  // Only a trailer after the screen.
  std::vector<uint8_t> NoImage(Good.begin(), Good.begin() + 13 + 12);
  NoImage.push_back(0x3B);
  EXPECT_EQ(HeaderError(NoImage), "Invalid GIF header");

  for (uint8_t Size : {0, 1, 12, 255}) {
    TGifSpec Code = S;
    Code.CodeSize = Size;
    EXPECT_EQ(HeaderError(MakeGif(Code)), "Invalid compression scheme in GIF file.") << int(Size);
  }

  // A huge screen from a few bytes of data.
  TGifSpec Bomb = S;
  Bomb.ScreenWidth = Bomb.ScreenHeight = 65535;
  EXPECT_EQ(HeaderError(MakeGif(Bomb)), "Invalid GIF image format.");
  TGifSpec Empty = S;
  Empty.ScreenHeight = 0;
  EXPECT_EQ(HeaderError(MakeGif(Empty)), "Invalid GIF image format.");
}

TEST(GifCodec, FramesSmallerOrPastTheScreenStayInside) {
  TGifSpec S;
  S.ScreenWidth = 6;
  S.ScreenHeight = 5;
  S.Left = 2;
  S.Top = 1;
  S.Width = 3;
  S.Height = 2;
  S.Data = LiteralData(2, {1, 2, 3, 3, 2, 1});
  TRead R = ReadGif(MakeGif(S));
  ASSERT_EQ(R.Error, "");
  std::string Rows;
  for (int32_t Y = 0; Y < 5; ++Y)
    for (int32_t X = 0; X < 6; ++X)
      Rows += char('0' + R.Dib->GetPixelValue(X, Y));
  EXPECT_EQ(Rows, "000000"
                  "001230"
                  "003210"
                  "000000"
                  "000000");

  // Reaching past the right and bottom edges: the visible part only.
  S.Left = 4;
  S.Top = 3;
  S.Width = 4;
  S.Height = 3;
  S.Data = LiteralData(2, {1, 2, 3, 1, 3, 2, 1, 3, 1, 1, 1, 1});
  R = ReadGif(MakeGif(S));
  ASSERT_EQ(R.Error, "");
  EXPECT_EQ(R.Reader->Warning, "");
  EXPECT_EQ(R.Dib->GetPixelValue(4, 3), 1u);
  EXPECT_EQ(R.Dib->GetPixelValue(5, 3), 2u);
  EXPECT_EQ(R.Dib->GetPixelValue(4, 4), 3u);
  EXPECT_EQ(R.Dib->GetPixelValue(5, 4), 2u);

  // Entirely outside, in all pixel formats: nothing stored, nothing read.
  for (int32_t Entries : {2, 16, 256}) {
    S.GlobalEntries = Entries;
    S.Left = 60000;
    S.Width = 65535;
    S.Height = 65535;
    TRead Out = ReadGif(MakeGif(S));
    ASSERT_EQ(Out.Error, "");
    for (int32_t Y = 0; Y < 5; ++Y)
      for (int32_t X = 0; X < 6; ++X)
        EXPECT_EQ(Out.Dib->GetPixelValue(X, Y), 0u);
  }
}

TEST(GifCodec, InterlacedHeightsOneToFiveUseTheFourPassOrder) {
  for (uint16_t H = 1; H <= 5; ++H) {
    SCOPED_TRACE(H);
    // Rows arrive in pass order; row r of the image holds the value r.
    const int32_t Start[4] = {0, 4, 2, 1}, Step[4] = {8, 8, 4, 2};
    std::vector<uint8_t> Order;
    for (int32_t Pass = 0; Pass < 4; ++Pass)
      for (int32_t Y = Start[Pass]; Y < H; Y += Step[Pass])
        Order.push_back(uint8_t(Y));
    ASSERT_EQ(Order.size(), H);
    std::vector<uint8_t> Pixels;
    for (uint8_t Y : Order)
      Pixels.insert(Pixels.end(), {Y, Y});
    TGifSpec S;
    S.GlobalEntries = 8;
    S.CodeSize = 3;
    S.ScreenWidth = S.Width = 2;
    S.ScreenHeight = S.Height = H;
    S.Interlaced = true;
    S.Data = LiteralData(3, Pixels);
    TRead R = ReadGif(MakeGif(S));
    ASSERT_EQ(R.Error, "");
    for (int32_t Y = 0; Y < H; ++Y)
      EXPECT_EQ(R.Dib->GetPixelValue(1, Y), uint32_t(Y));

    auto Src = std::make_unique<TDib>(2, H, pf8bit);
    for (int32_t Y = 0; Y < H; ++Y) {
      Src->SetPixelValue(0, Y, uint32_t(Y));
      Src->SetPixelValue(1, Y, uint32_t(Y));
    }
    // The writer stores the same order.
    const auto File = WriteGif(*Src, false, true);
    TRead Back = ReadGif(File);
    for (int32_t Y = 0; Y < H; ++Y)
      EXPECT_EQ(Back.Dib->GetPixelValue(0, Y), uint32_t(Y));
  }
}

TEST(GifCodec, TableFullWithoutClearKeepsDecoding) {
  // 5000 literals and no clear: the table fills at 4096 codes and the rest
  // are read at 12 bits without new entries.
  std::vector<uint8_t> Pixels(5000);
  for (size_t I = 0; I < Pixels.size(); ++I)
    Pixels[I] = uint8_t((I * 7) & 3);
  TGifSpec S;
  S.ScreenWidth = S.Width = 100;
  S.ScreenHeight = S.Height = 50;
  S.Data = LiteralData(2, Pixels);
  TRead R = ReadGif(MakeGif(S));
  ASSERT_EQ(R.Error, "");
  EXPECT_EQ(R.Reader->Warning, "");
  for (int32_t I = 0; I < 5000; ++I)
    ASSERT_EQ(R.Dib->GetPixelValue(I % 100, I / 100), Pixels[size_t(I)]) << I;
}

TEST(GifCodec, CorruptCodesFailAndKeepTheRowsBefore) {
  TGifSpec S;
  S.ScreenWidth = S.Width = 2;
  S.ScreenHeight = S.Height = 3;
  // Row 0, then a code two beyond the next free one.
  S.Data = PackCodes(2, {4, 1, 2, 3, 9, 0, 5});
  TRead R = ReadGif(MakeGif(S));
  EXPECT_EQ(R.Error, "Compression error found in GIF file.");
  EXPECT_FALSE(R.Reader->OK);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 1u);
  EXPECT_EQ(R.Dib->GetPixelValue(1, 0), 2u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 1), 3u);

  // An undefined code right after a clear.
  S.Data = PackCodes(2, {4, 7, 5});
  EXPECT_EQ(ReadGif(MakeGif(S)).Error, "Compression error found in GIF file.");

  // The code being defined (previous string plus its first pixel) is fine.
  S.Data = PackCodes(2, {4, 1, 6, 7, 5});
  R = ReadGif(MakeGif(S));
  ASSERT_EQ(R.Error, "");
  for (int32_t Y = 0; Y < 3; ++Y)
    for (int32_t X = 0; X < 2; ++X)
      EXPECT_EQ(R.Dib->GetPixelValue(X, Y), 1u);
}

TEST(GifCodec, DataEndingEarlyKeepsTheDecodedRowsWithAWarning) {
  TGifSpec S;
  S.ScreenWidth = S.Width = 4;
  S.ScreenHeight = S.Height = 3;
  // Five pixels and no end code.
  S.Data = LiteralData(2, {1, 2, 3, 1, 2}, false);
  TRead R = ReadGif(MakeGif(S));
  ASSERT_EQ(R.Error, "");
  EXPECT_EQ(R.Reader->Warning, "Compression error found in GIF file.");
  EXPECT_EQ(R.Dib->GetPixelValue(3, 0), 1u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 1), 2u);
  EXPECT_EQ(R.Dib->GetPixelValue(1, 1), 0u);

  // All rows present: a missing end code is no fault.
  S.Data = LiteralData(2, std::vector<uint8_t>(12, 3), false);
  R = ReadGif(MakeGif(S));
  EXPECT_EQ(R.Reader->Warning, "");
  EXPECT_EQ(R.Dib->GetPixelValue(3, 2), 3u);
}

TEST(GifCodec, EveryTruncationIsHandled) {
  const auto Src = MakeDib(pf8bit, 40, 30, 7, false);
  for (bool Interlaced : {false, true}) {
    const auto File = WriteGif(*Src, true, Interlaced);
    for (size_t N = 0; N < File.size(); ++N) {
      const std::vector<uint8_t> Cut(File.begin(), File.begin() + long(N));
      TRead R = ReadGif(Cut);
      if (!R.Error.empty()) {
        EXPECT_TRUE(R.Error == "Invalid GIF header" || R.Error == "Compression error found in GIF file." ||
                    R.Error == "Invalid compression scheme in GIF file.")
            << N << ": " << R.Error;
        continue;
      }
      // Without a warning the image is complete.
      if (R.Reader->Warning.empty()) {
        EXPECT_TRUE(SamePixels(*Src, *R.Dib)) << N;
      }
    }
  }
}

// Pillow, an independent decoder, reads the files the writer makes.
TEST(GifCodec, PillowReadsOurFilesToTheSamePixels) {
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3-pil not installed";
  const fs::path Dir = fs::temp_directory_path() / ("pelorin-gif-" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  std::vector<std::pair<fs::path, std::unique_ptr<TDib>>> Files;
  for (const TCase& C : RoundTripCases)
    for (bool Lzw : {true, false})
      for (bool Interlaced : {false, true}) {
        auto Src = MakeDib(C.Pf, C.W, std::min(C.H, 40), uint32_t(C.W + 5), C.Smooth);
        const auto Bytes = WriteGif(*Src, Lzw, Interlaced);
        const fs::path Name = Dir / (std::to_string(Files.size()) + ".gif");
        std::ofstream(Name, std::ios::binary).write(reinterpret_cast<const char*>(Bytes.data()), long(Bytes.size()));
        Files.emplace_back(Name, std::move(Src));
      }
  std::string Command = "/usr/bin/python3 -c 'import sys\nfrom PIL import Image\n"
                        "for n in sys.argv[1:]:\n"
                        "  im = Image.open(n).convert(\"RGB\")\n"
                        "  print(im.size[0], im.size[1], im.tobytes().hex())' ";
  for (const auto& F : Files)
    Command += " " + F.first.string();
  const fs::path Output = Dir / "out.txt";
  ASSERT_EQ(std::system((Command + " > " + Output.string()).c_str()), 0);
  std::ifstream In(Output);
  for (const auto& [Name, Src] : Files) {
    SCOPED_TRACE(Name.string());
    int32_t W = 0, H = 0;
    std::string Hex;
    ASSERT_TRUE(In >> W >> H >> Hex);
    ASSERT_EQ(W, Src->Width());
    ASSERT_EQ(H, Src->Height());
    std::string Want;
    char Buf[7];
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X) {
        const TColor C = Src->GetPixelColor(X, Y);
        std::snprintf(Buf, sizeof Buf, "%02x%02x%02x", GetRValue(C), GetGValue(C), GetBValue(C));
        Want += Buf;
      }
    EXPECT_TRUE(Hex == Want);
  }
  fs::remove_all(Dir);
}

namespace {

// Counts the reads a reader makes.
class TCountingStream : public TMemoryStream {
public:
  explicit TCountingStream(std::span<const uint8_t> Data) : TMemoryStream(Data) {}
  size_t Read(void* Buffer, size_t Count) override {
    ++Reads;
    return TMemoryStream::Read(Buffer, Count);
  }
  int32_t Reads = 0;
};

} // namespace

TEST(GifCodec, PaddingAndTinySubBlocksAreReadInPieces) {
  TGifSpec S;
  S.Extensions.assign(100000, 0);
  S.Extensions.insert(S.Extensions.end(), {0x21, 0xFE});
  for (int32_t I = 0; I < 50000; ++I)
    S.Extensions.insert(S.Extensions.end(), {1, 'x'});
  S.Extensions.push_back(0);
  S.Data = LiteralData(2, {0, 1, 2, 3, 3, 2, 1, 0});
  const auto File = MakeGif(S);
  TCountingStream Stream(File);
  TGifReader Reader;
  Reader.OpenStream(Stream);
  Reader.Read();
  EXPECT_EQ(Reader.Dib->GetPixelValue(3, 1), 0u);
  EXPECT_EQ(Reader.Dib->GetPixelValue(0, 1), 3u);
  EXPECT_LT(Stream.Reads, 200);
}

namespace {

// One image block of a hand-made frame: control block, descriptor, an
// optional local table of Colors, and its pixels as literal codes.
struct TBlock {
  TBlock(uint16_t L, uint16_t T, uint16_t W, uint16_t H, std::vector<TColor> Table = {})
      : Left(L), Top(T), Width(W), Height(H), Colors(std::move(Table)) {}
  uint16_t Left = 0, Top = 0, Width = 1, Height = 1;
  std::vector<TColor> Colors; // empty: the global table
  int32_t TransparentIndex = NoTransparency;
  uint8_t Disposal = 0;
  uint16_t Delay = 0;
  bool Control = true;
  std::vector<uint8_t> Pixels;
};

std::vector<uint8_t> MakeFrameGif(uint16_t W, uint16_t H, int32_t GlobalEntries, const std::vector<TBlock>& Blocks) {
  TGifSpec S;
  S.ScreenWidth = W;
  S.ScreenHeight = H;
  S.GlobalEntries = GlobalEntries;
  auto F = MakeGif(S);
  F.resize(13 + 3 * size_t(GlobalEntries));
  for (const TBlock& B : Blocks) {
    if (B.Control) {
      const uint8_t Flags = uint8_t((B.Disposal << 2) | (B.TransparentIndex >= 0 ? 1 : 0));
      F.insert(F.end(), {0x21, 0xF9, 4, Flags, uint8_t(B.Delay), uint8_t(B.Delay >> 8),
                         uint8_t(std::max(B.TransparentIndex, 0)), 0});
    }
    uint8_t D[10] = {0x2C};
    PutLE16(D + 1, B.Left);
    PutLE16(D + 3, B.Top);
    PutLE16(D + 5, B.Width);
    PutLE16(D + 7, B.Height);
    const int32_t Entries = B.Colors.empty() ? 0 : 2 << TableBits(int32_t(B.Colors.size()));
    D[9] = Entries ? uint8_t(0x80 | TableBits(Entries)) : 0;
    F.insert(F.end(), D, D + 10);
    for (int32_t I = 0; I < Entries; ++I) {
      const TColor C = I < int32_t(B.Colors.size()) ? B.Colors[size_t(I)] : 0;
      F.insert(F.end(), {GetRValue(C), GetGValue(C), GetBValue(C)});
    }
    F.push_back(3);
    const auto Data = LiteralData(3, B.Pixels);
    F.push_back(uint8_t(Data.size()));
    F.insert(F.end(), Data.begin(), Data.end());
    F.push_back(0);
  }
  F.push_back(0x3B);
  return F;
}

std::string Indices(const TDib& Dib) {
  std::string Out;
  for (int32_t Y = 0; Y < Dib.Height(); ++Y)
    for (int32_t X = 0; X < Dib.Width(); ++X)
      Out += char('0' + Dib.GetPixelValue(X, Y));
  return Out;
}

constexpr TColor Red = 0x0000FF, Green = 0x00FF00, Blue = 0xFF0000, White = 0xFFFFFF;

} // namespace

TEST(GifFrame, ImagesWithTheirOwnTablesMeetAsColors) {
  TBlock A{0, 0, 2, 2, {Red, Green}};
  A.TransparentIndex = 1;
  A.Pixels = {0, 1, 1, 0};
  // The second one is transparent where it would cover the first one's red.
  TBlock B{1, 0, 2, 2, {Blue, White}};
  B.TransparentIndex = 0;
  B.Pixels = {0, 1, 1, 1};
  TRead R = ReadGif(MakeFrameGif(3, 2, 0, {A, B}));
  ASSERT_EQ(R.Error, "");
  ASSERT_EQ(R.Dib->PixelFormat(), pf24bit);
  EXPECT_EQ(R.Reader->PaletteSize, 0);
  const TColor Want[2][3] = {{Red, Green, White}, {Green, White, White}};
  for (int32_t Y = 0; Y < 2; ++Y)
    for (int32_t X = 0; X < 3; ++X)
      EXPECT_EQ(R.Dib->GetPixelColor(X, Y), Want[Y][X]) << X << "," << Y;
  // The record stays the first image's.
  EXPECT_EQ(R.Reader->Transparency.TransparentIndex, 1);
  EXPECT_EQ(R.Reader->Transparency.TransparentColor, int32_t(Green));
  EXPECT_EQ(R.Reader->FrameWidth, 2);

  // Shown with transparency, the first image's transparent pixels take the
  // viewer's color; later ones still let the first image through.
  TRead Shown = ReadGif(MakeFrameGif(3, 2, 0, {A, B}), true, RGBColor(9, 8, 7));
  EXPECT_EQ(Shown.Dib->GetPixelColor(1, 0), RGBColor(9, 8, 7));
  EXPECT_EQ(Shown.Dib->GetPixelColor(0, 0), Red);
  EXPECT_EQ(Shown.Dib->GetPixelColor(2, 1), White);

  // A delay on the first image ends the frame there: indexed, as before.
  A.Delay = 10;
  TRead First = ReadGif(MakeFrameGif(3, 2, 0, {A, B}));
  EXPECT_EQ(First.Dib->PixelFormat(), pf1bit);
  EXPECT_EQ(Indices(*First.Dib), "010100");
}

TEST(GifFrame, SharedTablesStayIndexedAndUncoveredScreenIsIndexZero) {
  TBlock A{0, 0, 2, 1};
  A.Pixels = {5, 6};
  TBlock B{1, 1, 2, 1};
  B.Control = false;
  B.Pixels = {7, 3};
  TRead R = ReadGif(MakeFrameGif(3, 3, 8, {A, B}));
  ASSERT_EQ(R.Error, "");
  EXPECT_EQ(R.Dib->PixelFormat(), pf4bit);
  EXPECT_EQ(Indices(*R.Dib), "560"
                             "073"
                             "000");
  EXPECT_EQ(R.Dib->GetPaletteColor(5), GlobalColor(5));

  // A second transparent index where the first image's entry is replaced
  // for display cannot share the palette.
  A.TransparentIndex = 2;
  B.Control = true;
  B.TransparentIndex = 3;
  R = ReadGif(MakeFrameGif(3, 3, 8, {A, B}));
  EXPECT_EQ(R.Dib->PixelFormat(), pf24bit);
  EXPECT_EQ(R.Dib->GetPixelColor(2, 2), GlobalColor(0));
  EXPECT_EQ(R.Dib->GetPixelColor(2, 1), GlobalColor(0));
  EXPECT_EQ(R.Dib->GetPixelColor(1, 1), GlobalColor(7));
}

TEST(GifFrame, ImagesPastTheScreenAreClipped) {
  TBlock A{0, 0, 2, 2, {Red, Green}};
  A.Pixels = {0, 0, 0, 0};
  TBlock B{1, 1, 3, 3, {Blue, White}};
  B.Pixels = {0, 1, 0, 1, 0, 1, 0, 1, 0};
  TBlock Far{60000, 60000, 65535, 65535, {White, White}};
  Far.Pixels = {1, 1, 1};
  TRead R = ReadGif(MakeFrameGif(2, 2, 0, {A, B, Far}));
  ASSERT_EQ(R.Error, "");
  ASSERT_EQ(R.Dib->PixelFormat(), pf24bit);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), Red);
  EXPECT_EQ(R.Dib->GetPixelColor(1, 0), Red);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 1), Red);
  EXPECT_EQ(R.Dib->GetPixelColor(1, 1), Blue);
}

TEST(GifFrame, DisposalsShapeTheFrame) {
  TBlock Base{0, 0, 3, 1};
  Base.Pixels = {1, 1, 1};
  TBlock Over{0, 0, 2, 1};
  Over.Pixels = {2, 2};
  TBlock Last{2, 0, 1, 1};
  Last.Pixels = {3};
  Over.Disposal = 3;
  EXPECT_EQ(Indices(*ReadGif(MakeFrameGif(3, 1, 4, {Base, Over, Last})).Dib), "113");
  Over.Disposal = 2;
  EXPECT_EQ(Indices(*ReadGif(MakeFrameGif(3, 1, 4, {Base, Over, Last})).Dib), "003");
  Over.Disposal = 1;
  EXPECT_EQ(Indices(*ReadGif(MakeFrameGif(3, 1, 4, {Base, Over, Last})).Dib), "223");
  // The frame's last image keeps its pixels whatever its disposal says.
  Last.Disposal = 2;
  Last.Delay = 20;
  TBlock Later{0, 0, 3, 1};
  Later.Pixels = {0, 0, 0};
  EXPECT_EQ(Indices(*ReadGif(MakeFrameGif(3, 1, 4, {Base, Over, Last, Later})).Dib), "223");
}

TEST(GifFrame, SingleImagesReadAsBefore) {
  // A control block without delay, then only the trailer.
  TBlock A{1, 0, 2, 1};
  A.Pixels = {4, 7};
  TRead R = ReadGif(MakeFrameGif(4, 1, 8, {A}));
  ASSERT_EQ(R.Error, "");
  EXPECT_EQ(R.Dib->PixelFormat(), pf4bit);
  EXPECT_EQ(R.Reader->PaletteSize, 8);
  EXPECT_EQ(Indices(*R.Dib), "0470");
  for (int32_t I = 0; I < 8; ++I)
    EXPECT_EQ(R.Dib->GetPaletteColor(I), GlobalColor(I));
  EXPECT_TRUE(R.Reader->ShowProgress);

  // A later image whose header is cut off is no part of the frame.
  auto Cut = MakeFrameGif(4, 1, 8, {A, A});
  Cut.resize(Cut.size() - 12);
  R = ReadGif(Cut);
  ASSERT_EQ(R.Error, "");
  EXPECT_EQ(Indices(*R.Dib), "0470");
}

TEST(GifFrame, DisposalWorkIsCappedAtAFewScreens) {
  // Each screen-sized image is cleared again: after sixteen screens of such
  // work the frame ends, keeping the image that went past the cap.
  TBlock Screen{0, 0, 1024, 1024};
  Screen.Pixels = {1};
  Screen.Disposal = 2;
  std::vector<TBlock> Blocks(40, Screen);
  TBlock Last{1, 0, 1, 1};
  Last.Pixels = {1};
  Blocks.push_back(Last);
  TRead R = ReadGif(MakeFrameGif(1024, 1024, 2, Blocks));
  ASSERT_EQ(R.Error, "");
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 1u);
  EXPECT_EQ(R.Dib->GetPixelValue(1, 0), 0u);

  // Within the cap the clears are done.
  Blocks.erase(Blocks.begin() + 4, Blocks.end() - 1);
  R = ReadGif(MakeFrameGif(1024, 1024, 2, Blocks));
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 0u);
  EXPECT_EQ(R.Dib->GetPixelValue(1, 0), 1u);
}
