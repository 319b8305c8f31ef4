#include "Cfg.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QMouseEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QStyleOptionTab>
#include <algorithm>

#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "RgbTypes.h"

std::function<QString(QWidget*, const QString&)> ChooseProgramHook;

namespace {
constexpr int FormWidth = 363, FormHeight = 306;
constexpr int Margin = 4, ButtonWidth = 73, ButtonHeight = 25;
constexpr int GroupLeft = 8, GroupWidth = 331, BoxLeft = 12, BoxWidth = 305, BoxHeight = 17, RowStep = 20;
constexpr int SpinWidth = 60, SpinHeight = 21;
constexpr int MinTiled = 2, MaxTiled = 256, MinDpi = 1, MaxDpi = 6000;

QColor ToQColor(TColor C) { return QColor(GetRValue(C), GetGValue(C), GetBValue(C)); }
TColor ToTColor(const QColor& C) { return RGBColor(uint8_t(C.red()), uint8_t(C.green()), uint8_t(C.blue())); }

TPeGroupBox* AddGroup(QWidget* Page, const QString& Caption, int Top, int Height) {
  auto* Group = new TPeGroupBox(Caption, Page);
  Group->setGeometry(GroupLeft, Top, GroupWidth, Height);
  return Group;
}

// Row 0 sits below the group's title bar.
int RowTop(int Row) { return 22 + Row * RowStep; }

template <class T>
T* AddBox(QWidget* Group, const char* Name, const QString& Caption, int Row, int Left = BoxLeft, int Width = BoxWidth) {
  auto* Box = new T(Caption, Group);
  Box->setObjectName(QLatin1String(Name));
  Box->setGeometry(Left, RowTop(Row), Width, BoxHeight);
  return Box;
}

TPeRadioBox* AddRadio(QWidget* Group, const char* Name, const QString& Caption, int Tag, int Row, int Left = BoxLeft,
                      int Width = BoxWidth) {
  auto* Radio = AddBox<TPeRadioBox>(Group, Name, Caption, Row, Left, Width);
  SetTag(Radio, Tag);
  return Radio;
}

QLabel* AddNote(QWidget* Group, const QString& Text, const QRect& Place) {
  auto* Note = new QLabel(Text, Group);
  Note->setWordWrap(true);
  Note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Note->setGeometry(Place);
  return Note;
}

QLabel* AddLabel(QWidget* Group, const QString& Caption, const QRect& Place, QWidget* Buddy = nullptr) {
  auto* Label = new QLabel(Caption, Group);
  Label->setGeometry(Place);
  if (Buddy)
    Label->setBuddy(Buddy);
  return Label;
}

// Lists folders and programs only.
class TProgramFilter : public QSortFilterProxyModel {
public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
  bool filterAcceptsRow(int Row, const QModelIndex& Parent) const override {
    const auto* Files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!Files)
      return true;
    return ListedInProgramDialog(Files->fileInfo(Files->index(Row, 0, Parent)));
  }
};

// A name typed into the dialog may still be a file that cannot run: it is
// not taken, as a missing one is not.
class TProgramDialog : public QFileDialog {
public:
  using QFileDialog::QFileDialog;

  void accept() override {
    const QFileInfo Chosen(selectedFiles().value(0));
    if (Chosen.isFile() && !IsProgramFile(Chosen)) {
      Beep();
      return;
    }
    QFileDialog::accept();
  }
};

QString RunProgramDialog(QWidget* Parent, const QString& Start) {
  TProgramDialog Dialog(Parent, QStringLiteral("Select Program"));
  Dialog.setOption(QFileDialog::DontUseNativeDialog);
  Dialog.setOption(QFileDialog::ReadOnly);
  Dialog.setFileMode(QFileDialog::ExistingFile);
  Dialog.setAcceptMode(QFileDialog::AcceptOpen);
  Dialog.setNameFilter(QStringLiteral("Programs (*)"));
  Dialog.setProxyModel(new TProgramFilter(&Dialog));
  if (!Start.isEmpty()) {
    const QFileInfo Info(Start);
    Dialog.setDirectory(Info.absolutePath());
    Dialog.selectFile(Info.fileName());
  }
  if (Dialog.exec() != QDialog::Accepted)
    return {};
  return Dialog.selectedFiles().value(0);
}
} // namespace

TPageControl::TPageControl(QWidget* Parent) : QWidget(Parent), Stack(new QStackedWidget(this)) {
  Stack->setAutoFillBackground(false);
}

QWidget* TPageControl::AddPage(const QString& Caption) {
  auto* Page = new QWidget(Stack);
  Captions.push_back(Caption);
  Stack->addWidget(Page);
  LayOut();
  return Page;
}

QWidget* TPageControl::Page(int Index) const { return Stack->widget(Index); }

void TPageControl::SetCurrentIndex(int Index) {
  if (Index < 0 || Index >= Count() || Index == Current)
    return;
  Current = Index;
  Stack->setCurrentIndex(Index);
  LayOut();
}

void TPageControl::resizeEvent(QResizeEvent* E) {
  QWidget::resizeEvent(E);
  LayOut();
}

// The rows share the tabs evenly, in order, as few rows as the captions
// need; each row is stretched to the full width.
void TPageControl::LayOut() {
  const int N = Count();
  Rects.assign(size_t(N), QRect());
  if (N == 0)
    return;
  const int Width = std::max(1, width()), TabHeight = fontMetrics().height() + 6;
  int Natural = 0;
  for (const QString& C : Captions)
    Natural += fontMetrics().horizontalAdvance(C) + 16;
  Rows = std::clamp((Natural + Width - 1) / Width, 1, N);
  const int PerRow = (N + Rows - 1) / Rows;
  const int CurrentRow = Current / PerRow;
  for (int Row = 0; Row < Rows; ++Row) {
    const int First = Row * PerRow, Last = std::min(N, First + PerRow);
    // The shown page's row moves to the bottom; the rows below it move up.
    const int Place = Row == CurrentRow ? Rows - 1 : Row > CurrentRow ? Row - 1 : Row;
    for (int I = First; I < Last; ++I) {
      const int Left = (I - First) * Width / (Last - First), Right = (I - First + 1) * Width / (Last - First);
      Rects[size_t(I)] = QRect(Left, Place * TabHeight, Right - Left, TabHeight);
    }
  }
  Stack->setGeometry(3, Rows * TabHeight + 3, Width - 6, std::max(0, height() - Rows * TabHeight - 6));
  update();
}

void TPageControl::paintEvent(QPaintEvent*) {
  QPainter P(this);
  QStyleOptionTabWidgetFrame Frame;
  Frame.initFrom(this);
  Frame.rect = QRect(0, Rows ? Rects.front().height() * Rows : 0, width(), height());
  Frame.rect.setTop(Frame.rect.top() - 1);
  Frame.shape = QTabBar::RoundedNorth;
  style()->drawPrimitive(QStyle::PE_FrameTabWidget, &Frame, &P, this);
  for (int I = 0; I < Count(); ++I) {
    QStyleOptionTab Tab;
    Tab.initFrom(this);
    Tab.shape = QTabBar::RoundedNorth;
    Tab.rect = Rects[size_t(I)];
    Tab.text = Captions[size_t(I)];
    Tab.position = QStyleOptionTab::Middle;
    Tab.state &= ~QStyle::State_HasFocus;
    if (I == Current)
      Tab.state |= QStyle::State_Selected;
    style()->drawControl(QStyle::CE_TabBarTab, &Tab, &P, this);
  }
}

void TPageControl::mousePressEvent(QMouseEvent* E) {
  for (int I = 0; I < Count(); ++I)
    if (Rects[size_t(I)].contains(E->position().toPoint())) {
      SetCurrentIndex(I);
      return;
    }
  QWidget::mousePressEvent(E);
}

void TPageControl::keyPressEvent(QKeyEvent* E) {
  if (E->key() == Qt::Key_Tab && E->modifiers() == Qt::ControlModifier && Count() > 0)
    SetCurrentIndex((Current + 1) % Count());
  else if (E->key() == Qt::Key_Backtab && E->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier) && Count() > 0)
    SetCurrentIndex((Current + Count() - 1) % Count());
  else
    QWidget::keyPressEvent(E);
}

bool IsProgramFile(const QFileInfo& Info) { return Info.isFile() && Info.isExecutable(); }

bool ListedInProgramDialog(const QFileInfo& Info) { return Info.isDir() || IsProgramFile(Info); }

TCfgForm::TCfgForm(TSettings& ASettings, std::function<bool(TColor&)> AChooseColor, QWidget* Parent)
    : TQuennaForm(Parent), S(ASettings), ChooseColor(std::move(AChooseColor)) {
  setWindowTitle(QStringLiteral("Configuration"));
  setFixedSize(FormWidth, FormHeight);
  const int ButtonTop = FormHeight - Margin - ButtonHeight;
  PageControl = new TPageControl(this);
  PageControl->setObjectName(QStringLiteral("PageControl"));
  PageControl->setGeometry(Margin, Margin, FormWidth - 2 * Margin, ButtonTop - 2 * Margin);
  CreateImagePage();
  CreateDisplayPage();
  CreateStartupPage();
  CreateMiscPage();
  CreatePhotoCdPage();
  CreateLogLuvPage();
  CreateLaunchPage();
  CancelBtn = new TPeButton(this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->SetKind(bkCancel);
  CancelBtn->setGeometry(FormWidth - 2 * Margin - ButtonWidth, ButtonTop, ButtonWidth, ButtonHeight);
  OkBtn = new TPeButton(this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  OkBtn->SetKind(bkOK);
  OkBtn->setGeometry(CancelBtn->x() - 8 - ButtonWidth, ButtonTop, ButtonWidth, ButtonHeight);
  ConnectHandlers();
  FormCreate();
}

QWidget* TCfgForm::AddPage(const QString& Caption) { return PageControl->AddPage(Caption); }

void TCfgForm::CreateImagePage() {
  QWidget* Page = AddPage(QStringLiteral("Image    "));
  TPeGroupBox* Alpha = AddGroup(Page, QStringLiteral("Alpha & Transparency"), 8, 66);
  A_Check = AddBox<TPeCheckBox>(Alpha, "A_Check", QStringLiteral("apply  (if present in the image)"), 0);
  BackColBtn =
      AddBox<TPeColorButton>(Alpha, "BackColBtn", QStringLiteral("background color (also for alpha && transp.)"), 1);
  BackColBtn->setFixedHeight(BoxHeight + 2);
  // Zooming on opening is a load option too, and the page has room for
  // five rows only in one group.
  TPeGroupBox* Load = AddGroup(Page, QStringLiteral("Load"), 82, 126);
  ZA_Check = AddBox<TPeCheckBox>(Load, "ZA_Check", QStringLiteral("auto fit when opening image"), 0);
  Ds_Check = AddBox<TPeCheckBox>(Load, "Ds_Check", QStringLiteral("progress view (slows down loading time a bit)"), 1);
  SW_Check = AddBox<TPeCheckBox>(Load, "SW_Check", QStringLiteral("show  warnings"), 2);
  OrientBox = AddBox<TPeCheckBox>(Load, "OrientBox", QString::fromLatin1(OrientCaption), 3);
  ProfileBox = AddBox<TPeCheckBox>(Load, "ProfileBox", QString::fromLatin1(ProfileCaption), 4);
}

void TCfgForm::CreateDisplayPage() {
  QWidget* Page = AddPage(QStringLiteral("Display  "));
  TPeGroupBox* Tiled = AddGroup(Page, QStringLiteral("Draw tiled"), 8, 86);
  TileNeverRadio = AddRadio(Tiled, "TileNeverRadio", QStringLiteral("never"), 0, 0, BoxLeft, 90);
  TileAlwaysRadio = AddRadio(Tiled, "TileAlwaysRadio", QStringLiteral("always"), 2, 1, BoxLeft, 90);
  TileAutoRadio = AddRadio(Tiled, "TileAutoRadio", QStringLiteral("auto"), 1, 2, BoxLeft, 60);
  TiledSpin = NewSpinEdit(Tiled, "TiledSpin", MinTiled, MaxTiled, {100, RowTop(2) - 2, SpinWidth, SpinHeight});
  AddLabel(Tiled, QStringLiteral(">"), {86, RowTop(2), 12, BoxHeight});
  AddLabel(Tiled, QStringLiteral("MB"), {100 + SpinWidth + 6, RowTop(2), 30, BoxHeight});
  TPeGroupBox* Resample = AddGroup(Page, QStringLiteral("Resample in full screen mode"), 102, 86);
  ResLinearRadio = AddRadio(Resample, "ResLinearRadio", QStringLiteral("linear    (fast but poor quality)"), 0, 0);
  ResFilt1Radio = AddRadio(Resample, "ResFilt1Radio", QStringLiteral("Filter 1  (slower and better)"), 1, 1);
  ResFilt2Radio = AddRadio(Resample, "ResFilt2Radio", QStringLiteral("Filter 2  (really slow but best quality)"), 2, 2);
}

void TCfgForm::CreateStartupPage() {
  QWidget* Page = AddPage(QStringLiteral("Startup "));
  TPeGroupBox* Open = AddGroup(Page, QStringLiteral("Open image"), 8, 66);
  AutoOpenBox = AddBox<TPeCheckBox>(Open, "AutoOpenBox", QStringLiteral("show open image dialog"), 0);
  AddNote(Open, QStringLiteral("if no file was dropped on program start."), {BoxLeft + 18, RowTop(1), 280, 17});
  TPeGroupBox* Twain = AddGroup(Page, QStringLiteral("Twain"), 82, 126);
  TwainBox = AddBox<TPeCheckBox>(Twain, "TwainBox", QStringLiteral("enable TWAIN module"), 0);
  AddNote(Twain,
          QStringLiteral("Twain is used to interface with scanners or digital cameras. If you do not intend to use "
                         "it, uncheck this option."),
          {BoxLeft, RowTop(1) + 2, BoxWidth, 48});
  AddNote(Twain, QStringLiteral("Changes take effect after program restart. "), {BoxLeft, RowTop(4), BoxWidth, 17});
}

void TCfgForm::CreateMiscPage() {
  QWidget* Page = AddPage(QStringLiteral("Misc.    "));
  TPeGroupBox* Mouse = AddGroup(Page, QStringLiteral("Use left & right mouse button"), 8, 66);
  MFMB_Check = AddBox<TPeCheckBox>(Mouse, "MFMB_Check", QStringLiteral("to browse in window mode"), 0);
  SFMB_Check = AddBox<TPeCheckBox>(Mouse, "SFMB_Check", QStringLiteral("to browse in full screen mode"), 1);
  TPeGroupBox* Dpi = AddGroup(Page, QStringLiteral("DPI settings"), 80, 70);
  DefaultDpiSpin = NewSpinEdit(Dpi, "DefaultDpiSpin", MinDpi, MaxDpi, {BoxLeft, 20, SpinWidth, SpinHeight});
  PrinterDpiSpin = NewSpinEdit(Dpi, "PrinterDpiSpin", MinDpi, MaxDpi, {BoxLeft, 46, SpinWidth, SpinHeight});
  const int LabelLeft = BoxLeft + SpinWidth + 8, LabelWidth = GroupWidth - LabelLeft - 8;
  AddLabel(Dpi, QStringLiteral("&default if non given in file"), {LabelLeft, 22, LabelWidth, BoxHeight},
           DefaultDpiSpin);
  AddLabel(Dpi, QStringLiteral("resolution of your &printer"), {LabelLeft, 48, LabelWidth, BoxHeight}, PrinterDpiSpin);
  TPeGroupBox* Look = AddGroup(Page, QStringLiteral("Appearance"), 156, 62);
  CG_Check = AddBox<TPeCheckBox>(Look, "CG_Check", QStringLiteral("draw color gradient"), 0);
  AddNote(Look, QStringLiteral("uncheck if you use a real slow machine !"), {BoxLeft + 18, RowTop(1), 280, 17});
}

void TCfgForm::CreatePhotoCdPage() {
  QWidget* Page = AddPage(QStringLiteral("Photo-CD"));
  TPeGroupBox* Res = AddGroup(Page, QStringLiteral("Resolution"), 8, 162);
  static const char* const Names[5] = {"PcdIdx0", "PcdIdx1", "PcdIdx2", "PcdIdx3", "PcdIdx4"};
  static const char* const Captions[5] = {"  192 x 128", "  384 x 256", "  768 x 512 (default)", "1536 x 1024 ",
                                          "3072 x 2048"};
  for (int I = 0; I < 5; ++I)
    PcdIdx[size_t(I)] = AddRadio(Res, Names[I], QLatin1String(Captions[I]), I, I, BoxLeft, 180);
  AddNote(Res,
          QStringLiteral("Some images are rotateted by 90\u00B0 and the image dimensions are adjusted accordingly. "),
          {BoxLeft, RowTop(5) + 4, BoxWidth, 34});
}

void TCfgForm::CreateLogLuvPage() {
  QWidget* Page = AddPage(QStringLiteral("LogLUV"));
  TPeGroupBox* Luv = AddGroup(Page, QStringLiteral("Options for TIFF LogLUV images"), 8, 214);
  LuvCtrlBox = AddBox<TPeCheckBox>(Luv, "LuvCtrlBox", QStringLiteral("use brightness control when loading image"), 0);
  AddNote(Luv,
          QStringLiteral("This option allows you to change the brightness for LogLUV images. It works only when not "
                         "running in full screen mode and needs twice as much memory when opening the image."),
          {BoxLeft + 18, RowTop(1), BoxWidth - 18, 62});
  LuvStonitsBox =
      AddBox<TPeCheckBox>(Luv, "LuvStonitsBox", QStringLiteral("use STONITS value for brightness guess"), 5);
  AddNote(Luv,
          QStringLiteral("This is an optional TIFF-Tag for LogLUV images. It can be used to calculate the physical "
                         "brightness for each pixel in candelas / m\u00B2,  but it's used here just to guess the "
                         "brightness to adjust the display."),
          {BoxLeft + 18, RowTop(6), BoxWidth - 18, 76});
}

void TCfgForm::CreateLaunchPage() {
  QWidget* Page = AddPage(QStringLiteral("Launch"));
  static const char* const Captions[3] = {"1st program [run with F6]", "2nd program [run with F7]",
                                          "3rd program [run with F8]"};
  static const char* const EditNames[3] = {"RunProg1Edit", "RunProg2Edit", "RunProg3Edit"};
  static const char* const ButtonNames[3] = {"DirBtn0", "DirBtn1", "DirBtn2"};
  constexpr int ButtonSide = 23;
  for (int I = 0; I < 3; ++I) {
    TPeGroupBox* Group = AddGroup(Page, QLatin1String(Captions[I]), 8 + I * 70, 60);
    auto* Edit = new QLineEdit(Group);
    Edit->setObjectName(QLatin1String(EditNames[I]));
    SetTag(Edit, I);
    Edit->setGeometry(BoxLeft, 26, GroupWidth - 2 * BoxLeft - ButtonSide - 6, SpinHeight);
    Edit->installEventFilter(this);
    auto* Browse = new TPeButton(QStringLiteral("..."), Group);
    Browse->setObjectName(QLatin1String(ButtonNames[I]));
    SetTag(Browse, I);
    Browse->setGeometry(GroupWidth - BoxLeft - ButtonSide, 25, ButtonSide, ButtonSide);
    RunProgEdit[size_t(I)] = Edit;
    DirBtn[size_t(I)] = Browse;
  }
}

void TCfgForm::ConnectHandlers() {
  for (TPeRadioBox* Radio : {TileNeverRadio, TileAlwaysRadio, TileAutoRadio})
    connect(Radio, &QAbstractButton::toggled, this, &TCfgForm::TiledRadioClick);
  for (TPeRadioBox* Radio : PcdIdx)
    connect(Radio, &QAbstractButton::clicked, this, [this, Radio] { PcdIdxClick(Radio); });
  for (TPeSpinEdit* Spin : {TiledSpin, DefaultDpiSpin, PrinterDpiSpin})
    connect(Spin, &TPeSpinEdit::OnKeyDown, this, &TCfgForm::SpinKey);
  connect(TiledSpin, &TPeSpinEdit::OnDblClick, this, &TCfgForm::TiledSpinDblClick);
  connect(DefaultDpiSpin, &TPeSpinEdit::OnDblClick, this, &TCfgForm::DefaultDpiSpinDblClick);
  connect(PrinterDpiSpin, &TPeSpinEdit::OnDblClick, this, &TCfgForm::PrinterDpiSpinDblClick);
  for (TPeButton* Browse : DirBtn)
    connect(Browse, &QAbstractButton::clicked, this, [this, Browse] { RunProgBrowseClick(Tag(Browse)); });
  connect(BackColBtn, &QAbstractButton::clicked, this, &TCfgForm::BackColBtnClick);
}

void TCfgForm::FormCreate() {
  A_Check->SetChecked(S.ApplyAlpha);
  BackColBtn->SetColor(ToQColor(S.BackColor));
  ZA_Check->SetChecked(S.ZoomToFit);
  Ds_Check->SetChecked(S.ShowProgress);
  SW_Check->SetChecked(S.ShowWarnings);
  OrientBox->SetChecked(!(S.ViewOptionsOff & voKeepStoredTurn));
  ProfileBox->SetChecked(!(S.ViewOptionsOff & voIgnoreProfiles));
  const int32_t Tile = S.TileMode;
  (Tile == 0 ? TileNeverRadio : Tile == 1 ? TileAutoRadio : TileAlwaysRadio)->SetChecked(true);
  TiledSpin->SetValue(S.TileThreshold);
  TiledRadioClick();
  const int32_t Resample = S.FullScreenResample;
  (Resample == 1 ? ResFilt1Radio : Resample == 2 ? ResFilt2Radio : ResLinearRadio)->SetChecked(true);
  AutoOpenBox->SetChecked(S.AutoOpen);
  TwainBox->SetChecked(S.TwainEnabled);
  MFMB_Check->SetChecked(S.MouseBrowseWindow);
  SFMB_Check->SetChecked(S.MouseBrowseFullScreen);
  DefaultDpiSpin->SetValue(S.DefaultDpi);
  PrinterDpiSpin->SetValue(S.PrinterDpi);
  CG_Check->SetChecked(S.Gradients);
  PcdIndex = std::clamp<int>(S.PcdResolution, 0, int(PcdIdx.size()) - 1);
  PcdIdx[size_t(PcdIndex)]->SetChecked(true);
  LuvCtrlBox->SetChecked(S.LuvControl);
  LuvStonitsBox->SetChecked(S.LuvStonits);
  for (size_t I = 0; I < RunProgEdit.size(); ++I)
    RunProgEdit[I]->setText(QString::fromStdString(S.LaunchPrograms[I].Text()));
}

void TCfgForm::TiledRadioClick() { TiledSpin->setEnabled(TileAutoRadio->Checked()); }

void TCfgForm::PcdIdxClick(TPeRadioBox* Sender) { PcdIndex = Tag(Sender); }

void TCfgForm::SpinKey(TPeSpinEdit*, int& Key) {
  if (Key == Qt::Key_Return || Key == Qt::Key_Enter) {
    Key = 0;
    OkBtn->click();
  } else if (Key == Qt::Key_Escape) {
    Key = 0;
    CancelBtn->click();
  }
}

void TCfgForm::EditClick(QLineEdit* Sender) { Sender->selectAll(); }

void TCfgForm::RunProgBrowseClick(int Index) {
  if (Index < 0 || Index >= int(RunProgEdit.size()))
    return;
  const QString Start = QString::fromStdString(S.LaunchPrograms[size_t(Index)].Text());
  const QString Chosen = ChooseProgramHook ? ChooseProgramHook(this, Start) : RunProgramDialog(this, Start);
  if (!Chosen.isEmpty())
    RunProgEdit[size_t(Index)]->setText(QFileInfo(Chosen).absoluteFilePath());
}

void TCfgForm::BackColBtnClick() {
  TColor C = ToTColor(BackColBtn->Color());
  if (ChooseColor && ChooseColor(C))
    BackColBtn->SetColor(ToQColor(C));
}

void TCfgForm::TiledSpinDblClick() { TiledSpin->SetValue(S.TileThreshold); }

void TCfgForm::DefaultDpiSpinDblClick() { DefaultDpiSpin->SetValue(S.DefaultDpi); }

void TCfgForm::PrinterDpiSpinDblClick() { PrinterDpiSpin->SetValue(S.PrinterDpi); }

bool TCfgForm::eventFilter(QObject* Watched, QEvent* E) {
  auto* Edit = qobject_cast<QLineEdit*>(Watched);
  if (!Edit)
    return TQuennaForm::eventFilter(Watched, E);
  if (E->type() == QEvent::MouseButtonRelease) {
    EditClick(Edit);
  } else if (E->type() == QEvent::KeyPress) {
    int Key = static_cast<QKeyEvent*>(E)->key();
    SpinKey(nullptr, Key);
    if (Key == 0)
      return true;
  }
  return TQuennaForm::eventFilter(Watched, E);
}

void TCfgForm::done(int Result) {
  if (Result == Accepted)
    FormClose();
  TQuennaForm::done(Result);
}

void TCfgForm::FormClose() {
  S.TileMode = TileNeverRadio->Checked() ? 0 : TileAutoRadio->Checked() ? 1 : 2;
  S.TileThreshold = std::clamp(TiledSpin->Value(), MinTiled, MaxTiled);
  S.FullScreenResample = ResFilt1Radio->Checked() ? 1 : ResFilt2Radio->Checked() ? 2 : 0;
  S.ApplyAlpha = A_Check->Checked();
  S.ZoomToFit = ZA_Check->Checked();
  S.ShowProgress = Ds_Check->Checked();
  S.ShowWarnings = SW_Check->Checked();
  // Bits this version does not know stay as they were.
  uint8_t Off = uint8_t(S.ViewOptionsOff & ~voKnownBits);
  if (!OrientBox->Checked())
    Off |= voKeepStoredTurn;
  if (!ProfileBox->Checked())
    Off |= voIgnoreProfiles;
  S.ViewOptionsOff = Off;
  S.MouseBrowseWindow = MFMB_Check->Checked();
  S.MouseBrowseFullScreen = SFMB_Check->Checked();
  S.Gradients = CG_Check->Checked();
  S.BackColor = ToTColor(BackColBtn->Color());
  S.DefaultDpi = std::clamp(DefaultDpiSpin->Value(), MinDpi, MaxDpi);
  S.PrinterDpi = std::clamp(PrinterDpiSpin->Value(), MinDpi, MaxDpi);
  S.AutoOpen = AutoOpenBox->Checked();
  S.TwainEnabled = TwainBox->Checked();
  S.PcdResolution = uint8_t(PcdIndex);
  S.LuvControl = LuvCtrlBox->Checked();
  S.LuvStonits = LuvStonitsBox->Checked();
  // The record keeps the first 255 characters of each path.
  for (size_t I = 0; I < RunProgEdit.size(); ++I)
    S.LaunchPrograms[I].SetText(RunProgEdit[I]->text().toStdString());
}
