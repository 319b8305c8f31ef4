#pragma once
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "Quenna.h"
#include "WorkerProgress.h"

class QLabel;
class TDib;
class TPeButton;
class TPeCombo;
class TPeGroupBox;
class TPeGroupSpace;

// What a conversion dialog needs of the window that shows the image.
struct TConvertHost {
  // Shows Buffer in place of the shown image, at its zoom, and answers the
  // image shown until now.
  std::function<std::unique_ptr<TDib>(std::unique_ptr<TDib> Buffer)> Exchange;
  std::function<void()> Redraw;
  // Records the shown image as an undo step.
  std::function<void()> TakeSnapshot;
  // The shown image is the kept conversion: menus and info follow it.
  std::function<void()> Converted;
  // The dialog has closed: the host takes commands again.
  std::function<void()> EndModal;
};

// "12,345,678": the count with thousands separated by commas.
QString ThousandsText(int64_t Value);

// Base of the two conversion dialogs. The conversion is previewed in the
// host's own view; Apply keeps it as one undo step, anything else puts the
// image back as it was. The dialog shows without blocking and deletes
// itself once closed.
class TStdConvertForm : public TQuennaForm {
  Q_OBJECT
public:
  // Shown: the image the host shows now; the dialog converts from it.
  TStdConvertForm(TConvertHost AHost, TDib& Shown, QWidget* Parent = nullptr);

  void EnablePreview();
  void PreviewBtnClick();
  void OkBtnClick();
  void CancelBtnClick();

  const TDib* OrigImage() const { return Orig; }
  const TDib* ResultImage() const { return Result; }
  bool PreviewPending() const { return Pending; }

  TPeGroupBox* GroupBox1 = nullptr;
  TPeGroupBox* GroupBox2 = nullptr;
  TPeGroupSpace* PeGroupSpace1 = nullptr;
  TPeCombo* DiffuseBox = nullptr;
  QLabel* ColLbl = nullptr;
  TPeButton* OkBtn = nullptr;
  TPeButton* CancelBtn = nullptr;
  TPeButton* PreviewBtn = nullptr;

protected:
  using TConversion = std::function<void(const TDib& Src, std::unique_ptr<TDib>& Dst, const TProgressFn& Progress)>;
  // The conversion with the chosen options, taken on this thread and run on
  // a worker.
  virtual TConversion Conversion() const = 0;
  // The chosen options into the settings (on Apply).
  virtual void StoreSettings() = 0;
  // Runs the conversion when the options changed and shows its result.
  virtual void Convert();

  void keyPressEvent(QKeyEvent* E) override;
  void done(int Result) override;

private:
  void ShowBuffer(TDib* Which);
  void FreeResult();
  void MakeResult();
  void Apply();
  // What a failed conversion leaves: the original shown, a preview to make.
  void Recover(const std::exception& E);
  void FormClose(bool Accepted);

  TConvertHost Host;
  TDib* Orig;
  TDib* Result = nullptr;
  // Of Orig and Result the one the host does not show, if any.
  std::unique_ptr<TDib> Held;
  TDib* Shown;
  bool Pending = true;
  bool Finished = false;
};
