#pragma once
#include <QColor>
#include <QDialog>
#include <QImage>
#include <QString>
#include <QUrl>
#include <cstdint>

// The about window and the arithmetic it draws by. No Q_OBJECT anywhere in
// the library: a meta-object of ours could outlive the library in Qt's
// registries once the viewer unloads it.

namespace Quenna {

inline constexpr int ClientWidth = 284;
inline constexpr int ClientHeight = 338;

enum TLink : int { lkNone = 0, lkMail = 1, lkHomepage = 2 };

// The string table, in the order of its ids (65520 upwards).
enum TStringId : int {
  sidCaption,
  sidRights,
  sidProgrammer,
  sidMailTo,
  sidHomepage,
  sidMailAddress,
  sidWebAddress,
  sidTerms1, // six lines of terms of use follow
  sidCount = sidTerms1 + 6,
};
QString String(TStringId Id);

// A tab, "Version", two blanks, major.minor.release and " beta" when set.
QString VersionText(uint8_t Major, uint8_t Minor, uint8_t Release, bool Beta);
// The left edge of the version text: the beta suffix moves it left.
int VersionX(bool Beta);

// The link under the client point (X, Y).
TLink LinkAt(int X, int Y);
// What a left click on a link opens.
QUrl LinkUrl(TLink Link);

// The background: the strip left of x 28, row Row of 338, and the area
// right of it, column Column of 256 ending in ButtonFace.
QColor StripColor(int Row);
QColor AreaColor(int Column, const QColor& ButtonFace);

// The pictures: the maker's logo (143 x 44), the library's mark (22 x 48),
// the program's name (82 x 17, the viewer's or the thumbnail program's),
// each with white where the background shows through, and the 22 x 50
// picture that is combined with the background by AND.
QImage LogoBitmap();
QImage MarkBitmap();
QImage NameBitmap(bool ThumbnailProgram);
QImage AndPicture();
// White made transparent.
QImage WithoutWhite(const QImage& Bitmap);

class TAboutWindow : public QDialog {
public:
  TAboutWindow(QWidget* Owner, bool ThumbnailProgram, const QString& AVersionText, int AVersionX);

  TLink HotLink() const { return Hot; }

protected:
  void paintEvent(QPaintEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void mousePressEvent(QMouseEvent* E) override;
  void leaveEvent(QEvent* E) override;
  void keyPressEvent(QKeyEvent* E) override;

private:
  // Move and button-down share it: the hot link and the cursor follow the
  // pointer.
  void TrackPointer(const QPoint& Pos);
  void SetHot(TLink Link);
  void PaintBackground(QPainter& P);
  void PaintTexts(QPainter& P);

  QImage Logo, Mark, Name, AndPic;
  QString Version;
  int VersionLeft;
  TLink Hot = lkNone;
};

} // namespace Quenna
