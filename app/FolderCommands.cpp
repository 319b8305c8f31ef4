#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "DirWatch.h"
#include "List.h"
#include "Main.h"
#include "WorkerProgress.h"

namespace {

// A question that waited for a tool window or dialog asks this often.
constexpr int ReloadRetryMs = 500;

} // namespace

void TPelorinMain::FolderChanged() {
  // A notice while one is handled (inside its message box) or after closing.
  if (InFolderChanged || Closed)
    return;
  InFolderChanged = true;
  if (DirWatch)
    DirWatch->SetBusy(true);
  Guarded([this] {
    // A load under way lists the folder itself when its rows are in.
    if (ListForm && SourceKind == 1 && !Loading) {
      ListForm->RefreshList(FileName, true);
      // The neighbours may be others now; a changed one is read again.
      PrefetchNeighbours();
    }
    if (FileCheck)
      AskToReload();
  });
  FileCheck = true;
  if (DirWatch)
    DirWatch->SetBusy(false);
  InFolderChanged = false;
}

bool TPelorinMain::ReloadQuestionAllowed() const {
  // Reading the file anew replaces the image that a tool window, a dialog,
  // a running load or a worker is using.
  return !Closed && !AskingReload && !ModalLock && !Loading && !WorkerRunning() && !QApplication::activeModalWidget() &&
         !QApplication::activePopupWidget();
}

void TPelorinMain::AskToReload() {
  if (SourceKind != 1 || !OpenAgainEnabled())
    return;
  std::error_code Ec;
  const auto Stamp = std::filesystem::last_write_time(FileName.toStdString(), Ec);
  if (Ec || Stamp == FileDate || (FileName == AskedFile && Stamp == AskedDate))
    return;
  if (!ReloadQuestionAllowed()) {
    if (!Closed && !ReloadRetryPending) {
      ReloadRetryPending = true;
      QTimer::singleShot(ReloadRetryMs, this, [this] {
        ReloadRetryPending = false;
        Guarded([this] { AskToReload(); });
      });
    }
    return;
  }
  const QString Asked = FileName;
  AskingReload = true;
  const int Answer = ShowMessageKind(QStringLiteral("The image file has been changed!\nReload now?"), mkConfirm);
  AskingReload = false;
  // Asked once per time stamp: otherwise, after No or a reload that failed,
  // every later change of any file in the folder would ask again.
  AskedFile = Asked;
  AskedDate = Stamp;
  if (Answer == QMessageBox::Yes && !Closed && FileName == Asked)
    OpenAgainItemClick();
}
