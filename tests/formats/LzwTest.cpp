#include <gtest/gtest.h>

#include <map>
#include <random>

#include "LzwLib.h"
#include "TifStrips.h"

namespace {

// Codes packed the way each variant stores them.
class TCodeWriter {
public:
  explicit TCodeWriter(bool OldStyle) : FOld(OldStyle) {}
  void Put(uint32_t Code, int32_t Width) {
    if (FOld)
      FAcc |= uint64_t(Code) << FBits;
    else
      FAcc = (FAcc << Width) | Code;
    FBits += Width;
    for (; FBits >= 8; FBits -= 8) {
      if (FOld) {
        Bytes.push_back(uint8_t(FAcc));
        FAcc >>= 8;
      } else
        Bytes.push_back(uint8_t(FAcc >> (FBits - 8)));
    }
  }
  std::vector<uint8_t> Finish() {
    if (FBits > 0)
      Bytes.push_back(FOld ? uint8_t(FAcc) : uint8_t(FAcc << (8 - FBits)));
    return Bytes;
  }
  std::vector<uint8_t> Bytes;

private:
  bool FOld;
  uint64_t FAcc = 0;
  int32_t FBits = 0;
};

// A plain test encoder; ClearAfter codes (0: never) it starts a new table,
// which also covers clears with a full table.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& In, bool OldStyle, int32_t ClearAfter = 0) {
  TCodeWriter W(OldStyle);
  std::map<std::pair<int32_t, uint8_t>, int32_t> Table;
  int32_t Emitted = 0;
  const auto WidthFor = [&](int32_t Index) {
    // The decoder's next free code when it reads code number Index.
    const int32_t Next = std::min(256 + Index, 4096) + (OldStyle ? 0 : 1);
    return Index <= 1 ? 9 : Next < 512 ? 9 : Next < 1024 ? 10 : Next < 2048 ? 11 : 12;
  };
  const auto Emit = [&](int32_t Code) { W.Put(uint32_t(Code), WidthFor(++Emitted)); };
  const auto Clear = [&] {
    Emit(256);
    Table.clear();
    Emitted = 0;
  };
  Clear();
  int32_t Cur = -1;
  for (uint8_t B : In) {
    if (Cur < 0) {
      Cur = B;
      continue;
    }
    const auto It = Table.find({Cur, B});
    if (It != Table.end()) {
      Cur = It->second;
      continue;
    }
    Emit(Cur);
    const int32_t Entry = 258 + Emitted - 1;
    if (Entry < 4096)
      Table[{Cur, B}] = Entry;
    Cur = B;
    if (ClearAfter > 0 && Emitted >= ClearAfter)
      Clear();
  }
  if (Cur >= 0)
    Emit(Cur);
  Emit(257);
  return W.Finish();
}

std::vector<uint8_t> DecodeAll(TTifLzwDecoder& D, std::span<const uint8_t> Strip, size_t Size,
                               std::mt19937* Chunks = nullptr) {
  D.Start(Strip);
  std::vector<uint8_t> Out(Size);
  size_t Pos = 0;
  while (Pos < Size) {
    const size_t Want = Chunks ? std::min<size_t>(Size - Pos, 1 + (*Chunks)() % 7) : Size - Pos;
    const size_t Got = D.Decode({Out.data() + Pos, Want});
    Pos += Got;
    if (Got < Want)
      break;
  }
  Out.resize(Pos);
  return Out;
}

// Random bytes fill the table to 12 bits; runs make long strings and the
// string-being-defined case; text-like data sit in between.
std::vector<std::vector<uint8_t>> Samples() {
  std::mt19937 Rng(7);
  std::vector<uint8_t> Random(20000), Runs, Mixed;
  for (auto& B : Random)
    B = uint8_t(Rng());
  for (int32_t I = 0; I < 300; ++I)
    Runs.insert(Runs.end(), size_t(1 + Rng() % 300), uint8_t(Rng() % 3));
  for (int32_t I = 0; I < 30000; ++I)
    Mixed.push_back(uint8_t("abcab cabbage "[Rng() % 14] + (I / 5000)));
  return {Random, Runs, Mixed, {42}, {}};
}

} // namespace

TEST(TifLzw, RoundTripsBothVariants) {
  TTifLzwDecoder D;
  for (bool Old : {false, true})
    for (int32_t ClearAfter : {0, 300, 3838})
      for (const auto& In : Samples()) {
        SCOPED_TRACE(testing::Message() << "old " << Old << " clear " << ClearAfter << " size " << In.size());
        const auto Strip = Encode(In, Old, ClearAfter);
        EXPECT_EQ(DecodeAll(D, Strip, In.size() + 10), In);
        EXPECT_EQ(D.Status(), TTifLzwStatus::End);
        EXPECT_EQ(D.OldStyle(), Old);
        EXPECT_FALSE(D.BogusCode());
      }
}

TEST(TifLzw, ResumesStringsSplitAcrossCalls) {
  TTifLzwDecoder D;
  std::mt19937 Chunks(3);
  for (bool Old : {false, true})
    for (const auto& In : Samples()) {
      const auto Strip = Encode(In, Old, 1000);
      EXPECT_EQ(DecodeAll(D, Strip, In.size(), &Chunks), In);
      // A strip decoded exactly to its end is not yet told the end code.
      EXPECT_EQ(D.Decode({}), 0u);
    }
}

TEST(TifLzw, StopsAtTheEndCodeAndAtTheDataEnd) {
  TTifLzwDecoder D;
  const std::vector<uint8_t> In = Samples()[2];
  auto Strip = Encode(In, false);
  EXPECT_EQ(DecodeAll(D, Strip, In.size() * 2).size(), In.size());
  uint8_t More[4];
  EXPECT_EQ(D.Decode(More), 0u);

  Strip.resize(Strip.size() / 2);
  const auto Part = DecodeAll(D, Strip, In.size());
  EXPECT_EQ(D.Status(), TTifLzwStatus::End);
  ASSERT_LT(Part.size(), In.size());
  EXPECT_TRUE(std::equal(Part.begin(), Part.end(), In.begin()));

  D.Start({});
  EXPECT_EQ(D.Decode(More), 0u);
  EXPECT_EQ(D.Status(), TTifLzwStatus::End);
}

TEST(TifLzw, DropsBogusCodesAndGoesOn) {
  TTifLzwDecoder D;
  for (bool Old : {false, true}) {
    // Clear, 'A', a code far past the table, 'B', then the string being
    // defined right after a clear: neither has anything to decode.
    TCodeWriter W(Old);
    for (uint32_t C : {256u, 65u, 400u, 66u, 256u, 258u, 67u, 257u})
      W.Put(C, 9);
    const auto Strip = W.Finish();
    const auto Out = DecodeAll(D, Strip, 16);
    EXPECT_EQ(std::string(Out.begin(), Out.end()), "ABC");
    EXPECT_TRUE(D.BogusCode());
    EXPECT_EQ(D.Status(), TTifLzwStatus::End);
  }
}

// Strips written by libtiff, the usual variant through Pillow and the old
// one from the corpus, against libtiff's decoding of the same files.
TEST(TifLzw, DecodesLibtiffStrips) {
  if (!TgaPmgExternal::HavePillow() || !TgaPmgExternal::HaveCommand("tiffcp"))
    GTEST_SKIP() << "Pillow or tiffcp missing";
  TgaPmgExternal::TTempFile Written(".tif");
  const std::string Cmd = "/usr/bin/python3 -c 'import sys, random\nfrom PIL import Image\nrandom.seed(5)\n"
                          "b = bytes(random.choice((0, 9, 200, random.randrange(256))) for _ in range(300 * 90 * 3))\n"
                          "Image.frombytes(\"RGB\", (300, 90), b).save(sys.argv[1], compression=\"tiff_lzw\")' '" +
                          Written.Path().string() + "'";
  ASSERT_EQ(std::system(Cmd.c_str()), 0);
  std::vector<std::filesystem::path> Files{Written.Path()};
  const auto Root = CorpusReference::CorpusRoot();
  if (!Root.empty())
    Files.push_back(Root / "image-tiff/tiff/images/quad-lzw-compat.tiff");
  TTifLzwDecoder D;
  for (const auto& F : Files) {
    SCOPED_TRACE(F.string());
    const auto S = TifStrips::StripsOf(F);
    ASSERT_FALSE(S.Strips.empty());
    std::vector<uint8_t> Rows;
    for (size_t I = 0; I < S.Strips.size(); ++I) {
      const int32_t N = std::min(S.RowsPerStrip, S.Height - int32_t(I) * S.RowsPerStrip);
      const auto Part = DecodeAll(D, S.Strips[I], size_t(N) * size_t(S.RowBytes));
      Rows.insert(Rows.end(), Part.begin(), Part.end());
      EXPECT_FALSE(D.BogusCode());
    }
    EXPECT_EQ(D.OldStyle(), F != Written.Path());
    EXPECT_EQ(Rows, TifStrips::LibtiffRows(F));
  }
}
