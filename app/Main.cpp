#include "Main.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <algorithm>
#include <new>
#include <pwd.h>
#include <unistd.h>

#include "ColorTbl.h"
#include "Crop.h"
#include "DirWatch.h"
#include "DsPaintBox.h"
#include "DsVCL.h"
#include "FullScreen.h"
#include "ImgFormats.h"
#include "Info.h"
#include "KeyMap.h"
#include "List.h"
#include "Prefetch.h"
#include "Progress.h"
#include "StdConvert.h"
#include "WorkerProgress.h"
#include "Settings.h"

TPelorinMain* PelorinMain = nullptr;

std::function<int(const QString&, int)> MessageKindHook;

std::function<bool(TColor&)> ChooseColorHook;

// Started in its own folder, where a program finds the files it ships with.
std::function<bool(const QString&, const QStringList&)> StartDetached = [](const QString& Program,
                                                                           const QStringList& Arguments) {
  return QProcess::startDetached(Program, Arguments, QFileInfo(Program).absolutePath());
};

int ShowMessageKind(const QString& Text, int Kind) {
  if (MessageKindHook)
    return MessageKindHook(Text, Kind);
  static const char* const Words[] = {"Warning", "Error", "Information", "Confirm"};
  QString Caption = QStringLiteral("Pelorin");
  QMessageBox::Icon Icon = QMessageBox::Critical;
  if (Kind >= 0 && Kind <= 3) {
    Caption += QLatin1Char(' ') + QLatin1String(Words[Kind]);
    static const QMessageBox::Icon Icons[] = {QMessageBox::Warning, QMessageBox::Critical, QMessageBox::Information,
                                              QMessageBox::Question};
    Icon = Icons[Kind];
  }
  const auto Buttons = Kind == mkConfirm ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
  QMessageBox Box(Icon, Caption, Text, Buttons, PelorinMain);
  Box.setWindowModality(Qt::ApplicationModal);
  return Box.exec();
}

QString OpenFileServerName() {
  QString User = QString::fromLocal8Bit(qgetenv("USER"));
  if (User.isEmpty()) {
    if (const passwd* Pw = getpwuid(getuid()))
      User = QString::fromLocal8Bit(Pw->pw_name);
  }
  return QStringLiteral("Pelorin-") + User;
}

QString NormalizePath(const QString& Text) {
  if (Text.startsWith(QLatin1String("file:"))) {
    const QUrl Url(Text);
    if (Url.isValid() && Url.isLocalFile())
      return Url.toLocalFile();
    return Text;
  }
  if (Text.isEmpty())
    return Text;
  return QDir::cleanPath(QFileInfo(Text).absoluteFilePath());
}

int32_t FitZoom(int32_t Width, int32_t Height, int32_t ScreenWidth, int32_t ScreenHeight) {
  if (ScreenWidth <= 0 || ScreenHeight <= 0)
    return 0;
  return std::clamp(-std::max(Width / ScreenWidth, Height / ScreenHeight), -7, 7);
}

TPelorinMain::TPelorinMain(QWidget* Parent) : QWidget(Parent) {
  PelorinMain = this;
  QFont F(QStringLiteral("MS Sans Serif"));
  F.setPixelSize(14);
  setFont(F);
  setAutoFillBackground(true);
  QPalette Pal = palette();
  Pal.setColor(QPalette::Window, Qt::black);
  setPalette(Pal);
  setFocusPolicy(Qt::StrongFocus);

  ImgBox = new TDsPaintBox(this);
  QFont BoxFont(QStringLiteral("Arial"));
  BoxFont.setPointSize(9);
  ImgBox->setFont(BoxFont);
  ImgBox->setGeometry(0, 0, 0, 0);
  ImgBox->DevicePixels = true;
  ImgBox->OnPaint = [this](QPainter& P, const QRect& R) { ImgBoxPaint(P, R); };
  ImgBox->OnMouseDown = [this](QMouseEvent* E) { ImgBoxMouseDown(E); };
  ImgBox->OnMouseMove = [this](QMouseEvent* E) {
    ImgBoxMouseMove(E);
    const QPointF P = E->position();
    ShowPixelAt(&P);
  };
  ImgBox->OnMouseUp = [this](QMouseEvent* E) { ImgBoxMouseUp(E); };
  ImgBox->OnMouseLeave = [this] {
    MarkColorEntry(nullptr);
    ShowPixelAt(nullptr);
  };
  // Moves without a button feed the pixel readout and the color table.
  ImgBox->setMouseTracking(true);
  ImgBox->OnMouseWheel = [this](QWheelEvent* E) { FormMouseWheel(E); };
  HorzScrollBar = new QScrollBar(Qt::Horizontal, this);
  VertScrollBar = new QScrollBar(Qt::Vertical, this);
  HorzScrollBar->setSingleStep(8);
  VertScrollBar->setSingleStep(8);
  HorzScrollBar->hide();
  VertScrollBar->hide();
  // The square between the two bars, which the image must not show through.
  ScrollCorner = new QWidget(this);
  ScrollCorner->setAutoFillBackground(true);
  ScrollCorner->setBackgroundRole(QPalette::Button);
  ScrollCorner->hide();
  connect(HorzScrollBar, &QScrollBar::valueChanged, this, [this] { FormResize(); });
  connect(VertScrollBar, &QScrollBar::valueChanged, this, [this] { FormResize(); });

  // FormCreate
  Transparency.Reset();
  resize(0, 0);
  ProgramDir = QDir(QCoreApplication::applicationDirPath()).absolutePath() + QLatin1Char('/');
  LoadSettings();
  move(Settings.MainLeft, Settings.MainTop);
  setAcceptDrops(true);
  BuildMenus();
  ApplyUndoSetting();
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] { UpdateClipboardItems(); });
  MetaTitle.clear();
  MetaAuthor.clear();
  MetaRights.clear();
  DirWatch = std::make_unique<TDirWatch>(this, [this] { FolderChanged(); });
  Prefetcher = std::make_unique<TPrefetcher>();
  StartOpenFileServer();
}

TPelorinMain::~TPelorinMain() {
  // Before anything its notice could reach goes away.
  DirWatch.reset();
  Prefetcher.reset();
  if (PelorinMain == this)
    PelorinMain = nullptr;
}

void TPelorinMain::SetSideForms(TInfoForm* AInfo, TListForm* AList, TScreenForm* AScreen) {
  InfoForm = AInfo;
  ListForm = AList;
  ScreenForm = AScreen;
  if (ListForm)
    ListForm->SetHost(this);
  BindInfoForm();
  BindScreenForm();
}

void TPelorinMain::Guarded(const std::function<void()>& Command) {
  try {
    Command();
  } catch (const std::exception& E) {
    AppException(E);
  }
}

void TPelorinMain::AppException(const std::exception& E) {
  if (dynamic_cast<const std::bad_alloc*>(&E))
    ShowMessageKind(QStringLiteral("Out of memory"), mkError);
  else
    ShowMessageKind(QString::fromUtf8(E.what()), mkError);
}

void TPelorinMain::StartOpenFileServer() {
  const QString Name = OpenFileServerName();
  OpenFileServer = new QLocalServer(this);
  OpenFileServer->setSocketOptions(QLocalServer::UserAccessOption);
  if (!OpenFileServer->listen(Name)) {
    // A name left by an instance that ended without closing is taken over;
    // one that answers belongs to a running instance and stays its own.
    QLocalSocket Probe;
    Probe.connectToServer(Name);
    if (Probe.waitForConnected(200))
      return;
    QLocalServer::removeServer(Name);
    if (!OpenFileServer->listen(Name))
      return;
  }
  connect(OpenFileServer, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* Socket = OpenFileServer->nextPendingConnection()) {
      Socket->setParent(this);
      auto Data = std::make_shared<QByteArray>();
      // At most the limit in characters of four UTF-8 bytes each.
      constexpr qsizetype MaxBytes = 4 * OpenFileNameLimit;
      connect(Socket, &QLocalSocket::readyRead, Socket, [Socket, Data] {
        if (!Socket->isOpen() || Socket->bytesAvailable() <= 0)
          return;
        Data->append(Socket->read(MaxBytes - Data->size()));
        if (Data->size() >= MaxBytes)
          Socket->abort();
      });
      connect(Socket, &QLocalSocket::disconnected, this, [this, Socket, Data] {
        if (Socket->isOpen() && Socket->bytesAvailable() > 0)
          Data->append(Socket->read(MaxBytes - Data->size()));
        Socket->deleteLater();
        const QString Name = QString::fromUtf8(*Data).left(OpenFileNameLimit);
        Guarded([&] { WndProc(WM_OPENFILE, Name); });
      });
    }
  });
}

void TPelorinMain::WndProc(uint32_t Msg, const QString& Param) {
  if (Msg != WM_OPENFILE || ModalLock || Param.isEmpty())
    return;
  if (isMinimized())
    showNormal();
  if (!FullScreenShowing()) {
    show();
    raise();
    activateWindow();
  }
  LoadImage(Param, false);
}

void TPelorinMain::DropFiles(const QStringList& Names) {
  if (ModalLock || Names.isEmpty())
    return;
  const QString Name = Names.first().left(OpenFileNameLimit);
  if (FormatOfFile(Name.toStdString()) != fmtUnknown)
    LoadImage(Name, false);
  else
    ShowMessageKind(QStringLiteral("File type not supported:\n") + Name, mkInformation);
}

void TPelorinMain::dragEnterEvent(QDragEnterEvent* E) {
  if (!ModalLock && E->mimeData()->hasUrls())
    E->acceptProposedAction();
}

void TPelorinMain::dropEvent(QDropEvent* E) {
  QStringList Names;
  for (const QUrl& Url : E->mimeData()->urls())
    if (Url.isLocalFile())
      Names << Url.toLocalFile();
  E->acceptProposedAction();
  // The drop source waits until the drop returns: open afterwards.
  QMetaObject::invokeMethod(
      this, [this, Names] { Guarded([&] { DropFiles(Names); }); }, Qt::QueuedConnection);
}

void TPelorinMain::Start(const QStringList& Params) {
  OpenDialog.InitialDir = QString::fromStdString(Settings.OpenFolder.Text());
  SaveDialog.InitialDir = QString::fromStdString(Settings.SaveFolder.Text());
  if (InfoForm)
    InfoForm->move(Settings.InfoLeft, Settings.InfoTop);
  if (ListForm)
    ListForm->RestoreGeometry();
  DrawColorGradients = Settings.Gradients;
  InstallMouseHandlers();
  ApplyBackground();
  OpenDialog.FilterIndex = Settings.OpenFilterIndex;
  SaveDialog.FilterIndex = Settings.SaveFilterIndex;
  Item("TwainItem")->setVisible(Settings.TwainEnabled);
  if (Settings.TwainEnabled)
    TwainStart();
  if (Params.isEmpty()) {
    if (Settings.AutoOpen)
      Guarded([this] { OpenItemClick(); });
    if (!Image)
      ShowSplash();
  } else {
    Guarded([&] { LoadImage(NormalizePath(Params.first()), false); });
    const QString Self = QCoreApplication::applicationFilePath();
    for (qsizetype I = 1; I < Params.size(); ++I)
      StartDetached(Self, {Params[I]});
  }
  if (!Image)
    close();
}

void TPelorinMain::BeginModal() {
  ModalLock = true;
  setAcceptDrops(false);
  ListHiddenByModal = ListForm && ListForm->isVisible();
  if (ListHiddenByModal)
    ListForm->hide();
}

void TPelorinMain::EndModal() {
  ModalLock = false;
  setAcceptDrops(true);
  if (ListHiddenByModal && ListForm)
    ListForm->show();
  ListHiddenByModal = false;
}

bool TPelorinMain::FullScreenShowing() const { return ScreenForm && ScreenForm->isVisible(); }

void TPelorinMain::keyPressEvent(QKeyEvent* E) {
  // The crop frame takes keys that mean nothing to the window otherwise.
  if (KeyBinding(E->key(), E->modifiers()).Action == kaNone && CropForm.isNull()) {
    QWidget::keyPressEvent(E);
    return;
  }
  Guarded([&] { FormKeyDown(E->key(), E->modifiers()); });
}

int TPelorinMain::ClientWidth() const { return width() - (VertScrollBar->isVisible() ? VertScrollBar->width() : 0); }

int TPelorinMain::ClientHeight() const { return height() - (HorzScrollBar->isVisible() ? HorzScrollBar->height() : 0); }

void TPelorinMain::SetScrollRanges(int W, int H) {
  HorzRange = W;
  VertRange = H;
  const int Bw = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  bool NeedH = HorzRange > width(), NeedV = VertRange > height();
  NeedH = HorzRange > width() - (NeedV ? Bw : 0);
  NeedV = VertRange > height() - (NeedH ? Bw : 0);
  const int Cw = width() - (NeedV ? Bw : 0), Ch = height() - (NeedH ? Bw : 0);
  const QSignalBlocker BlockH(HorzScrollBar), BlockV(VertScrollBar);
  HorzScrollBar->setGeometry(0, height() - Bw, Cw, Bw);
  VertScrollBar->setGeometry(width() - Bw, 0, Bw, Ch);
  HorzScrollBar->setRange(0, std::max(0, HorzRange - Cw));
  HorzScrollBar->setPageStep(std::max(1, Cw));
  VertScrollBar->setRange(0, std::max(0, VertRange - Ch));
  VertScrollBar->setPageStep(std::max(1, Ch));
  HorzScrollBar->setVisible(NeedH);
  VertScrollBar->setVisible(NeedV);
  ScrollCorner->setGeometry(Cw, Ch, Bw, Bw);
  ScrollCorner->setVisible(NeedH && NeedV);
}

void TPelorinMain::ResetScrollRanges() {
  // The bars of the old size must not decide whether the new one needs them.
  SetScrollRanges(0, 0);
  FormResize();
  const QSize Box = ImgBox->ScaleFor(*Image).BoxSize();
  SetScrollRanges(Box.width(), Box.height());
  // Centred again in the room the bars leave.
  FormResize();
}

void TPelorinMain::FormResize() {
  if (!Image)
    return;
  const TViewScale Scale = ImgBox->ScaleFor(*Image);
  const int Zw = Scale.BoxSize().width(), Zh = Scale.BoxSize().height();
  ImgBox->DeviceContent = Scale.DeviceSize();
  const int X = std::max(0, (ClientWidth() - Zw) / 2) - (HorzScrollBar->isVisible() ? HorzScrollBar->value() : 0);
  const int Y = std::max(0, (ClientHeight() - Zh) / 2) - (VertScrollBar->isVisible() ? VertScrollBar->value() : 0);
  ImgBox->setGeometry(X, Y, Zw, Zh);
  HorzScrollBar->raise();
  ScrollCorner->raise();
  VertScrollBar->raise();
}

void TPelorinMain::resizeEvent(QResizeEvent* E) {
  QWidget::resizeEvent(E);
  SetScrollRanges(HorzRange, VertRange);
  FormResize();
}

void TPelorinMain::WindowFit() {
  if (!Image)
    return;
  const QSize Box = ImgBox->ScaleFor(*Image).BoxSize();
  if (isMaximized() || isMinimized()) {
    SetScrollRanges(Box.width(), Box.height());
    FormResize();
    return;
  }
  PaintEnabled = false;
  SetScrollRanges(0, 0);
  QSize Want = Box;
  if (QScreen* S = screen()) {
    // The system keeps the window on the screen: the client area is at most
    // what remains of the available area beside the frame.
    const QRect Avail = S->availableGeometry();
    const QRect Frame = frameGeometry(), Client = geometry();
    const int Fw = std::max(0, Frame.width() - Client.width()), Fh = std::max(0, Frame.height() - Client.height());
    Want = Want.boundedTo(QSize(Avail.width() - Fw, Avail.height() - Fh));
    resize(Want.expandedTo(QSize(1, 1)));
    QRect F = frameGeometry();
    F.setSize(QSize(Want.width() + Fw, Want.height() + Fh));
    QPoint P = F.topLeft();
    P.setX(std::clamp(P.x(), Avail.left(), std::max(Avail.left(), Avail.right() + 1 - F.width())));
    P.setY(std::clamp(P.y(), Avail.top(), std::max(Avail.top(), Avail.bottom() + 1 - F.height())));
    if (P != Frame.topLeft())
      move(P);
  } else {
    resize(Want.expandedTo(QSize(1, 1)));
  }
  SetScrollRanges(Box.width(), Box.height());
  FormResize();
  PaintEnabled = true;
}

void TPelorinMain::closeEvent(QCloseEvent* E) {
  // A worker still reads the image; the window closes once it is done.
  if (WorkerRunning()) {
    E->ignore();
    return;
  }
  // An open conversion first puts the image back and ends the lock.
  if (ConvertForm)
    ConvertForm->reject();
  if (ColorTblForm)
    ColorTblForm->reject();
  if (CropForm)
    CropForm->reject();
  FormClose();
  QWidget::closeEvent(E);
}

void TPelorinMain::FormClose() {
  if (Closed)
    return;
  Closed = true;
  if (DirWatch)
    DirWatch->Stop();
  // Its kept images are of no use any more, nor is a read under way.
  Prefetcher.reset();
  TwainEnd();
  const bool WasFullScreen = FullScreenShowing();
  ClearUndo();
  Image.reset();
  Settings.OpenFolder.SetText(OpenDialog.InitialDir.left(255).toStdString());
  Settings.SaveFolder.SetText(SaveDialog.InitialDir.left(255).toStdString());
  Settings.OpenFilterIndex = uint8_t(std::clamp(OpenDialog.FilterIndex, 1, 255));
  Settings.SaveFilterIndex = uint8_t(std::clamp(SaveDialog.FilterIndex, 1, 255));
  Settings.MainLeft = frameGeometry().left();
  Settings.MainTop = frameGeometry().top();
  if (InfoForm) {
    Settings.InfoLeft = InfoForm->frameGeometry().left();
    Settings.InfoTop = InfoForm->frameGeometry().top();
  }
  if (ListForm)
    ListForm->StoreGeometry();
  SaveSettings();
  if (InfoForm)
    InfoForm->close();
  if (ListForm)
    ListForm->close();
  if (ScreenForm)
    ScreenForm->close();
  // The program ends with the last window that was showing; the main
  // window hidden behind full screen is not one.
  if (WasFullScreen)
    QCoreApplication::quit();
}
