#include "GalleryForm.h"

#include "BarPopupMenu.h"
#include "DsSlider.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"

#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

QPixmap SampleGlyph(const QColor& Color) {
  QPixmap Glyph(16, 16);
  Glyph.fill(Qt::transparent);
  QPainter p(&Glyph);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(DsColors::Navy, 1));
  p.setBrush(Color);
  p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
  return Glyph;
}

QLabel* Note(const QString& Text, QWidget* parent) {
  auto* Label = new QLabel(Text, parent);
  Label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  return Label;
}

} // namespace

TGalleryForm::TGalleryForm(QWidget* parent) : TQuennaForm(parent) {
  setWindowTitle(QStringLiteral("Controls gallery"));
  setWindowFlags(Qt::Window);

  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(8, 0, 8, 8);
  FMainMenu = Add(new TBarMainMenu(this));
  FillMenu(FMainMenu->addMenu(QStringLiteral("&File")));
  QMenu* Options = FMainMenu->addMenu(QStringLiteral("&Options"));
  Options->addAction(QStringLiteral("&details"))->setCheckable(true);
  Options->addAction(QStringLiteral("&bold font"))->setCheckable(true);
  Layout->setMenuBar(FMainMenu);

  auto* Grid = new QGridLayout;
  Grid->setSpacing(8);
  Grid->addWidget(BuildGroups(), 0, 0, 1, 2);
  Grid->addWidget(BuildButtons(), 1, 0, 1, 2);
  Grid->addWidget(BuildChecks(), 2, 0);
  Grid->addWidget(BuildEdits(), 2, 1);
  Grid->addWidget(BuildSliders(), 3, 0);
  Grid->addWidget(BuildMenus(), 3, 1);
  Layout->addLayout(Grid);
}

void TGalleryForm::ShowStates() {
  for (QWidget* w : FHotSamples) {
    w->setAttribute(Qt::WA_UnderMouse, true);
    w->update();
  }
  for (QWidget* w : FPressedSamples)
    if (auto* Button = qobject_cast<QAbstractButton*>(w))
      Button->setDown(true);
  if (FFocusSample)
    FFocusSample->setFocus(Qt::OtherFocusReason);
}

void TGalleryForm::contextMenuEvent(QContextMenuEvent* e) { FPopup->popup(e->globalPos()); }

void TGalleryForm::FillMenu(QMenu* Menu) {
  Menu->addAction(QIcon(SampleGlyph(QColor(0xF0, 0xC0, 0x10))), QStringLiteral("&Open image..."))
      ->setShortcut(QKeySequence(Qt::Key_F2));
  QAction* Again = Menu->addAction(QStringLiteral("Open again"));
  Again->setShortcut(QKeySequence(Qt::Key_F3));
  Again->setEnabled(false);
  QMenu* Zoom = Menu->addMenu(QStringLiteral("Zoom"));
  auto* Group = new QActionGroup(Zoom);
  const char* const Steps[] = {"2 : 1", "1 : 1", "1 / 2"};
  for (const char* Step : Steps) {
    QAction* Item = Zoom->addAction(QIcon(SampleGlyph(Qt::white)), QString::fromLatin1(Step));
    Item->setCheckable(true);
    Item->setActionGroup(Group);
    Item->setChecked(QLatin1String(Step) == QLatin1String("1 : 1"));
  }
  Menu->addSeparator();
  QAction* Full = Menu->addAction(QStringLiteral("Full screen"));
  Full->setShortcut(QKeySequence(Qt::Key_Space));
  Full->setCheckable(true);
  Full->setChecked(true);
  Menu->addAction(QStringLiteral("&Print..."))->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
  Menu->addSeparator();
  Menu->addAction(QStringLiteral("Quit"))->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
}

QWidget* TGalleryForm::BuildGroups() {
  auto* Row = new QWidget(this);
  auto* Layout = new QHBoxLayout(Row);
  Layout->setContentsMargins(0, 0, 0, 0);
  auto* Box = Add(new TPeGroupBox(QStringLiteral("TPeGroupBox"), Row));
  auto* Plain = Add(new TPeGroupBox(QStringLiteral("without Gradient"), Row));
  Plain->SetGradient(false);
  auto* NoCaption = Add(new TPeGroupBox(Row));
  auto* Space = Add(new TPeGroupSpace(QStringLiteral("TPeGroupSpace"), Row));
  auto* SpaceLine = Add(new TPeGroupSpace(Row));
  auto* Painted = Add(new TPeGroupBox(QStringLiteral("OnPaint"), Row));
  connect(Painted, &TDsCustomGroup::OnPaint, this, [](TDsCustomGroup* Sender, QPainter* Canvas) {
    Canvas->setPen(QPen(DsColors::HotDefault, 2));
    Canvas->drawLine(10, Sender->height() - 10, Sender->width() - 10, 22);
  });
  for (TDsCustomGroup* Group : {static_cast<TDsCustomGroup*>(Box), static_cast<TDsCustomGroup*>(Plain),
                                static_cast<TDsCustomGroup*>(NoCaption), static_cast<TDsCustomGroup*>(Space),
                                static_cast<TDsCustomGroup*>(SpaceLine), static_cast<TDsCustomGroup*>(Painted)}) {
    Group->setMinimumSize(120, 60);
    Layout->addWidget(Group);
  }
  auto* Inner = new QVBoxLayout(NoCaption);
  Inner->addWidget(Note(QStringLiteral("no caption"), NoCaption));
  auto* SpaceInner = new QVBoxLayout(SpaceLine);
  SpaceInner->addWidget(Note(QStringLiteral("no caption"), SpaceLine));
  return Row;
}

QWidget* TGalleryForm::BuildButtons() {
  auto* Group = Add(new TPeGroupBox(QStringLiteral("TPeButton, TPeSwitch"), this));
  auto* Layout = new QGridLayout(Group);
  int Column = 0;
  auto Place = [&](TPeButton* Button, const QString& Caption) {
    Button->setFixedSize(73, 25);
    Layout->addWidget(Add(Button), 0, Column, Qt::AlignHCenter);
    Layout->addWidget(Note(Caption, Group), 1, Column++);
  };
  Place(new TPeButton(QStringLiteral("&Normal"), Group), QStringLiteral("normal"));
  auto* Hot = new TPeButton(QStringLiteral("Hot"), Group);
  FHotSamples << Hot;
  Place(Hot, QStringLiteral("hot"));
  auto* Pressed = new TPeButton(QStringLiteral("Pressed"), Group);
  FPressedSamples << Pressed;
  Place(Pressed, QStringLiteral("pressed"));
  auto* Focused = new TPeButton(QStringLiteral("Focused"), Group);
  FFocusSample = Focused;
  Place(Focused, QStringLiteral("focused"));
  auto* Disabled = new TPeButton(QStringLiteral("Disabled"), Group);
  Disabled->setEnabled(false);
  Place(Disabled, QStringLiteral("disabled"));
  auto* Glyph = new TPeButton(QStringLiteral("Glyph"), Group);
  Glyph->SetGlyph(SampleGlyph(QColor(0x20, 0xA0, 0x40)));
  Place(Glyph, QStringLiteral("glyph"));
  auto* Flat = new TPeButton(QStringLiteral("Flat"), Group);
  Flat->SetGradient(false);
  Flat->SetColor(QColor(0xDC, 0xE6, 0xF0));
  Place(Flat, QStringLiteral("no gradient"));
  const std::pair<TPeBtnKind, const char*> Kinds[] = {
      {bkOK, "bkOK hot"}, {bkCancel, "bkCancel hot"}, {bkApply, "bkApply"}, {bkReset, "bkReset hot"}};
  for (const auto& [Kind, Caption] : Kinds) {
    auto* Button = new TPeButton(Group);
    Button->SetKind(Kind);
    if (Kind != bkApply)
      FHotSamples << Button;
    Place(Button, QString::fromLatin1(Caption));
  }
  auto* SwitchUp = new TPeSwitch(QStringLiteral("Switch"), Group);
  Place(SwitchUp, QStringLiteral("switch up"));
  auto* SwitchDown = new TPeSwitch(QStringLiteral("Switch"), Group);
  SwitchDown->SetDown(true);
  Place(SwitchDown, QStringLiteral("switch down"));
  return Group;
}

QWidget* TGalleryForm::BuildChecks() {
  auto* Group = Add(new TPeGroupBox(QStringLiteral("TPeCheckBox, TPeRadioBox, TPeColorButton, TPeTextBox"), this));
  auto* Layout = new QGridLayout(Group);
  Layout->setVerticalSpacing(2);

  auto* Unchecked = Add(new TPeCheckBox(QStringLiteral("&unchecked"), Group));
  auto* Checked = Add(new TPeCheckBox(QStringLiteral("checked"), Group));
  Checked->SetChecked(true);
  auto* HotCheck = Add(new TPeCheckBox(QStringLiteral("hot"), Group));
  FHotSamples << HotCheck;
  auto* DisabledCheck = Add(new TPeCheckBox(QStringLiteral("disabled, checked"), Group));
  DisabledCheck->SetChecked(true);
  DisabledCheck->setEnabled(false);
  auto* Gradients = Add(new TPeCheckBox(QStringLiteral("draw color gradient"), Group));
  Gradients->SetChecked(DrawColorGradients);
  connect(Gradients, &QAbstractButton::toggled, this, [this](bool On) {
    DrawColorGradients = On;
    update();
    for (QWidget* w : findChildren<QWidget*>())
      w->update();
  });
  int Row = 0;
  for (QWidget* w : {static_cast<QWidget*>(Unchecked), static_cast<QWidget*>(Checked), static_cast<QWidget*>(HotCheck),
                     static_cast<QWidget*>(DisabledCheck), static_cast<QWidget*>(Gradients)})
    Layout->addWidget(w, Row++, 0);

  auto* Radios = Add(new TPeGroupSpace(QStringLiteral("radio boxes"), Group));
  auto* RadioLayout = new QVBoxLayout(Radios);
  RadioLayout->setSpacing(2);
  const char* const Captions[] = {"never", "always", "auto"};
  for (int i = 0; i < 3; ++i) {
    auto* Radio = Add(new TPeRadioBox(QString::fromLatin1(Captions[i]), Radios));
    SetTag(Radio, i);
    RadioLayout->addWidget(Radio);
    connect(Radio, &QAbstractButton::toggled, this,
            [this, Radios] { FCheckedTagBox->SetCaption(QStringLiteral("CheckedTag %1").arg(Radios->CheckedTag)); });
  }
  auto* DisabledRadio = Add(new TPeRadioBox(QStringLiteral("disabled"), Radios));
  DisabledRadio->setEnabled(false);
  RadioLayout->addWidget(DisabledRadio);
  FCheckedTagBox = Add(new TPeTextBox(Group));
  qobject_cast<TPeRadioBox*>(RadioLayout->itemAt(2)->widget())->SetChecked(true);
  Layout->addWidget(Radios, 0, 1, 4, 1);

  auto* Color = Add(new TPeColorButton(QStringLiteral("background color"), Group));
  Color->SetColor(QColor(0x30, 0x60, 0x90));
  Color->SetDialog(new QColorDialog(this));
  auto* HotColor = Add(new TPeColorButton(QStringLiteral("hot"), Group));
  HotColor->SetColor(QColor(0xF0, 0xC0, 0x10));
  FHotSamples << HotColor;
  Layout->addWidget(Color, Row++, 0);
  Layout->addWidget(HotColor, Row++, 0);

  Layout->addWidget(FCheckedTagBox, 4, 1);
  auto* Disabled = Add(new TPeTextBox(Group));
  Disabled->SetCaption(QStringLiteral("disabled text box"));
  Disabled->setEnabled(false);
  Layout->addWidget(Disabled, 5, 1);
  auto* Colored = Add(new TPeTextBox(Group));
  Colored->SetCaption(QStringLiteral("Color DCE6F0"));
  Colored->SetColor(QColor(0xDC, 0xE6, 0xF0));
  Layout->addWidget(Colored, 6, 1);
  return Group;
}

QWidget* TGalleryForm::BuildEdits() {
  auto* Group = Add(new TPeGroupBox(QStringLiteral("TPeCombo, TPeSpinEdit, TPeSpinButton"), this));
  auto* Layout = new QGridLayout(Group);
  Layout->setVerticalSpacing(4);
  const QStringList Units{QStringLiteral("inch"), QStringLiteral("cm")};
  int Row = 0;
  auto Place = [&](QWidget* Control, const QString& Caption) {
    Layout->addWidget(Note(Caption, Group), Row, 0, Qt::AlignLeft | Qt::AlignVCenter);
    Layout->addWidget(Add(Control), Row++, 1);
  };

  auto* ReadOnly = new TPeCombo(Group);
  ReadOnly->SetItems(Units);
  ReadOnly->SetReadOnly(true);
  ReadOnly->SetItemIndex(1);
  Place(ReadOnly, QStringLiteral("read-only combo"));
  auto* Editable = new TPeCombo(Group);
  Editable->SetItems({QStringLiteral("user"), QStringLiteral("default"), QStringLiteral("image")});
  Editable->SetItemIndex(2);
  Place(Editable, QStringLiteral("editable combo"));
  auto* HotCombo = new TPeCombo(Group);
  HotCombo->SetItems(Units);
  HotCombo->SetReadOnly(true);
  HotCombo->SetItemIndex(0);
  FHotSamples << HotCombo;
  Place(HotCombo, QStringLiteral("hot combo"));
  auto* DisabledCombo = new TPeCombo(Group);
  DisabledCombo->SetItems(Units);
  DisabledCombo->SetReadOnly(true);
  DisabledCombo->SetItemIndex(0);
  DisabledCombo->setEnabled(false);
  Place(DisabledCombo, QStringLiteral("disabled combo"));

  auto* Spin = new TPeSpinEdit(Group);
  Spin->SetMinValue(1);
  Spin->SetMaxValue(9999);
  Spin->SetValue(300);
  Place(Spin, QStringLiteral("spin 1..9999"));
  auto* ReadOnlySpin = new TPeSpinEdit(Group);
  ReadOnlySpin->SetValue(72);
  ReadOnlySpin->SetReadOnly(true);
  Place(ReadOnlySpin, QStringLiteral("read-only spin"));
  auto* DisabledSpin = new TPeSpinEdit(Group);
  DisabledSpin->SetValue(2);
  DisabledSpin->setEnabled(false);
  Place(DisabledSpin, QStringLiteral("disabled spin"));
  auto* Pressed = new TPeSpinEdit(Group);
  Pressed->SetValue(5);
  FPressedSamples << Pressed->Button()->UpButton();
  Place(Pressed, QStringLiteral("up button held"));

  auto* Buttons = new TPeSpinButton(Group);
  Buttons->setFixedSize(15, 22);
  Place(Buttons, QStringLiteral("TPeSpinButton"));
  Layout->setRowStretch(Row, 1);
  return Group;
}

QWidget* TGalleryForm::BuildSliders() {
  auto* Group = Add(new TPeGroupBox(QStringLiteral("TSlider"), this));
  auto* Layout = new QGridLayout(Group);
  int Column = 0;
  auto Place = [&](TSlider* Slider, const QString& Caption) {
    Slider->setFixedSize(34, 128);
    Layout->addWidget(Add(Slider), 0, Column, Qt::AlignHCenter);
    Layout->addWidget(Note(Caption, Group), 1, Column++);
  };

  auto* Plain = new TSlider(Group);
  Plain->SetPosition(40);
  Place(Plain, QStringLiteral("Gradient"));
  auto* Red = new TSlider(Group);
  Red->SetMin(-127);
  Red->SetMax(127);
  Red->SetPosition(30);
  Red->SetTextSign(true);
  Red->SetExtension(QString());
  Red->SetMinColor(QColor(0x40, 0x00, 0x00));
  Red->SetMaxColor(QColor(0xFF, 0x80, 0x80));
  Place(Red, QStringLiteral("TextSign"));
  auto* Gamma = new TSlider(Group);
  Gamma->SetMin(1);
  Gamma->SetMax(400);
  Gamma->SetPosition(100);
  Gamma->SetDigit(2);
  Gamma->SetExtension(QString());
  Gamma->SetTicks(true);
  Gamma->SetTickStep(50);
  Place(Gamma, QStringLiteral("Digit, Ticks"));
  auto* Wedge = new TSlider(Group);
  Wedge->SetStyle(TSlideStyle::Increament);
  Wedge->SetColor(Qt::white);
  Wedge->SetMaxColor(QColor(0x60, 0x60, 0xA0));
  Wedge->SetPosition(70);
  Place(Wedge, QStringLiteral("Increament"));
  auto* Hue = new TSlider(Group);
  Hue->SetStyle(TSlideStyle::UserDraw);
  Hue->SetMin(-180);
  Hue->SetMax(180);
  Hue->SetExtension(QStringLiteral("\u00B0"));
  connect(Hue, &TSlider::OnPaint, this, [](TSlider*, QPainter* Canvas, const QRect& Rect) {
    for (int y = 0; y < Rect.height(); ++y)
      Canvas->fillRect(Rect.left(), Rect.top() + y, Rect.width(), 1,
                       QColor::fromHsv(359 * y / std::max(1, Rect.height() - 1), 200, 230));
  });
  Place(Hue, QStringLiteral("UserDraw"));
  auto* Focused = new TSlider(Group);
  Focused->SetPosition(100);
  Focused->SetTextAlign(TTextAlign::AlignLeft);
  if (!FFocusSample)
    FFocusSample = Focused;
  Place(Focused, QStringLiteral("at Max"));
  auto* Disabled = new TSlider(Group);
  Disabled->SetPosition(20);
  Disabled->setEnabled(false);
  Place(Disabled, QStringLiteral("disabled"));
  return Group;
}

QWidget* TGalleryForm::BuildMenus() {
  auto* Group = Add(new TPeGroupBox(QStringLiteral("TBarPopupMenu (right-click for a live one)"), this));
  auto* Layout = new QHBoxLayout(Group);

  FPopup = new TBarPopupMenu(this);
  FPopup->SetVerticalText(QStringLiteral("Main Menu"));
  FPopup->SetBarWidth(28);
  QFont Side(QStringLiteral("Arial"));
  Side.setPixelSize(19);
  Side.setBold(true);
  FPopup->SetVerticalFont(Side);
  FPopup->SetVerticalFontColor(QColor(0xC0, 0xC0, 0xC0));
  FPopup->SetGradientStart(QColor(0x3F, 0x00, 0x7F));
  FPopup->SetGradientEnd(QColor(0xFF, 0x00, 0x3F));
  FillMenu(FPopup);

  // The same menu embedded as a plain widget, with its first item selected.
  auto* Shown = new TBarPopupMenu(Group);
  Shown->setWindowFlags(Qt::Widget);
  Shown->SetVerticalText(QStringLiteral("Workbench"));
  FillMenu(Shown);
  TBarPopupMenu::ApplyStyle(Shown, true);
  Shown->setFixedSize(Shown->sizeHint());
  Shown->setActiveAction(Shown->actions().first());
  Layout->addWidget(Add(Shown), 0, Qt::AlignTop);

  auto* Sub = new TBarPopupMenu(Group);
  Sub->setWindowFlags(Qt::Widget);
  Sub->SetBarVisible(false);
  QMenu* Zoom = Shown->actions().at(2)->menu();
  Sub->addActions(Zoom->actions());
  Sub->setFixedSize(Sub->sizeHint());
  Sub->setActiveAction(Sub->actions().at(1));
  Layout->addWidget(Add(Sub), 0, Qt::AlignTop);
  Layout->addStretch(1);
  return Group;
}
