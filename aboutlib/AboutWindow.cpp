#include "AboutWindow.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

namespace Quenna {

namespace {

const char* const Strings[sidCount] = {
    "About",
    "Copyright \u00A9 2002 Quenna Software",
    "Programming: Edda Varnholt",
    "Mail to:",
    "Homepage:",
    "hi@quenna.test",
    "quenna.test",
    "This software is free of charge.",
    "You use it entirely at your own risk; if you",
    "do not like it, simply delete it.",
    "Mail with congratulations, wishes and error",
    "reports is always welcome. Please do not",
    "ask for support or for new features.",
};

constexpr QRgb Navy = 0x000080, HotBlue = 0x4040FF, VersionGray = 0x202020;
constexpr QRgb StripTop = 0x3F007F, StripBottom = 0xFF003F, AreaLeft = 0xDCE6F0;

// Where the texts start; y is the top of the text cell.
struct TTextPlace {
  TStringId Id;
  int X, Y;
};
const TTextPlace TextPlaces[] = {
    {sidRights, 36, 36},
    {sidProgrammer, 36, 150},
    {sidMailTo, 36, 172},
    {sidHomepage, 36, 189},
    {sidTerms1, 36, 213},
    {TStringId(sidTerms1 + 1), 36, 244},
    {TStringId(sidTerms1 + 2), 36, 258},
    {TStringId(sidTerms1 + 3), 36, 278},
    {TStringId(sidTerms1 + 4), 36, 292},
    {TStringId(sidTerms1 + 5), 36, 306},
};
constexpr int LinkX = 112, MailY = 172, HomepageY = 189;
constexpr int RuleLeft = 36, RuleRight = 276;
constexpr int RuleYs[] = {6, 236, 330};
constexpr int StripWidth = 28;

// One channel of a gradient step: start + Step * (end - start) div Steps,
// the division truncating toward zero.
int Channel(int Start, int End, int Step, int Steps) { return Start + Step * (End - Start) / Steps; }

QColor Blend(QRgb Start, QRgb End, int Step, int Steps) {
  return QColor(Channel(qRed(Start), qRed(End), Step, Steps), Channel(qGreen(Start), qGreen(End), Step, Steps),
                Channel(qBlue(Start), qBlue(End), Step, Steps));
}

QFont WindowFont(bool Bold = false, bool Underline = false) {
  QFont F(QStringLiteral("Arial"));
  F.setPixelSize(12);
  F.setBold(Bold);
  F.setUnderline(Underline);
  return F;
}

// Text with its cell's top-left corner at (X, Y), as the texts are placed.
void TextAt(QPainter& P, int X, int Y, const QString& Text) {
  P.drawText(QPoint(X, Y + P.fontMetrics().ascent()), Text);
}

} // namespace

QString String(TStringId Id) { return Id >= 0 && Id < sidCount ? QString::fromUtf8(Strings[Id]) : QString(); }

QString VersionText(uint8_t Major, uint8_t Minor, uint8_t Release, bool Beta) {
  QString T = QStringLiteral("\tVersion  %1.%2.%3").arg(Major).arg(Minor).arg(Release);
  if (Beta)
    T += QStringLiteral(" beta");
  return T;
}

int VersionX(bool Beta) { return Beta ? 164 : 192; }

TLink LinkAt(int X, int Y) {
  if (X <= 111 || X > 200 || Y <= 170 || Y > 206)
    return lkNone;
  return Y < 189 ? lkMail : lkHomepage;
}

QUrl LinkUrl(TLink Link) {
  switch (Link) {
  case lkMail: return QUrl(QStringLiteral("mailto:") + String(sidMailAddress));
  case lkHomepage: return QUrl(QStringLiteral("https://") + String(sidWebAddress) + QLatin1Char('/'));
  case lkNone: break;
  }
  return QUrl();
}

QColor StripColor(int Row) { return Blend(StripTop, StripBottom, Row, ClientHeight); }

QColor AreaColor(int Column, const QColor& ButtonFace) { return Blend(AreaLeft, ButtonFace.rgb(), Column, 255); }

TAboutWindow::TAboutWindow(QWidget* Owner, bool ThumbnailProgram, const QString& AVersionText, int AVersionX)
    : QDialog(Owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      Logo(WithoutWhite(LogoBitmap())), Mark(WithoutWhite(MarkBitmap())),
      Name(WithoutWhite(NameBitmap(ThumbnailProgram))), AndPic(AndPicture()), Version(AVersionText),
      VersionLeft(AVersionX) {
  setWindowTitle(String(sidCaption));
  setFixedSize(ClientWidth, ClientHeight);
  setFont(WindowFont());
  setModal(true);
  setMouseTracking(true);
  // Every pixel is drawn here.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TAboutWindow::PaintBackground(QPainter& P) {
  for (int Row = 0; Row < ClientHeight; ++Row)
    P.fillRect(0, Row, StripWidth, 1, StripColor(Row));
  const QColor Face = QGuiApplication::palette().color(QPalette::Button);
  for (int Column = 0; Column < ClientWidth - StripWidth; ++Column)
    P.fillRect(StripWidth + Column, 0, 1, ClientHeight, AreaColor(Column, Face));
}

void TAboutWindow::PaintTexts(QPainter& P) {
  P.setFont(WindowFont(true));
  P.setPen(QColor(VersionGray));
  // The tab only starts the text; drawn, it would jump to a tab stop.
  TextAt(P, VersionLeft, 16, Version.startsWith(QLatin1Char('\t')) ? Version.mid(1) : Version);
  P.setFont(WindowFont());
  P.setPen(Qt::black);
  for (const TTextPlace& T : TextPlaces)
    TextAt(P, T.X, T.Y, String(T.Id));
  P.setFont(WindowFont(false, true));
  P.setPen(QColor(Hot == lkMail ? HotBlue : Navy));
  TextAt(P, LinkX, MailY, String(sidMailAddress));
  P.setPen(QColor(Hot == lkHomepage ? HotBlue : Navy));
  TextAt(P, LinkX, HomepageY, String(sidWebAddress));
}

void TAboutWindow::paintEvent(QPaintEvent*) {
  QPainter P(this);
  PaintBackground(P);
  P.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
  P.drawImage(3, 283, AndPic);
  P.setCompositionMode(QPainter::CompositionMode_SourceOver);
  P.drawImage(98, 74, Logo);
  P.drawImage(70, 70, Mark);
  P.drawImage(36, 12, Name);
  P.setPen(Qt::black);
  // A line to x 276 ends before that pixel.
  for (int Y : RuleYs)
    P.drawLine(RuleLeft, Y, RuleRight - 1, Y);
  PaintTexts(P);
}

void TAboutWindow::SetHot(TLink Link) {
  if (Link == Hot)
    return;
  if (Link == lkNone)
    unsetCursor();
  else if (Hot == lkNone)
    setCursor(Qt::PointingHandCursor);
  Hot = Link;
  update(QRect(LinkX, MailY, ClientWidth - LinkX, HomepageY - MailY + 20));
}

void TAboutWindow::TrackPointer(const QPoint& Pos) { SetHot(LinkAt(Pos.x(), Pos.y())); }

void TAboutWindow::mouseMoveEvent(QMouseEvent* E) { TrackPointer(E->position().toPoint()); }

void TAboutWindow::mousePressEvent(QMouseEvent* E) {
  TrackPointer(E->position().toPoint());
  if (E->button() == Qt::LeftButton && Hot != lkNone)
    QDesktopServices::openUrl(LinkUrl(Hot));
}

void TAboutWindow::leaveEvent(QEvent*) { SetHot(lkNone); }

void TAboutWindow::keyPressEvent(QKeyEvent* E) {
  switch (E->key()) {
  case Qt::Key_Return:
  case Qt::Key_Enter: accept(); return;
  case Qt::Key_Escape: reject(); return;
  default: QDialog::keyPressEvent(E);
  }
}

} // namespace Quenna
