#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "ByteOrder.h"
#include "CCITTLib.h"
#include "CorpusReference.h"
#include "TgaPmgExternal.h"

// The fax decoder against libtiff: pages libtiff's tiffcp encodes in every
// fax coding decode to the page's bits, and the corpus's fax files decode to
// libtiff's own decoding of them.
namespace {

using TgaPmgExternal::HaveCommand;
using TgaPmgExternal::TTempFile;

using TBits = std::vector<uint8_t>; // rows of (Width + 7) / 8 bytes

size_t RowBytes(int32_t W) { return size_t(W + 7) / 8; }

// Text-like lines of small boxes, rules, a checkered patch and noise.
TBits TestPage(int32_t W, int32_t H, uint32_t Seed) {
  TBits Page(RowBytes(W) * size_t(H));
  std::mt19937 Rng(Seed);
  const auto Set = [&](int32_t X, int32_t Y) {
    if (X >= 0 && X < W && Y >= 0 && Y < H)
      Page[size_t(Y) * RowBytes(W) + size_t(X / 8)] |= uint8_t(0x80 >> (X % 8));
  };
  for (int32_t Y0 = 4; Y0 + 12 < H; Y0 += 16)
    for (int32_t X0 = int32_t(Rng() % 9); X0 < W; X0 += 3 + int32_t(Rng() % 12)) {
      const int32_t Bw = 1 + int32_t(Rng() % 7), Bh = 2 + int32_t(Rng() % 10);
      for (int32_t Y = 0; Y < Bh; ++Y)
        for (int32_t X = 0; X < Bw; ++X)
          if (Y == 0 || X == 0 || Rng() % 3 != 0)
            Set(X0 + X, Y0 + Y);
    }
  for (int32_t X = 0; X < W; ++X)
    Set(X, H / 3);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = W / 2; X < W / 2 + 40; ++X)
      if (((X / 3) + (Y / 3)) % 2 == 0)
        Set(X, Y);
  for (int32_t I = 0; I < W * H / 200; ++I)
    Set(int32_t(Rng() % uint32_t(W)), int32_t(Rng() % uint32_t(H)));
  return Page;
}

// The first directory of a TIFF file, as far as fax strips need it.
struct TFaxTiff {
  int32_t Width = 0, Height = 0, RowsPerStrip = 0;
  uint32_t Compression = 1, FillOrder = 1, Photometric = 0, T4Options = 0, T6Options = 0;
  bool Tiled = false;
  std::vector<std::vector<uint8_t>> Strips;
};

std::vector<uint8_t> ReadAll(const std::filesystem::path& Name) {
  std::ifstream In(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), {}};
}

bool ParseTiff(const std::vector<uint8_t>& F, TFaxTiff& T) {
  if (F.size() < 8 || (F[0] != 'I' && F[0] != 'M'))
    return false;
  const bool Be = F[0] == 'M';
  const auto U16 = [&](size_t P) { return uint32_t(Get16(&F[P], Be)); };
  const auto U32 = [&](size_t P) { return Be ? GetBE32(&F[P]) : GetLE32(&F[P]); };
  const size_t Ifd = U32(4);
  if (Ifd + 2 > F.size())
    return false;
  std::map<uint32_t, std::vector<uint32_t>> Tags;
  for (uint32_t I = 0, N = U16(Ifd); I < N && Ifd + 14 + 12 * I <= F.size(); ++I) {
    const size_t E = Ifd + 2 + 12 * I;
    const uint32_t Type = U16(E + 2), Count = U32(E + 4), Size = Type == 3 ? 2 : 4;
    if (Type != 3 && Type != 4)
      continue;
    const size_t At = Count * Size <= 4 ? E + 8 : U32(E + 8);
    if (At + size_t(Count) * Size > F.size())
      return false;
    auto& V = Tags[U16(E)];
    for (uint32_t K = 0; K < Count; ++K)
      V.push_back(Size == 2 ? U16(At + 2 * K) : U32(At + 4 * K));
  }
  const auto One = [&](uint32_t Tag, uint32_t Default) { return Tags.count(Tag) ? Tags[Tag][0] : Default; };
  T.Width = int32_t(One(256, 0));
  T.Height = int32_t(One(257, 0));
  T.RowsPerStrip = int32_t(std::min<uint32_t>(One(278, uint32_t(T.Height)), uint32_t(T.Height)));
  T.Compression = One(259, 1);
  T.Photometric = One(262, 0);
  T.FillOrder = One(266, 1);
  T.T4Options = One(292, 0);
  T.T6Options = One(293, 0);
  T.Tiled = Tags.count(322) != 0;
  const auto& Offsets = Tags[273];
  const auto& Counts = Tags[279];
  for (size_t S = 0; S < Offsets.size() && S < Counts.size(); ++S) {
    if (uint64_t(Offsets[S]) + Counts[S] > F.size())
      return false;
    T.Strips.emplace_back(F.begin() + Offsets[S], F.begin() + Offsets[S] + Counts[S]);
  }
  return T.Width > 0 && T.Height > 0 && !T.Strips.empty();
}

// An uncompressed WhiteIsZero bilevel TIFF of one strip.
std::vector<uint8_t> BilevelTiff(int32_t W, int32_t H, const TBits& Page) {
  std::vector<uint8_t> F(8 + 2 + 8 * 12 + 4);
  F[0] = F[1] = 'I';
  PutLE16(&F[2], 42);
  PutLE32(&F[4], 8);
  PutLE16(&F[8], 8);
  const uint32_t Data = uint32_t(F.size());
  const uint32_t Entries[8][3] = {
      {256, 4, uint32_t(W)}, {257, 4, uint32_t(H)}, {258, 3, 1},           {259, 3, 1},
      {262, 3, 0},           {273, 4, Data},        {278, 4, uint32_t(H)}, {279, 4, uint32_t(Page.size())}};
  for (int I = 0; I < 8; ++I) {
    uint8_t* E = &F[10 + 12 * size_t(I)];
    PutLE16(E, uint16_t(Entries[I][0]));
    PutLE16(E + 2, uint16_t(Entries[I][1]));
    PutLE32(E + 4, 1);
    if (Entries[I][1] == 3)
      PutLE16(E + 8, uint16_t(Entries[I][2]));
    else
      PutLE32(E + 8, Entries[I][2]);
  }
  F.insert(F.end(), Page.begin(), Page.end());
  return F;
}

TFaxParams ParamsOf(const TFaxTiff& T) {
  TFaxParams P;
  P.Width = T.Width;
  P.Coding = T.Compression == 4   ? TFaxCoding::Group4
             : T.Compression == 3 ? TFaxCoding::Group3
                                  : TFaxCoding::ModifiedHuffman;
  P.Options = T.Compression == 4 ? T.T6Options : T.T4Options;
  P.WordAligned = T.Compression == 32771;
  P.ReverseBits = T.FillOrder == 2;
  return P;
}

struct TDecoded {
  TBits Bits;
  int Damaged = 0;
};

// Every strip's rows, as a reader asks for them.
TDecoded DecodeStrips(const TFaxTiff& T) {
  TDecoded Out;
  auto Decoder = NewCCITTDecoder(ParamsOf(T));
  const size_t Rb = RowBytes(T.Width);
  std::vector<uint8_t> Row(Rb);
  for (size_t S = 0; S < T.Strips.size(); ++S) {
    Decoder->Start(T.Strips[S]);
    const int32_t Rows = std::min<int32_t>(T.RowsPerStrip, T.Height - int32_t(S) * T.RowsPerStrip);
    for (int32_t Y = 0; Y < Rows; ++Y) {
      const TFaxStatus Status = Decoder->DecodeRow(Row);
      if (Status == TFaxStatus::End)
        break;
      Out.Damaged += Status == TFaxStatus::Damaged;
      Out.Bits.insert(Out.Bits.end(), Row.begin(), Row.end());
    }
  }
  return Out;
}

bool Tiffcp(const std::string& Options, const std::filesystem::path& In, const std::filesystem::path& Out) {
  const std::string Cmd = "tiffcp " + Options + " '" + In.string() + "' '" + Out.string() + "' >/dev/null 2>&1";
  return std::system(Cmd.c_str()) == 0;
}

// libtiff's decoding of the first page: an uncompressed copy's strips.
bool LibtiffBits(const std::filesystem::path& Name, TBits& Bits) {
  TTempFile Plain(".tif");
  TFaxTiff T;
  if (!Tiffcp("-c none -f msb2lsb", Name.string() + ",0", Plain.Path()) || !ParseTiff(ReadAll(Plain.Path()), T))
    return false;
  for (const auto& S : T.Strips)
    Bits.insert(Bits.end(), S.begin(), S.end());
  Bits.resize(RowBytes(T.Width) * size_t(T.Height));
  return true;
}

int FirstDifferentRow(const TBits& A, const TBits& B, int32_t W) {
  const size_t Rows = std::max(A.size(), B.size()) / RowBytes(W);
  for (size_t Y = 0; Y < Rows; ++Y) {
    const size_t At = Y * RowBytes(W);
    if (At + RowBytes(W) > A.size() || At + RowBytes(W) > B.size() ||
        !std::equal(A.begin() + At, A.begin() + At + RowBytes(W), B.begin() + At))
      return int(Y);
  }
  return -1;
}

class CCITTLibtiffTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!HaveCommand("tiffcp"))
      GTEST_SKIP() << "tiffcp (libtiff-tools) is not installed";
  }
};

TEST_F(CCITTLibtiffTest, PagesTiffcpEncodesDecodeToTheirBits) {
  const char* Codings[] = {
      "-c g3",       "-c g3:2d",       "-c g3:fill",       "-c g3:2d:fill",       "-c g4",
      "-c g4 -r 37", "-c g3:2d -r 50", "-c g3 -f lsb2msb", "-c g3:2d -f lsb2msb", "-c g4 -f lsb2msb"};
  const std::pair<int32_t, int32_t> Sizes[] = {{1728, 300}, {1001, 211}, {1, 40}, {8, 33}, {8200, 60}};
  for (const auto& [W, H] : Sizes) {
    const TBits Page = TestPage(W, H, uint32_t(W * 31 + H));
    TTempFile Plain(".tif");
    Plain.Write(BilevelTiff(W, H, Page));
    for (const char* Coding : Codings) {
      SCOPED_TRACE(std::string(Coding) + " width " + std::to_string(W));
      TTempFile Coded(".tif");
      ASSERT_TRUE(Tiffcp(Coding, Plain.Path(), Coded.Path()));
      TFaxTiff T;
      ASSERT_TRUE(ParseTiff(ReadAll(Coded.Path()), T));
      const TDecoded D = DecodeStrips(T);
      EXPECT_EQ(D.Damaged, 0);
      EXPECT_EQ(FirstDifferentRow(D.Bits, Page, W), -1);
    }
  }
}

// Every fax file of the corpus; the broken ones only have to stay inside
// their rows, which the sanitizers check.
TEST_F(CCITTLibtiffTest, CorpusFaxFilesDecodeAsLibtiffDoes) {
  const auto Root = CorpusReference::CorpusRoot();
  if (Root.empty())
    GTEST_SKIP() << "PELORIN_CORPUS is not set";
  int Compared = 0;
  for (const auto& E : std::filesystem::recursive_directory_iterator(Root)) {
    const std::string Ext = E.path().extension().string();
    TFaxTiff T;
    if (!E.is_regular_file() || (Ext != ".tif" && Ext != ".tiff") || !ParseTiff(ReadAll(E.path()), T) || T.Tiled ||
        (T.Compression != 2 && T.Compression != 3 && T.Compression != 4 && T.Compression != 32771))
      continue;
    SCOPED_TRACE(E.path().string());
    const TDecoded D = DecodeStrips(T);
    TBits Ref;
    if (D.Damaged != 0 || !LibtiffBits(E.path(), Ref))
      continue;
    // Data ending early (an EOFB before the last row) leave libtiff's fill
    // of the missing rows, which is the reader's business.
    const bool Whole = D.Bits.size() == Ref.size();
    Ref.resize(std::min(Ref.size(), D.Bits.size()));
    EXPECT_EQ(FirstDifferentRow(D.Bits, Ref, T.Width), -1);
    Compared += Whole;
  }
  EXPECT_GE(Compared, 30);
  std::printf("%d fax files decode as libtiff does\n", Compared);
}

// A page of the coding from tiffcp, one strip.
TFaxTiff CodedPage(int32_t W, int32_t H, const char* Coding, TBits& Page) {
  Page = TestPage(W, H, 7);
  TTempFile Plain(".tif"), Coded(".tif");
  Plain.Write(BilevelTiff(W, H, Page));
  TFaxTiff T;
  if (!Tiffcp(std::string(Coding) + " -r 100000", Plain.Path(), Coded.Path()))
    ADD_FAILURE() << "tiffcp " << Coding;
  ParseTiff(ReadAll(Coded.Path()), T);
  return T;
}

TEST_F(CCITTLibtiffTest, TruncatedGroup4StripEndsAfterOneDamagedRow) {
  TBits Page;
  TFaxTiff T = CodedPage(1728, 200, "-c g4", Page);
  ASSERT_EQ(T.Strips.size(), 1u);
  T.Strips[0].resize(T.Strips[0].size() / 2);
  auto Decoder = NewCCITTDecoder(ParamsOf(T));
  Decoder->Start(T.Strips[0]);
  std::vector<uint8_t> Row(RowBytes(T.Width));
  int32_t Y = 0;
  TFaxStatus Status;
  while ((Status = Decoder->DecodeRow(Row)) == TFaxStatus::Ok) {
    ASSERT_TRUE(std::equal(Row.begin(), Row.end(), Page.begin() + size_t(Y) * Row.size())) << "row " << Y;
    ++Y;
  }
  EXPECT_GT(Y, 50);
  EXPECT_LT(Y, 200);
  EXPECT_EQ(Status, TFaxStatus::Damaged);
  EXPECT_EQ(Decoder->DecodeRow(Row), TFaxStatus::End);
}

// Damage in the middle of a 1-D page costs the lines up to the next EOL.
TEST_F(CCITTLibtiffTest, Group3ResynchronisesAtTheNextEol) {
  for (const char* Coding : {"-c g3", "-c g3:2d"}) {
    SCOPED_TRACE(Coding);
    TBits Page;
    TFaxTiff T = CodedPage(1001, 120, Coding, Page);
    ASSERT_EQ(T.Strips.size(), 1u);
    auto& S = T.Strips[0];
    for (size_t I = S.size() / 2; I < S.size() / 2 + 6; ++I)
      S[I] ^= 0x5A;
    // The rows up to the page's end, however many the damage made of its lines.
    T.RowsPerStrip = T.Height = 1000;
    const TDecoded D = DecodeStrips(T);
    EXPECT_GE(D.Damaged, 1);
    const size_t Rb = RowBytes(T.Width), Tail = 10 * Rb;
    ASSERT_GT(D.Bits.size(), 100 * Rb);
    EXPECT_TRUE(std::equal(D.Bits.end() - ptrdiff_t(Tail), D.Bits.end(), Page.end() - ptrdiff_t(Tail)));
  }
}

TEST(CCITTDecoderTest, GarbageStaysInsideRowsAndEnds) {
  std::mt19937 Rng(5);
  for (const TFaxCoding Coding : {TFaxCoding::ModifiedHuffman, TFaxCoding::Group3, TFaxCoding::Group4})
    for (const int32_t W : {1, 8, 1001, 8193})
      for (const uint32_t Options : {0u, FaxOpt2D | FaxOptFillBits}) {
        std::vector<uint8_t> Strip(3000);
        for (auto& B : Strip)
          B = uint8_t(Rng() % 4 == 0 ? 0 : Rng());
        auto Decoder = NewCCITTDecoder({W, Coding, Options, Options != 0, Options != 0});
        Decoder->Start(Strip);
        std::vector<uint8_t> Row(RowBytes(W));
        const uint8_t Pad = uint8_t(0xFF >> (W % 8 == 0 ? 8 : W % 8));
        int Calls = 0;
        while (Decoder->DecodeRow(Row) != TFaxStatus::End && ++Calls < 30000)
          ASSERT_EQ(Row.back() & Pad, 0);
        EXPECT_LT(Calls, 30000) << "width " << W;
      }
}

TEST(CCITTDecoderTest, RunsPastTheRowDamageItAndNothingElse) {
  // MH, width 10: white 64 is longer than the row; the next row (byte
  // aligned) is white 2, black 3, white 5.
  const std::vector<uint8_t> Strip = {0b11011000, 0b01111011, 0b00000000};
  auto Decoder = NewCCITTDecoder({10, TFaxCoding::ModifiedHuffman, 0, false, false});
  Decoder->Start(Strip);
  std::vector<uint8_t> Row(2, 0xFF);
  EXPECT_EQ(Decoder->DecodeRow(Row), TFaxStatus::Damaged);
  EXPECT_EQ(Row, (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(Decoder->DecodeRow(Row), TFaxStatus::Ok);
  EXPECT_EQ(Row, (std::vector<uint8_t>{0b00111000, 0}));
  EXPECT_EQ(Decoder->DecodeRow(Row), TFaxStatus::End);
}

TEST(CCITTDecoderTest, WordAlignedRowsStartOnEvenBytes) {
  // White 10, a padding byte, then white 2, black 3, white 5.
  const std::vector<uint8_t> Strip = {0b00111000, 0, 0b01111011, 0};
  auto Decoder = NewCCITTDecoder({10, TFaxCoding::ModifiedHuffman, 0, true, false});
  Decoder->Start(Strip);
  std::vector<uint8_t> Row(2);
  EXPECT_EQ(Decoder->DecodeRow(Row), TFaxStatus::Ok);
  EXPECT_EQ(Row, (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(Decoder->DecodeRow(Row), TFaxStatus::Ok);
  EXPECT_EQ(Row, (std::vector<uint8_t>{0b00111000, 0}));
}

TEST(CCITTDecoderTest, RefusesWhatItCannotHold) {
  EXPECT_EQ(NewCCITTDecoder({0, TFaxCoding::Group4, 0, false, false}), nullptr);
  auto Decoder = NewCCITTDecoder({100, TFaxCoding::Group4, 0, false, false});
  std::vector<uint8_t> Row(12); // one byte short
  EXPECT_EQ(Decoder->DecodeRow(Row), TFaxStatus::End);
  const std::vector<uint8_t> Strip(20, 0x80);
  Decoder->Start(Strip);
  EXPECT_EQ(Decoder->DecodeRow(Row), TFaxStatus::End);
}

} // namespace
