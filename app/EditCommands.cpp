#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <cstring>
#include <new>

#include "Clipboard.h"
#include "DibFilter.h"
#include "DibResample.h"
#include "Main.h"
#include "Resample.h"
#include "TuneHisto.h"
#include "TuneHls.h"
#include "TuneRgb.h"
#include "Settings.h"
#include "WaitCursor.h"
#include "WorkerProgress.h"

namespace {

constexpr int32_t ClipboardLimit = 16777216;
const char* const OutOfMemoryText = "out of memory!";

} // namespace

void TPelorinMain::EditImage(const std::function<void()>& Operation) {
  if (ModalLock || !Image)
    return;
  TWaitCursor Wait;
  TakeSnapshot();
  Operation();
  UpdateInfo();
  Redraw();
}

void TPelorinMain::InvertItemClick() {
  EditImage([this] { Image->Invert(); });
}

void TPelorinMain::MirrorUpDownItemClick() {
  EditImage([this] { Image->MirrorUpDown(); });
}

void TPelorinMain::MirrorLeftRightItemClick() {
  EditImage([this] { Image->MirrorLeftRight(); });
}

void TPelorinMain::RotateClick(int Tag) {
  EditImage([this, Tag] {
    PaintEnabled = false;
    Image->Rotate(90 * Tag);
    Image->SetZoom(Image->Zoom());
    ResetScrollRanges();
    PaintEnabled = true;
  });
}

void TPelorinMain::ConvRgbItemClick() {
  EditImage([this] {
    Image->ConvertTo24();
    UpdateConvertItems();
    NewImageShown();
  });
}

void TPelorinMain::ResizeItemClick() {
  if (ModalLock || !Image || FullScreenShowing())
    return;
  const QScreen* Screen = screen();
  TResampleForm Form(*Image, Settings, Screen ? int32_t(std::lround(Screen->logicalDotsPerInch())) : 96, this);
  Form.OnResolutionChanged = [this] { NewImageShown(); };
  if (Form.exec() != QDialog::Accepted)
    return;
  // Sizes whose buffer cannot exist are refused before the undo step.
  if (!ResizeSizeAllowed(Form.NewWidth, Form.NewHeight, Image->PixelFormat()))
    throw EInvalidGraphicOperation(OutOfMemoryText);
  EditImage([&] { ReshapeImage([&] { ResizeBuffer(Form.NewWidth, Form.NewHeight, Form.FilterIndex, Image); }); });
}

// The view does not paint while the buffer is replaced; the zoomed size,
// tiling and scroll ranges follow the new size.
void TPelorinMain::ReshapeImage(const std::function<void()>& Change) {
  PaintEnabled = false;
  try {
    Change();
  } catch (const std::bad_alloc&) {
    PaintEnabled = true;
    throw EInvalidGraphicOperation(OutOfMemoryText);
  } catch (...) {
    PaintEnabled = true;
    throw;
  }
  Image->SetZoom(Image->Zoom());
  ChooseTiling();
  ResetScrollRanges();
  PaintEnabled = true;
  NewImageShown();
}

void TPelorinMain::RunTuneForm(TTuneForm& Form) {
  if (Form.exec() != QDialog::Accepted)
    return;
  EditImage([&] {
    Form.ApplyTo(*Image);
    NewImageShown();
  });
}

void TPelorinMain::TuneRgbItemClick() {
  if (ModalLock || !Image)
    return;
  TTuneRgbForm Form(*Image, this);
  RunTuneForm(Form);
}

void TPelorinMain::TuneHslItemClick() {
  if (ModalLock || !Image)
    return;
  TTuneHlsForm Form(*Image, this);
  RunTuneForm(Form);
}

void TPelorinMain::TuneHistoItemClick() {
  if (ModalLock || !Image)
    return;
  TTuneHistoForm Form(*Image, this);
  RunTuneForm(Form);
}

// The filter runs on a worker thread into a copy while the window keeps
// painting the image as it was and shows how far it got; input waits.
void TPelorinMain::ApplyFilterWithProgress(int32_t FilterNo, int32_t Param, int32_t Strength) {
  EditImage([&] {
    std::unique_ptr<TDib> Result = Image->Clone();
    const TDib& Source = *Image;
    const TFilterInfo* Info = FindFilter(FilterNo);
    const bool WasLocked = ModalLock;
    ModalLock = true;
    try {
      RunWithProgress(
          this, QString::fromLatin1(Info ? Info->DialogCaption : "Filter"),
          [&](const TProgressFn& Progress) { ApplyFilter(Source, *Result, FilterNo, Param, Strength, Progress); });
    } catch (...) {
      ModalLock = WasLocked;
      throw;
    }
    ModalLock = WasLocked;
    std::memcpy(Image->Bits(), Result->Bits(), size_t(Image->ImageSize()));
    NewImageShown();
  });
}

void TPelorinMain::TakeSnapshot() {
  if (Settings.UndoEnabled && !UndoUnavailable && Image) {
    if (!UndoStream.Active())
      UndoStream.SetFolder(DataFolderFor(ProgramDir.toStdString()));
    try {
      UndoStream.TakeSnapshot(*Image, Transparency);
    } catch (const EUndoCreateError& E) {
      UndoUnavailable = true;
      UpdateUndoItems();
      throw EUndoCreateError(std::string(E.what()) +
                             "\nUndo is off for this image; the image was not changed. Run the command again "
                             "to change it without undo.");
    } catch (const EUndoHistoryDamaged&) {
      UpdateUndoItems();
      throw;
    }
    UpdateUndoItems();
  }
  Edited = true;
}

void TPelorinMain::ClearUndo() {
  UndoStream.Clear();
  UndoUnavailable = false;
  UpdateUndoItems();
}

void TPelorinMain::UpdateUndoItems() { UpdateItems({crUndo, crRedo}); }

void TPelorinMain::ApplyUndoSetting() {
  if (!Settings.UndoEnabled)
    ClearUndo();
  SetChecked(QStringLiteral("UndoEnabledItem"), Settings.UndoEnabled);
}

void TPelorinMain::UndoEnabledItemClick() {
  Settings.UndoEnabled = !Settings.UndoEnabled;
  ApplyUndoSetting();
}

void TPelorinMain::UndoItemClick() {
  if (Item("UndoEnabledItem")->isChecked() && Item("UndoItem")->isEnabled() && !ModalLock)
    Undo();
}

void TPelorinMain::RedoItemClick() {
  if (Item("UndoEnabledItem")->isChecked() && Item("RedoItem")->isEnabled() && !ModalLock)
    Redo();
}

void TPelorinMain::Undo() {
  StepHistory([this] { return UndoStream.Undo(*Image, Transparency); });
}

void TPelorinMain::Redo() {
  StepHistory([this] { return UndoStream.Redo(); });
}

// The items follow the history also when reading it fails.
void TPelorinMain::StepHistory(const std::function<std::optional<TUndoState>()>& Step) {
  if (!UndoStream.Active() || !Image)
    return;
  TWaitCursor Wait;
  std::optional<TUndoState> State;
  try {
    State = Step();
  } catch (...) {
    UpdateUndoItems();
    throw;
  }
  if (State)
    RestoreSnapshot(std::move(*State));
  UpdateUndoItems();
}

void TPelorinMain::RestoreSnapshot(TUndoState State) {
  std::unique_ptr<TDib>& Restored = State.Image;
  const bool Resized = Restored->Width() != Image->Width() || Restored->Height() != Image->Height();
  PaintEnabled = false;
  Restored->SetZoom(Image->Zoom());
  Restored->Canvas = Image->Canvas;
  Image = std::move(Restored);
  ChooseTiling();
  Transparency = State.Transparency;
  if (Resized)
    ResetScrollRanges();
  PaintEnabled = true;
  ApplyTransparency();
  Redraw();
  UpdateCaption();
  UpdateConvertItems();
  NewImageShown();
}

void TPelorinMain::UpdateClipboardItems() { UpdateItems({crClipboard}); }

void TPelorinMain::ClpbrdCopyToItemClick() {
  if (!Image || SourceKind < 0)
    return;
  if (Image->ImageSize() >= ClipboardLimit) {
    ShowMessageKind(QStringLiteral("Sorry, cannot handle image data above 16MB"), mkError);
    return;
  }
  TWaitCursor Wait;
  QClipboard* Clip = QGuiApplication::clipboard();
  Clip->setMimeData(MimeFromDib(*Image).release());
  const QMimeData* Now = Clip->mimeData();
  if (!Now || !Now->hasFormat(QString::fromLatin1(BmpMimeType))) {
    Wait.Release();
    ShowMessageKind(QStringLiteral("GDI failed to handle clipboard"), mkError);
  }
}

bool TPelorinMain::PasteFromClipboard() {
  if (ModalLock)
    return false;
  const QMimeData* Mime = QGuiApplication::clipboard()->mimeData();
  if (!MimeHoldsDib(Mime))
    return false;
  TWaitCursor Wait;
  // The shown image goes only once the new one has been read.
  std::unique_ptr<TDib> Pasted = DibFromMime(Mime);
  if (!Pasted)
    return false;
  AdoptImage(std::move(Pasted), QStringLiteral("Clipboard"));
  return true;
}

void TPelorinMain::ClpbrdCopyFromItemClick() { PasteFromClipboard(); }

void TPelorinMain::ClpbrdMoveFromItemClick() {
  if (PasteFromClipboard())
    QGuiApplication::clipboard()->clear();
}

void TPelorinMain::ClpbrdClearItemClick() { QGuiApplication::clipboard()->clear(); }
