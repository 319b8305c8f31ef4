#include "Main.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <new>
#include <pwd.h>
#include <unistd.h>

#include "BarPopupMenu.h"
#include "DsPaintBox.h"
#include "DsVCL.h"
#include "FullScreen.h"
#include "ImgFormats.h"
#include "Info.h"
#include "KeyMap.h"
#include "List.h"
#include "Settings.h"
#include "WaitCursor.h"

TPelorinMain* PelorinMain = nullptr;

std::function<int(const QString&, int)> MessageKindHook;
std::function<bool(TColor&)> ChooseColorHook;

std::function<bool(const QString&, const QStringList&)> StartDetached =
    [](const QString& Program, const QStringList& Arguments) { return QProcess::startDetached(Program, Arguments); };

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

namespace {

constexpr QRgb Color(TColor C) { return qRgb(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF); }

// The four glyphs of the popups: 1:1, enlarge, reduce, about.
QIcon Glyph(int Index) {
  QPixmap Pix(16, 16);
  Pix.fill(Qt::transparent);
  QPainter P(&Pix);
  P.setRenderHint(QPainter::Antialiasing);
  P.setPen(QPen(QColor(0, 0, 128), 1.6));
  if (Index < 3) {
    P.setBrush(QColor(220, 235, 255));
    P.drawEllipse(QRectF(1.5, 1.5, 10, 10));
    P.drawLine(QPointF(10.5, 10.5), QPointF(15, 15));
    if (Index == 0) {
      P.drawLine(QPointF(4.5, 5.5), QPointF(8.5, 5.5));
      P.drawLine(QPointF(4.5, 7.5), QPointF(8.5, 7.5));
    } else {
      P.drawLine(QPointF(4, 6.5), QPointF(9, 6.5));
      if (Index == 1)
        P.drawLine(QPointF(6.5, 4), QPointF(6.5, 9));
    }
  } else {
    P.setBrush(QColor(255, 255, 200));
    P.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    P.setFont(QFont(QStringLiteral("Arial"), 8, QFont::Bold));
    P.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
  }
  return QIcon(Pix);
}

void StylePopup(TBarPopupMenu* M, const QString& SideText, int BarWidth) {
  M->SetVerticalText(SideText);
  M->SetBarWidth(BarWidth);
  M->SetGradientStart(QColor(Color(8323135)));
  M->SetGradientEnd(QColor(Color(4129023)));
  QFont F(QStringLiteral("Arial"));
  F.setPixelSize(19);
  F.setBold(true);
  M->SetVerticalFont(F);
  M->SetVerticalFontColor(QColor(0xC0, 0xC0, 0xC0));
}

const char* const NoImageItems[] = {"OpenAgainItem", "ClpbrdCopyToItem", "SaveItem",     "PrintItem",
                                    "ZoomItem",      "WorkItem",         "SignItem",     "TuneItem",
                                    "FilterItem",    "CropItem",         "ColorTblItem", "ResizeItem",
                                    "MirrorItem",    "RotateItem",       "InvertItem",   "ConvertItem"};

} // namespace

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
  ImgBox->OnPaint = [this](QPainter& P, const QRect& R) { ImgBoxPaint(P, R); };
  ImgBox->OnMouseDown = [this](QMouseEvent* E) { ImgBoxMouseDown(E); };
  ImgBox->OnMouseMove = [this](QMouseEvent* E) { ImgBoxMouseMove(E); };
  ImgBox->OnMouseUp = [this](QMouseEvent* E) { ImgBoxMouseUp(E); };
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
  StartOpenFileServer();
}

TPelorinMain::~TPelorinMain() {
  if (PelorinMain == this)
    PelorinMain = nullptr;
}

void TPelorinMain::SetSideForms(TInfoForm* AInfo, TListForm* AList, TScreenForm* AScreen) {
  InfoForm = AInfo;
  ListForm = AList;
  ScreenForm = AScreen;
}

QAction* TPelorinMain::AddItem(QMenu* Menu, const QString& Name, const QString& Caption, const QString& Shortcut,
                               std::function<void()> Handler, bool Built, int Tag) {
  auto* A = new QAction(Caption, Menu);
  A->setObjectName(Name);
  A->setProperty("Tag", Tag);
  A->setProperty("Built", Built);
  if (!Shortcut.isEmpty()) {
    A->setShortcut(QKeySequence(Shortcut));
    A->setShortcutVisibleInContextMenu(true);
  }
  A->setEnabled(Built);
  if (Handler)
    connect(A, &QAction::triggered, this, [this, H = std::move(Handler)] { Guarded(H); });
  Menu->addAction(A);
  Items.insert(Name, A);
  return A;
}

QMenu* TPelorinMain::AddSubmenu(QMenu* Menu, const QString& Name, const QString& Caption) {
  QMenu* Sub = Menu->addMenu(Caption);
  Sub->menuAction()->setObjectName(Name);
  Sub->menuAction()->setProperty("Built", true);
  Sub->setSeparatorsCollapsible(false);
  Items.insert(Name, Sub->menuAction());
  return Sub;
}

void TPelorinMain::BuildMenus() {
  MainPopup = new TBarPopupMenu(this);
  WorkPopup = new TBarPopupMenu(this);
  StylePopup(MainPopup, QStringLiteral("Main Menu"), 28);
  StylePopup(WorkPopup, QStringLiteral("Workbench"), 29);
  connect(MainPopup, &QMenu::aboutToShow, this, [this] { MainPopupPopup(); });
  connect(WorkPopup, &QMenu::aboutToShow, this, [this] { WorkPopupPopup(); });
  const std::function<void()> None;
  QMenu* M = MainPopup;

  M->addSeparator();
  AddItem(
      M, "OpenItem", "&Open image...", "F2", [this] { OpenItemClick(); }, true);
  AddItem(
      M, "OpenAgainItem", "Open again", "F3", [this] { OpenAgainItemClick(); }, true);
  SetRule("OpenAgainItem", false);
  QMenu* Clip = AddSubmenu(M, "ClipboardItem", "Clip&board");
  AddItem(
      Clip, "ClpbrdCopyToItem", "copy to", "Ctrl+C", [this] { ClpbrdCopyToItemClick(); }, true);
  AddItem(
      Clip, "ClpbrdCopyFromItem", "copy from", "Ctrl+V", [this] { ClpbrdCopyFromItemClick(); }, true);
  AddItem(
      Clip, "ClpbrdMoveFromItem", "move from ", "Ctrl+M", [this] { ClpbrdMoveFromItemClick(); }, true);
  Clip->addSeparator();
  AddItem(
      Clip, "ClpbrdClearItem", "clear", "", [this] { ClpbrdClearItemClick(); }, true);
  QMenu* Twain = AddSubmenu(M, "TwainItem", "Twain");
  AddItem(Twain, "TwainAquireItem", "&acquire...", "", None, false);
  AddItem(Twain, "TwainSourceItem", "select source...", "", None, false);
  M->addSeparator();
  AddItem(
      M, "SaveItem", "&Save image...", "F4", [this] { SaveItemClick(); }, true);
  AddItem(M, "PrintItem", "&Print...", "Ctrl+P", None, false);
  M->addSeparator();
  AddItem(M, "InfoItem", "&Info", "", None, false);
  AddItem(M, "ListItem", "&List", "", None, false);
  QMenu* Launch = AddSubmenu(M, "LaunchItem", "Launch");
  AddItem(Launch, "FennickItem", "Fennick", "F5", None, false);
  Launch->addSeparator();
  AddItem(Launch, "LaunchItem1", "none", "F6", None, false, 1);
  AddItem(Launch, "LaunchItem2", "none", "F7", None, false, 2);
  AddItem(Launch, "LaunchItem3", "none", "F8", None, false, 3);
  Launch->addSeparator();
  AddItem(Launch, "ExploreItem", "Explore folder   ", "F9", None, false);
  M->addSeparator();
  AddItem(M, "FullScreenItem", "Full screen", "Space", None, false)->setCheckable(true);
  AddItem(
      M, "WindowFitItem", "Window &fit", "", [this] { WindowFit(); }, true);
  QMenu* Zoom = AddSubmenu(M, "ZoomItem", "Zoom");
  auto* ZoomGroup = new QActionGroup(Zoom);
  struct TZoomStep {
    const char* Name;
    const char* Caption;
    int Tag;
  };
  static const TZoomStep Steps[] = {{"z81", "8 : 1  +", 7}, {"z71", "7 : 1", 6},  {"z61", "6 : 1", 5},
                                    {"z51", "5 : 1", 4},    {"z41", "4 : 1", 3},  {"z31", "3 : 1", 2},
                                    {"z21", "2 : 1", 1},    {"z11", "1 : 1", 0},  {"z12", "1 / 2", -1},
                                    {"z13", "1 / 3", -2},   {"z14", "1 / 4", -3}, {"z15", "1 / 5", -4},
                                    {"z16", "1 / 6", -5},   {"z17", "1 / 7", -6}, {"z18", "1 / 8   -", -7}};
  for (const TZoomStep& S : Steps) {
    QAction* A = AddItem(
        Zoom, S.Name, S.Caption, "", [this, Z = S.Tag] { SetZoom(Z); }, true, S.Tag);
    A->setCheckable(true);
    A->setIcon(Glyph(S.Tag == 0 ? 0 : S.Tag > 0 ? 1 : 2));
    ZoomGroup->addAction(A);
  }
  Item("z11")->setChecked(true);
  Zoom->setDefaultAction(Item("z11"));
  M->addSeparator();

  // The workbench twice: a submenu of the main popup and a popup of its own
  // whose items carry a W before the main popup's names.
  auto BuildWork = [&](QMenu* W, bool Own) {
    auto N = [Own](const char* Main, const char* Work) { return QString::fromLatin1(Own ? Work : Main); };
    QMenu* Tune = AddSubmenu(W, N("TuneItem", "WTuneItem"), "Tune");
    AddItem(Tune, N("TuneRgbItem", "WTuneRgbItem"), "Brightness / Contrast / Gamma...", "Ctrl+T", None, false);
    AddItem(Tune, N("TuneHslItem", "WTuneHslItem"), "Hue / Lightness / Saturation...", "Alt+T", None, false);
    AddItem(Tune, N("TuneHistoItem", "WTuneHistoItem"), "Histogram...", "Shift+T", None, false);
    QMenu* Filter = AddSubmenu(W, N("FilterItem", "WFilterItem"), "Filter");
    AddItem(Filter, N("FilterAverageItem", "WFilterAverageItem"), "Average...", "", None, false, 1);
    AddItem(Filter, N("FilterBlurItem", "WFilterBlurItem"), "Blur...", "", None, false, 2);
    AddItem(Filter, N("FilterGaussBlurItem", "WFilterGaussBlurItem"), "Gaussian Blur...  ", "", None, false, 3);
    AddItem(Filter, N("FilterBartlettBlurItem", "WFilterBartlettBlur"), "Bartlett Blur...", "", None, false, 4);
    Filter->addSeparator();
    AddItem(Filter, N("FilterSharpenItem", "WFilterSharpenItem"), "Sharpen...", "", None, false, 10);
    AddItem(Filter, N("FilterEdgeItem", "WFilterEdgeItem"), "Edge enhance...", "", None, false, 11);
    Filter->addSeparator();
    AddItem(Filter, N("FilterContourItem", "WFilterContourItem"), "Trace Contour...", "", None, false, 20);
    AddItem(Filter, N("FilterEmbossItem", "WFilterEmbossItem"), "Emboss...", "", None, false, 21);
    AddItem(Filter, N("FilterGlowItem", "WFilterGlowItem"), "Glow...", "", None, false, 22);
    Filter->addSeparator();
    AddItem(Filter, N("FilterSolarizeItem", "WFilterSolarizeItem"), "Solarize...", "", None, false, 50);
    AddItem(Filter, N("FilterPosterizeItem", "WFilterPosterizeItem"), "Posterize...", "", None, false, 51);
    AddItem(W, N("ColorTblItem", "WColorTblItem"), Own ? "Color table..." : "Color table...       ", "", None, false);
    AddItem(W, N("CropItem", "WCropItem"), "Cro&p...", "", None, false);
    AddItem(W, N("ResizeItem", "WResizeItem"), "&Resize...", "", None, false);
    W->addSeparator();
    AddItem(
        W, N("InvertItem", "WInvertItem"), "In&vert", "", [this] { InvertItemClick(); }, true);
    QMenu* Mirror = AddSubmenu(W, N("MirrorItem", "WMirrorItem"), "&Mirror");
    AddItem(
        Mirror, N("updown1", "updown2"), "up / down", "", [this] { MirrorUpDownItemClick(); }, true);
    AddItem(
        Mirror, N("leftright1", "leftright2"), "left / right", "", [this] { MirrorLeftRightItemClick(); }, true);
    QMenu* Rotate = AddSubmenu(W, N("RotateItem", "WRotateItem"), "R&otate");
    AddItem(
        Rotate, N("Rot90item", "N901"), "  90\u00B0", "", [this] { RotateClick(1); }, true, 1);
    AddItem(
        Rotate, N("Rot180item", "N1801"), "180\u00B0", "", [this] { RotateClick(2); }, true, 2);
    AddItem(
        Rotate, N("Ror270Item", "N2702"), "270\u00B0", "", [this] { RotateClick(3); }, true, 3);
    QMenu* Convert = AddSubmenu(W, N("ConvertItem", "WConvertItem"), "Convert to");
    AddItem(Convert, N("ConvGrayItem", "WConvGrayItem"), "&grayscales...", "", None, false);
    AddItem(Convert, N("ConvPalItem", "WConvPalItem"), "inde&xed colors...", "", None, false);
    AddItem(
        Convert, N("ConvRGBitem", "WConvRgbItem"), "RGB true color", "", [this] { ConvRgbItemClick(); }, true);
    W->addSeparator();
    AddItem(
        W, N("UndoEnabledItem", "WUndoEnabledItem"), Own ? "Undo Enabled      " : "Undo enabled", "",
        [this] { UndoEnabledItemClick(); }, true)
        ->setCheckable(true);
    AddItem(
        W, N("UndoItem", "WUndoItem"), "Undo", "Ctrl+Z", [this] { UndoItemClick(); }, true);
    AddItem(
        W, N("RedoItem", "WRedoItem"), "Redo", "Alt+Z", [this] { RedoItemClick(); }, true);
  };
  QMenu* Work = AddSubmenu(M, "WorkItem", "Workbench");
  BuildWork(Work, false);
  AddItem(M, "SignItem", "&Signature...", "", None, false);
  M->addSeparator();
  AddItem(M, "ConfigItem", "&Configuration...       ", "", None, false);
  QMenu* Help = AddSubmenu(M, "HelpItem", "Help");
  AddItem(Help, "HelpGeneralItem", "General", "F1", None, false);
  AddItem(Help, "HelpShortcutsItem", "Shortcuts", "Ctrl+F1", None, false);
  AddItem(Help, "DocItem", "Documentation     ", "Ctrl+D", None, false);
  Help->addSeparator();
  AddItem(Help, "About1", "About...", "Alt+F1", None, false)->setIcon(Glyph(3));
  AddItem(
      M, "QuitItem", "Quit", "Ctrl+Q", [this] { QuitItemClick(); }, true);
  M->addSeparator();

  WorkPopup->addSeparator();
  BuildWork(WorkPopup, true);
  WorkPopup->addSeparator();

  // The main popup's shortcuts work while the window has the focus; the
  // workbench popup repeats them and so adds none of its own.
  for (QAction* A : std::as_const(Items))
    if (!A->shortcut().isEmpty() && !A->objectName().startsWith(QLatin1Char('W')))
      addAction(A);
  for (auto It = Items.cbegin(); It != Items.cend(); ++It)
    Rules.insert(It.key(), It.value()->isEnabled());
  UpdateUndoItems();
}

QAction* TPelorinMain::Item(const QString& Name) const { return Items.value(Name); }

bool TPelorinMain::RuleEnabled(const QString& Name) const { return Rules.value(Name, false); }

void TPelorinMain::SetRule(const QString& Name, bool Enabled) {
  QAction* A = Item(Name);
  if (!A)
    return;
  Rules.insert(Name, Enabled);
  A->setEnabled(Enabled && A->property("Built").toBool());
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
    ListForm->move(Settings.ListLeft, Settings.ListTop);
  DrawColorGradients = Settings.Gradients;
  InstallMouseHandlers();
  ApplyBackground();
  OpenDialog.FilterIndex = Settings.OpenFilterIndex;
  SaveDialog.FilterIndex = Settings.SaveFilterIndex;
  Item("TwainItem")->setVisible(Settings.TwainEnabled);
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

void TPelorinMain::ShowSplash() {
  Image.reset();
  const QString Splash = ProgramDir + QStringLiteral("splash.png");
  if (QFileInfo::exists(Splash)) {
    try {
      std::unique_ptr<TImgReader> Reader = CreateReader(fmtPNG, Settings);
      Reader->Open(Splash.toStdString());
      Reader->CreateDib();
      std::unique_ptr<TDib> Dib = Reader->TakeDib();
      Reader->Read();
      Image = std::move(Dib);
    } catch (const std::exception&) {
      Image.reset();
    }
  }
  if (!Image) {
    Image = std::make_unique<TDib>(170, 50, pf24bit);
    Image->Fill(Settings.BackColor);
  }
  AdoptImage(QStringLiteral("Pelorin"));
  SourceKind = -1;
}

void TPelorinMain::AdoptImage(const QString& Caption) {
  ClearUndo();
  Transparency.Reset();
  HasTransparency = false;
  Image->Canvas = &Surface;
  const QSize Screen = screen() ? screen()->size() : QSize(1024, 768);
  Image->SetZoom(Settings.ZoomToFit ? FitZoom(Image->Width(), Image->Height(), Screen.width(), Screen.height()) : 0);
  ChooseTiling();
  CheckZoomItem(Image->Zoom());
  PaintEnabled = false;
  show();
  WindowFit();
  if (!isMaximized())
    FormResize();
  ImgBox->update();
  SourceKind = 0;
  SetFileName(Caption);
  Image->DetectGray();
  DrawImage(ImgBox->rect());
  if (ListForm)
    ListForm->RefreshList(QString(), false);
  MetaTitle.clear();
  MetaAuthor.clear();
  MetaRights.clear();
  UpdateConvertItems();
  PaintEnabled = true;
  NewImageShown();
}

void TPelorinMain::NewImageShown() {
  if (FullScreenShowing())
    ScreenForm->update();
  // Commands follow the image at once, not only when a popup opens.
  MainPopupPopup();
  WorkPopupPopup();
}

void TPelorinMain::SetFileName(const QString& Name) {
  FileName = Name;
  UpdateCaption();
}

void TPelorinMain::UpdateCaption() {
  // Only "/" separates folders here; ":" and "\\" are ordinary name characters.
  QString Caption = FileName.mid(FileName.lastIndexOf(QLatin1Char('/')) + 1);
  const int32_t Z = Image ? Image->Zoom() : 0;
  if (Z == 0)
    Caption += QStringLiteral(" [1:1]");
  else if (Z > 0)
    Caption += QStringLiteral(" [%1:1]").arg(Z + 1);
  else
    Caption += QStringLiteral(" [1/%1]").arg(1 - Z);
  if (HasTransparency)
    Caption += QStringLiteral(" alpha ") + (ColorTblShowing ? QStringLiteral("edit")
                                            : AlphaShown    ? QStringLiteral("on")
                                                            : QStringLiteral("off"));
  setWindowTitle(Caption);
}

void TPelorinMain::UpdateConvertItems() {
  const bool Gray = Image && Image->IsGray;
  const int Format = Image ? Image->PixelFormat() : pf24bit;
  const bool Rules3[3] = {!Gray, Format > pf8bit && !Gray, Format != pf24bit && Format != pf32bit};
  const char* const Main[3] = {"ConvGrayItem", "ConvPalItem", "ConvRGBitem"};
  const char* const Work[3] = {"WConvGrayItem", "WConvPalItem", "WConvRgbItem"};
  for (int I = 0; I < 3; ++I) {
    SetRule(Main[I], Rules3[I]);
    SetRule(Work[I], Rules3[I]);
  }
  Edited = false;
}

void TPelorinMain::ApplyTransparency() {
  if (Image && Transparency.TransparentIndex >= 0 && Transparency.TransparentIndex < Image->PaletteSize()) {
    HasTransparency = true;
    TColor C;
    if (Settings.ApplyAlpha)
      C = Transparency.BackIndex >= 0 && Transparency.BackIndex < Image->PaletteSize() ? TColor(Transparency.BackColor)
                                                                                       : TColor(Settings.BackColor);
    else
      C = TColor(Transparency.TransparentColor);
    Image->SetPaletteColor(Transparency.TransparentIndex, C);
  } else {
    HasTransparency = false;
  }
}

bool TPelorinMain::RefreshAlpha(bool Force) {
  if (!Image)
    return false;
  bool Reloaded = false;
  if (Transparency.TransparentIndex < 0) {
    if (HasTransparency && (Force || bool(Settings.ApplyAlpha) != AlphaShown) && !Edited && SourceKind == 1) {
      OpenAgainItemClick();
      Reloaded = true;
    }
    AlphaShown = Settings.ApplyAlpha;
  } else {
    AlphaShown = Settings.ApplyAlpha;
    ApplyTransparency();
    UpdateCaption();
    Redraw();
  }
  return Reloaded;
}

void TPelorinMain::ApplyBackground() {
  const QColor Back(Color(Settings.BackColor));
  if (palette().color(QPalette::Window) != Back) {
    QPalette Pal = palette();
    Pal.setColor(QPalette::Window, Back);
    setPalette(Pal);
    if (ScreenForm) {
      ScreenForm->SetBackground(Back);
      if (ScreenForm->isVisible())
        ScreenForm->update();
    }
    if (!RefreshAlpha(true) && isVisible())
      update();
  } else {
    RefreshAlpha(false);
  }
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

bool TPelorinMain::FilterAllowed() const {
  if (!Image)
    return false;
  const int F = Image->PixelFormat();
  if (F == pf1bit)
    return false;
  if ((F == pf4bit || F == pf8bit) && !Image->IsGray)
    return false;
  return true;
}

void TPelorinMain::MainPopupPopup() {
  const bool Full = FullScreenShowing();
  Item("FullScreenItem")->setChecked(Full);
  UpdateClipboardItems();
  if (SourceKind < 0 || !Image) {
    for (const char* Name : NoImageItems)
      SetRule(Name, false);
    return;
  }
  if (SourceKind != 1)
    SetRule("OpenAgainItem", false);
  for (const char* Name : {"ClpbrdCopyToItem", "SaveItem", "PrintItem", "WindowFitItem", "WorkItem", "SignItem",
                           "MirrorItem", "RotateItem", "InvertItem"})
    SetRule(Name, true);
  for (const char* Name : {"ZoomItem", "CropItem", "ResizeItem", "ConvertItem"})
    SetRule(Name, !Full);
  SetRule("TuneItem", !Full && Image->PixelFormat() > pf1bit);
  SetRule("TuneHslItem", !Image->IsGray);
  SetRule("FilterItem", !Full && FilterAllowed());
  SetRule("ColorTblItem", !Full && Image->PaletteSize() > 0);
}

void TPelorinMain::WorkPopupPopup() {
  const bool Full = FullScreenShowing();
  const bool Open = Image && SourceKind >= 0;
  for (const char* Name : {"WResizeItem", "WCropItem", "WConvertItem"})
    SetRule(Name, !Full);
  SetRule("WTuneItem", !Full && Open && Image->PixelFormat() > pf1bit);
  SetRule("WTuneHslItem", Open && !Image->IsGray);
  SetRule("WFilterItem", !Full && FilterAllowed());
  SetRule("WColorTblItem", !Full && Open && Image->PaletteSize() > 0);
  for (const char* Name : {"WMirrorItem", "WRotateItem", "WInvertItem"})
    SetRule(Name, true);
}

void TPelorinMain::ShowPopup(Qt::KeyboardModifiers Shift, const QPoint& ScreenPos) {
  if (ModalLock)
    return;
  if ((Shift & Qt::ShiftModifier) && Image && SourceKind >= 0)
    WorkPopup->popup(ScreenPos);
  else
    MainPopup->popup(ScreenPos);
}

void TPelorinMain::keyPressEvent(QKeyEvent* E) {
  if (KeyBinding(E->key(), E->modifiers()).Action == kaNone) {
    QWidget::keyPressEvent(E);
    return;
  }
  Guarded([&] { FormKeyDown(E->key(), E->modifiers()); });
}

void TPelorinMain::QuitItemClick() { close(); }

void TPelorinMain::InvertItemClick() {
  if (ModalLock || !Image)
    return;
  TWaitCursor Wait;
  TakeSnapshot();
  Image->Invert();
  Redraw();
}

void TPelorinMain::MirrorUpDownItemClick() {
  if (ModalLock || !Image)
    return;
  TWaitCursor Wait;
  TakeSnapshot();
  Image->MirrorUpDown();
  Redraw();
}

void TPelorinMain::MirrorLeftRightItemClick() {
  if (ModalLock || !Image)
    return;
  TWaitCursor Wait;
  TakeSnapshot();
  Image->MirrorLeftRight();
  Redraw();
}

void TPelorinMain::RotateClick(int Tag) {
  if (ModalLock || !Image)
    return;
  TWaitCursor Wait;
  TakeSnapshot();
  PaintEnabled = false;
  Image->Rotate(90 * Tag);
  Image->SetZoom(Image->Zoom());
  ResetScrollRanges();
  PaintEnabled = true;
  Redraw();
}

void TPelorinMain::ConvRgbItemClick() {
  if (ModalLock || !Image)
    return;
  TWaitCursor Wait;
  TakeSnapshot();
  Image->ConvertTo24();
  UpdateConvertItems();
  NewImageShown();
  Redraw();
}

void TPelorinMain::ChooseTiling() {
  if (!Image)
    return;
  switch (Settings.TileMode) {
  case 0: Image->Tiled = false; break;
  case 2: Image->Tiled = true; break;
  default:
    Image->Tiled = int64_t(Image->RowBytes()) * Image->Height() > int64_t(Settings.TileThreshold) * 1024000;
    break;
  }
}

void TPelorinMain::CheckZoomItem(int32_t Z) {
  for (QAction* A : std::as_const(Items))
    if (A->isCheckable() && A->objectName().size() == 3 && A->objectName().startsWith(QLatin1Char('z')) &&
        A->property("Tag").toInt() == Z)
      A->setChecked(true);
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
  SetScrollRanges(Image->ZoomedWidth(), Image->ZoomedHeight());
  // Centred again in the room the bars leave.
  FormResize();
}

void TPelorinMain::FormResize() {
  if (!Image)
    return;
  const int Zw = Image->ZoomedWidth(), Zh = Image->ZoomedHeight();
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
  if (isMaximized() || isMinimized()) {
    SetScrollRanges(Image->ZoomedWidth(), Image->ZoomedHeight());
    FormResize();
    return;
  }
  PaintEnabled = false;
  SetScrollRanges(0, 0);
  QSize Want(Image->ZoomedWidth(), Image->ZoomedHeight());
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
  SetScrollRanges(Image->ZoomedWidth(), Image->ZoomedHeight());
  FormResize();
  PaintEnabled = true;
}

void TPelorinMain::ImgBoxPaint(QPainter& Painter, const QRect& Rect) {
  if (!Image || !(PaintEnabled || DrawNow))
    return;
  TRect Clip{Rect.left(), Rect.top(), Rect.right() + 1, Rect.bottom() + 1};
  // Enlarged, the stretch starts at the clip's edge: an edge inside a source
  // pixel would shift the repainted part against the rest of the image. The
  // painter still clips to what needs painting.
  if (const int32_t F = Image->Zoom() + 1; F > 1) {
    Clip.Left -= Clip.Left % F;
    Clip.Top -= Clip.Top % F;
    Clip.Right = std::min(Image->ZoomedWidth(), (Clip.Right + F - 1) / F * F);
    Clip.Bottom = std::min(Image->ZoomedHeight(), (Clip.Bottom + F - 1) / F * F);
  }
  Surface.Begin(&Painter, Clip);
  Image->Canvas = &Surface;
  Image->DrawZoomed();
  Surface.End();
  if (!FirstPaintReported && !Loading) {
    FirstPaintReported = true;
    if (qEnvironmentVariableIsSet("PELORIN_REPORT_FIRST_PAINT")) {
      timespec T;
      clock_gettime(CLOCK_REALTIME, &T);
      std::fprintf(stderr, "pelorin: first paint %lld.%09ld\n", static_cast<long long>(T.tv_sec), T.tv_nsec);
    }
  }
}

void TPelorinMain::DrawImage(const QRect& Rect) {
  if (!Image || !isVisible())
    return;
  DrawNow = true;
  ImgBox->repaint(Rect);
  DrawNow = false;
}

void TPelorinMain::Redraw() {
  if (FullScreenShowing())
    ScreenForm->update();
  else if (Image)
    DrawImage(ImgBox->rect());
}

void TPelorinMain::closeEvent(QCloseEvent* E) {
  FormClose();
  QWidget::closeEvent(E);
}

void TPelorinMain::FormClose() {
  if (Closed)
    return;
  Closed = true;
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
  SaveSettings();
  if (InfoForm)
    InfoForm->close();
  if (ListForm)
    ListForm->close();
  if (ScreenForm)
    ScreenForm->close();
}
