#include "Info.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <QWheelEvent>
#include <chrono>
#include <span>

#include "DsVCL.h"
#include "PixelLayout.h"
#include "XImg.h"

namespace {

constexpr int FormWidth = 273, FormHeight = 369;
// Lines of the groups: the first under the caption bar, then one a pitch.
// Fifteen lines share the window's fixed height, a line each.
constexpr int FirstLine = 19, Pitch = 15, LineHeight = 15;
// The File group's six lines, then the Image group's five and the Dib
// group's four, each group closed 2 pixels below its last line. The File
// and Pixel groups keep their places.
constexpr int GroupGap = 2;
constexpr int GroupHeight(int Lines) { return FirstLine + (Lines - 1) * Pitch + LineHeight + GroupGap; }
constexpr int ImgTop = FirstLine + 5 * Pitch + LineHeight + GroupGap;
constexpr int DibTop = ImgTop + GroupHeight(5) + GroupGap;
constexpr int FileHeight = 295;
constexpr int PixelTop = 311, PixelHeight = 48;
static_assert(DibTop + GroupHeight(4) + GroupGap <= FileHeight);
// Where the values start in the file group and in the two inside it.
constexpr int ValueLeft = 88, InnerValueLeft = 84;
constexpr int CaptionLeft = 8, InnerCaptionLeft = 7;
// The readout's strip in the pixel group, from (8,20) to (256,35).
const QRect ReadoutClear(8, 20, 248, 15);
const QRect ReadoutStrip(8, 19, 249, 17);
constexpr int IndexLeft = 192;

constexpr int LineTop(int Line) { return FirstLine + Line * Pitch; }

const char* const FileCaptions[] = {"Type:", "Name:", "Path:", "Size:", "Date/Time:", "Compression:"};
const char* const ImgCaptions[] = {"Dimension:", "Color format:", "Data size:", "Orientation:", "Color profile:"};
const char* const DibCaptions[] = {"Dimension:", "Resolution", "Color format:", "Data size:"};

TPeGroupBox* NewGroup(QWidget* Parent, const char* Name, const char* Caption, const QRect& Place) {
  auto* Group = new TPeGroupBox(QLatin1String(Caption), Parent);
  Group->setObjectName(QLatin1String(Name));
  Group->setGeometry(Place);
  return Group;
}

QLabel* NewValue(QWidget* Parent, const char* Name, int Left, int Line) {
  auto* Label = new QLabel(QStringLiteral("-"), Parent);
  Label->setObjectName(QLatin1String(Name));
  Label->setGeometry(Left, LineTop(Line), Parent->width() - Left - 5, LineHeight);
  Label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return Label;
}

// Borderless and on the group's face, so that it reads like the labels but
// lets a long name be scrolled and copied.
QLineEdit* NewEdit(QWidget* Parent, const char* Name, int Line, int Left = ValueLeft) {
  auto* Edit = new QLineEdit(QStringLiteral("none"), Parent);
  Edit->setObjectName(QLatin1String(Name));
  Edit->setReadOnly(true);
  Edit->setFrame(false);
  Edit->setTextMargins(0, 0, 0, 0);
  Edit->setContentsMargins(0, 0, 0, 0);
  QPalette Pal = Edit->palette();
  Pal.setColor(QPalette::Base, BtnFaceColor());
  Edit->setPalette(Pal);
  Edit->setGeometry(Left - 2, LineTop(Line), Parent->width() - Left - 3, LineHeight);
  return Edit;
}

void PaintCaptions(TDsCustomGroup* Group, QPainter& Canvas, int Left, std::span<const char* const> Captions) {
  Canvas.setFont(Group->font());
  Canvas.setPen(Qt::black);
  for (size_t I = 0; I < Captions.size(); ++I)
    Canvas.drawText(QRect(Left, LineTop(int(I)), InnerValueLeft - Left, LineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                    QLatin1String(Captions[I]));
}

QLocale GroupingLocale() {
  QLocale L;
  // The C locale groups no digits unless asked to.
  L.setNumberOptions(L.numberOptions() & ~QLocale::OmitGroupSeparator);
  return L;
}

} // namespace

QString ByteText(int64_t Bytes) { return GroupingLocale().toString(qlonglong(Bytes)) + QStringLiteral(" byte"); }

QString DateTimeText(const QDateTime& When) {
  const QLocale L;
  QString DateFormat = L.dateFormat(QLocale::ShortFormat);
  // Short formats may give the year in two digits, which dates before 2000
  // and after 2099 share.
  static const QRegularExpression Years(QStringLiteral("y+"));
  DateFormat.replace(Years, QStringLiteral("yyyy"));
  return L.toString(When.date(), DateFormat) + QStringLiteral("   ") +
         L.toString(When.time(), L.timeFormat(QLocale::ShortFormat));
}

QDateTime FileTimeToDateTime(std::filesystem::file_time_type Time) {
  const auto System = std::chrono::file_clock::to_sys(Time);
  return QDateTime::fromMSecsSinceEpoch(
      qint64(std::chrono::duration_cast<std::chrono::milliseconds>(System.time_since_epoch()).count()));
}

QString PixelFormatText(int32_t PixelFormat, bool Gray) {
  switch (PixelFormat) {
  case pf1bit: return Gray ? QStringLiteral("Monochrome") : QStringLiteral("Color Palette (2)");
  case pf4bit: return (Gray ? QStringLiteral("Grayscale") : QStringLiteral("Color Palette")) + QStringLiteral(" (16)");
  case pf8bit: return (Gray ? QStringLiteral("Grayscale") : QStringLiteral("Color Palette")) + QStringLiteral(" (256)");
  case pf15bit: return QStringLiteral("High Color RGB (15bit)");
  case pf16bit: return QStringLiteral("High Color RGB (16bit)");
  case pf24bit: return QStringLiteral("True Color RGB (24 bit)");
  case pf32bit: return QStringLiteral("True Color RGB (32 bit)");
  default: return QString();
  }
}

int64_t BufferRowBytes(int32_t Width, int32_t PixelFormat) {
  const int64_t W = Width;
  switch (PixelFormat) {
  case pf1bit: return (W + 7) / 8;
  case pf4bit: return (W + 1) / 2;
  case pf8bit: return W;
  case pf15bit:
  case pf16bit: return 2 * W;
  case pf24bit: return (3 * W + 1) / 2 * 2;
  case pf32bit: return 4 * W;
  default: return 0;
  }
}

int64_t BufferDataSize(int32_t Width, int32_t Height, int32_t PixelFormat) {
  return (BufferRowBytes(Width, PixelFormat) + 3) / 4 * 4 * int64_t(Height);
}

namespace {

// Samples of a color model, and how its source rows compare with the
// buffer's: 0 as long as a buffer row, else that many bytes a pixel.
struct TModelLayout {
  int32_t Samples;
  int32_t BytesPerPixel;
};

TModelLayout ModelLayout(int32_t Model) {
  switch (Model) {
  case cfPalette:
  case cfGray: return {1, 0};
  case cfGrayAlpha: return {2, 0};
  case cfRGB:
  case cfBGR:
  case cfCMY:
  case cfCIELab:
  case cfYCbCr:
  case cfPhotoYCC: return {3, 0};
  case cfRGBA:
  case cfBGRA:
  case cfCMYK:
  case cfCIELabA: return {4, 4};
  case cfCMYKA: return {5, 5};
  // Its rows stay as long as the buffer's.
  case cfYCCK: return {4, 0};
  default: return {0, 0};
  }
}

} // namespace

QString SourceColorText(int32_t Model, int32_t Bits, int32_t PixelFormat, bool Gray) {
  const QString Text = QString::fromStdString(ColorFormatText(Model));
  if (Text.isEmpty())
    return PixelFormatText(PixelFormat, Gray);
  const int32_t Samples = ModelLayout(Model).Samples;
  if (Samples == 0)
    return Text;
  return Text + QStringLiteral(" (%1 bit)").arg(Bits * Samples);
}

int64_t SourceDataSize(int32_t Model, int32_t Bits, int32_t Width, int32_t Height, int32_t PixelFormat) {
  const TModelLayout L = ModelLayout(Model);
  int64_t Row = BufferRowBytes(Width, PixelFormat);
  if (Model == cfGrayAlpha)
    Row *= 2;
  else if (L.BytesPerPixel > 0)
    Row = int64_t(L.BytesPerPixel) * Width;
  if (Bits >= 9 && Model != cfPalette)
    Row *= 2;
  return Row * Height;
}

QString CompressionName(int32_t Compression, bool Interlaced) {
  QString Text = QString::fromStdString(CompressionText(Compression));
  if (Interlaced)
    Text += QStringLiteral(" interlaced");
  return Text;
}

QString OrientationText(int32_t Orientation, bool Applied) {
  // What the view does to stand the stored rows upright.
  static const char* const Meanings[] = {"upright",
                                         "mirrored left to right",
                                         "turned 180\u00B0",
                                         "mirrored top to bottom",
                                         "mirrored top to bottom, turned 90\u00B0 clockwise",
                                         "turned 90\u00B0 clockwise",
                                         "mirrored top to bottom, turned 90\u00B0 counter-clockwise",
                                         "turned 90\u00B0 counter-clockwise"};
  if (Orientation < 1 || Orientation > 8)
    return QStringLiteral("none");
  QString Text = QStringLiteral("%1 (%2)").arg(Orientation).arg(QString::fromUtf8(Meanings[Orientation - 1]));
  if (Orientation > 1 && !Applied)
    Text += QStringLiteral(", not applied");
  return Text;
}

QString ProfileText(const QString& Description, bool Applied) {
  // The description comes from the file: line breaks and other controls
  // would break the line.
  QString Name = Description;
  for (QChar& C : Name)
    if (C.category() == QChar::Other_Control)
      C = QLatin1Char(' ');
  Name = Name.simplified();
  if (Description.isEmpty())
    return QStringLiteral("none");
  if (Name.isEmpty())
    Name = QStringLiteral("unnamed");
  return Name +
         (Applied ? QStringLiteral(", shown as sRGB; saved files carry no profile") : QStringLiteral(", not applied"));
}

QString PixelText(int32_t X, int32_t Y, int64_t Color) {
  if (Color < 0)
    return QStringLiteral("none");
  return QStringLiteral("XY: %1,%2  RGB: %3,%4,%5")
      .arg(X)
      .arg(Y)
      .arg(Color & 0xFF)
      .arg((Color >> 8) & 0xFF)
      .arg((Color >> 16) & 0xFF);
}

TInfoForm::TInfoForm(QWidget* Parent) : TQuennaForm(Parent) {
  setObjectName(QStringLiteral("InfoForm"));
  setWindowTitle(QStringLiteral("Image Information"));
  // The main window keeps the focus when the window comes up.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(FormWidth, FormHeight);
  CreateControls();
}

void TInfoForm::CreateControls() {
  FileGroup = NewGroup(this, "FileGroup", "File", QRect(8, 8, 257, FileHeight));
  TypeText = NewValue(FileGroup, "TypeText", ValueLeft, 0);
  Name = NewEdit(FileGroup, "Name", 1);
  Path = NewEdit(FileGroup, "Path", 2);
  SizeText = NewValue(FileGroup, "SizeText", ValueLeft, 3);
  TimeText = NewValue(FileGroup, "TimeText", ValueLeft, 4);
  CompText = NewValue(FileGroup, "CompText", ValueLeft, 5);
  ImgGroup = NewGroup(FileGroup, "ImgGroup", "Image", QRect(4, ImgTop, 249, GroupHeight(5)));
  ImgDimText = NewValue(ImgGroup, "ImgDimText", InnerValueLeft, 0);
  ImgColText = NewValue(ImgGroup, "ImgColText", InnerValueLeft, 1);
  ImgDataText = NewValue(ImgGroup, "ImgDataText", InnerValueLeft, 2);
  ImgOrientText = NewEdit(ImgGroup, "ImgOrientText", 3, InnerValueLeft);
  ImgProfileText = NewEdit(ImgGroup, "ImgProfileText", 4, InnerValueLeft);
  DibGroup = NewGroup(FileGroup, "DibGroup", "Dib", QRect(4, DibTop, 249, GroupHeight(4)));
  DibDimText = NewValue(DibGroup, "DibDimText", InnerValueLeft, 0);
  DibResText = NewValue(DibGroup, "DibResText", InnerValueLeft, 1);
  DibColText = NewValue(DibGroup, "DibColText", InnerValueLeft, 2);
  DibDataText = NewValue(DibGroup, "DibDataText", InnerValueLeft, 3);
  PeGroupBox4 = NewGroup(this, "PeGroupBox4", "Pixel", QRect(8, PixelTop, 257, PixelHeight));
  connect(FileGroup, &TDsCustomGroup::OnPaint, this, [this](TDsCustomGroup*, QPainter* P) { FileGroupPaint(*P); });
  connect(ImgGroup, &TDsCustomGroup::OnPaint, this, [this](TDsCustomGroup*, QPainter* P) { ImgGroupPaint(*P); });
  connect(DibGroup, &TDsCustomGroup::OnPaint, this, [this](TDsCustomGroup*, QPainter* P) { DibGroupPaint(*P); });
  connect(PeGroupBox4, &TDsCustomGroup::OnPaint, this, [this](TDsCustomGroup*, QPainter* P) { PixelGroupPaint(*P); });
  for (QLineEdit* Edit : {Name, Path, ImgOrientText, ImgProfileText})
    Edit->installEventFilter(this);
}

void TInfoForm::FileGroupPaint(QPainter& Canvas) { PaintCaptions(FileGroup, Canvas, CaptionLeft, FileCaptions); }

void TInfoForm::ImgGroupPaint(QPainter& Canvas) { PaintCaptions(ImgGroup, Canvas, InnerCaptionLeft, ImgCaptions); }

void TInfoForm::DibGroupPaint(QPainter& Canvas) { PaintCaptions(DibGroup, Canvas, InnerCaptionLeft, DibCaptions); }

void TInfoForm::PixelGroupPaint(QPainter& Canvas) {
  Canvas.fillRect(ReadoutClear, BtnFaceColor());
  Canvas.setFont(PeGroupBox4->font());
  Canvas.setPen(Qt::black);
  const int Top = ReadoutStrip.top();
  Canvas.drawText(QRect(CaptionLeft, Top, IndexLeft - CaptionLeft, ReadoutStrip.height()), Qt::AlignLeft | Qt::AlignTop,
                  PixelReadout);
  if (PixelIndex >= 0)
    Canvas.drawText(QRect(IndexLeft, Top, ReadoutStrip.right() - IndexLeft, ReadoutStrip.height()),
                    Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Index: %1").arg(PixelIndex));
}

void TInfoForm::ShowImageInfo(const TInfoFile& File, int32_t Resolution) {
  TypeText->setText(File.TypeText);
  if (File.FileName.isEmpty()) {
    Name->setText(QStringLiteral("none"));
    Path->setText(QStringLiteral("none"));
    SizeText->setText(QStringLiteral("-"));
    TimeText->setText(QStringLiteral("-"));
    CompText->setText(QStringLiteral("-"));
  } else {
    const QFileInfo F(File.FileName);
    Name->setText(F.fileName());
    // Without a trailing separator; only the root is "/" alone.
    Path->setText(F.absolutePath());
    SizeText->setText(ByteText(File.FileSize));
    TimeText->setText(DateTimeText(File.FileDate));
    CompText->setText(CompressionName(File.Compression, File.Interlaced));
  }
  ImgOrientText->setText(OrientationText(File.Orientation, File.OrientationApplied));
  ImgProfileText->setText(ProfileText(File.Profile, File.ProfileApplied));
  // Long texts show from their start.
  for (QLineEdit* Edit : {Name, Path, ImgOrientText, ImgProfileText})
    Edit->setCursorPosition(0);
  ImgDimText->setText(QStringLiteral("%1 x %2 pixel").arg(File.Width).arg(File.Height));
  ImgColText->setText(SourceColorText(File.ColorModel, File.BitsPerSample, File.PixelFormat, File.Gray));
  ImgDataText->setText(
      ByteText(SourceDataSize(File.ColorModel, File.BitsPerSample, File.Width, File.Height, File.PixelFormat)));
  ShowBufferInfo(File.Width, File.Height, File.Gray, File.PixelFormat, Resolution);
}

void TInfoForm::ShowBufferInfo(int32_t Width, int32_t Height, bool Gray, int32_t PixelFormat, int32_t Resolution) {
  DibDimText->setText(QStringLiteral("%1 x %2 pixel").arg(Width).arg(Height));
  ShowResolution(Resolution);
  DibColText->setText(PixelFormatText(PixelFormat, Gray));
  DibDataText->setText(ByteText(BufferDataSize(Width, Height, PixelFormat)));
}

void TInfoForm::ShowResolution(int32_t Dpi) { DibResText->setText(QStringLiteral("%1 dpi").arg(Dpi)); }

void TInfoForm::ShowPixel(int32_t X, int32_t Y, int32_t Index, int64_t Color) {
  const QString Text = PixelText(X, Y, Color);
  const int32_t NewIndex = Color < 0 ? -1 : Index;
  // Moves come often: only a changed readout repaints, and only its strip.
  if (Text == PixelReadout && NewIndex == PixelIndex)
    return;
  PixelReadout = Text;
  PixelIndex = NewIndex;
  if (isVisible())
    PeGroupBox4->update(ReadoutStrip);
}

void TInfoForm::FormKeyDown(int Key, Qt::KeyboardModifiers Shift) {
  if (Key == Qt::Key_Escape) {
    hide();
    return;
  }
  // Home and End move in the edits; every other key is the main window's.
  if (Key == Qt::Key_Home || Key == Qt::Key_End)
    return;
  if (OnKeyDown)
    OnKeyDown(Key, Shift);
}

bool TInfoForm::event(QEvent* E) {
  // Tab cycles the program's windows, not the focus between the edits.
  if (E->type() == QEvent::KeyPress) {
    auto* K = static_cast<QKeyEvent*>(E);
    if (K->key() == Qt::Key_Tab || K->key() == Qt::Key_Backtab) {
      FormKeyDown(K->key(), K->modifiers());
      return true;
    }
  }
  return TQuennaForm::event(E);
}

// The dialog's own keys (Escape rejecting, Enter accepting) are not wanted.
void TInfoForm::keyPressEvent(QKeyEvent* E) { FormKeyDown(E->key(), E->modifiers()); }

bool TInfoForm::eventFilter(QObject* Watched, QEvent* E) {
  // Taken here, so that a key the edit ignores does not reach the window
  // a second time.
  if (E->type() == QEvent::KeyPress &&
      (Watched == Name || Watched == Path || Watched == ImgOrientText || Watched == ImgProfileText)) {
    auto* K = static_cast<QKeyEvent*>(E);
    if (K->key() == Qt::Key_Home || K->key() == Qt::Key_End)
      return false;
    FormKeyDown(K->key(), K->modifiers());
    return true;
  }
  return TQuennaForm::eventFilter(Watched, E);
}

void TInfoForm::wheelEvent(QWheelEvent* E) {
  if (OnMouseWheel)
    OnMouseWheel(E);
}

void TInfoForm::showEvent(QShowEvent* E) {
  TQuennaForm::showEvent(E);
  if (OnShown)
    OnShown(true);
}

void TInfoForm::hideEvent(QHideEvent* E) {
  TQuennaForm::hideEvent(E);
  if (OnShown)
    OnShown(false);
}
