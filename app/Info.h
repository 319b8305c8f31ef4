#pragma once
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "Quenna.h"

class QLabel;
class QLineEdit;
class TDsCustomGroup;
class TPeGroupBox;

// The shown image's file as its reader described it; for an image without
// a file, the image as it came, named by its caption.
struct TInfoFile {
  // The format text, or the caption of an image without a file.
  QString TypeText;
  // The full name; empty for an image without a file.
  QString FileName;
  bool Gray = false;
  int32_t PixelFormat = 0;
  int32_t Width = 0, Height = 0;
  int32_t BitsPerSample = 8;
  int32_t ColorModel = 0;
  bool Interlaced = false;
  int32_t Compression = 0;
  QDateTime FileDate;
  int64_t FileSize = 0;
  // The stored orientation tag (0 none) and whether the image was turned by it.
  int32_t Orientation = 0;
  bool OrientationApplied = false;
  // The embedded profile's description (empty none) and whether the pixels
  // were converted by it.
  QString Profile;
  bool ProfileApplied = false;
};

// The texts of the window, free of it so that they can be checked alone.
// Bytes grouped by the locale's thousands separator, with " byte".
QString ByteText(int64_t Bytes);
// Date and time three blanks apart: the locale's short date with the year
// in four digits, and its short time.
QString DateTimeText(const QDateTime& When);
QDateTime FileTimeToDateTime(std::filesystem::file_time_type Time);
QString PixelFormatText(int32_t PixelFormat, bool Gray);
// The bytes of a buffer row before the rounding to four bytes.
int64_t BufferRowBytes(int32_t Width, int32_t PixelFormat);
int64_t BufferDataSize(int32_t Width, int32_t Height, int32_t PixelFormat);
// The color model a reader reported with its bits per sample.
QString SourceColorText(int32_t Model, int32_t Bits, int32_t PixelFormat, bool Gray);
int64_t SourceDataSize(int32_t Model, int32_t Bits, int32_t Width, int32_t Height, int32_t PixelFormat);
QString CompressionName(int32_t Compression, bool Interlaced);
// The tag with what it asks of the view, "6 (turned 90° clockwise)"; "none"
// for no tag or a value outside 1 to 8.
QString OrientationText(int32_t Orientation, bool Applied);
// "none", or the description with what became of the profile.
QString ProfileText(const QString& Description, bool Applied);
// The readout of the pixel at (X, Y) with its color 0x00BBGGRR; "none"
// for a color below 0.
QString PixelText(int32_t X, int32_t Y, int64_t Color);

// The image information window: the shown image's file, the image as the
// file stores it, the buffer it is shown from, and the pixel under the mouse.
class TInfoForm : public TQuennaForm {
  Q_OBJECT
public:
  explicit TInfoForm(QWidget* Parent = nullptr);

  // Fills all three groups; the buffer as the file gave it.
  void ShowImageInfo(const TInfoFile& File, int32_t Resolution);
  // Only the buffer's group, after edits.
  void ShowBufferInfo(int32_t Width, int32_t Height, bool Gray, int32_t PixelFormat, int32_t Resolution);
  void ShowResolution(int32_t Dpi);
  // The pixel readout; Color below 0 clears it. Index is the palette entry,
  // -1 for images without palette.
  void ShowPixel(int32_t X, int32_t Y, int32_t Index, int64_t Color);

  // Set by the main window: the window was shown or hidden; keys and wheel
  // turns that belong to the main window.
  std::function<void(bool Shown)> OnShown;
  std::function<void(int Key, Qt::KeyboardModifiers Shift)> OnKeyDown;
  std::function<void(QWheelEvent* E)> OnMouseWheel;

  TPeGroupBox* FileGroup = nullptr;
  TPeGroupBox* ImgGroup = nullptr;
  TPeGroupBox* DibGroup = nullptr;
  TPeGroupBox* PeGroupBox4 = nullptr;
  QLabel* TypeText = nullptr;
  QLineEdit* Name = nullptr;
  QLineEdit* Path = nullptr;
  QLabel* SizeText = nullptr;
  QLabel* TimeText = nullptr;
  QLabel* CompText = nullptr;
  QLabel* ImgDimText = nullptr;
  QLabel* ImgColText = nullptr;
  QLabel* ImgDataText = nullptr;
  QLineEdit* ImgOrientText = nullptr;
  QLineEdit* ImgProfileText = nullptr;
  QLabel* DibDimText = nullptr;
  QLabel* DibResText = nullptr;
  QLabel* DibColText = nullptr;
  QLabel* DibDataText = nullptr;
  // What the pixel group paints.
  QString PixelReadout = QStringLiteral("none");
  int32_t PixelIndex = -1;

protected:
  bool event(QEvent* E) override;
  void keyPressEvent(QKeyEvent* E) override;
  void wheelEvent(QWheelEvent* E) override;
  void showEvent(QShowEvent* E) override;
  void hideEvent(QHideEvent* E) override;
  bool eventFilter(QObject* Watched, QEvent* E) override;

private:
  void CreateControls();
  void FormKeyDown(int Key, Qt::KeyboardModifiers Shift);
  void FileGroupPaint(QPainter& Canvas);
  void ImgGroupPaint(QPainter& Canvas);
  void DibGroupPaint(QPainter& Canvas);
  void PixelGroupPaint(QPainter& Canvas);
};
