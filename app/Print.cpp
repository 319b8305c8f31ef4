#include "Print.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "DibImage.h"
#include "DibResample.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "Messages.h"
#include "PainterSurface.h"
#include "PrintPreview.h"
#include "WaitCursor.h"

const QString PdfPrinterEntry = QStringLiteral("PDF file");

namespace {
constexpr int FormWidth = 602, FormHeight = 378;
constexpr int PanelSize = 360, PanelLeft = 234, PanelTop = 9;
// Larger images are previewed from a smaller copy.
constexpr int32_t MaxPictureSide = 2 * PanelSize;

int32_t Rounded(double Value) { return int32_t(std::lround(Value)); }

QString MmText(int32_t Width, int32_t Height) { return QStringLiteral("%1 x %2 mm").arg(Width).arg(Height); }

QLabel* NewLabel(QWidget* Parent, const QString& Caption, int Left, int Top, int Width, int Height = 16) {
  auto* Label = new QLabel(Caption, Parent);
  Label->setGeometry(Left, Top, Width, Height);
  return Label;
}

TPeCheckBox* NewCheck(QWidget* Parent, const char* Name, const QString& Caption, int Left, int Top, int Width) {
  auto* Box = new TPeCheckBox(Caption, Parent);
  Box->setObjectName(QLatin1String(Name));
  Box->setGeometry(Left, Top, Width, 18);
  return Box;
}

TPeButton* NewButton(QWidget* Parent, const char* Name, const QString& Caption, int Left, int Top, int Width) {
  auto* Btn = new TPeButton(Caption, Parent);
  Btn->setObjectName(QLatin1String(Name));
  Btn->setGeometry(Left, Top, Width, 25);
  return Btn;
}

QColor ColorOf(TColor C) { return QColor(int(C & 0xFF), int(C >> 8 & 0xFF), int(C >> 16 & 0xFF)); }
TColor ColorOf(const QColor& C) { return TColor(C.red() | C.green() << 8 | C.blue() << 16); }

bool PrinterInstalled(const QString& Name) { return QPrinterInfo::availablePrinterNames().contains(Name); }

[[noreturn]] void Fail(const QString& Text) { throw std::runtime_error(Text.toStdString()); }
} // namespace

QPrinter& ApplicationPrinter() {
  static std::unique_ptr<QPrinter> Printer;
  if (!Printer) {
    Printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    // Freed with the application, before the print plugins go.
    qAddPostRoutine([] { Printer.reset(); });
  }
  return *Printer;
}

TPrinterFacts ReadPrinterFacts(QPrinter& Printer) {
  TPrinterFacts F;
  const QRectF Paper = Printer.paperRect(QPrinter::DevicePixel), Page = Printer.pageRect(QPrinter::DevicePixel);
  const QRectF PageMm = Printer.pageRect(QPrinter::Millimeter);
  F.PhysWidth = Rounded(Paper.width());
  F.PhysHeight = Rounded(Paper.height());
  F.PageWidth = Rounded(Page.width());
  F.PageHeight = Rounded(Page.height());
  F.OffsetX = Rounded(Page.left() - Paper.left());
  F.OffsetY = Rounded(Page.top() - Paper.top());
  F.HorzSize = Rounded(PageMm.width());
  F.VertSize = Rounded(PageMm.height());
  return F;
}

TPrintForm::TPrintForm(const TDib& AImage, const QString& AFileName, TSettings& ASettings, QPrinter& APrinter,
                       QWidget* Parent)
    : TQuennaForm(Parent), Image(AImage), FileName(AFileName), S(ASettings), Printer(APrinter) {
  setWindowTitle(QStringLiteral("Print"));
  setFixedSize(FormWidth, FormHeight);
  CreatePrinterGroup();
  CreateImageGroup();
  CreateTitleGroup();
  CreatePreview();
  PrintBtn = NewButton(this, "PrintBtn", QStringLiteral("&Print"), 8, 346, 70);
  SetupBtn = NewButton(this, "SetupBtn", QStringLiteral("Set&up"), 83, 346, 70);
  CancelBtn = NewButton(this, "CancelBtn", QStringLiteral("Cancel"), 158, 346, 70);
  CancelBtn->SetModalResult(mrCancel);
  AskPdfFile = [this](const QString& Suggested) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Print to PDF file"), Suggested,
                                        QStringLiteral("PDF files (*.pdf)"));
  };
  ChooseFont = [this](QFont& F) {
    bool Ok = false;
    const QFont Chosen = QFontDialog::getFont(&Ok, F, this, QStringLiteral("Title font"), QFontDialog::ScalableFonts);
    if (Ok)
      F = Chosen;
    return Ok;
  };
  RunPrinterSetup = [this](QPrinter& P) {
    QPrintDialog Dialog(&P, this);
    return Dialog.exec() == QDialog::Accepted;
  };
  MakePicture();
  ConnectHandlers();
  FormCreate();
}

TPrintForm::~TPrintForm() = default;

void TPrintForm::CreatePrinterGroup() {
  PeGroupBox1 = new TPeGroupBox(QStringLiteral("Printer"), this);
  PeGroupBox1->setGeometry(8, 4, 220, 112);
  PrinterBox = new TPeCombo(PeGroupBox1);
  PrinterBox->setObjectName(QStringLiteral("PrinterBox"));
  PrinterBox->SetReadOnly(true);
  PrinterBox->setGeometry(8, 20, 204, 21);
  NewLabel(PeGroupBox1, QStringLiteral("paper size:"), 8, 46, 70);
  PaperSizeLbl = NewLabel(PeGroupBox1, QString(), 80, 46, 132);
  NewLabel(PeGroupBox1, QStringLiteral("printable:"), 8, 64, 70);
  PrintableLbl = NewLabel(PeGroupBox1, QString(), 80, 64, 132);
  MarginBox = NewCheck(PeGroupBox1, "MarginBox", QStringLiteral("preview &margins"), 8, 86, 160);
}

void TPrintForm::CreateImageGroup() {
  PeGroupBox2 = new TPeGroupBox(QStringLiteral("Image"), this);
  PeGroupBox2->setGeometry(8, 120, 220, 104);
  NewLabel(PeGroupBox2, QStringLiteral("Size:"), 8, 20, 40);
  ImageSizeLbl = NewLabel(PeGroupBox2, QString(), 50, 20, 162);
  CenterX = NewCheck(PeGroupBox2, "CenterX", QStringLiteral("center &horizontal"), 8, 38, 160);
  CenterY = NewCheck(PeGroupBox2, "CenterY", QStringLiteral("center &vertical"), 8, 57, 160);
  CenterX->SetChecked(true);
  CenterY->SetChecked(true);
  ScaleSpin = new TPeSpinEdit(PeGroupBox2);
  ScaleSpin->setObjectName(QStringLiteral("ScaleSpin"));
  ScaleSpin->SetMinValue(MinPrintScale);
  ScaleSpin->SetMaxValue(MaxPrintScale);
  ScaleSpin->SetValue(100);
  ScaleSpin->setGeometry(50, 78, 60, 21);
  NewLabel(PeGroupBox2, QStringLiteral("&Scale:"), 8, 80, 40)->setBuddy(ScaleSpin);
  NewLabel(PeGroupBox2, QStringLiteral("%"), 114, 80, 14);
  FitBtn = NewButton(PeGroupBox2, "FitBtn", QStringLiteral("ma&x"), 140, 76, 60);
}

void TPrintForm::CreateTitleGroup() {
  PeGroupBox3 = new TPeGroupBox(QStringLiteral("Title"), this);
  PeGroupBox3->setGeometry(8, 228, 220, 112);
  TtlEdit = new QLineEdit(PeGroupBox3);
  TtlEdit->setObjectName(QStringLiteral("TtlEdit"));
  TtlEdit->setGeometry(8, 20, 204, 21);
  TtlFontBtn = NewButton(PeGroupBox3, "TtlFontBtn", QStringLiteral("&font..."), 8, 45, 60);
  TtlCenter = NewCheck(PeGroupBox3, "TtlCenter", QStringLiteral("&center"), 76, 48, 66);
  TtlEnable = NewCheck(PeGroupBox3, "TtlEnable", QStringLiteral("&enable"), 146, 48, 66);
  QLabel* Note = NewLabel(PeGroupBox3, QStringLiteral("Use mouse in the preview to change the position of the title."),
                          8, 74, 204, 32);
  Note->setWordWrap(true);
}

void TPrintForm::CreatePreview() {
  PrvPanel = new QFrame(this);
  PrvPanel->setObjectName(QStringLiteral("PrvPanel"));
  PrvPanel->setGeometry(PanelLeft, PanelTop, PanelSize, PanelSize);
  PrvPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PrvPanel->setLineWidth(2);
  PrvPanel->setAutoFillBackground(true);
  QPalette Pal = PrvPanel->palette();
  Pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  PrvPanel->setPalette(Pal);
  Paper = new TPaperBox(PrvPanel);
  Paper->setObjectName(QStringLiteral("Paper"));
  TtlLabel = new TTitleLabel(PrvPanel);
  TtlLabel->setObjectName(QStringLiteral("TtlLabel"));
  TtlLabel->raise();
}

void TPrintForm::ConnectHandlers() {
  connect(PrintBtn, &QAbstractButton::clicked, this, &TPrintForm::PrintBtnClick);
  connect(SetupBtn, &QAbstractButton::clicked, this, &TPrintForm::SetupBtnClick);
  connect(PrinterBox, &TPeCombo::OnChange, this, &TPrintForm::PrinterBoxChange);
  connect(ScaleSpin, &TPeSpinEdit::OnChange, this, &TPrintForm::ScaleSpinChange);
  connect(ScaleSpin, &TPeSpinEdit::OnDblClick, this, &TPrintForm::ScaleSpinDblClick);
  connect(FitBtn, &QAbstractButton::clicked, this, &TPrintForm::PageFitButtonClick);
  connect(CenterX, &QAbstractButton::clicked, this, &TPrintForm::CenterClick);
  connect(CenterY, &QAbstractButton::clicked, this, &TPrintForm::CenterClick);
  connect(MarginBox, &QAbstractButton::clicked, this, &TPrintForm::MarginBoxClick);
  connect(TtlEdit, &QLineEdit::textChanged, this, &TPrintForm::TitleChange);
  connect(TtlFontBtn, &QAbstractButton::clicked, this, &TPrintForm::TtlFontBtnClick);
  connect(TtlCenter, &QAbstractButton::clicked, this, &TPrintForm::TtlCenterClick);
  connect(TtlEnable, &QAbstractButton::clicked, this, &TPrintForm::TtlEnableClick);
  TtlLabel->OnMouseDown = [this](const QPoint& P) { TtlLabelMouseDown(P); };
  TtlLabel->OnMouseMove = [this](const QPoint& P) { TtlLabelMouseMove(P); };
  TtlLabel->OnMouseUp = [this](const QPoint& P) { TtlLabelMouseUp(P); };
  for (QWidget* W :
       {static_cast<QWidget*>(PrinterBox), static_cast<QWidget*>(ScaleSpin), static_cast<QWidget*>(TtlEdit)})
    W->installEventFilter(this);
}

// The preview draws from the image itself unless it is large; then from a
// smaller copy made once, so that repainting never scales the whole image.
void TPrintForm::MakePicture() {
  const TDib* Source = &Image;
  if (Image.Width() > MaxPictureSide || Image.Height() > MaxPictureSide) {
    const double K = std::min(double(MaxPictureSide) / Image.Width(), double(MaxPictureSide) / Image.Height());
    try {
      ScaledPreview(Image, Thumbnail, std::max(1, Rounded(Image.Width() * K)), FilterDef(rfTriangle).Support,
                    rfTriangle, std::max(1, Rounded(Image.Height() * K)));
      Source = Thumbnail.get();
    } catch (const std::bad_alloc&) {
      Thumbnail.reset();
    }
  }
  if (Source->Width() <= 0 || Source->Height() <= 0)
    return;
  int32_t XSkip = 0;
  Paper->Picture = DibPart(*Source, 0, 0, Source->Width(), Source->Height(), XSkip);
}

void TPrintForm::FormCreate() {
  Font = QFont(QString::fromStdString(S.PrintFontName.Text()));
  Font.setPointSize(std::max<int32_t>(1, S.PrintFontSize));
  const uint8_t Style = S.PrintFontStyle;
  Font.setBold(Style & 1);
  Font.setItalic(Style & 2);
  Font.setUnderline(Style & 4);
  Font.setStrikeOut(Style & 8);
  FontColor = ColorOf(TColor(S.PrintFontColor));
  TtlEnable->SetChecked(S.PrintTitle);
  TtlCenter->SetChecked(S.PrintCenterTitle);
  MarginsShown = S.PrintKeepMargins;
  MarginBox->SetChecked(MarginsShown);
  {
    const QSignalBlocker Block(TtlEdit);
    TtlEdit->setText(QFileInfo(FileName).fileName());
  }
  TtlLabel->SetColor(FontColor);
  TtlLabel->SetText(TtlEdit->text());
  TtlLabel->move(0, 0);
  TtlEnableClick();
  FormInit();
}

void TPrintForm::FormInit() {
  // Queues take a PDF page whatever their own resolution: its device
  // pixels are those of the resolution the user gave for the printer.
  Printer.setResolution(std::clamp<int32_t>(S.PrinterDpi, 1, 6000));
  PrinterFacts = ReadPrinterFacts(Printer);
  const TMmSize Paper = PaperSizeMm(PrinterFacts);
  PaperSizeLbl->setText(MmText(Paper.Width, Paper.Height));
  PrintableLbl->setText(MmText(PrinterFacts.HorzSize, PrinterFacts.VertSize));
  FillPrinterBox();
  Sheet = LayoutSheet(PrinterFacts, PrvPanel->width(), PrvPanel->height());
  const TIntRect& R = Sheet.Sheet;
  this->Paper->setGeometry(R.Left, R.Top, R.Width, R.Height);
  Printable = PrintableEdges(PrinterFacts, Sheet.Scale);
  this->Paper->Printable = Printable;
  this->Paper->MarginsShown = MarginsShown;
  ApplyLabelFont();
  const TIntPoint At =
      KeepTitleInside({TtlLabel->x(), TtlLabel->y()}, TtlLabel->width(), TtlCenter->Checked(), Sheet, Printable);
  TtlLabel->move(At.X, At.Y);
  UpdateImageSize();
}

void TPrintForm::FillPrinterBox() {
  const QStringList Names = QPrinterInfo::availablePrinterNames();
  PrinterBox->SetItems(Names + QStringList{PdfPrinterEntry});
  const bool Pdf = Printer.outputFormat() == QPrinter::PdfFormat;
  PrinterBox->SetItemIndex(Pdf ? int(Names.size()) : int(Names.indexOf(Printer.printerName())));
}

int32_t TPrintForm::Scale() const { return std::clamp(ScaleSpin->Value(), MinPrintScale, MaxPrintScale); }

int32_t TPrintForm::TitleHeight() const { return ::TitleHeight(QFontInfo(Font).pixelSize()); }

void TPrintForm::ApplyLabelFont() {
  QFont Shown = Font;
  Shown.setPixelSize(PreviewTitleHeight(TitleHeight(), Sheet.Scale));
  TtlLabel->SetTitleFont(Shown);
  const TIntRect& R = Sheet.Sheet;
  TtlLabel->SetClip(QRect(R.Left + Printable.Left, R.Top + Printable.Top, Printable.Right - Printable.Left + 1,
                          Printable.Bottom - Printable.Top + 1));
}

void TPrintForm::UpdateImageSize() {
  const TMmSize Size = ImageSizeMm(PrinterFacts, Image.Width(), Image.Height(), Scale());
  ImageSizeLbl->setText(MmText(Size.Width, Size.Height));
  PlaceImage();
}

void TPrintForm::PlaceImage() {
  Paper->ImageRect = PreviewImageRect(PrinterFacts, Sheet.Scale, Image.Width(), Image.Height(), Scale(),
                                      CenterX->Checked(), CenterY->Checked());
  Paper->update();
  TtlLabel->update();
}

void TPrintForm::CenterTitle() {
  if (!TtlCenter->Checked())
    return;
  const TIntPoint At = KeepTitleInside({TtlLabel->x(), TtlLabel->y()}, TtlLabel->width(), true, Sheet, Printable);
  TtlLabel->move(At.X, TtlLabel->y());
}

TIntPoint TPrintForm::TitlePos() const {
  TIntPoint At = TitleDevicePos({TtlLabel->x(), TtlLabel->y()}, Sheet, Printable);
  // Centered exactly on the page: the preview is too coarse to place it.
  if (TtlCenter->Checked()) {
    QFont Printed = Font;
    Printed.setPixelSize(std::max(1, TitleHeight()));
    At.X = CenteredLeft(PrinterFacts.PageWidth, QFontMetrics(Printed, &Printer).horizontalAdvance(TtlEdit->text()));
  }
  return At;
}

void TPrintForm::ScaleSpinChange() { UpdateImageSize(); }

void TPrintForm::ScaleSpinDblClick() { ScaleSpin->SetValue(100); }

void TPrintForm::PageFitButtonClick() { ScaleSpin->SetValue(FitScale(PrinterFacts, Image.Width(), Image.Height())); }

void TPrintForm::CenterClick() { PlaceImage(); }

void TPrintForm::MarginBoxClick() {
  MarginsShown = MarginBox->Checked();
  Paper->MarginsShown = MarginsShown;
  Paper->update();
  TtlLabel->update();
}

void TPrintForm::TitleChange() {
  TtlLabel->SetText(TtlEdit->text());
  CenterTitle();
}

void TPrintForm::TtlFontBtnClick() {
  QFont Chosen = Font;
  if (!ChooseFont || !ChooseFont(Chosen))
    return;
  // The settings keep points; a font given in pixels is turned into them.
  if (Chosen.pointSizeF() <= 0)
    Chosen.setPointSizeF(std::max(1, Chosen.pixelSize()) * 72.0 / std::max(1, logicalDpiY()));
  Font = Chosen;
  ApplyLabelFont();
  CenterTitle();
}

void TPrintForm::TtlCenterClick() { CenterTitle(); }

void TPrintForm::TtlEnableClick() {
  const bool On = TtlEnable->Checked();
  TtlEdit->setEnabled(On);
  TtlFontBtn->setEnabled(On);
  TtlCenter->setEnabled(On);
  TtlLabel->setVisible(On);
}

void TPrintForm::TtlLabelMouseDown(const QPoint& GlobalPos) {
  Dragging = true;
  DragFrom = GlobalPos;
}

void TPrintForm::TtlLabelMouseMove(const QPoint& GlobalPos) {
  if (!Dragging)
    return;
  const QPoint D = GlobalPos - DragFrom;
  TtlLabel->move(TtlLabel->x() + (TtlCenter->Checked() ? 0 : D.x()), TtlLabel->y() + D.y());
  DragFrom = GlobalPos;
}

void TPrintForm::TtlLabelMouseUp(const QPoint&) { Dragging = false; }

void TPrintForm::PrinterBoxChange() {
  const int Index = PrinterBox->ItemIndex();
  const QStringList Names = QPrinterInfo::availablePrinterNames();
  const bool WasPdf = Printer.outputFormat() == QPrinter::PdfFormat;
  const QString WasName = Printer.printerName();
  if (Index < 0 || Index >= Names.size()) {
    Printer.setOutputFormat(QPrinter::PdfFormat);
  } else {
    // A file name left from a PDF print would send the page to that file.
    Printer.setOutputFileName(QString());
    Printer.setOutputFormat(QPrinter::NativeFormat);
    Printer.setPrinterName(Names[Index]);
  }
  const bool IsPdf = Printer.outputFormat() == QPrinter::PdfFormat;
  if (IsPdf != WasPdf || (!IsPdf && Printer.printerName() != WasName))
    FormCreate();
  else
    FillPrinterBox();
}

void TPrintForm::SetupBtnClick() {
  const TPrinterFacts Before = PrinterFacts;
  const QString Name = Printer.printerName();
  const QPrinter::OutputFormat Format = Printer.outputFormat();
  if (!RunPrinterSetup || !RunPrinterSetup(Printer))
    return;
  const TPrinterFacts After = ReadPrinterFacts(Printer);
  if (After.PageWidth != Before.PageWidth || After.PageHeight != Before.PageHeight || Name != Printer.printerName() ||
      Format != Printer.outputFormat())
    FormInit();
}

bool TPrintForm::eventFilter(QObject* Watched, QEvent* E) {
  // A click in the title edit takes its whole text, for typing over it.
  if (Watched == TtlEdit && E->type() == QEvent::MouseButtonRelease) {
    TtlEdit->selectAll();
    return false;
  }
  if (E->type() == QEvent::KeyPress) {
    const int Key = static_cast<QKeyEvent*>(E)->key();
    if (Key == Qt::Key_Return || Key == Qt::Key_Enter) {
      PrintBtn->click();
      return true;
    }
    if (Key == Qt::Key_Escape) {
      CancelBtn->click();
      return true;
    }
  }
  return TQuennaForm::eventFilter(Watched, E);
}

void TPrintForm::PrintBtnClick() {
  try {
    PrintPage();
  } catch (const std::exception& E) {
    if (OnError)
      OnError(E);
    else
      ShowMessageKind(QString::fromUtf8(E.what()), mkError);
  }
}

QString TPrintForm::PdfTarget() {
  QString Suggested = Printer.outputFileName();
  if (Suggested.isEmpty()) {
    const QFileInfo Info(FileName);
    Suggested =
        FileName.isEmpty() ? QStringLiteral("image.pdf") : Info.dir().filePath(Info.completeBaseName() + ".pdf");
  }
  return AskPdfFile ? AskPdfFile(Suggested) : QString();
}

void TPrintForm::PrintPage() {
  const bool Pdf = Printer.outputFormat() == QPrinter::PdfFormat;
  const QString Name = Printer.printerName();
  // Queues come and go while the dialog is open.
  if (!Pdf && !PrinterInstalled(Name))
    Fail(QStringLiteral("The printer \"%1\" is not available any more. Choose another printer.").arg(Name));
  if (Pdf) {
    const QString Target = PdfTarget();
    if (Target.isEmpty())
      return;
    Printer.setOutputFileName(Target);
  }
  const TIntRect Placed =
      PrintImageRect(PrinterFacts, Image.Width(), Image.Height(), Scale(), CenterX->Checked(), CenterY->Checked());
  const QString Title = TtlEdit->text();
  const bool WithTitle = TtlEnable->Checked() && !Title.isEmpty();
  const TIntPoint TitleAt = TitlePos();
  TWaitCursor Wait;
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  Printer.setDocName(Title.isEmpty() ? QStringLiteral("Pelorin") : Title);
  QPainter P;
  if (!P.begin(&Printer))
    Fail(Pdf ? QStringLiteral("The file \"%1\" could not be written.").arg(Printer.outputFileName())
             : QStringLiteral("Printing on \"%1\" could not start.").arg(Name));
  // No JPEG round trip: the rows reach the printer as they are.
  P.setRenderHint(QPainter::LosslessImageRendering);
  P.setClipRect(QRect(0, 0, PrinterFacts.PageWidth, PrinterFacts.PageHeight));
  TImagePart Part;
  if (ClipImage(Placed, Image.Width(), Image.Height(), PrinterFacts.PageWidth, PrinterFacts.PageHeight, Part)) {
    try {
      int32_t XSkip = 0;
      const QImage Rows = DibPart(Image, Part.SrcX, Part.SrcY, Part.SrcWidth, Part.SrcHeight, XSkip);
      if (!Rows.isNull())
        P.drawImage(QRectF(Part.DstX, Part.DstY, Part.DstWidth, Part.DstHeight), Rows,
                    QRectF(XSkip, 0, Part.SrcWidth, Part.SrcHeight));
    } catch (const std::bad_alloc&) {
      // The page goes out without the image, with its title.
    }
  }
  if (WithTitle) {
    QFont Printed = Font;
    Printed.setPixelSize(std::max(1, TitleHeight()));
    P.setFont(Printed);
    P.setPen(FontColor);
    P.setBrush(Qt::NoBrush);
    const QFontMetrics M(Printed, &Printer);
    P.drawText(QRect(TitleAt.X, TitleAt.Y, M.horizontalAdvance(Title) + M.height(), 2 * M.height()),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Title);
  }
  if (!P.end() || Printer.printerState() == QPrinter::Error)
    Fail(QStringLiteral("The page could not be printed on \"%1\".").arg(Pdf ? Printer.outputFileName() : Name));
  if (!Pdf && !PrinterInstalled(Name))
    Fail(QStringLiteral("The printer \"%1\" went away while printing; the page may be lost.").arg(Name));
}

void TPrintForm::done(int Result) {
  FormClose();
  TQuennaForm::done(Result);
}

void TPrintForm::FormClose() {
  S.PrintFontName.SetText(Font.family().toStdString());
  S.PrintFontSize = std::clamp(Rounded(Font.pointSizeF()), 1, 1000);
  S.PrintFontStyle = uint8_t((Font.bold() ? 1 : 0) | (Font.italic() ? 2 : 0) | (Font.underline() ? 4 : 0) |
                             (Font.strikeOut() ? 8 : 0));
  S.PrintFontColor = ColorOf(FontColor);
  S.PrintCenterTitle = TtlCenter->Checked();
  S.PrintTitle = TtlEnable->Checked();
  S.PrintKeepMargins = MarginsShown;
}
