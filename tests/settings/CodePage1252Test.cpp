#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "CodePage1252.h"

namespace {

std::string Decode(std::string_view Bytes) {
  return Cp1252ToUtf8(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size());
}

std::string Encode(std::string_view Utf8, bool* Lossless = nullptr) { return Utf8ToCp1252(Utf8, Lossless); }

} // namespace

TEST(CodePage1252, EveryByteSurvivesARoundTrip) {
  for (int B = 0; B < 256; ++B) {
    const std::string Byte(1, char(B));
    bool Lossless = false;
    EXPECT_EQ(Encode(Decode(Byte), &Lossless), Byte) << B;
    EXPECT_TRUE(Lossless) << B;
  }
}

TEST(CodePage1252, MapsTheWindowsCharactersBothWays) {
  EXPECT_EQ(Decode("\x80"), "\u20AC");
  EXPECT_EQ(Decode("\x8E\x99\x9F"), "\u017D\u2122\u0178");
  EXPECT_EQ(Decode("Caf\xE9"), "Caf\u00E9");
  EXPECT_EQ(Decode("\xFF"), "\u00FF");
  EXPECT_EQ(Encode("\u20AC \u2026 \u0153"), "\x80 \x85 \x9C");
  EXPECT_EQ(Encode("Gr\u00FC\u00DFe"), "Gr\xFC\xDF"
                                       "e");
}

TEST(CodePage1252, CharactersThatDoNotFitBecomeOneQuestionMarkEach) {
  bool Lossless = true;
  EXPECT_EQ(Encode("\u65E5\u672C.png", &Lossless), "??.png");
  EXPECT_FALSE(Lossless);
  EXPECT_EQ(Encode("a\U0001F600b"), "a?b");
  EXPECT_EQ(Encode("\u0100\u0410"), "??");
  // C1 controls other than the five unassigned bytes have no place.
  EXPECT_EQ(Encode("\u0080\u0085"), "??");
}

TEST(CodePage1252, MalformedUtf8BecomesQuestionMarks) {
  bool Lossless = true;
  EXPECT_EQ(Encode("ab\xC3", &Lossless), "ab?");
  EXPECT_FALSE(Lossless);
  EXPECT_EQ(Encode("\xC0\xAF"), "??");           // overlong "/"
  EXPECT_EQ(Encode("\xED\xA0\x80"), "???");      // surrogate
  EXPECT_EQ(Encode("\xF4\x90\x80\x80"), "????"); // beyond U+10FFFF
  EXPECT_EQ(Encode("\xE2\x82x"), "??x");         // cut short
  EXPECT_EQ(Encode("\xFF\xFE"), "??");
}
