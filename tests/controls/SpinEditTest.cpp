#include "ControlTestUtil.h"
#include "DsSpinEdit.h"

#include <QSignalSpy>
#include <QTest>

#include <climits>

namespace {

struct SpinFixture : ::testing::Test {
  SpinFixture() {
    Spin.SetMinValue(1);
    Spin.SetMaxValue(9999);
    Spin.SetValue(300);
  }
  TPeSpinEdit Spin;
  TBeepCounter Beeps;
};

} // namespace

TEST_F(SpinFixture, ValueIsClampedBothWays) {
  Spin.SetValue(0);
  EXPECT_EQ(Spin.text(), QStringLiteral("1"));
  Spin.SetValue(12000);
  EXPECT_EQ(Spin.Value(), 9999);
  // Typed text out of range reads clamped and is put right on leaving.
  Spin.setText(QStringLiteral("123456"));
  EXPECT_EQ(Spin.Value(), 9999);
  Spin.setText(QStringLiteral("abc"));
  EXPECT_EQ(Spin.Value(), 1);
  Spin.setText(QStringLiteral(" +42 "));
  EXPECT_EQ(Spin.Value(), 42);
}

TEST_F(SpinFixture, EqualBoundsMeanNoRange) {
  TPeSpinEdit Free;
  Free.SetValue(-70000);
  EXPECT_EQ(Free.Value(), -70000);
  Free.SetValue(INT_MAX);
  Free.UpClick();
  EXPECT_EQ(Free.Value(), INT_MAX);
}

TEST_F(SpinFixture, ArrowAndPageKeys) {
  Spin.SetIncrement(5);
  QTest::keyClick(&Spin, Qt::Key_Up);
  EXPECT_EQ(Spin.Value(), 305);
  QTest::keyClick(&Spin, Qt::Key_Down);
  QTest::keyClick(&Spin, Qt::Key_Down);
  EXPECT_EQ(Spin.Value(), 295);
  QTest::keyClick(&Spin, Qt::Key_PageUp);
  EXPECT_EQ(Spin.Value(), 9999);
  QTest::keyClick(&Spin, Qt::Key_Up);
  EXPECT_EQ(Spin.Value(), 9999);
  QTest::keyClick(&Spin, Qt::Key_PageDown);
  EXPECT_EQ(Spin.Value(), 1);
  EXPECT_EQ(Beeps.Count, 0);
}

TEST_F(SpinFixture, ReadOnlyBeepsInsteadOfStepping) {
  Spin.SetReadOnly(true);
  const std::initializer_list<Qt::Key> Keys = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown};
  for (Qt::Key Key : Keys)
    QTest::keyClick(&Spin, Key);
  Spin.UpClick();
  EXPECT_EQ(Spin.Value(), 300);
  EXPECT_EQ(Beeps.Count, 5);
}

TEST_F(SpinFixture, NonNumberCharactersAreRefusedWithABeep) {
  Spin.clear();
  QTest::keyClicks(&Spin, QStringLiteral("1a2.-"));
  EXPECT_EQ(Spin.text(), QStringLiteral("12-"));
  EXPECT_EQ(Beeps.Count, 2);
  QTest::keyClick(&Spin, Qt::Key_Backspace);
  EXPECT_EQ(Spin.text(), QStringLiteral("12"));
  EXPECT_EQ(Beeps.Count, 2);
}

TEST_F(SpinFixture, DisabledEditorRefusesTypingButStillSteps) {
  Spin.SetEditorEnabled(false);
  QTest::keyClicks(&Spin, QStringLiteral("7"));
  QTest::keyClick(&Spin, Qt::Key_Backspace);
  EXPECT_EQ(Spin.text(), QStringLiteral("300"));
  EXPECT_EQ(Beeps.Count, 2);
  QTest::keyClick(&Spin, Qt::Key_Up);
  EXPECT_EQ(Spin.Value(), 301);
}

TEST_F(SpinFixture, OnKeyDownMaySwallowTheKey) {
  int Seen = 0;
  QObject::connect(&Spin, &TPeSpinEdit::OnKeyDown, [&](TPeSpinEdit*, int& Key) {
    Seen = Key;
    if (Key == Qt::Key_Up)
      Key = 0;
  });
  QTest::keyClick(&Spin, Qt::Key_Up);
  EXPECT_EQ(Seen, Qt::Key_Up);
  EXPECT_EQ(Spin.Value(), 300);
  QTest::keyClick(&Spin, Qt::Key_Down);
  EXPECT_EQ(Spin.Value(), 299);
}

TEST_F(SpinFixture, LeavingTheFieldRewritesItsText) {
  QWidget Form;
  auto* Field = new TPeSpinEdit(&Form);
  Field->SetMinValue(2);
  Field->SetMaxValue(256);
  auto* Other = new QLineEdit(&Form);
  ShowActive(Form);
  Field->setFocus();
  Field->setText(QStringLiteral("999"));
  Other->setFocus();
  EXPECT_EQ(Field->text(), QStringLiteral("256"));
  Field->setFocus();
  Field->setText(QStringLiteral("-"));
  Other->setFocus();
  EXPECT_EQ(Field->text(), QStringLiteral("2"));
}

TEST_F(SpinFixture, ButtonsStepAndGiveTheFocusToTheField) {
  QWidget Form;
  auto* Field = new TPeSpinEdit(&Form);
  Field->SetMaxValue(10);
  Field->resize(80, 22);
  auto* Other = new QLineEdit(&Form);
  Other->move(0, 40);
  ShowActive(Form);
  Other->setFocus();
  TTimerSpeedButton* Up = Field->Button()->UpButton();
  QTest::mousePress(Up, Qt::LeftButton);
  QTest::mouseRelease(Up, Qt::LeftButton);
  EXPECT_EQ(Field->Value(), 1);
  EXPECT_TRUE(Field->hasFocus());
  QTest::mouseClick(Field->Button()->DownButton(), Qt::LeftButton);
  QTest::mouseClick(Field->Button()->DownButton(), Qt::LeftButton);
  EXPECT_EQ(Field->Value(), 0);
}

TEST_F(SpinFixture, DoubleClickIsReported) {
  QSignalSpy Double(&Spin, &TPeSpinEdit::OnDblClick);
  QTest::mouseDClick(&Spin, Qt::LeftButton, {}, QPoint(10, 5));
  EXPECT_EQ(Double.count(), 1);
}
