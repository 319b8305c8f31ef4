#include "ControlTestUtil.h"
#include "DsVCL.h"
#include "Quenna.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

QImage Fill(int w, int h, const QColor& c1, const QColor& c2) {
  QImage Image(w, h, QImage::Format_RGB32);
  Image.fill(Qt::black);
  QPainter p(&Image);
  GradientRect(p, Image.rect(), c1, c2);
  return Image;
}

} // namespace

TEST(GradientRect, RunsColumnByColumnFromLeftToRightEnd) {
  const QImage Image = Fill(11, 3, Rgb(0x000000), Rgb(0xFF6400));
  EXPECT_COLOR(Pixel(Image, 0, 1), Rgb(0x000000));
  EXPECT_COLOR(Pixel(Image, 10, 2), Rgb(0xFF6400));
  // 255 * 3 / 10 and 100 * 3 / 10, truncated.
  EXPECT_COLOR(Pixel(Image, 3, 0), QColor(76, 30, 0));
  for (int y = 0; y < 3; ++y)
    EXPECT_EQ(Image.pixel(5, y), Image.pixel(5, 0));
}

TEST(GradientRect, FallingChannelsTruncateTowardZero) {
  const QImage Image = Fill(4, 1, Rgb(0xFFFFFF), Rgb(0x000000));
  // 255 + 1 * (-255) / 3 = 170 exactly; 255 + 2 * (-255) / 3 = 85.
  EXPECT_COLOR(Pixel(Image, 1, 0), QColor(170, 170, 170));
  EXPECT_COLOR(Pixel(Image, 2, 0), QColor(85, 85, 85));
  const QImage Odd = Fill(3, 1, QColor(10, 0, 0), QColor(5, 0, 0));
  EXPECT_EQ(Pixel(Odd, 1, 0).red(), 8); // 10 + (-5) / 2 = 10 - 2
}

TEST(GradientRect, PlainWhenFlagOffOneColumnOrSameEnds) {
  TGradientFlagGuard Guard;
  const QColor Mixed = Mix(DsColors::Light, DsColors::Navy);
  EXPECT_COLOR(Mixed, QColor(0x6E, 0x73, 0xB8));
  const QImage Narrow = Fill(1, 4, DsColors::Light, DsColors::Navy);
  EXPECT_COLOR(Pixel(Narrow, 0, 3), Mixed);
  const QImage Same = Fill(5, 1, Rgb(0x123456), Rgb(0x123456));
  EXPECT_COLOR(Pixel(Same, 4, 0), Rgb(0x123456));

  DrawColorGradients = false;
  const QImage Off = Fill(20, 2, DsColors::Light, DsColors::Navy);
  EXPECT_COLOR(Pixel(Off, 0, 0), Mixed);
  EXPECT_COLOR(Pixel(Off, 19, 1), Mixed);
}

TEST(GradientRect, VerticalVariantRunsFromBottomToTop) {
  QImage Image(2, 9, QImage::Format_RGB32);
  QPainter p(&Image);
  GradientRectV(p, Image.rect(), Rgb(0x000080), Rgb(0xFF0000));
  p.end();
  EXPECT_COLOR(Pixel(Image, 0, 8), Rgb(0x000080));
  EXPECT_COLOR(Pixel(Image, 1, 0), Rgb(0xFF0000));
}

TEST(ColorHelpers, LighterDarkerClampAndMixAverages) {
  EXPECT_COLOR(Lighter(Rgb(0x6060A0)), Rgb(0xA8A8E8));
  EXPECT_COLOR(Lighter(Rgb(0xC0F010)), Rgb(0xFFFF58));
  EXPECT_COLOR(Darker(Rgb(0x6060A0)), Rgb(0x181858));
  EXPECT_COLOR(Darker(Rgb(0x30FF10)), Rgb(0x00B700));
  EXPECT_COLOR(Mix(Rgb(0x000000), Rgb(0xFFFFFF)), Rgb(0x7F7F7F));
}

TEST(QuennaForm, BackgroundRunsFromLightBlueToButtonFace) {
  TQuennaForm Form;
  Form.resize(200, 60);
  const QImage Image = Grab(Form);
  EXPECT_COLOR(Pixel(Image, 0, 30), DsColors::Light);
  EXPECT_COLOR(Pixel(Image, 199, 5), BtnFaceColor());
  EXPECT_EQ(Form.font().pixelSize(), 12);
  EXPECT_TRUE(Form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(Form.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
}

TEST(QuennaForm, FontsResolveToRealGlyphs) {
  TQuennaForm Form;
  const QFontMetrics Metrics(Form.font());
  EXPECT_GT(Metrics.horizontalAdvance(QStringLiteral("WWWW")), 2 * Metrics.horizontalAdvance(QStringLiteral("iiii")));
}

TEST(GroupBox, CaptionBarRunsFromNavyToFaceInsideNavyFrame) {
  TPeGroupBox Box(QStringLiteral("Brightness"));
  Box.resize(120, 80);
  const QImage Image = Grab(Box);
  EXPECT_COLOR(Pixel(Image, 0, 40), DsColors::Navy);
  EXPECT_COLOR(Pixel(Image, 119, 79), DsColors::Navy);
  EXPECT_COLOR(Pixel(Image, 1, 13), DsColors::Navy);
  EXPECT_COLOR(Pixel(Image, 118, 13), BtnFaceColor());
  EXPECT_COLOR(Pixel(Image, 60, 14), BtnFaceColor());
  EXPECT_TRUE(HasColor(Image, QRect(4, 0, 60, 14), DsColors::Light)); // the caption

  Box.SetGradient(false);
  const QImage Plain = Grab(Box);
  EXPECT_COLOR(Pixel(Plain, 118, 13), DsColors::Navy);
}

TEST(GroupBox, SpaceHasOnlyAGradientLineWithoutCaption) {
  TPeGroupSpace Space;
  Space.resize(100, 40);
  QImage Image = Grab(Space);
  EXPECT_COLOR(Pixel(Image, 0, 0), DsColors::Navy);
  EXPECT_COLOR(Pixel(Image, 99, 0), BtnFaceColor());
  EXPECT_COLOR(Pixel(Image, 0, 1), BtnFaceColor());

  Space.SetCaption(QStringLiteral("Zoom"));
  Image = Grab(Space);
  EXPECT_COLOR(Pixel(Image, 0, 14), DsColors::Navy);
  EXPECT_COLOR(Pixel(Image, 0, 15), BtnFaceColor());
}

TEST(TextBox, DisabledCaptionTakesButtonShadowColor) {
  TPeTextBox Box;
  Box.setFont(SolidFont());
  Box.resize(100, 30);
  Box.SetCaption(QStringLiteral("HIH"));
  Box.SetColor(Rgb(0xFFFFC0));
  QImage Image = Grab(Box);
  EXPECT_COLOR(Pixel(Image, 0, 0), Rgb(0x000000));
  EXPECT_COLOR(Pixel(Image, 98, 10), Rgb(0xFFFFC0));
  EXPECT_TRUE(HasColor(Image, QRect(4, 1, 40, 28), Rgb(0x000000)));

  Box.setEnabled(false);
  Image = Grab(Box);
  EXPECT_TRUE(HasColor(Image, QRect(4, 1, 40, 28), BtnShadowColor()));
  EXPECT_FALSE(HasColor(Image, QRect(2, 2, 90, 26), Rgb(0x000000)));
}

TEST(ButtonLook, NormalHotPressedAndDisabledFaces) {
  TPeButton Button(QStringLiteral("HIH"));
  Button.setFont(SolidFont());
  Button.resize(73, 25);
  Button.SetColor(Rgb(0xC0C0C0));

  QImage Image = Grab(Button);
  EXPECT_COLOR(Pixel(Image, 0, 0), DsColors::Navy);
  EXPECT_COLOR(Pixel(Image, 1, 12), Lighter(Rgb(0xC0C0C0))); // inner frame
  // The face is 71 columns wide; its outer ring carries the inner frame.
  EXPECT_COLOR(Pixel(Image, 2, 12), DsColors::Light);
  EXPECT_COLOR(Pixel(Image, 70, 12), QColor(193, 193, 193));

  Button.setAttribute(Qt::WA_UnderMouse, true);
  Image = Grab(Button);
  EXPECT_COLOR(Pixel(Image, 1, 12), Lighter(DsColors::HotDefault));
  EXPECT_COLOR(Pixel(Image, 2, 3), QColor(199, 207, 214));
  EXPECT_TRUE(HasColor(Image, QRect(3, 3, 67, 19), DsColors::HotCaption));

  Button.setDown(true);
  Image = Grab(Button);
  const QColor PressedFace = Lighter(DsColors::HotDefault);
  EXPECT_COLOR(Pixel(Image, 5, 5), PressedFace);
  EXPECT_COLOR(Pixel(Image, 1, 5), Darker(PressedFace));
  EXPECT_COLOR(Pixel(Image, 71, 5), Lighter(PressedFace));
  Button.setDown(false);
  Button.setAttribute(Qt::WA_UnderMouse, false);

  Button.setEnabled(false);
  Image = Grab(Button);
  EXPECT_TRUE(HasColor(Image, QRect(3, 3, 67, 19), DsColors::DisabledText));
}

TEST(ButtonLook, WithoutGradientTheFaceIsPlain) {
  TGradientFlagGuard Guard;
  TPeButton Button;
  Button.resize(73, 25);
  Button.SetColor(Rgb(0x90A0B0));
  Button.SetGradient(false);
  QImage Image = Grab(Button);
  EXPECT_COLOR(Pixel(Image, 3, 3), Rgb(0x90A0B0));

  Button.SetGradient(true);
  DrawColorGradients = false;
  Image = Grab(Button);
  EXPECT_COLOR(Pixel(Image, 3, 3), Mix(DsColors::Light, Rgb(0x90A0B0)));
  EXPECT_COLOR(Pixel(Image, 69, 20), Mix(DsColors::Light, Rgb(0x90A0B0)));
}
