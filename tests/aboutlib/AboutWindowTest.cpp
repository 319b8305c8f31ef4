#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>

#include "AboutWindow.h"
#include "AboutWnd.h"

using namespace Quenna;

namespace {

QImage Render(TAboutWindow& W) { return W.grab().toImage().convertToFormat(QImage::Format_RGB32); }

QRgb Rgb(const QColor& C) { return C.rgb() & 0xFFFFFF; }
QRgb Pixel(const QImage& I, int X, int Y) { return I.pixel(X, Y) & 0xFFFFFF; }

void SendMouse(QWidget& W, QEvent::Type Type, int X, int Y, Qt::MouseButton Button = Qt::NoButton) {
  QMouseEvent E(Type, QPointF(X, Y), W.mapToGlobal(QPointF(X, Y)), Button, Button, Qt::NoModifier);
  QCoreApplication::sendEvent(&W, &E);
}

// Pixels of exactly Color inside R (the links' underlines are solid).
int CountColor(const QImage& I, const QRect& R, QRgb Color) {
  int N = 0;
  for (int Y = R.top(); Y <= R.bottom(); ++Y)
    for (int X = R.left(); X <= R.right(); ++X)
      N += Pixel(I, X, Y) == Color;
  return N;
}

bool LibraryMapped() {
  QFile Maps(QStringLiteral("/proc/self/maps"));
  return Maps.open(QIODevice::ReadOnly) && Maps.readAll().contains("libquenna.so");
}

// Runs Work on the modal window once it shows (giving up after a few
// seconds, so that a window that never comes cannot leave a poll behind).
void OnModalWindow(const std::function<void(QWidget&)>& Work) {
  auto Tries = std::make_shared<int>(0);
  auto Poll = std::make_shared<std::function<void()>>();
  *Poll = [=] {
    if (QWidget* W = QApplication::activeModalWidget())
      Work(*W);
    else if (++*Tries < 500)
      QTimer::singleShot(10, *Poll);
  };
  QTimer::singleShot(0, *Poll);
}

} // namespace

TEST(AboutTexts, VersionTextAndItsPlace) {
  struct TCase {
    uint8_t Major, Minor, Release;
    bool Beta;
    const char* Text;
    int X;
  };
  const TCase Cases[] = {
      {0, 6, 5, false, "\tVersion  0.6.5", 192},
      {0, 6, 5, true, "\tVersion  0.6.5 beta", 164},
      {255, 10, 0, false, "\tVersion  255.10.0", 192},
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(VersionText(C.Major, C.Minor, C.Release, C.Beta), QString::fromLatin1(C.Text));
    EXPECT_EQ(VersionX(C.Beta), C.X);
  }
  EXPECT_EQ(String(sidCaption), "About");
  EXPECT_EQ(String(sidMailTo), "Mail to:");
  EXPECT_EQ(String(sidHomepage), "Homepage:");
  EXPECT_TRUE(String(sidRights).contains("2002"));
  for (int Id = sidTerms1; Id < sidCount; ++Id)
    EXPECT_FALSE(String(TStringId(Id)).isEmpty()) << Id;
  EXPECT_TRUE(String(sidCount).isEmpty());
}

TEST(AboutTexts, LinkAreasAndTheirUrls) {
  struct TCase {
    int X, Y;
    TLink Link;
  };
  const TCase Cases[] = {
      {200, 206, lkHomepage}, {111, 180, lkNone}, {112, 171, lkMail}, {112, 170, lkNone},     {200, 188, lkMail},
      {150, 189, lkHomepage}, {201, 189, lkNone}, {150, 207, lkNone}, {112, 206, lkHomepage},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(LinkAt(C.X, C.Y), C.Link) << C.X << "," << C.Y;
  EXPECT_EQ(LinkUrl(lkMail), QUrl(QStringLiteral("mailto:") + String(sidMailAddress)));
  EXPECT_EQ(LinkUrl(lkHomepage).scheme(), "https");
  EXPECT_EQ(LinkUrl(lkHomepage).host(), String(sidWebAddress));
  EXPECT_TRUE(LinkUrl(lkNone).isEmpty());
}

TEST(AboutTexts, GradientStepsTruncateTowardZero) {
  EXPECT_EQ(Rgb(StripColor(0)), 0x3F007Fu);
  // Blue falls: 127 + 337 * -64 / 338 is 127 - 63, not 127 - 64.
  EXPECT_EQ(Rgb(StripColor(337)), 0xFE0040u);
  EXPECT_EQ(Rgb(StripColor(169)), QColor(0x3F + 96, 0, 0x7F - 32).rgb() & 0xFFFFFF);
  const QColor Face(0xEF, 0xEF, 0xEF);
  EXPECT_EQ(Rgb(AreaColor(0, Face)), 0xDCE6F0u);
  EXPECT_EQ(Rgb(AreaColor(255, Face)), 0xEFEFEFu);
  EXPECT_EQ(Rgb(AreaColor(128, QColor(0, 0, 0))), QColor(0xDC - 110, 0xE6 - 115, 0xF0 - 120).rgb() & 0xFFFFFF);
}

TEST(AboutWindow, DrawsBackgroundPicturesAndRules) {
  TAboutWindow W(nullptr, false, VersionText(0, 6, 5, false), VersionX(false));
  EXPECT_EQ(W.windowTitle(), "About");
  EXPECT_EQ(W.size(), QSize(ClientWidth, ClientHeight));
  EXPECT_TRUE(W.isModal());
  const QImage I = Render(W);
  const QColor Face = QGuiApplication::palette().color(QPalette::Button);
  EXPECT_EQ(Pixel(I, 0, 0), Rgb(StripColor(0)));
  EXPECT_EQ(Pixel(I, 27, 337), Rgb(StripColor(337)));
  EXPECT_EQ(Pixel(I, 28, 1), 0xDCE6F0u);
  EXPECT_EQ(Pixel(I, 283, 100), Rgb(AreaColor(255, Face)));
  // The rules run from x 36 up to, not including, x 276.
  for (int Y : {6, 236, 330}) {
    EXPECT_EQ(Pixel(I, 36, Y), 0u) << Y;
    EXPECT_EQ(Pixel(I, 275, Y), 0u) << Y;
    EXPECT_NE(Pixel(I, 276, Y), 0u) << Y;
    EXPECT_NE(Pixel(I, 35, Y), 0u) << Y;
  }
  // The name's white is the background; the AND picture keeps only what
  // it shares with the strip.
  EXPECT_EQ(Pixel(I, 36, 12), Rgb(AreaColor(8, Face)));
  const QRgb Diamond = AndPicture().pixel(11, 6) & 0xFFFFFF;
  EXPECT_NE(Diamond, 0xFFFFFFu);
  EXPECT_EQ(Pixel(I, 3 + 11, 283 + 6), Rgb(StripColor(283 + 6)) & Diamond);
  EXPECT_EQ(Pixel(I, 3, 283), Rgb(StripColor(283))) << "the picture's white leaves the strip";
}

TEST(AboutWindow, ThumbnailProgramShowsItsOwnName) {
  TAboutWindow Viewer(nullptr, false, VersionText(0, 6, 5, false), 192);
  TAboutWindow Thumbs(nullptr, true, VersionText(0, 6, 5, false), 192);
  const QImage A = Render(Viewer), B = Render(Thumbs);
  const QRect NameArea(36, 12, 82, 17);
  EXPECT_NE(A.copy(NameArea), B.copy(NameArea));
  QImage MaskedA = A, MaskedB = B;
  for (QImage* I : {&MaskedA, &MaskedB})
    for (int Y = NameArea.top(); Y <= NameArea.bottom(); ++Y)
      for (int X = NameArea.left(); X <= NameArea.right(); ++X)
        I->setPixel(X, Y, 0);
  EXPECT_EQ(MaskedA, MaskedB) << "nothing else differs";
  EXPECT_EQ(NameBitmap(true).size(), QSize(82, 17));
  EXPECT_EQ(LogoBitmap().size(), QSize(143, 44));
  EXPECT_EQ(MarkBitmap().size(), QSize(22, 48));
  EXPECT_EQ(AndPicture().size(), QSize(22, 50));
}

TEST(AboutWindow, BetaMovesTheVersionLeft) {
  TAboutWindow Release(nullptr, false, VersionText(0, 6, 5, false), VersionX(false));
  TAboutWindow Beta(nullptr, false, VersionText(0, 6, 5, true), VersionX(true));
  const QImage A = Render(Release), B = Render(Beta);
  // The version line's leftmost dark pixel.
  auto Left = [](const QImage& I) {
    for (int X = 120; X < ClientWidth; ++X)
      for (int Y = 16; Y < 30; ++Y)
        if (qGray(I.pixel(X, Y)) < 100)
          return X;
    return -1;
  };
  EXPECT_GE(Left(A), 192);
  EXPECT_LT(Left(A), 200);
  EXPECT_GE(Left(B), 164);
  EXPECT_LT(Left(B), 172);
}

TEST(AboutWindow, PointerMakesLinksHotAndCursorFollows) {
  TAboutWindow W(nullptr, false, VersionText(0, 6, 5, false), 192);
  const QRect MailLine(112, 172, 90, 17), HomeLine(112, 189, 90, 17);
  EXPECT_EQ(CountColor(Render(W), QRect(112, 172, 90, 34), 0x4040FF), 0);

  SendMouse(W, QEvent::MouseMove, 150, 180);
  EXPECT_EQ(W.HotLink(), lkMail);
  EXPECT_EQ(W.cursor().shape(), Qt::PointingHandCursor);
  QImage I = Render(W);
  EXPECT_GT(CountColor(I, MailLine, 0x4040FF), 0);
  EXPECT_EQ(CountColor(I, HomeLine, 0x4040FF), 0);
  EXPECT_GT(CountColor(I, HomeLine, 0x000080), 0);

  // Straight onto the other link: both recolor, the hand stays.
  SendMouse(W, QEvent::MouseMove, 150, 195);
  EXPECT_EQ(W.HotLink(), lkHomepage);
  EXPECT_EQ(W.cursor().shape(), Qt::PointingHandCursor);
  I = Render(W);
  EXPECT_EQ(CountColor(I, MailLine, 0x4040FF), 0);
  EXPECT_GT(CountColor(I, HomeLine, 0x4040FF), 0);

  SendMouse(W, QEvent::MouseMove, 111, 180);
  EXPECT_EQ(W.HotLink(), lkNone);
  EXPECT_EQ(W.cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(CountColor(Render(W), QRect(112, 172, 90, 34), 0x4040FF), 0);
}

class TUrlRecorder : public QObject {
  Q_OBJECT
public:
  QList<QUrl> Urls;
public slots:
  void Open(const QUrl& Url) { Urls.push_back(Url); }
};

TEST(AboutWindow, LeftClickOnALinkOpensIt) {
  TUrlRecorder Recorder;
  for (const char* Scheme : {"mailto", "https", "http"})
    QDesktopServices::setUrlHandler(QString::fromLatin1(Scheme), &Recorder, "Open");
  TAboutWindow W(nullptr, false, VersionText(0, 6, 5, false), 192);
  SendMouse(W, QEvent::MouseButtonPress, 111, 180, Qt::LeftButton);
  SendMouse(W, QEvent::MouseButtonPress, 150, 180, Qt::RightButton);
  EXPECT_TRUE(Recorder.Urls.isEmpty()) << "outside a link, or not the left button";
  SendMouse(W, QEvent::MouseButtonPress, 150, 180, Qt::LeftButton);
  SendMouse(W, QEvent::MouseButtonPress, 200, 206, Qt::LeftButton);
  for (const char* Scheme : {"mailto", "https", "http"})
    QDesktopServices::unsetUrlHandler(QString::fromLatin1(Scheme));
  ASSERT_EQ(Recorder.Urls.size(), 2);
  EXPECT_EQ(Recorder.Urls[0], LinkUrl(lkMail));
  EXPECT_EQ(Recorder.Urls[1], LinkUrl(lkHomepage));
}

TEST(AboutWindow, EnterAndEscapeClose) {
  for (auto [Key, Result] : {std::pair{Qt::Key_Return, int(QDialog::Accepted)},
                             {Qt::Key_Enter, int(QDialog::Accepted)},
                             {Qt::Key_Escape, int(QDialog::Rejected)}}) {
    TAboutWindow W(nullptr, false, VersionText(0, 6, 5, false), 192);
    W.show();
    QTest::keyClick(&W, Qt::Key_Space);
    EXPECT_TRUE(W.isVisible()) << "other keys leave it open";
    QTest::keyClick(&W, Key);
    EXPECT_FALSE(W.isVisible()) << Key;
    EXPECT_EQ(W.result(), Result) << Key;
  }
}

TEST(AboutLibrary, ShowsItsWindowModallyAndIsGoneAfterTheUnload) {
  ASSERT_FALSE(LibraryMapped());
  void* Handle = dlopen(QUENNA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(Handle, nullptr) << dlerror();
  const auto Show = reinterpret_cast<TAboutWndProc>(dlsym(Handle, "AboutWnd"));
  ASSERT_NE(Show, nullptr);
  EXPECT_EQ(dlsym(Handle, "_ZN6Quenna11VersionTextEhhhb"), nullptr) << "only the one export";

  QWidget Owner;
  Owner.show();
  const qsizetype TopLevels = QApplication::topLevelWidgets().size();
  QString Title;
  QSize Size;
  QWidget* Parent = nullptr;
  int Calls = 0;
  for (uint8_t Kind : {0, 1}) {
    OnModalWindow([&](QWidget& W) {
      Title = W.windowTitle();
      Size = W.size();
      Parent = W.parentWidget();
      QTest::keyClick(&W, Qt::Key_Escape);
    });
    Show(&Owner, Kind, 0, 6, 5, Kind);
    ++Calls;
    EXPECT_EQ(Title, "About");
    EXPECT_EQ(Size, QSize(284, 338));
    EXPECT_EQ(Parent, &Owner);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), TopLevels) << "the window is gone when the call returns";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
  // Without an owner it still shows and closes.
  Title.clear();
  OnModalWindow([&](QWidget& W) {
    Title = W.windowTitle();
    W.close();
  });
  Show(nullptr, 0, 0, 6, 5, 0);
  EXPECT_EQ(Title, "About");
  EXPECT_EQ(Calls, 2);

  dlclose(Handle);
  QCoreApplication::processEvents();
  EXPECT_FALSE(LibraryMapped()) << "nothing of the library keeps it loaded";
}

#include "AboutWindowTest.moc"
