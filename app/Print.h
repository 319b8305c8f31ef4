#pragma once
#include <QFont>
#include <QPoint>
#include <QString>
#include <exception>
#include <functional>
#include <memory>

#include "PrintLayout.h"
#include "Quenna.h"
#include "Settings.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPrinter;
class TDib;
class TPaperBox;
class TPeButton;
class TPeCheckBox;
class TPeCombo;
class TPeGroupBox;
class TPeSpinEdit;
class TTitleLabel;

// The printer the print dialog works on, for the whole run: a choice made
// in the dialog stays for the next one.
QPrinter& ApplicationPrinter();

// The entry of the printer list that writes a PDF file.
extern const QString PdfPrinterEntry;

// The facts the dialog lays the page out with, read from Printer.
TPrinterFacts ReadPrinterFacts(QPrinter& Printer);

// The "Print" dialog: one page with the image at a chosen scale, centered
// or at the top-left of the printable area, and an optional one-line title
// placed by dragging it in the page preview.
class TPrintForm : public TQuennaForm {
  Q_OBJECT
public:
  TPrintForm(const TDib& AImage, const QString& AFileName, TSettings& ASettings, QPrinter& APrinter,
             QWidget* Parent = nullptr);
  ~TPrintForm() override;

  // Stand-ins for the platform dialogs, replaceable by tests. AskPdfFile
  // answers the file to write ("" cancels); ChooseFont and RunPrinterSetup
  // answer false for Cancel.
  std::function<QString(const QString& Suggested)> AskPdfFile;
  std::function<bool(QFont& Font)> ChooseFont;
  std::function<bool(QPrinter& Printer)> RunPrinterSetup;
  // Where printing errors go; a message box unless set.
  std::function<void(const std::exception& E)> OnError;

  // Handlers.
  void FormCreate();
  void FormInit();
  void PrintBtnClick();
  void SetupBtnClick();
  void PrinterBoxChange();
  void ScaleSpinChange();
  void ScaleSpinDblClick();
  void PageFitButtonClick();
  void CenterClick();
  void MarginBoxClick();
  void TitleChange();
  void TtlFontBtnClick();
  void TtlCenterClick();
  void TtlEnableClick();
  void TtlLabelMouseDown(const QPoint& GlobalPos);
  void TtlLabelMouseMove(const QPoint& GlobalPos);
  void TtlLabelMouseUp(const QPoint& GlobalPos);

  // What the dialog computed, for whoever looks.
  const TPrinterFacts& Facts() const { return PrinterFacts; }
  const TSheetLayout& Layout() const { return Sheet; }
  const TPreviewEdges& PrintableInPreview() const { return Printable; }
  int32_t Scale() const;
  // The title's character height in device pixels.
  int32_t TitleHeight() const;
  // Where the title prints, in device pixels from the printable area.
  TIntPoint TitlePos() const;
  QFont TitleFont() const { return Font; }

  TPeGroupBox* PeGroupBox1 = nullptr;
  TPeGroupBox* PeGroupBox2 = nullptr;
  TPeGroupBox* PeGroupBox3 = nullptr;
  TPeCombo* PrinterBox = nullptr;
  QLabel* PaperSizeLbl = nullptr;
  QLabel* PrintableLbl = nullptr;
  TPeCheckBox* MarginBox = nullptr;
  QLabel* ImageSizeLbl = nullptr;
  TPeCheckBox* CenterX = nullptr;
  TPeCheckBox* CenterY = nullptr;
  TPeSpinEdit* ScaleSpin = nullptr;
  TPeButton* FitBtn = nullptr;
  QLineEdit* TtlEdit = nullptr;
  TPeButton* TtlFontBtn = nullptr;
  TPeCheckBox* TtlCenter = nullptr;
  TPeCheckBox* TtlEnable = nullptr;
  QFrame* PrvPanel = nullptr;
  TPaperBox* Paper = nullptr;
  TTitleLabel* TtlLabel = nullptr;
  TPeButton* PrintBtn = nullptr;
  TPeButton* SetupBtn = nullptr;
  TPeButton* CancelBtn = nullptr;

protected:
  void done(int Result) override;
  bool eventFilter(QObject* Watched, QEvent* E) override;

private:
  void CreatePrinterGroup();
  void CreateImageGroup();
  void CreateTitleGroup();
  void CreatePreview();
  void ConnectHandlers();
  void MakePicture();
  void FillPrinterBox();
  void UpdateImageSize();
  void PlaceImage();
  void CenterTitle();
  void ApplyLabelFont();
  void PrintPage();
  // The PDF file to write, or "" when the user gave none.
  QString PdfTarget();
  void FormClose();

  const TDib& Image;
  QString FileName;
  TSettings& S;
  QPrinter& Printer;
  QFont Font;
  QColor FontColor;
  TPrinterFacts PrinterFacts;
  TSheetLayout Sheet;
  TPreviewEdges Printable;
  std::unique_ptr<TDib> Thumbnail;
  bool MarginsShown = true;
  bool Dragging = false;
  QPoint DragFrom;
};
