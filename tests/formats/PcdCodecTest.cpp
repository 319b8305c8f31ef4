#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "Errors.h"
#include "PcdBoxes.h"
#include "XPcd.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t Sector = 2048;

// Sample of plane 0 (luminance), 1 or 2 at (x, y) of a plain level.
using TSampleOf = std::function<uint8_t(int, int, int)>;

// One row of corrections, every sample coded by the same 8-bit code: 0x00
// adds 20, 0x80 subtracts 20, 0xC0 adds 5.
struct TFix {
  int Plane, Row;
  uint8_t Code;
};

struct TSpec {
  uint8_t Attribute = 0; // rotation | largest resolution << 2
  uint16_t Count = 0xFFFF;
  bool Overview = false;
  TSampleOf Sample = [](int, int, int P) { return uint8_t(P == 0 ? 100 : P == 1 ? 156 : 137); };
  std::vector<TFix> Four = {}, Sixteen = {};
  // The bytes in the 12 sectors before the 16 base tables.
  uint8_t GapFill = 0;
};

// Tables, then each row after its sync mark, then the end mark.
Bytes Section(int Tables, const std::vector<TFix>& Fixes, int Width, int Height) {
  Bytes Out;
  for (int T = 0; T < Tables; ++T)
    Out.insert(Out.end(), {2, 7, 0x00, 0x00, 20, 7, 0x80, 0x00, 0xEC, 7, 0xC0, 0x00, 5});
  auto Mark = [&](int Plane, int Row) {
    Out.insert(Out.end(), {0xFF, 0xFF, 0xFE, uint8_t(Plane << 6 | Row >> 7), uint8_t(Row << 1)});
  };
  for (const TFix& F : Fixes) {
    Mark(F.Plane, F.Row);
    Out.insert(Out.end(), size_t(F.Plane ? Width / 2 : Width), F.Code);
  }
  Mark(0, Height);
  return Out;
}

Bytes Build(const TSpec& S) {
  Bytes F(3 * Sector, 0);
  std::memset(F.data(), 0xFF, Sector);
  F[10] = uint8_t(S.Count >> 8);
  F[11] = uint8_t(S.Count);
  std::memcpy(S.Overview ? F.data() : F.data() + Sector, S.Overview ? "PCD_OPA" : "PCD_IPI", 7);
  F[0xE02] = S.Attribute;
  const size_t Starts[] = {S.Overview ? 5u : 4u, 23, 96};
  for (int L = 0; L < (S.Overview ? 1 : 3); ++L) {
    F.resize(Starts[L] * Sector, 0);
    const int W = 192 << L, H = 128 << L;
    for (int K = 0; K < H / 2; ++K) {
      for (int P = 0; P < 4; ++P)
        for (int X = 0; X < (P < 2 ? W : W / 2); ++X)
          F.push_back(S.Sample(X, P < 2 ? 2 * K + P : K, P < 2 ? 0 : P - 1));
    }
  }
  if (S.Attribute >> 2 == 0)
    return F;
  F.resize(388 * Sector, 0);
  const Bytes Four = Section(1, S.Four, 1536, 1024);
  F.insert(F.end(), Four.begin(), Four.end());
  if (S.Attribute >> 2 == 1)
    return F;
  const size_t Tables = ((F.size() + Sector - 1) / Sector + 12) * Sector;
  F.resize((F.size() + Sector - 1) / Sector * Sector, 0);
  F.resize(Tables, S.GapFill);
  const Bytes Sixteen = Section(3, S.Sixteen, 3072, 2048);
  F.insert(F.end(), Sixteen.begin(), Sixteen.end());
  return F;
}

struct TRead {
  std::unique_ptr<TPcdReader> Reader = std::make_unique<TPcdReader>();
  std::unique_ptr<TDib> Dib;
};

TRead ReadPcd(const Bytes& File, uint8_t Resolution) {
  TRead R;
  R.Reader->PcdResolution = Resolution;
  R.Reader->OpenMemory(File);
  R.Reader->CreateDib();
  R.Dib = R.Reader->TakeDib();
  R.Reader->Read();
  return R;
}

std::string ErrorOf(const Bytes& File, uint8_t Resolution) {
  try {
    ReadPcd(File, Resolution);
  } catch (const EInvalidGraphicOperation& E) {
    return E.what();
  }
  return "";
}

// The color of one flat YCC sample, as the plain planes give it.
TColor ColorOf(int Y, int C1, int C2) {
  TSpec S;
  S.Sample = [=](int, int, int P) { return uint8_t(P == 0 ? Y : P == 1 ? C1 : C2); };
  const Bytes File = Build(S);
  return ReadPcd(File, 0).Dib->GetPixelColor(0, 0);
}

} // namespace

TEST(PcdHeader, SizeFollowsResolutionAndWhatTheFileHolds) {
  struct TCase {
    TSpec Spec;
    uint8_t Asked, Got;
    int W, H;
    size_t Cut = 0;
  };
  const TCase Cases[] = {
      {{}, 0, 0, 192, 128},
      {{}, 1, 1, 384, 256},
      {{}, 2, 2, 768, 512},
      {{}, 4, 2, 768, 512},
      {{.Count = 3}, 4, 2, 768, 512},
      {{.Count = 3}, 3, 2, 768, 512},
      {{.Count = 0}, 2, 2, 768, 512},
      {{.Overview = true}, 4, 0, 192, 128},
      {{.Attribute = 1}, 2, 2, 512, 768},
      {{.Attribute = 2}, 1, 1, 384, 256},
      {{.Attribute = 1 << 2}, 4, 3, 1536, 1024},
      {{.Attribute = 2 << 2 | 3}, 4, 4, 2048, 3072},
      {{.Attribute = 1 << 2}, 3, 2, 768, 512, 388 * Sector + 6},
      {{}, 2, 1, 384, 256, 200 * Sector},
  };
  for (const TCase& C : Cases) {
    Bytes File = Build(C.Spec);
    if (C.Cut)
      File.resize(C.Cut);
    SCOPED_TRACE(testing::Message() << "asked " << int(C.Asked) << " size " << File.size());
    const TRead R = ReadPcd(File, C.Asked);
    EXPECT_EQ(R.Reader->PcdResolution, C.Got);
    EXPECT_EQ(R.Dib->Width(), C.W);
    EXPECT_EQ(R.Dib->Height(), C.H);
    EXPECT_EQ(R.Reader->Compression, C.Got > 2 ? 5 : 0);
  }
}

TEST(PcdHeader, BrokenFilesFailWithTheCodecsMessage) {
  const Bytes Good = Build({});
  EXPECT_EQ(ErrorOf(Bytes(Good.begin(), Good.begin() + 6000), 2), "Invalid PCD header");
  Bytes NoMark = Good;
  NoMark[Sector] = 'X';
  EXPECT_EQ(ErrorOf(NoMark, 2), "Invalid PCD header");
  EXPECT_EQ(ErrorOf(Bytes(Good.begin(), Good.begin() + 8 * Sector), 0), "Stream read error in PCD file.");
  Bytes LongCode = Build({.Attribute = 1 << 2});
  LongCode[388 * Sector + 1 + 4] = 16;
  EXPECT_EQ(ErrorOf(LongCode, 3), "Invalid PCD image format.");
  // 16 base named but missing: its tables lie past the end of the file.
  const Bytes Whole = Build({.Attribute = 2 << 2});
  EXPECT_EQ(ErrorOf(Bytes(Whole.begin(), Whole.end() - 100), 4), "Invalid PCD image format.");
  EXPECT_EQ(ErrorOf(Whole, 4), "");
}

// Two marks tell a turn from a transposition: the landscape top left (white)
// and top right (gray) corners.
TEST(PcdRotation, EveryTurnStandsTheImageUpright) {
  struct TCase {
    uint8_t Rotation;
    int W, H, WhiteX, WhiteY, GrayX, GrayY;
  } const Cases[] = {
      {0, 192, 128, 0, 0, 191, 0},
      {1, 128, 192, 0, 191, 0, 0},
      {2, 192, 128, 191, 127, 0, 127},
      {3, 128, 192, 127, 0, 127, 191},
  };
  for (const TCase& C : Cases) {
    TSpec S;
    S.Attribute = C.Rotation;
    S.Sample = [](int X, int Y, int P) {
      return uint8_t(P ? (P == 1 ? 156 : 137) : X == 0 && Y == 0 ? 255 : X == 191 && Y == 0 ? 128 : 0);
    };
    const TRead R = ReadPcd(Build(S), 0);
    SCOPED_TRACE(int(C.Rotation));
    ASSERT_EQ(R.Dib->Width(), C.W);
    ASSERT_EQ(R.Dib->Height(), C.H);
    EXPECT_EQ(R.Dib->GetPixelColor(C.WhiteX, C.WhiteY), ColorOf(255, 156, 137));
    EXPECT_EQ(R.Dib->GetPixelColor(C.GrayX, C.GrayY), ColorOf(128, 156, 137));
  }
}

// Flat planes make every correction show: 4 base row 10 gains 20 (rows 19
// to 21 at 16 base after upsampling); a chrominance row at 4 base has no
// table and plane 1 names none, both are skipped; 16 base row 100 loses 20
// and chrominance row 20 (luminance rows 40, 41) gains 5.
TEST(PcdCorrections, LuminanceAndChrominanceRowsLandWhereTheirHeadersSay) {
  // The tables sit 12 sectors past the 4 base data: the gap before them
  // would read as a corrupt table.
  const Bytes File = Build({.Attribute = 2 << 2,
                            .Four = {{0, 10, 0x00}, {2, 20, 0x00}, {1, 30, 0x00}},
                            .Sixteen = {{0, 100, 0x80}, {2, 40, 0xC0}, {0, 1200, 0xC0}},
                            .GapFill = 0xFF});
  const TRead Four = ReadPcd(File, 3);
  EXPECT_EQ(Four.Reader->Warning, "");
  EXPECT_EQ(Four.Dib->GetPixelColor(7, 10), ColorOf(120, 156, 137));
  for (int Row : {9, 11, 20, 30})
    EXPECT_EQ(Four.Dib->GetPixelColor(7, Row), ColorOf(100, 156, 137)) << Row;
  const TRead Sixteen = ReadPcd(File, 4);
  EXPECT_EQ(Sixteen.Dib->GetPixelColor(3000, 20), ColorOf(120, 156, 137));
  EXPECT_EQ(Sixteen.Dib->GetPixelColor(3000, 21), ColorOf(110, 156, 137));
  EXPECT_EQ(Sixteen.Dib->GetPixelColor(5, 100), ColorOf(80, 156, 137));
  EXPECT_EQ(Sixteen.Dib->GetPixelColor(5, 40), ColorOf(100, 161, 137));
  EXPECT_EQ(Sixteen.Dib->GetPixelColor(5, 1200), ColorOf(105, 156, 137));
}

TEST(PcdCorrections, UpsampledPlanesAverageBackToTheBase) {
  const Bytes File = Build({.Attribute = 2 << 2, .Sample = [](int X, int Y, int P) {
                              return uint8_t(P == 0 ? X / 3 + Y / 2 : P == 1 ? 120 + X / 4 : 150 - Y / 4);
                            }});
  const TRead Base = ReadPcd(File, 2);
  for (uint8_t Level : {3, 4})
    EXPECT_LT(MeanBoxDifference(*ReadPcd(File, Level).Dib, *Base.Dib, 1 << (Level - 2)), 1.0) << int(Level);
}

TEST(PcdHostile, ShortAndGarbledCorrectionsStayInsideTheFile) {
  const TSpec S{.Attribute = 1 << 2, .Four = {{0, 0, 0x00}, {0, 1, 0x00}, {0, 2, 0x00}}};
  Bytes Cut = Build(S);
  Cut.resize(Cut.size() - 2000);
  const TRead R = ReadPcd(Cut, 3);
  EXPECT_EQ(R.Reader->Warning, "Stream read error in PCD file.");
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), ColorOf(120, 156, 137));
  EXPECT_EQ(R.Dib->GetPixelColor(0, 2), ColorOf(100, 156, 137));
  // Ones to the end of the file: every bit looks like the start of a mark.
  Bytes Ones = Build(S);
  std::fill(Ones.begin() + 388 * Sector + 13, Ones.end(), 0xFF);
  EXPECT_EQ(ReadPcd(Ones, 3).Reader->Warning, "Stream read error in PCD file.");
  // A mark with a row past the plane ends the section.
  Bytes Past = Build(S);
  Past[388 * Sector + 13 + 3] = 0x3F;
  EXPECT_EQ(ReadPcd(Past, 3).Dib->GetPixelColor(0, 0), ColorOf(100, 156, 137));
}
