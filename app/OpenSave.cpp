#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QWindow>
#include <filesystem>
#include <new>

#include "DirWatch.h"
#include "DsPaintBox.h"
#include "FullScreen.h"
#include "ImgFormats.h"
#include "List.h"
#include "LuvCtrl.h"
#include "Main.h"
#include "Prefetch.h"
#include "Progress.h"
#include "SafeFile.h"
#include "SaveOptions.h"
#include "Settings.h"
#include "Sign.h"
#include "WaitCursor.h"
#include "XImageRead.h"

namespace {

QString FolderOf(const QString& Name) { return QFileInfo(Name).absolutePath(); }

QString ErrorText(const std::exception& E) {
  if (dynamic_cast<const std::bad_alloc*>(&E))
    return QStringLiteral("Out of memory");
  return QString::fromUtf8(E.what());
}

// Runs its function when the scope ends, however it ends.
template <class F>
class TFinally {
public:
  explicit TFinally(F AFunc) : Func(std::move(AFunc)) {}
  ~TFinally() { Func(); }
  TFinally(const TFinally&) = delete;
  TFinally& operator=(const TFinally&) = delete;

private:
  F Func;
};

// The store for the rows of a LogLuv image, or null for other images and
// layouts it cannot keep.
std::unique_ptr<TLuvBuf> LuvRowsFor(const TImageFacts& F) {
  if (F.ColorFormat != cfLogLuv && F.ColorFormat != cfLogL)
    return nullptr;
  try {
    return std::make_unique<TLuvBuf>(F.Width, F.SourceSamples * F.SourceBits / 8, F.Height);
  } catch (const std::exception&) {
    return nullptr;
  }
}

} // namespace

void TPelorinMain::OpenItemClick() {
  if (ModalLock)
    return;
  QFileDialog Dialog(this, QStringLiteral("Open Image"), OpenDialog.InitialDir);
  Dialog.setFileMode(QFileDialog::ExistingFile);
  Dialog.setAcceptMode(QFileDialog::AcceptOpen);
  Dialog.setOption(QFileDialog::ReadOnly);
  QStringList Filters;
  for (const std::string& F : OpenFilters())
    Filters << QString::fromStdString(F);
  Dialog.setNameFilters(Filters);
  Dialog.selectNameFilter(Filters.value(std::clamp(OpenDialog.FilterIndex, 1, int(Filters.size())) - 1));
  if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
    return;
  OpenDialog.FilterIndex = int(Filters.indexOf(Dialog.selectedNameFilter())) + 1;
  if (OpenDialog.FilterIndex < 1)
    OpenDialog.FilterIndex = OpenFilterAll;
  Settings.OpenFilterIndex = uint8_t(OpenDialog.FilterIndex);
  const QString Name = Dialog.selectedFiles().first();
  QCoreApplication::processEvents();
  LoadImage(Name, false);
}

void TPelorinMain::OpenAgainItemClick() {
  if (ModalLock)
    return;
  LoadImage(FileName, true);
}

void TPelorinMain::LoadImage(const QString& Name, bool Reload) {
  PaintEnabled = false;
  TWaitCursor Wait;
  bool Done = false;
  const TFinally Always([&] {
    if (!Done && Image && !FullScreenShowing())
      Redraw();
    Wait.Release();
    if (Image) {
      PaintEnabled = true;
      if (FullScreenShowing())
        ScreenForm->update();
    }
  });

  const std::string Path = Name.toStdString();
  if (!CanRead(FormatOfFile(Path))) {
    Wait.Release();
    ShowMessageKind(QString::fromLatin1(NotSupportedText) + QStringLiteral(":\n") + Name, mkInformation);
    return;
  }
  TReadOptions Options = ReadOptionsOf(Settings);
  if (Settings.ShowProgress)
    Options.OnProgress = [this](TProgressStage Stage, int32_t Percent, const TRect& Rect, bool Draw) {
      LoadProgress(Stage, Percent, Rect, Draw);
    };
  // LogLuv rows are kept as read, so that the brightness window can render
  // them again; the buffer exists once the header told the layout.
  std::unique_ptr<TLuvBuf> LuvRows;
  const bool LuvWanted = Settings.LuvControl && !FullScreenShowing();
  if (LuvWanted)
    Options.OnLuvRow = [&LuvRows](std::span<const uint8_t> Row) {
      if (LuvRows)
        LuvRows->AddRow(Row);
    };
  // A neighbour read ahead is taken when the file is as it was then; what
  // else was being read ahead is not wanted any more.
  std::optional<TPrefetched> Ahead;
  if (Prefetcher) {
    Ahead = Prefetcher->Take(Path, Options);
    Prefetcher->Cancel();
    // The brightness window needs the LogLuv rows as stored.
    if (Ahead && LuvWanted && (Ahead->Read.Facts.ColorFormat == cfLogLuv || Ahead->Read.Facts.ColorFormat == cfLogL))
      Ahead.reset();
  }
  // The window takes the new buffer before its rows arrive, so that they can
  // be drawn as they come.
  bool DrawAtEnd = true;
  bool Shown = false;
  auto ShowBuffer = [&](std::unique_ptr<TDib>& Buffer, const TImageRead& Header) {
    Shown = true;
    MetaTitle = QString::fromStdString(Header.Texts.Title);
    MetaAuthor = QString::fromStdString(Header.Texts.Author);
    MetaRights = QString::fromStdString(Header.Texts.Rights);
    FileSize = Header.Facts.FileSize;
    FileDate = Header.Facts.FileDate;
    KeepFileFacts(Header, Header.Facts.IsGray);
    PlaceImage(std::move(Buffer), 1, Name);
    AlphaShown = Settings.ApplyAlpha;
    HasTransparency = Header.Facts.HasAlpha;
    if (LuvWanted)
      LuvRows = LuvRowsFor(Header.Facts);
    if (Settings.ShowProgress) {
      // Behind full screen the main window stays hidden: nothing to wait for.
      if (!FullScreenShowing())
        WaitUntilExposed();
      DrawAtEnd = Image->ZoomedWidth() < 109;
    }
    Loading = true;
  };
  TImageRead Read;
  if (Ahead) {
    ++FilesPrefetched;
    ShowBuffer(Ahead->Read.Dib, Ahead->Header);
    DrawAtEnd = true;
    Read = std::move(Ahead->Read);
  } else {
    ++FilesRead;
    Read = ReadImageFile(Path, Options, ShowBuffer);
  }
  // Without a buffer the shown image stays, as if the file could not be opened.
  if (!Shown)
    Read.ThrowFailure();
  Loading = false;
  QString ReadError;
  try {
    Read.ThrowFailure();
  } catch (const std::exception& E) {
    ReadError = ErrorText(E);
  }
  const TOrientationStep Turn = OrientationStep(Read.Orientation);
  if (Turn != TOrientationStep{})
    ApplyOrientation(Turn.Mirror, Turn.Angle);
  if (DrawAtEnd)
    DrawImage(ImgBox->rect());
  // The file list finds the file in its folder and enables reloading.
  if (!Reload && ListForm)
    ListForm->RefreshList(Name, false);
  else
    SetRule("OpenAgainItem", true);
  UpdateConvertItems();
  OpenDialog.InitialDir = FolderOf(Name);
  if (DirWatch)
    DirWatch->SetFolder(FolderOf(Name));
  if (Read.Transparency)
    Transparency = *Read.Transparency;
  if (Transparency.TransparentIndex < 0)
    Image->DetectGray();
  KeepFileFacts(Read, Image->IsGray);
  Done = true;
  NewImageShown();
  PrefetchNeighbours();
  Wait.Release();
  if (Settings.ShowWarnings && !Read.Warning.empty())
    ShowMessageKind(QString::fromStdString(Read.Warning), mkWarning);
  if (!ReadError.isEmpty())
    ShowMessageKind(ReadError, mkWarning);
  if (LuvRows) {
    BeginModal();
    LuvForm = new TLuvCtrlForm(
        *this, std::move(LuvRows), [this] { return Image.get(); }, Turn, this);
    LuvForm->ShowBeside(*this);
  }
}

void TPelorinMain::PrefetchNeighbours() {
  if (!Prefetcher || Closed || !ListForm || SourceKind != 1)
    return;
  std::vector<std::filesystem::path> Paths;
  for (const QString& P : ListForm->NeighbourPaths())
    Paths.emplace_back(P.toStdString());
  if (Paths.empty())
    Prefetcher->Cancel();
  else
    Prefetcher->Request(Paths, ReadOptionsOf(Settings));
}

void TPelorinMain::WaitUntilExposed() {
  // Rows can be drawn as they arrive only once the window is on the screen,
  // which at start it is not yet. Nothing may change the image meanwhile.
  QWindow* Window = windowHandle();
  if (!Window || Window->isExposed())
    return;
  const bool WasLocked = ModalLock;
  ModalLock = true;
  QElapsedTimer T;
  T.start();
  while (!Window->isExposed() && T.elapsed() < 500)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
  ModalLock = WasLocked;
}

void TPelorinMain::LoadProgress(TProgressStage, int32_t, const TRect& Rect, bool Draw) {
  if (!Draw || !Image)
    return;
  const int32_t F = 1 - std::min(Image->Zoom(), 0);
  const QRect Rows(QPoint(Rect.Left / F, Rect.Top / F), QPoint((Rect.Right + F - 1) / F, (Rect.Bottom + F - 1) / F));
  // The rows count the view's device pixels.
  DrawImage(LogicalRect(Rows, ImgBox->devicePixelRatioF()));
}

void TPelorinMain::SaveItemClick() {
  if (ModalLock || !Image || !Item("SaveItem")->isEnabled())
    return;
  QString Proposed = QFileInfo(FileName).fileName();
  Proposed =
      Proposed.left(Proposed.indexOf(QLatin1Char('.')) < 0 ? Proposed.size() : Proposed.indexOf(QLatin1Char('.')));
  QStringList Filters;
  for (const std::string& F : SaveFiltersFor(*Image))
    Filters << QString::fromStdString(F);
  QFileDialog Dialog(this, QStringLiteral("Save Image"), SaveDialog.InitialDir);
  Dialog.setAcceptMode(QFileDialog::AcceptSave);
  Dialog.setFileMode(QFileDialog::AnyFile);
  Dialog.setNameFilters(Filters);
  Dialog.selectNameFilter(Filters.value(std::clamp(SaveDialog.FilterIndex, 1, int(Filters.size())) - 1));
  Dialog.selectFile(Proposed);
  if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
    return;
  QCoreApplication::processEvents();
  SaveDialog.FilterIndex = std::max<int>(1, int(Filters.indexOf(Dialog.selectedNameFilter())) + 1);
  Settings.SaveFilterIndex = uint8_t(SaveDialog.FilterIndex);
  const QString Name = Dialog.selectedFiles().first();
  if (SaveOptionsAccepted(SaveDialog.FilterIndex))
    SaveImageAs(Name, SaveDialog.FilterIndex, true);
}

bool TPelorinMain::SaveOptionsAccepted(int FilterIndex) {
  if (!Image)
    return false;
  // A format that refuses the image says so when saving, without asking
  // for its options first.
  const TFormatRow* Row = SaveFilterRow(FilterIndex);
  if (const char* Why = Row && Row->Refusal ? Row->Refusal(*Image) : nullptr; Why && *Why)
    return true;
  const std::unique_ptr<TSaveOptionsForm> Form = SaveOptionsFormFor(FilterIndex, *Image, Settings, this);
  return !Form || Form->exec() == QDialog::Accepted;
}

void TPelorinMain::SignItemClick() {
  if (ModalLock || !Image)
    return;
  TSignForm Form(Settings, MetaTitle, MetaAuthor, MetaRights, this);
  if (Form.exec() != QDialog::Accepted)
    return;
  MetaTitle = Form.Title;
  MetaAuthor = Form.Author;
  MetaRights = Form.Rights;
}

void TPelorinMain::SaveImageAs(const QString& ChosenName, int FilterIndex, bool AskToReplace) {
  if (!Image)
    return;
  TSaveChoice Choice = CreateWriter(FilterIndex, *Image, Settings, Transparency,
                                    {MetaTitle.toStdString(), MetaAuthor.toStdString(), MetaRights.toStdString()});
  if (!Choice.Writer) {
    QString Text = QString::fromStdString(Choice.Refusal);
    if (Choice.Refusal == NotSupportedText)
      Text += QStringLiteral(":\n") + ChosenName;
    ShowMessageKind(Text, mkInformation);
    return;
  }
  const QString Name = QString::fromStdString(NameWithExtension(ChosenName.toStdString(), Choice.Extension));
  // The dialog asked about the name it was given, not about the one with
  // the extension added.
  if (AskToReplace && Name != ChosenName && QFileInfo::exists(Name) &&
      ShowMessageKind(Name + QStringLiteral(" already exists.\nReplace it?"), mkConfirm) != QMessageBox::Yes)
    return;
  TWaitCursor Wait;
  SaveDialog.InitialDir = FolderOf(Name);
  TImgWriter& Writer = *Choice.Writer;
  Writer.OnProgress = [this](TProgressStage Stage, int32_t Percent, const TRect& Rect, bool Draw) {
    SaveProgress(Stage, Percent, Rect, Draw);
  };
  // The progress dialog lets messages run: nothing may replace the image
  // while it is being written.
  const bool WasLocked = ModalLock;
  ModalLock = true;
  ProgressForm = std::make_unique<TProgressForm>(this);
  const TFinally CloseProgress([this, WasLocked] {
    ProgressForm.reset();
    ModalLock = WasLocked;
  });
  const std::filesystem::path Path = Name.toStdString();
  // Written beside the target and renamed over it only when complete, so a
  // failed save leaves an existing file as it was and no partial one.
  SaveViaTempFile(Path, [&](TStream& S) {
    Writer.CreateStream(S);
    Writer.Write(*Image);
    if (!Writer.OK)
      throw EInvalidGraphicOperation(Writer.FormatMessage(ImgMsg::FileWrite));
  });
  // The info window describes the shown file, which this may have replaced.
  const bool ShownFile = SourceKind == 1 && QFileInfo(Name) == QFileInfo(FileName);
  if (SourceKind <= 0) {
    SourceKind = 1;
    SetFileName(Name);
    if (DirWatch)
      DirWatch->SetFolder(FolderOf(Name));
    std::error_code Ec;
    FileSize = int64_t(std::filesystem::file_size(Path, Ec));
    FileDate = std::filesystem::last_write_time(Path, Ec);
    KeepSavedFileFacts(Name, QString::fromStdString(Choice.FormatText));
    if (ListForm)
      ListForm->RefreshList(Name, false);
    else
      SetRule("OpenAgainItem", true);
    NewImageShown();
  } else if (ShownFile) {
    // Our own write is no change to ask the user about.
    std::error_code Ec;
    FileSize = int64_t(std::filesystem::file_size(Path, Ec));
    FileDate = std::filesystem::last_write_time(Path, Ec);
    KeepSavedFileFacts(Name, QString::fromStdString(Choice.FormatText));
  }
  Wait.Release();
  // Texts the format could not hold whole.
  if (Settings.ShowWarnings && !Writer.Warning.empty())
    ShowMessageKind(QString::fromStdString(Writer.Warning), mkWarning);
}

void TPelorinMain::SaveProgress(TProgressStage Stage, int32_t Percent, const TRect&, bool) {
  if (!ProgressForm)
    return;
  switch (Stage) {
  case psStart: ProgressForm->FormActivate(); break;
  case psProgress: ProgressForm->SetPercent(Percent); break;
  case psEnd:
    ProgressForm->SetPercent(Percent);
    ProgressForm->hide();
    break;
  case psError: break;
  }
}
