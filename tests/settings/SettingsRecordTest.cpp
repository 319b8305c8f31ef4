#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "Settings.h"
#include "SettingsTestUtil.h"

namespace {

std::array<uint8_t, SettingsSize> Bytes(const TSettings& S) { return SettingsToBytes(S); }

// Loads patched golden bytes; fails the test when they are refused.
TSettings FromPatched(std::array<uint8_t, 2021> B) {
  TSettings S{};
  EXPECT_TRUE(SettingsFromBytes(B.data(), B.size(), S));
  return S;
}

} // namespace

TEST(SettingsRecord, DefaultsAreTheGoldenRecord) {
  TSettings S;
  std::memset(&S, 0xAB, sizeof S);
  SetDefaultSettings(S);
  const auto Golden = GoldenDefaults();
  const auto Actual = Bytes(S);
  for (size_t I = 0; I < Golden.size(); ++I)
    EXPECT_EQ(int(Actual[I]), int(Golden[I])) << "offset " << I;
}

TEST(SettingsRecord, InRangeValuesPassUnchanged) {
  TSettings S;
  SetDefaultSettings(S);
  S.BackColor = 0xFFFFFF;
  S.TileMode = 2;
  S.TileThreshold = 256;
  S.ResizeUserDpi = 7200;
  S.GrayLevels = 2;
  S.GrayRed = 0;
  S.PalColors = 6;
  S.MainLeft = -1200;
  S.MainTop = -32768;
  S.ListColumnWidths[3] = 0;
  S.ListSortDescending[2] = 1;
  S.TifCompression = 12;
  S.TifStripSize = 8192;
  S.PnmCompression = 14;
  S.GifCompression = 3;
  S.OpenFilterIndex = 1;
  S.SaveFilterIndex = 13;
  S.PcdResolution = 4;
  S.LaunchPrograms[2].SetText("/usr/bin/gimp");
  const auto Before = Bytes(S);

  TSettings Back{};
  ASSERT_TRUE(SettingsFromBytes(Before.data(), Before.size(), Back));
  EXPECT_EQ(Bytes(Back), Before);
}

TEST(SettingsRecord, QuantitiesOutOfRangeAreClamped) {
  auto B = GoldenDefaults();
  PutI32(B.data(), 13, 0);      // tile threshold
  PutI32(B.data(), 38, -5);     // default dpi
  PutI32(B.data(), 42, 100000); // printer dpi
  PutI32(B.data(), 50, 1000);   // gray levels
  PutI32(B.data(), 62, -1);     // green weight
  PutI32(B.data(), 78, 0);      // custom color count
  PutI32(B.data(), 90, std::numeric_limits<int32_t>::max());
  PutI32(B.data(), 94, std::numeric_limits<int32_t>::min());
  PutI32(B.data(), 638, 5);  // JPEG quality
  PutI32(B.data(), 649, 12); // PNG level
  B[653] = 0xFF;             // PNG filters
  B[2009] = 0xF3;            // font style
  const TSettings S = FromPatched(B);
  EXPECT_EQ(S.TileThreshold, 2);
  EXPECT_EQ(S.DefaultDpi, 1);
  EXPECT_EQ(S.PrinterDpi, 6000);
  EXPECT_EQ(S.GrayLevels, 256);
  EXPECT_EQ(S.GrayGreen, 0);
  EXPECT_EQ(S.PalCustomCount, 2);
  EXPECT_EQ(S.MainLeft, 32767);
  EXPECT_EQ(S.MainTop, -32768);
  EXPECT_EQ(S.JpgQuality, 10);
  EXPECT_EQ(S.PngCompressionLevel, 9);
  EXPECT_EQ(S.PngFilters, 0x1F);
  EXPECT_EQ(S.PrintFontStyle, 0x03);
}

TEST(SettingsRecord, ChoicesOffTheirListAndNonsenseSizesFallBackToDefaults) {
  auto B = GoldenDefaults();
  PutI32(B.data(), 4, 0xFF000005); // not an RGB color
  PutI32(B.data(), 9, 3);          // tile mode
  PutI32(B.data(), 30, 7);         // resize filter
  PutI32(B.data(), 46, 0);         // user dpi
  PutI32(B.data(), 74, -1);        // color choice
  PutI32(B.data(), 114, 0);        // list width
  PutI32(B.data(), 118, -3);       // list height
  PutI32(B.data(), 124, 4);        // sort column
  PutI32(B.data(), 140, -1);       // third column width
  B[644] = 7;                      // TIFF compression
  PutI32(B.data(), 645, 4096);     // strip size
  B[656] = 1;                      // PNM form
  B[657] = 0;                      // open filter
  B[658] = 14;                     // save filter
  PutI32(B.data(), 2005, 0);       // font size
  B[2018] = 5;                     // Photo CD resolution
  B[1940] = 0;                     // font name
  const TSettings S = FromPatched(B);
  EXPECT_EQ(S.BackColor, 0x808080u);
  EXPECT_EQ(S.TileMode, 1);
  EXPECT_EQ(S.ResizeFilter, 4);
  EXPECT_EQ(S.ResizeUserDpi, 150);
  EXPECT_EQ(S.PalColors, 0);
  EXPECT_EQ(S.ListWidth, 378);
  EXPECT_EQ(S.ListHeight, 240);
  EXPECT_EQ(S.ListSortColumn, 0);
  EXPECT_EQ(S.ListColumnWidths[2], 120);
  EXPECT_EQ(S.TifCompression, 0);
  EXPECT_EQ(S.TifStripSize, 32768);
  EXPECT_EQ(S.PnmCompression, 0);
  EXPECT_EQ(S.OpenFilterIndex, 16);
  EXPECT_EQ(S.SaveFilterIndex, 1);
  EXPECT_EQ(S.PrintFontSize, 24);
  EXPECT_EQ(S.PcdResolution, 2);
  EXPECT_EQ(S.PrintFontName.Text(), "Arial");
}

TEST(SettingsRecord, FlagBytesAreNormalised) {
  auto B = GoldenDefaults();
  B[21] = 2;      // bool
  B[2020] = 0xFF; // bool
  B[23] = 9;      // view switches: bit 0 known, bit 3 not
  B[129] = 5;     // sort direction
  B[634] = 2;     // OS/2 bitmap
  B[635] = 1;     // GIF compression
  B[643] = 8;     // TIFF byte order
  const TSettings S = FromPatched(B);
  const auto Out = Bytes(S);
  EXPECT_EQ(Out[21], 1);
  EXPECT_EQ(Out[2020], 1);
  EXPECT_TRUE(S.ShowProgress);
  EXPECT_EQ(Out[23], voKeepStoredTurn);
  EXPECT_EQ(Out[129], 1);
  EXPECT_EQ(Out[634], 1);
  EXPECT_EQ(Out[635], 3);
  EXPECT_EQ(Out[643], 1);
}

TEST(SettingsRecord, StringLengthsBeyondTheFieldAreCut) {
  auto B = GoldenDefaults();
  B[149] = 255; // author, string[240]
  std::memset(&B[150], 'a', 240);
  B[1940] = 200; // font name, string[64]
  std::memset(&B[1941], 'F', 64);
  B[390] = 3;
  std::memcpy(&B[391], "\xA9 X", 3);
  const TSettings S = FromPatched(B);
  EXPECT_EQ(S.SignAuthor.Len, 240);
  EXPECT_EQ(S.SignAuthor.Text(), std::string(240, 'a'));
  EXPECT_EQ(S.PrintFontName.Text(), std::string(64, 'F'));
  EXPECT_EQ(S.SignCopyright.Text(), "\u00A9 X");
}

TEST(SettingsStrings, SetTextEncodesCutsAndClearsTheTail) {
  TShortString<8> S{};
  EXPECT_TRUE(S.SetText("Caf\u00E9 \u20AC"));
  EXPECT_EQ(S.Len, 6);
  EXPECT_EQ(std::memcmp(S.Chars, "Caf\xE9 \x80", 6), 0);
  EXPECT_EQ(S.Text(), "Caf\u00E9 \u20AC");

  EXPECT_FALSE(S.SetText("\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9"));
  EXPECT_EQ(S.Len, 8);
  EXPECT_EQ(S.Text(), "\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9");

  EXPECT_FALSE(S.SetText("\u041F\u0443\u0442\u044C"));
  EXPECT_EQ(S.Text(), "????");
  for (size_t I = 4; I < 8; ++I)
    EXPECT_EQ(S.Chars[I], 0) << I;

  EXPECT_TRUE(S.SetText(""));
  EXPECT_TRUE(S.Empty());
}
