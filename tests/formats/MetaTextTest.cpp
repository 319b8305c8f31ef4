#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "XMetaPlay.h"

namespace {

constexpr uint32_t Red = 0xFF0000, Green = 0x00FF00;

struct TBox {
  int32_t Left = INT32_MAX, Top = INT32_MAX, Right = -1, Bottom = -1;
  bool HasColor = false;
};

// The extent of the pixels that are not white, and whether Color is among them.
TBox Ink(const TMetaDC& DC, uint32_t Color = Red) {
  TBox B;
  for (int32_t Y = 0; Y < DC.Height(); ++Y)
    for (int32_t X = 0; X < DC.Width(); ++X) {
      const uint32_t P = DC.SurfaceRow(Y)[X] & 0xFFFFFF;
      if (P == 0xFFFFFF)
        continue;
      B.Left = std::min(B.Left, X), B.Right = std::max(B.Right, X);
      B.Top = std::min(B.Top, Y), B.Bottom = std::max(B.Bottom, Y);
      B.HasColor |= P == Color;
    }
  return B;
}

void SelectFont(TMetaDC& DC, double Height, int32_t Escapement = 0) {
  TMetaObject O;
  O.Kind = TMetaObject::okFont;
  O.Font.Height = Height;
  O.Font.Escapement = Escapement;
  O.Font.Face = "Arial";
  DC.SetObjectCount(1);
  ASSERT_TRUE(DC.AddObject(O));
  ASSERT_TRUE(DC.SelectObject(0));
}

// Red text on a white picture, no background.
void Prepare(TMetaDC& DC, int32_t Align, double Height = -40) {
  SelectFont(DC, Height);
  DC.SetTextColor(0x0000FF);
  DC.SetBkMode(Meta::Transparent);
  DC.SetTextAlign(Align);
}

TEST(MetaText, AlignmentPlacesTheText) {
  // "HH" at a 40-pixel em is 52 pixels of ink from 3 past its origin; the
  // capitals stand 29 above the baseline, the cell 36 above and 8 below it.
  const struct {
    int32_t Align, Left, Top;
  } Cases[] = {{0, 153, 68}, {Meta::TaCenter | Meta::TaBaseline, 124, 32}, {Meta::TaRight | Meta::TaBottom, 95, 24}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Align);
    TMetaDC DC(300, 140);
    Prepare(DC, C.Align);
    DC.TextOut({150, 60}, "HH", {}, nullptr, false, false);
    const TBox B = Ink(DC);
    EXPECT_TRUE(B.HasColor);
    EXPECT_NEAR(B.Left, C.Left, 2);
    EXPECT_NEAR(B.Top, C.Top, 2);
    EXPECT_NEAR(B.Right - B.Left, 51, 2);
    EXPECT_NEAR(B.Bottom - B.Top, 27, 2);
  }
}

TEST(MetaText, OpaqueBackgroundFillsTheCell) {
  TMetaDC DC(200, 100);
  Prepare(DC, 0);
  DC.SetBkMode(Meta::Opaque);
  DC.SetBkColor(0x00FF00);
  DC.TextOut({20, 20}, "i", {}, nullptr, false, false);
  const TBox B = Ink(DC, Green);
  EXPECT_TRUE(B.HasColor);
  EXPECT_NEAR(B.Top, 20, 1);
  EXPECT_NEAR(B.Left, 20, 1);
  EXPECT_NEAR(B.Bottom, 20 + 46, 3);
  // The record's own rectangle wins over the cell.
  TMetaDC Boxed(200, 100);
  Prepare(Boxed, 0);
  Boxed.SetBkColor(0x00FF00);
  const TMetaRect Clip{10, 10, 150, 90};
  Boxed.TextOut({20, 20}, "i", {}, &Clip, true, false);
  EXPECT_EQ(Boxed.SurfaceRow(85)[140] & 0xFFFFFF, Green);
  EXPECT_EQ(Boxed.SurfaceRow(95)[140] & 0xFFFFFF, 0xFFFFFFu);
}

TEST(MetaText, ClippedTextStaysInside) {
  TMetaDC DC(200, 100);
  Prepare(DC, Meta::TaBaseline);
  const TMetaRect Clip{0, 0, 40, 100};
  DC.TextOut({20, 70}, "HHHH", {}, &Clip, false, true);
  EXPECT_LE(Ink(DC).Right, 40);
}

TEST(MetaText, AdvancesFromDx) {
  TMetaDC DC(300, 100);
  Prepare(DC, Meta::TaBaseline);
  const double Dx[] = {150, 0};
  DC.TextOut({10, 70}, "HH", Dx, nullptr, false, false);
  const TBox B = Ink(DC);
  EXPECT_GE(B.Right, 185);
  // Nothing between the two letters.
  for (int32_t Y = 0; Y < DC.Height(); ++Y)
    EXPECT_EQ(DC.SurfaceRow(Y)[100] & 0xFFFFFF, 0xFFFFFFu);
}

// Ink pixels of row Y.
int32_t RowInk(const TMetaDC& DC, int32_t Y) {
  int32_t Count = 0;
  for (int32_t X = 0; X < DC.Width(); ++X)
    Count += (DC.SurfaceRow(Y)[X] & 0xFFFFFF) != 0xFFFFFF;
  return Count;
}

TEST(MetaText, GlyphsAreNotMirroredByAnUpwardMapping) {
  TMetaDC DC(200, 200);
  DC.SetMapMode(Meta::MmAnisotropic);
  DC.SetWindowExt({200, 200});
  DC.SetViewportExt({200, -200});
  DC.SetViewportOrg({0, 200});
  Prepare(DC, Meta::TaBaseline, -60);
  DC.TextOut({50, 50}, "L", {}, nullptr, false, false);
  const TBox B = Ink(DC);
  EXPECT_NEAR(B.Bottom, 150, 2);
  // The foot of the "L" lies at the bottom as seen.
  EXPECT_GT(RowInk(DC, B.Bottom - 2), 2 * RowInk(DC, B.Top + 2));
}

TEST(MetaText, EscapementTurnsCounterclockwise) {
  TMetaDC DC(200, 300);
  SelectFont(DC, -30, 900);
  DC.SetBkMode(Meta::Transparent);
  DC.SetTextAlign(Meta::TaBaseline);
  DC.TextOut({100, 250}, "HHHH", {}, nullptr, false, false);
  const TBox B = Ink(DC, 0);
  EXPECT_GT(B.Bottom - B.Top, 2 * (B.Right - B.Left));
  EXPECT_LE(B.Bottom, 251);
  EXPECT_LE(B.Right, 101);
}

TEST(MetaText, AnsiToUtf8) {
  struct TCase {
    std::vector<uint8_t> In;
    uint8_t Charset;
    const char* Out;
  };
  const TCase Cases[] = {
      {{0x80}, 0, "\u20AC"},
      {{0xE9}, 0, "\u00E9"},
      {{'A', 0x93, 'z'}, 0, "A\u201Cz"},
      {{0x61, 0x70}, 2, "\u03B1\u03C0"},
      {{0xB3}, 2, "\u2265"},
      {{0xC0, 0xFF}, 204, "\u0410\u044F"},
      {{0xC1}, 161, "\u0391"},
      {{'a', 0, 'b'}, 0, "a"},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(AnsiToUtf8(C.In, C.Charset), C.Out);
}

} // namespace

TEST(MetaText, HostileTextLeavesTheContextWorking) {
  TMetaDC DC(200, 100);
  Prepare(DC, Meta::TaBaseline);
  DC.TextOut({10, 70}, std::string("\xC3\x28\xFF\xF4\x90\x80\x80\xED\xA0\x80", 10), {}, nullptr, false, false);
  for (double Huge : {-1e9, -5000.0}) {
    SelectFont(DC, Huge);
    DC.TextOut({10, 70}, "HH", {}, nullptr, false, false);
  }
  SelectFont(DC, -40);
  DC.SetTextColor(0x0000FF);
  DC.SetBkMode(Meta::Transparent);
  DC.TextOut({150, 70}, "H", {}, nullptr, false, false);
  EXPECT_EQ(DC.SurfaceRow(60)[155] & 0xFFFFFF, Red);
}
