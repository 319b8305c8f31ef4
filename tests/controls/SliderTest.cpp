#include "ControlTestUtil.h"
#include "DsSlider.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {

// A 26 x 128 slider has a 116-pixel track: scale = (116 - 11) / range.
struct SliderFixture : ::testing::Test {
  SliderFixture() { Slider.resize(26, 128); }
  TSlider Slider;
};

void Drag(TSlider& Slider, int From, const std::initializer_list<int>& Through) {
  QTest::mousePress(&Slider, Qt::LeftButton, {}, QPoint(13, From));
  for (int y : Through)
    QTest::mouseMove(&Slider, QPoint(13, y));
}

} // namespace

TEST_F(SliderFixture, Defaults) {
  TSlider Fresh;
  EXPECT_EQ(Fresh.size(), QSize(26, 128));
  EXPECT_EQ(Fresh.Min(), 0);
  EXPECT_EQ(Fresh.Max(), 100);
  EXPECT_EQ(Fresh.SlideSize(), 5);
  EXPECT_EQ(Fresh.Extension(), QStringLiteral("%"));
  EXPECT_EQ(Fresh.TickStep(), 10);
  EXPECT_COLOR(Fresh.MinColor(), Rgb(0x808080));
  EXPECT_COLOR(Fresh.MaxColor(), Rgb(0xC0C0C0));
}

TEST_F(SliderFixture, BoundsStopAtEachOtherAndClampThePosition) {
  Slider.SetPosition(80);
  Slider.SetMin(150);
  EXPECT_EQ(Slider.Min(), 100);
  EXPECT_EQ(Slider.Position(), 100);
  Slider.SetMax(20);
  EXPECT_EQ(Slider.Max(), 100);
  Slider.SetMin(-127);
  Slider.SetMax(127);
  Slider.SetPosition(500);
  EXPECT_EQ(Slider.Position(), 127);
  Slider.SetPosition(-500);
  EXPECT_EQ(Slider.Position(), -127);
}

TEST_F(SliderFixture, ThumbFollowsTheScale) {
  EXPECT_DOUBLE_EQ(Slider.Scale(), 1.05);
  EXPECT_EQ(Slider.ThumbPos(), 110);
  Slider.SetPosition(100);
  EXPECT_EQ(Slider.ThumbPos(), 5);
  Slider.SetPosition(50); // 52.5 rounds to even
  EXPECT_EQ(Slider.ThumbPos(), 110 - 52);
  Slider.SetPosition(30); // 31.5
  EXPECT_EQ(Slider.ThumbPos(), 110 - 32);

  Slider.SetMin(100);
  EXPECT_DOUBLE_EQ(Slider.Scale(), 1.0);
  EXPECT_EQ(Slider.ThumbPos(), 110);
}

TEST_F(SliderFixture, ValueTextFormats) {
  Slider.SetMin(-127);
  Slider.SetMax(400);
  Slider.SetPosition(42);
  EXPECT_EQ(Slider.ValueText(), QStringLiteral("42%"));
  Slider.SetTextSign(true);
  Slider.SetExtension(QString());
  EXPECT_EQ(Slider.ValueText(), QStringLiteral("+42"));
  Slider.SetPosition(0);
  EXPECT_EQ(Slider.ValueText(), QStringLiteral("0"));
  Slider.SetPosition(-5);
  EXPECT_EQ(Slider.ValueText(), QStringLiteral("-5"));
  Slider.SetTextSign(false);
  Slider.SetDigit(2);
  Slider.SetPosition(100);
  EXPECT_EQ(Slider.ValueText(), QStringLiteral("1.00"));
  Slider.SetExtension(QStringLiteral("\u00B0"));
  Slider.SetPosition(7);
  EXPECT_EQ(Slider.ValueText(), QStringLiteral("0.07\u00B0"));
}

TEST_F(SliderFixture, KeysMoveTheThumbAndSwitchFocus) {
  Slider.SetMin(-50);
  Slider.SetPosDefault(7);
  QSignalSpy Switched(&Slider, &TSlider::OnSwitch);
  QSignalSpy Focus(&Slider, &TSlider::OnSwitchFocus);
  const std::pair<Qt::Key, int> Steps[] = {{Qt::Key_Up, 1},       {Qt::Key_PageUp, 11}, {Qt::Key_Down, 10},
                                           {Qt::Key_PageDown, 0}, {Qt::Key_Home, 100},  {Qt::Key_PageUp, 100},
                                           {Qt::Key_End, -50},    {Qt::Key_Down, -50},  {Qt::Key_Backspace, 7}};
  for (const auto& [Key, Expected] : Steps) {
    QTest::keyClick(&Slider, Key);
    EXPECT_EQ(Slider.Position(), Expected) << Key;
  }
  // The two presses at a bound change nothing and do not notify.
  EXPECT_EQ(Switched.count(), 7);

  QTest::keyClick(&Slider, Qt::Key_Left);
  QTest::keyClick(&Slider, Qt::Key_Right);
  ASSERT_EQ(Focus.count(), 2);
  EXPECT_EQ(Focus.at(0).at(1).toBool(), false);
  EXPECT_EQ(Focus.at(1).at(1).toBool(), true);
  EXPECT_EQ(Focus.at(1).at(0).value<TSlider*>(), &Slider);
  EXPECT_EQ(Slider.Position(), 7);
}

TEST_F(SliderFixture, DragNotifiesOnceOnReleaseUnlessSwitchOnMove) {
  QSignalSpy Switched(&Slider, &TSlider::OnSwitch);
  Drag(Slider, 110, {100, 60, 5});
  EXPECT_EQ(Slider.Position(), 100);
  EXPECT_EQ(Switched.count(), 0);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::SizeVerCursor);
  QTest::mouseRelease(&Slider, Qt::LeftButton, {}, QPoint(13, 5));
  EXPECT_EQ(Switched.count(), 1);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // (110 - 60) / 1.05 = 47.6
  Slider.SetSwitchOnMove(true);
  Switched.clear();
  Drag(Slider, 60, {59, 59, 300});
  EXPECT_EQ(Slider.Position(), 0);
  QTest::mouseRelease(&Slider, Qt::LeftButton, {}, QPoint(13, 300));
  EXPECT_EQ(Switched.count(), 3); // 48, 49, 0
}

TEST_F(SliderFixture, DragThatEndsWhereItStartedDoesNotNotify) {
  Slider.SetPosition(48);
  QSignalSpy Switched(&Slider, &TSlider::OnSwitch);
  Drag(Slider, 60, {20, 60});
  QTest::mouseRelease(&Slider, Qt::LeftButton, {}, QPoint(13, 60));
  EXPECT_EQ(Switched.count(), 0);
}

TEST_F(SliderFixture, PressBelowTheTrackIsIgnoredAndRightButtonResets) {
  Slider.SetPosition(30);
  Slider.SetPosDefault(100);
  QTest::mousePress(&Slider, Qt::LeftButton, {}, QPoint(13, 124));
  QTest::mouseRelease(&Slider, Qt::LeftButton, {}, QPoint(13, 124));
  EXPECT_EQ(Slider.Position(), 30);
  QSignalSpy Switched(&Slider, &TSlider::OnSwitch);
  QTest::mouseClick(&Slider, Qt::RightButton, {}, QPoint(13, 124));
  EXPECT_EQ(Slider.Position(), 100);
  EXPECT_EQ(Switched.count(), 1);
}

TEST_F(SliderFixture, GradientTrackRunsFromMinColorAtBottomToMaxColorAtTop) {
  TGradientFlagGuard Guard;
  Slider.SetMinColor(Rgb(0x400000));
  Slider.SetMaxColor(Rgb(0xFF8080));
  Slider.SetPosition(50);
  QImage Image = Grab(Slider);
  EXPECT_COLOR(Pixel(Image, 13, 0), Rgb(0xFF8080));
  EXPECT_COLOR(Pixel(Image, 13, 115), Rgb(0x400000));
  // The thumb: highlight on top, navy mark at its center row.
  EXPECT_COLOR(Pixel(Image, 13, Slider.ThumbPos() - 5), BtnHighlightColor());
  EXPECT_COLOR(Pixel(Image, 13, Slider.ThumbPos()), DsColors::Navy);

  DrawColorGradients = false;
  Image = Grab(Slider);
  EXPECT_COLOR(Pixel(Image, 13, 0), Mix(Rgb(0x400000), Rgb(0xFF8080)));
}

TEST_F(SliderFixture, UserDrawHandsOverTheTrack) {
  Slider.SetStyle(TSlideStyle::UserDraw);
  QRect Seen;
  QObject::connect(&Slider, &TSlider::OnPaint, [&](TSlider*, QPainter* Canvas, const QRect& Track) {
    Seen = Track;
    Canvas->fillRect(Track, Rgb(0x00FF00));
  });
  const QImage Image = Grab(Slider);
  EXPECT_EQ(Seen, QRect(0, 0, 26, 116));
  EXPECT_COLOR(Pixel(Image, 13, 2), Rgb(0x00FF00));
}
