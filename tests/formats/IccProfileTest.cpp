#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "XIcc.h"
#include "XImageRead.h"
#include "XZlib.h"

namespace fs = std::filesystem;

namespace {

const fs::path IccFolder = "/usr/share/color/icc";
const fs::path SrgbIcc = IccFolder / "sRGB.icc";
const fs::path AdobeIcc = IccFolder / "compatibleWithAdobeRGB1998.icc";
const fs::path GrayIcc = IccFolder / "Gray.icc";
const fs::path CmykIcc = IccFolder / "ghostscript/default_cmyk.icc";

std::vector<uint8_t> Bytes(const fs::path& P) {
  std::ifstream F(P, std::ios::binary);
  return {std::istreambuf_iterator<char>(F), {}};
}

void Store(const fs::path& P, const std::vector<uint8_t>& Data) {
  std::ofstream F(P, std::ios::binary);
  F.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
}

// An APP2 segment's data: name, sequence number, count, piece.
std::vector<uint8_t> Segment(uint8_t Seq, uint8_t Count, std::vector<uint8_t> Piece) {
  std::vector<uint8_t> S = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, Seq, Count};
  S.insert(S.end(), Piece.begin(), Piece.end());
  return S;
}

struct TJoinCase {
  const char* Name;
  std::vector<std::vector<uint8_t>> Segments;
  TIccFound Found;
  std::vector<uint8_t> Profile;
};

TEST(IccSegments, JoinsPiecesBySequenceAndRefusesGaps) {
  const std::vector<uint8_t> Exif = {'E', 'x', 'i', 'f', 0, 0, 1, 2};
  const std::vector<TJoinCase> Cases = {
      {"none", {Exif}, TIccFound::None, {}},
      {"single", {Segment(1, 1, {1, 2, 3})}, TIccFound::Profile, {1, 2, 3}},
      {"in order", {Segment(1, 2, {1, 2}), Segment(2, 2, {3})}, TIccFound::Profile, {1, 2, 3}},
      {"out of order", {Segment(2, 2, {3}), Exif, Segment(1, 2, {1, 2})}, TIccFound::Profile, {1, 2, 3}},
      {"missing piece", {Segment(1, 3, {1}), Segment(3, 3, {3})}, TIccFound::Broken, {}},
      {"repeated piece", {Segment(1, 2, {1}), Segment(1, 2, {1}), Segment(2, 2, {2})}, TIccFound::Broken, {}},
      {"counts disagree", {Segment(1, 2, {1}), Segment(2, 3, {2})}, TIccFound::Broken, {}},
      {"sequence zero", {Segment(0, 1, {1})}, TIccFound::Broken, {}},
      {"sequence past count", {Segment(2, 1, {1})}, TIccFound::Broken, {}},
      {"count zero", {Segment(1, 0, {1})}, TIccFound::Broken, {}},
  };
  for (const TJoinCase& C : Cases) {
    std::vector<std::span<const uint8_t>> Spans;
    for (const std::vector<uint8_t>& S : C.Segments)
      Spans.emplace_back(S);
    std::vector<uint8_t> Profile = {9};
    EXPECT_EQ(JoinIccSegments(Spans, Profile), C.Found) << C.Name;
    if (C.Found == TIccFound::Profile) {
      EXPECT_EQ(Profile, C.Profile) << C.Name;
    }
  }
}

TEST(IccSegments, RefusesProfilesBeyondTheBound) {
  const size_t Piece = 65519;
  std::vector<std::vector<uint8_t>> Segments;
  const size_t Count = MaxIccProfileSize / Piece + 1;
  for (size_t I = 1; I <= Count; ++I)
    Segments.push_back(Segment(uint8_t(I), uint8_t(Count), std::vector<uint8_t>(Piece)));
  std::vector<std::span<const uint8_t>> Spans(Segments.begin(), Segments.end());
  std::vector<uint8_t> Profile;
  EXPECT_EQ(JoinIccSegments(Spans, Profile), TIccFound::Broken);
}

std::vector<uint8_t> IccpChunk(const std::string& Name, uint8_t Method, const std::vector<uint8_t>& Profile) {
  std::vector<uint8_t> Chunk(Name.begin(), Name.end());
  Chunk.push_back(0);
  Chunk.push_back(Method);
  std::vector<uint8_t> Z;
  EXPECT_TRUE(DeflateWhole(6, Profile, Z));
  Chunk.insert(Chunk.end(), Z.begin(), Z.end());
  return Chunk;
}

TEST(IccpChunk, InflatesWithinBoundsOnly) {
  std::vector<uint8_t> Data(5000);
  for (size_t I = 0; I < Data.size(); ++I)
    Data[I] = uint8_t(I * 7);
  std::vector<uint8_t> Cut = IccpChunk("icc", 0, Data);
  Cut.resize(Cut.size() - 10);
  struct TCase {
    const char* Name;
    std::vector<uint8_t> Chunk;
    size_t Limit;
    TIccFound Found;
  };
  const std::vector<TCase> Cases = {
      {"whole", IccpChunk("ICC Profile", 0, Data), MaxIccProfileSize, TIccFound::Profile},
      {"exactly the limit", IccpChunk("x", 0, Data), Data.size(), TIccFound::Profile},
      {"past the limit", IccpChunk("x", 0, Data), Data.size() - 1, TIccFound::Broken},
      {"no name", IccpChunk("", 0, Data), MaxIccProfileSize, TIccFound::Broken},
      {"name of 80 bytes", IccpChunk(std::string(80, 'n'), 0, Data), MaxIccProfileSize, TIccFound::Broken},
      {"unknown method", IccpChunk("icc", 1, Data), MaxIccProfileSize, TIccFound::Broken},
      {"cut stream", Cut, MaxIccProfileSize, TIccFound::Broken},
      {"name only", {'i', 'c', 'c', 0}, MaxIccProfileSize, TIccFound::Broken},
      {"not deflate", {'i', 0, 0, 1, 2, 3, 4, 5}, MaxIccProfileSize, TIccFound::Broken},
  };
  for (const TCase& C : Cases) {
    std::vector<uint8_t> Profile;
    EXPECT_EQ(ProfileOfIccpChunk(C.Chunk, Profile, C.Limit), C.Found) << C.Name;
    EXPECT_EQ(Profile.empty(), C.Found != TIccFound::Profile) << C.Name;
    if (C.Found == TIccFound::Profile) {
      EXPECT_EQ(Profile, Data) << C.Name;
    }
  }
}

bool HaveProfiles() { return fs::exists(SrgbIcc) && fs::exists(AdobeIcc) && fs::exists(GrayIcc); }

TEST(IccInspect, TakesDeviceProfilesAndRefusesTheRest) {
  if (!HaveProfiles())
    GTEST_SKIP() << "icc-profiles-free is not installed";
  const std::vector<uint8_t> Srgb = Bytes(SrgbIcc);
  std::vector<uint8_t> Cut(Srgb.begin(), Srgb.begin() + 200);
  std::vector<uint8_t> NoSignature = Srgb;
  NoSignature[36] = 'x';
  std::vector<uint8_t> Longer = Srgb; // header size past the data
  Longer.resize(Srgb.size() - 1);
  struct TCase {
    const char* Name;
    std::vector<uint8_t> Profile;
    TIccModel Model;
  };
  const std::vector<TCase> Cases = {
      {"sRGB", Srgb, TIccModel::Rgb},
      {"Adobe RGB", Bytes(AdobeIcc), TIccModel::Rgb},
      {"gray", Bytes(GrayIcc), TIccModel::Gray},
      {"Lab space", Bytes(IccFolder / "ITULab.icc"), TIccModel::None},
      {"cut", Cut, TIccModel::None},
      {"no signature", NoSignature, TIccModel::None},
      {"shorter than its header says", Longer, TIccModel::None},
      {"empty", {}, TIccModel::None},
      {"garbage", std::vector<uint8_t>(4096, 0x5A), TIccModel::None},
  };
  for (const TCase& C : Cases) {
    const TIccInfo Info = InspectIccProfile(C.Profile);
    EXPECT_EQ(Info.Model, C.Model) << C.Name;
    EXPECT_EQ(Info.Description.empty(), C.Model == TIccModel::None) << C.Name;
    EXPECT_LE(Info.Description.size(), MaxIccDescription) << C.Name;
  }
  EXPECT_EQ(InspectIccProfile(Bytes(AdobeIcc)).Description, "Compatible with Adobe RGB (1998)");
}

TEST(IccConvert, KeepsAlphaAndRefusesProfilesOfOtherColors) {
  if (!HaveProfiles())
    GTEST_SKIP() << "icc-profiles-free is not installed";
  const std::vector<uint8_t> Srgb = Bytes(SrgbIcc), Adobe = Bytes(AdobeIcc), Gray = Bytes(GrayIcc);
  TDib D(7, 3, pf32bit);
  for (int32_t Y = 0; Y < 3; ++Y)
    for (int32_t X = 0; X < 7; ++X)
      D.SetPixelValue(X, Y, uint32_t(X * 30) | uint32_t(Y * 80) << 8 | 0x400000u | uint32_t(X * 9 + Y) << 24);
  const std::unique_ptr<TDib> Before = D.Clone();
  ASSERT_EQ(ConvertToSrgb(D, Srgb, TIccModel::Rgb), TIccOutcome::Applied);
  for (int32_t Y = 0; Y < 3; ++Y)
    for (int32_t X = 0; X < 7; ++X) {
      const uint32_t A = D.GetPixelValue(X, Y), B = Before->GetPixelValue(X, Y);
      EXPECT_EQ(A >> 24, B >> 24);
      for (int Shift = 0; Shift < 24; Shift += 8)
        EXPECT_NEAR(int((A >> Shift) & 255), int((B >> Shift) & 255), 1);
    }
  ASSERT_EQ(ConvertToSrgb(D, Adobe, TIccModel::Rgb), TIccOutcome::Applied);
  EXPECT_NE(D.GetPixelValue(6, 2) & 0xFFFFFF, Before->GetPixelValue(6, 2) & 0xFFFFFF);

  TDib Copy(2, 2, pf24bit);
  EXPECT_EQ(ConvertToSrgb(Copy, Gray, TIccModel::Rgb), TIccOutcome::Mismatch);
  EXPECT_EQ(ConvertToSrgb(Copy, Adobe, TIccModel::Gray), TIccOutcome::Mismatch);
  EXPECT_EQ(ConvertToSrgb(Copy, std::vector<uint8_t>(300, 1), TIccModel::Rgb), TIccOutcome::Damaged);
  EXPECT_EQ(ConvertToSrgb(Copy, Bytes(IccFolder / "ITULab.icc"), TIccModel::Rgb), TIccOutcome::Mismatch);
  TDib Words(2, 2, pf16bit);
  EXPECT_EQ(ConvertToSrgb(Words, Adobe, TIccModel::Rgb), TIccOutcome::Mismatch);
}

TEST(IccConvert, GrayPalettesStayGray) {
  if (!HaveProfiles())
    GTEST_SKIP() << "icc-profiles-free is not installed";
  TDib D(4, 4, pf8bit);
  D.MakeGrayPalette();
  ASSERT_EQ(ConvertToSrgb(D, Bytes(GrayIcc), TIccModel::Gray), TIccOutcome::Applied);
  int Previous = -1;
  for (int32_t I = 0; I < 256; ++I) {
    const TDib::TRgbBytes C = D.GetPaletteRGB(I);
    EXPECT_EQ(C.R, C.G);
    EXPECT_EQ(C.G, C.B);
    EXPECT_GE(int(C.G), Previous) << "levels keep their order";
    Previous = C.G;
  }
  EXPECT_EQ(D.GetPaletteRGB(255).G, 255);
}

// Files made by ImageMagick from one sRGB picture, each with the picture in
// another color space and that space's profile embedded.
class IccFiles : public ::testing::Test {
protected:
  static constexpr int32_t W = 96, H = 64;

  void SetUp() override {
    if (!HaveProfiles())
      GTEST_SKIP() << "icc-profiles-free is not installed";
    if (std::system("convert -version >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "ImageMagick's convert is not installed";
    Folder = fs::temp_directory_path() / ("pelorin-icc-" + std::to_string(getpid()) + "-" +
                                          testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Folder);
    WriteSource();
  }
  void TearDown() override {
    if (!Folder.empty())
      fs::remove_all(Folder);
  }

  // Smooth gradients of moderate saturation, as photographs have, so that
  // every target space holds the colors.
  static uint32_t Source(int32_t X, int32_t Y) {
    const int R = 40 + X * 170 / (W - 1), G = 40 + Y * 170 / (H - 1);
    const int B = 125 + int(std::lround(60 * std::sin(X * 0.15 + Y * 0.1)));
    return uint32_t(R) | uint32_t(G) << 8 | uint32_t(B) << 16;
  }

  void WriteSource() {
    std::vector<uint8_t> P;
    const std::string Head = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
    P.assign(Head.begin(), Head.end());
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X)
        for (int Shift = 0; Shift < 24; Shift += 8)
          P.push_back(uint8_t(Source(X, Y) >> Shift));
    Store(Folder / "src.ppm", P);
  }

  // The source converted into Profile's space and written with it.
  fs::path Make(const fs::path& Profile, const std::string& Name, const std::string& Extra = {}) {
    const fs::path Out = Folder / Name;
    const std::string Cmd = "convert '" + (Folder / "src.ppm").string() + "' -profile '" + SrgbIcc.string() +
                            "' -profile '" + Profile.string() + "' " + Extra + " -quality 97 '" + Out.string() +
                            "' 2>/dev/null";
    if (std::system(Cmd.c_str()) != 0 || !fs::exists(Out))
      ADD_FAILURE() << "convert failed: " << Cmd;
    return Out;
  }

  static TImageRead Read(const fs::path& P, bool Apply) {
    TReadOptions O;
    O.ApplyProfile = Apply;
    TImageRead R = ReadImageFile(P, O);
    R.ThrowFailure();
    return R;
  }

  struct TDiff {
    double Mean = 0;
    int Max = 0;
  };
  // Colors as 0x00BBGGRR, row by row.
  using TPixels = std::vector<uint32_t>;

  static TPixels SourcePixels() {
    TPixels P;
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X)
        P.push_back(Source(X, Y));
    return P;
  }

  static TPixels PixelsOf(const TDib& D) {
    TPixels P;
    for (int32_t Y = 0; Y < D.Height(); ++Y)
      for (int32_t X = 0; X < D.Width(); ++X)
        P.push_back(D.GetPixelColor(X, Y));
    return P;
  }

  // What ImageMagick shows of the file in sRGB; empty when it fails.
  TPixels ImageMagickPixels(const fs::path& File) {
    const fs::path Out = Folder / "reference.ppm";
    const std::string Cmd =
        "convert '" + File.string() + "' -profile '" + SrgbIcc.string() + "' '" + Out.string() + "' 2>/dev/null";
    if (std::system(Cmd.c_str()) != 0)
      return {};
    const std::vector<uint8_t> Ppm = Bytes(Out);
    const std::string Head = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
    if (Ppm.size() != Head.size() + size_t(3 * W * H) || !std::equal(Head.begin(), Head.end(), Ppm.begin()))
      return {};
    TPixels P;
    for (size_t I = Head.size(); I + 2 < Ppm.size(); I += 3)
      P.push_back(uint32_t(Ppm[I]) | uint32_t(Ppm[I + 1]) << 8 | uint32_t(Ppm[I + 2]) << 16);
    return P;
  }

  static TDiff Diff(const TPixels& A, const TPixels& B) {
    TDiff D;
    if (A.size() != B.size() || A.empty())
      return {1e9, 255};
    int64_t Sum = 0;
    for (size_t I = 0; I < A.size(); ++I)
      for (int Shift = 0; Shift < 24; Shift += 8) {
        const int E = std::abs(int((A[I] >> Shift) & 255) - int((B[I] >> Shift) & 255));
        Sum += E;
        D.Max = std::max(D.Max, E);
      }
    D.Mean = double(Sum) / (3.0 * double(A.size()));
    return D;
  }

  static bool SamePixels(const TDib& A, const TDib& B) {
    for (int32_t Y = 0; Y < A.Height(); ++Y)
      for (int32_t X = 0; X < A.Width(); ++X)
        if (A.GetPixelColor(X, Y) != B.GetPixelColor(X, Y))
          return false;
    return true;
  }

  fs::path Folder;
};

TEST_F(IccFiles, EmbeddedProfilesGiveTheSourceColorsBack) {
  // Bounds against the source take in what the format and the target space
  // lose: JPEG's rounding, the palette's few colors, the CMYK gamut.
  struct TCase {
    fs::path Profile;
    const char* Name;
    const char* Extra;
    double MeanBound;
    int MaxBound;
  };
  const std::vector<TCase> Cases = {
      {AdobeIcc, "adobe.jpg", "", 3, 16}, {AdobeIcc, "adobe.png", "", 1, 4},
      {AdobeIcc, "adobe.tif", "", 1, 4},  {AdobeIcc, "adobe-indexed.png", "-colors 250 -type Palette", 8, 160},
      {CmykIcc, "cmyk.jpg", "", 4, 48},
  };
  const TPixels Src = SourcePixels();
  for (const TCase& C : Cases) {
    if (!fs::exists(C.Profile)) {
      std::cout << "skipped " << C.Name << ": no " << C.Profile << "\n";
      continue;
    }
    const fs::path File = Make(C.Profile, C.Name, C.Extra);
    const TImageRead With = Read(File, true), Without = Read(File, false);
    const TPixels Shown = PixelsOf(*With.Dib);
    // The viewer takes the buffer over before its rows arrive.
    std::unique_ptr<TDib> Taken;
    ReadImageFile(File, TReadOptions{}, [&](std::unique_ptr<TDib>& B, const TImageRead&) {
      Taken = std::move(B);
    }).ThrowFailure();
    ASSERT_TRUE(Taken) << C.Name;
    EXPECT_EQ(PixelsOf(*Taken), Shown) << C.Name << ": a taken buffer keeps the stored colors";
    const TDiff Applied = Diff(Shown, Src), Ignored = Diff(PixelsOf(*Without.Dib), Src);
    EXPECT_TRUE(With.Facts.ProfileApplied) << C.Name;
    EXPECT_FALSE(With.Facts.Profile.empty()) << C.Name;
    EXPECT_TRUE(With.Warning.empty()) << C.Name << ": " << With.Warning;
    EXPECT_LT(Applied.Mean, C.MeanBound) << C.Name;
    EXPECT_LE(Applied.Max, C.MaxBound) << C.Name;
    EXPECT_GT(Ignored.Mean, Applied.Mean + 4) << C.Name << ": the profile made no difference";
    EXPECT_FALSE(Without.Facts.ProfileApplied) << C.Name;
    EXPECT_EQ(Without.Facts.Profile, With.Facts.Profile) << C.Name;
    const TDiff Reference = Diff(Shown, ImageMagickPixels(File));
    EXPECT_LT(Reference.Mean, 1) << C.Name << ": unlike ImageMagick";
    EXPECT_LE(Reference.Max, 8) << C.Name << ": unlike ImageMagick";
  }
}

TEST_F(IccFiles, PalettesAreConvertedAndStayIndexed) {
  const TImageRead R = Read(Make(AdobeIcc, "idx.png", "-colors 200 -type Palette"), true);
  EXPECT_EQ(R.Dib->PixelFormat(), pf8bit);
  EXPECT_TRUE(R.Facts.ProfileApplied);
}

TEST_F(IccFiles, GrayImagesStayGray) {
  const TImageRead R = Read(Make(GrayIcc, "gray.jpg"), true);
  EXPECT_TRUE(R.Facts.ProfileApplied);
  EXPECT_EQ(R.Dib->PixelFormat(), pf8bit);
  for (int32_t I = 0; I < R.Dib->PaletteSize(); ++I) {
    const TDib::TRgbBytes C = R.Dib->GetPaletteRGB(I);
    EXPECT_TRUE(C.R == C.G && C.G == C.B) << I;
  }
}

// The profile's signature overwritten in place, so that the container
// stays sound and only the profile is refused.
void SpoilProfile(std::vector<uint8_t>& File) {
  const std::string Sig = "acsp";
  const auto At = std::search(File.begin(), File.end(), Sig.begin(), Sig.end());
  ASSERT_NE(At, File.end());
  *At = 'x';
}

TEST_F(IccFiles, DamagedProfilesLeaveThePixelsAndWarn) {
  for (const char* Name : {"adobe.jpg", "adobe.tif", "cmyk.jpg"}) {
    if (std::string(Name) == "cmyk.jpg" && !fs::exists(CmykIcc))
      continue;
    const fs::path Good = Make(std::string(Name) == "cmyk.jpg" ? CmykIcc : AdobeIcc, Name);
    std::vector<uint8_t> Data = Bytes(Good);
    SpoilProfile(Data);
    const fs::path Bad = Folder / (std::string("bad-") + Name);
    Store(Bad, Data);
    const TImageRead R = Read(Bad, true), Plain = Read(Good, false);
    EXPECT_EQ(R.Warning, IccDamagedText) << Name;
    EXPECT_FALSE(R.Facts.ProfileApplied) << Name;
    EXPECT_TRUE(SamePixels(*R.Dib, *Plain.Dib)) << Name;
    EXPECT_TRUE(Read(Bad, false).Warning.empty()) << Name << ": no warning when profiles are off";
  }
}

TEST_F(IccFiles, DamagedIccpChunkIsOnlyAWarning) {
  const fs::path Good = Make(AdobeIcc, "adobe.png");
  std::vector<uint8_t> Data = Bytes(Good);
  const std::string Tag = "iCCP";
  const auto At = std::search(Data.begin(), Data.end(), Tag.begin(), Tag.end());
  ASSERT_NE(At, Data.end());
  // Into the deflate data, past name and method.
  const auto Zero = std::find(At + 4, Data.end(), uint8_t(0));
  ASSERT_LT(Zero + 8, Data.end());
  Zero[6] ^= 0xFF;
  const fs::path Bad = Folder / "bad.png";
  Store(Bad, Data);
  const TImageRead R = Read(Bad, true), Plain = Read(Good, false);
  EXPECT_EQ(R.Warning, IccDamagedText);
  EXPECT_TRUE(SamePixels(*R.Dib, *Plain.Dib));
}

} // namespace
