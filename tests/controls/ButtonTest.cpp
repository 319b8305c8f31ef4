#include "ControlTestUtil.h"
#include "DsVCL.h"
#include "Quenna.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

TEST(PeButton, KindSetsCaptionHotColorAndModalResult) {
  struct Case {
    TPeBtnKind Kind;
    const char* Caption;
    int Hot;
    TModalResult Result;
  };
  const Case Cases[] = {{bkOK, "OK", 0x20A040, mrOk},
                        {bkApply, "Apply", 0x20A040, mrOk},
                        {bkCancel, "Cancel", 0xF04020, mrCancel},
                        {bkReset, "Reset", 0xF0C010, mrNone}};
  for (const Case& c : Cases) {
    TPeButton Button;
    Button.SetColor(Rgb(0x123456));
    Button.SetModalResult(mrCancel);
    Button.SetKind(c.Kind);
    EXPECT_EQ(Button.Caption(), QString::fromLatin1(c.Caption));
    EXPECT_COLOR(Button.ColorHot(), Rgb(c.Hot));
    EXPECT_EQ(Button.ModalResult(), c.Result) << c.Caption;
    EXPECT_COLOR(Button.Color(), BtnFaceColor());
  }

  TPeButton Custom(QStringLiteral("&Browse"));
  Custom.SetColorHot(Rgb(0x112233));
  Custom.SetModalResult(mrOk);
  Custom.SetKind(bkCustom);
  EXPECT_EQ(Custom.Caption(), QStringLiteral("&Browse"));
  EXPECT_COLOR(Custom.ColorHot(), Rgb(0x112233));
  EXPECT_EQ(Custom.ModalResult(), mrOk);
}

TEST(PeButton, Defaults) {
  TPeButton Button;
  EXPECT_EQ(Button.size(), QSize(73, 25));
  EXPECT_COLOR(Button.ColorHot(), Rgb(0x6060A0));
  EXPECT_COLOR(Button.ColorHotCaption(), Rgb(0xFFFF3F));
  EXPECT_TRUE(Button.Gradient());
  EXPECT_EQ(Button.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(Button.focusPolicy(), Qt::StrongFocus);
}

TEST(PeButton, ModalResultEndsTheDialogAfterTheClick) {
  TQuennaForm Form;
  auto* Ok = new TPeButton(&Form);
  Ok->SetKind(bkOK);
  auto* Cancel = new TPeButton(&Form);
  Cancel->SetKind(bkCancel);
  auto* Reset = new TPeButton(&Form);
  Reset->SetKind(bkReset);

  int Clicks = 0;
  QObject::connect(Reset, &QAbstractButton::clicked, [&] { ++Clicks; });
  QTimer::singleShot(0, &Form, [&] {
    Reset->click();
    EXPECT_TRUE(Form.isVisible());
    Ok->click();
  });
  EXPECT_EQ(Form.exec(), QDialog::Accepted);
  EXPECT_EQ(Clicks, 1);

  QTimer::singleShot(0, &Form, [&] { Cancel->click(); });
  EXPECT_EQ(Form.exec(), QDialog::Rejected);
}

TEST(PeButton, EnterAndSpaceClickTheFocusedButton) {
  TQuennaForm Form;
  auto* Button = new TPeButton(QStringLiteral("Go"), &Form);
  ShowActive(Form);
  Button->setFocus();
  QSignalSpy Clicked(Button, &QAbstractButton::clicked);
  QTest::keyClick(Button, Qt::Key_Return);
  QTest::keyClick(Button, Qt::Key_Space);
  EXPECT_EQ(Clicked.count(), 2);
  Button->setEnabled(false);
  QTest::keyClick(Button, Qt::Key_Return);
  EXPECT_EQ(Clicked.count(), 2);
}

TEST(PeSwitch, StaysDownUntilClickedAgain) {
  TPeSwitch Switch(QStringLiteral("Lock"));
  Switch.resize(73, 25);
  EXPECT_FALSE(Switch.Down());
  QTest::mouseClick(&Switch, Qt::LeftButton);
  EXPECT_TRUE(Switch.Down());
  const QImage Image = Grab(Switch);
  EXPECT_COLOR(Pixel(Image, 5, 5), Lighter(Switch.ColorHot()));
  QTest::mouseClick(&Switch, Qt::LeftButton);
  EXPECT_FALSE(Switch.Down());
}

TEST(PeCheckBox, ClickAndSpaceToggle) {
  TQuennaForm Form;
  auto* Box = new TPeCheckBox(QStringLiteral("lock"), &Form);
  Box->resize(Box->sizeHint());
  ShowActive(Form);
  QSignalSpy Clicked(Box, &QAbstractButton::clicked);
  QTest::mouseClick(Box, Qt::LeftButton);
  EXPECT_TRUE(Box->Checked());
  Box->setFocus();
  QTest::keyClick(Box, Qt::Key_Space);
  EXPECT_FALSE(Box->Checked());
  EXPECT_EQ(Clicked.count(), 2);
  Box->SetChecked(true);
  EXPECT_EQ(Clicked.count(), 2);
}

TEST(PeCheckBox, DisabledCaptionIsGray) {
  TPeCheckBox Box(QStringLiteral("HIH"));
  Box.setFont(SolidFont());
  Box.resize(Box.sizeHint());
  Box.setEnabled(false);
  const QImage Image = Grab(Box);
  EXPECT_TRUE(HasColor(Image, QRect(18, 0, Image.width() - 18, Image.height()), DsColors::DisabledText));
}

TEST(PeRadioBox, CheckingOneUnchecksItsSiblingsAndSetsCheckedTag) {
  TPeGroupBox Group(QStringLiteral("Draw tiled"));
  TPeRadioBox* Radios[3];
  for (int i = 0; i < 3; ++i) {
    Radios[i] = new TPeRadioBox(&Group);
    SetTag(Radios[i], 10 + i);
    Radios[i]->resize(80, 17);
  }
  auto* Elsewhere = new TPeRadioBox(new QWidget(&Group));
  Elsewhere->SetChecked(true);
  auto* Check = new TPeCheckBox(&Group);
  Check->SetChecked(true);

  Radios[0]->SetChecked(true);
  EXPECT_EQ(Group.CheckedTag, 10);
  QTest::mouseClick(Radios[2], Qt::LeftButton);
  EXPECT_FALSE(Radios[0]->Checked());
  EXPECT_TRUE(Radios[2]->Checked());
  EXPECT_EQ(Group.CheckedTag, 12);
  EXPECT_TRUE(Elsewhere->Checked());
  EXPECT_TRUE(Check->Checked());

  // Clicking the checked one keeps it checked; code may still clear it.
  QTest::mouseClick(Radios[2], Qt::LeftButton);
  EXPECT_TRUE(Radios[2]->Checked());
  Radios[2]->SetChecked(false);
  EXPECT_FALSE(Radios[2]->Checked());
  EXPECT_EQ(Group.CheckedTag, 12);
}

TEST(PeRadioBox, PlainParentKeepsExclusionWithoutTag) {
  QWidget Parent;
  auto* a = new TPeRadioBox(QStringLiteral("a"), &Parent);
  auto* b = new TPeRadioBox(QStringLiteral("b"), &Parent);
  a->SetChecked(true);
  b->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(b->Checked());
}

TEST(PeColorButton, PaintsItsColorAndTakesTheDialogChoice) {
  TPeColorButton Button(QStringLiteral("background"));
  Button.resize(Button.sizeHint());
  Button.SetColor(Rgb(0x3060C0));
  const QImage Image = Grab(Button);
  EXPECT_COLOR(Pixel(Image, 14, Image.height() / 2), Rgb(0x3060C0));

  auto* Dialog = new QColorDialog(&Button);
  Button.SetDialog(Dialog);
  QSignalSpy Changed(&Button, &TPeColorButton::ColorChanged);
  QColor SeenInClick;
  QObject::connect(&Button, &QAbstractButton::clicked, [&] { SeenInClick = Button.Color(); });
  QTimer::singleShot(0, Dialog, [Dialog] {
    Dialog->setCurrentColor(Rgb(0x20A040));
    Dialog->accept();
  });
  Button.click();
  EXPECT_COLOR(Button.Color(), Rgb(0x20A040));
  EXPECT_COLOR(SeenInClick, Rgb(0x20A040));
  EXPECT_EQ(Changed.count(), 1);

  QTimer::singleShot(0, Dialog, [Dialog] {
    Dialog->setCurrentColor(Rgb(0xFFFFFF));
    Dialog->reject();
  });
  Button.click();
  EXPECT_COLOR(Button.Color(), Rgb(0x20A040));
}

TEST(PeCombo, ItemsIndexAndUserEvents) {
  TPeCombo Combo;
  Combo.SetItems({QStringLiteral("inch"), QStringLiteral("cm")});
  Combo.SetReadOnly(true);
  EXPECT_EQ(Combo.ItemIndex(), -1);
  QSignalSpy Changed(&Combo, &TPeCombo::OnChange);
  QSignalSpy Clicked(&Combo, &TPeCombo::OnClick);
  Combo.SetItemIndex(1);
  EXPECT_EQ(Combo.currentText(), QStringLiteral("cm"));
  EXPECT_EQ(Changed.count(), 0);
  EXPECT_EQ(Combo.Items(), (QStringList{QStringLiteral("inch"), QStringLiteral("cm")}));
  EXPECT_TRUE(Combo.ReadOnly());
  EXPECT_EQ(Combo.lineEdit(), nullptr);

  QTest::keyClick(&Combo, Qt::Key_Up);
  EXPECT_EQ(Combo.ItemIndex(), 0);
  EXPECT_EQ(Clicked.count(), 1);
  EXPECT_EQ(Changed.count(), 1);

  Combo.SetReadOnly(false);
  ASSERT_NE(Combo.lineEdit(), nullptr);
  Combo.SetColor(Rgb(0xFFFFC0));
  EXPECT_COLOR(Combo.lineEdit()->palette().color(QPalette::Base), Rgb(0xFFFFC0));
  Combo.setEditText(QStringLiteral("set by code"));
  EXPECT_EQ(Changed.count(), 1);
  QTest::keyClicks(Combo.lineEdit(), QStringLiteral("mm"));
  EXPECT_EQ(Changed.count(), 3);
}
