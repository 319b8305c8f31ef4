#pragma once
// The windows of the source manager: the source list of a user selection
// and a source's own scan window, modeless while the source is enabled.
#include <QDialog>
#include <QImage>
#include <functional>
#include <string>
#include <vector>

#include "SaneScan.h"

class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QPushButton;

// Reads one image with a modal progress window whose Cancel stops the
// device; events keep running meanwhile.
SANE_Status ScanWithProgress(SANE_Handle H, QWidget* Parent, std::vector<TScanFrame>& Frames);

// The resolution the device scans at, in dots per inch (0 when unknown).
int32_t CurrentDpi(SANE_Handle H);

// Lets the user pick one of Devices; answers its index, or -1 when cancelled.
int ChooseDevice(const std::vector<TSaneDevice>& Devices, int Current, QWidget* Parent);

class TScanForm : public QDialog {
public:
  TScanForm(SANE_Handle AHandle, const TSaneDevice& Device, QWidget* Parent);

  // Scan asks for a transfer, Close (the button, the close box, Escape)
  // asks the application to close the source.
  std::function<void()> OnScan, OnClose;

  // Sets the device to the window's choices and reads an image; the
  // outcome shows in the window's status line.
  SANE_Status Transfer(std::vector<TScanFrame>& Frames);
  // Scanning may be asked for again (the last transfer has ended).
  void SetReady(bool Ready);
  bool Busy() const { return Scanning; }

  void reject() override;

private:
  void BuildControls();
  void FillChoices();
  void ModeChanged();
  // Writes the chosen mode, depth, resolution and area to the device; false
  // with the reason in the status line when the device refuses one.
  bool ApplyOptions();
  void Preview();
  void ShowOutcome(SANE_Status St, const std::vector<TScanFrame>& Frames);
  void DrawPreview();

  SANE_Handle Handle;
  QFormLayout* Rows = nullptr;
  QComboBox *ModeBox = nullptr, *DepthBox = nullptr, *ResBox = nullptr;
  QDoubleSpinBox* Area[4] = {};
  QLabel* PreviewLabel = nullptr;
  QLabel* Status = nullptr;
  QPushButton *PreviewBtn = nullptr, *ScanBtn = nullptr;
  QImage PreviewImage;
  // The part of the device's area that the preview shows.
  double PreviewArea[4] = {};
  bool Scanning = false;
  bool Ready = true;
};
