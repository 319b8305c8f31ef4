#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemoryCodec.h"
#include "XPmg.h"
#include "XPng.h"
#include "XTif.h"

// Image texts longer than what a format's reader keeps are cut by the writer
// at that length, never inside a character, and the cut is reported.
namespace {

using MemoryCodec::ReadFrom;

struct TTexts {
  std::string Title, Author, Rights, Warning;
};

template <class TWriter, class TReader>
TTexts RoundTrip(const TTexts& In) {
  const TDib Dib(3, 2, pf24bit);
  TMemoryStream S;
  TWriter W;
  W.Title = In.Title;
  W.Author = In.Author;
  W.Rights = In.Rights;
  W.CreateStream(S);
  W.Write(Dib);
  EXPECT_TRUE(W.OK);
  const auto R = ReadFrom<TReader>({S.Bytes().begin(), S.Bytes().end()});
  return {R.Reader->Title, R.Reader->Author, R.Reader->Rights, W.Warning};
}

TTexts RoundTrip(int Format, const TTexts& In) {
  switch (Format) {
  case fmtPNG: return RoundTrip<TPngWriter, TPngReader>(In);
  case fmtTIFF: return RoundTrip<TTifWriter, TTifReader>(In);
  default: return RoundTrip<TPmgWriter, TPmgReader>(In);
  }
}

// Count times "é" (two bytes in UTF-8) after Lead ASCII characters.
std::string Accented(size_t Lead, size_t Count) {
  std::string S(Lead, 'a');
  for (size_t I = 0; I < Count; ++I)
    S += "\xC3\xA9";
  return S;
}

TEST(TextLimit, EachFormatKeepsTextsUpToItsLimitAndCutsLongerOnes) {
  struct TCase {
    int Format;
    size_t Title, Author, Rights; // bytes the reader keeps of each
  };
  for (const TCase& C : {TCase{fmtTIFF, 240, 240, 240}, TCase{fmtPNM, 4089, 4088, 4085}}) {
    SCOPED_TRACE(C.Format);
    const TTexts Exact{std::string(C.Title, 't'), std::string(C.Author, 'a'), std::string(C.Rights, 'r'), ""};
    const TTexts Kept = RoundTrip(C.Format, Exact);
    EXPECT_EQ(Kept.Title, Exact.Title);
    EXPECT_EQ(Kept.Author, Exact.Author);
    EXPECT_EQ(Kept.Rights, Exact.Rights);
    EXPECT_EQ(Kept.Warning, "");

    // One byte over the limit lands inside the last "é": the whole
    // character goes.
    const TTexts Long{Accented(C.Title - 1, 1), Accented(C.Author, 3), "short", ""};
    const TTexts Cut = RoundTrip(C.Format, Long);
    EXPECT_EQ(Cut.Title, std::string(C.Title - 1, 'a'));
    EXPECT_EQ(Cut.Author, std::string(C.Author, 'a'));
    EXPECT_EQ(Cut.Rights, "short");
    EXPECT_NE(Cut.Warning.find("too long"), std::string::npos) << Cut.Warning;
  }
}

TEST(TextLimit, PngStoresLatin1CharactersUpToTheReadersLimit) {
  const TTexts Exact{Accented(0, 250), std::string(249, 'a'), std::string(246, 'r'), ""};
  const TTexts Kept = RoundTrip(fmtPNG, Exact);
  EXPECT_EQ(Kept.Title, Exact.Title);
  EXPECT_EQ(Kept.Author, Exact.Author);
  EXPECT_EQ(Kept.Rights, Exact.Rights);
  EXPECT_EQ(Kept.Warning, "");

  const TTexts Cut = RoundTrip(fmtPNG, {Accented(0, 300), std::string(1000, 'a'), "(c)", ""});
  EXPECT_EQ(Cut.Title, Accented(0, 250));
  EXPECT_EQ(Cut.Author, std::string(249, 'a'));
  EXPECT_EQ(Cut.Rights, "(c)");
  EXPECT_NE(Cut.Warning.find("too long"), std::string::npos) << Cut.Warning;

  // A character outside Latin-1 cannot be stored in a text chunk.
  const TTexts Replaced = RoundTrip(fmtPNG, {"\xE2\x82\xAC 5", "", "", ""});
  EXPECT_EQ(Replaced.Title, "? 5");
  EXPECT_NE(Replaced.Warning.find("cannot store"), std::string::npos) << Replaced.Warning;
}

} // namespace
