#include <QAction>
#include <QFileInfo>

#include "About.h"
#include "FullScreen.h"
#include "Launch.h"
#include "Main.h"
#include "Paths.h"
#include "Settings.h"

namespace {

const char* const LaunchItems[3] = {"LaunchItem1", "LaunchItem2", "LaunchItem3"};

QString LaunchProgramPath(int Slot) { return QString::fromStdString(Settings.LaunchPrograms[Slot].Text()); }

} // namespace

void TPelorinMain::CaptionLaunchItems() {
  for (int Slot = 0; Slot < 3; ++Slot) {
    const QString Name = QString::fromLatin1(LaunchItems[Slot]);
    QAction* A = Item(Name);
    if (!A)
      continue;
    const QString Program = LaunchProgramPath(Slot);
    A->setText(LaunchCaption(Program));
    SetRule(Name, !Program.isEmpty());
  }
}

void TPelorinMain::LaunchFennick(bool WithFile) {
  if (ModalLock)
    return;
  const QString Program = FindProgramFile(ProgramDir, QLatin1String(FennickName), fkProgram);
  // The browser takes the folder, not the file.
  const QStringList Args = WithFile && SourceKind == 1 ? QStringList{FolderOf(FileName)} : QStringList{};
  const QFileInfo Info(Program);
  if (!Info.isFile() || !Info.isExecutable() || !StartDetached(Program, Args))
    ShowMessageKind(QLatin1String(FennickName) + QStringLiteral(" not found"), mkError);
}

void TPelorinMain::LaunchProgram(int Slot, bool WithFile) {
  if (ModalLock || Slot < 0 || Slot > 2)
    return;
  const QString Program = LaunchProgramPath(Slot);
  if (Program.isEmpty())
    return;
  if (!QFileInfo::exists(Program)) {
    ShowMessageKind(Program + QStringLiteral("\nApplication not found!"), mkError);
    return;
  }
  const QStringList Args = WithFile && SourceKind == 1 ? QStringList{FileName} : QStringList{};
  if (!StartDetached(Program, Args))
    ShowMessageKind(Program + QStringLiteral("\nApplication cannot be launched!"), mkError);
}

void TPelorinMain::ExploreFolder(bool WithFile) {
  const QString Folder = WithFile && SourceKind == 1 ? FolderOf(FileName) : QString();
  // The desktop would report a missing folder later and elsewhere, if at all.
  if (Folder.isEmpty() || !QFileInfo(Folder).isDir() || !OpenUrl(QUrl::fromLocalFile(Folder)))
    ShowMessageKind(QStringLiteral("Folder not found"), mkError);
}

void TPelorinMain::LaunchItemClick(int Tag) {
  if (Tag == 0)
    LaunchFennick(true);
  else
    LaunchProgram(Tag - 1, true);
}

void TPelorinMain::ExplorerItemClick() { ExploreFolder(true); }

void TPelorinMain::LaunchWithoutFile(int Which) {
  if (Which == 0)
    LaunchFennick(false);
  else if (Which <= 3)
    LaunchProgram(Which - 1, false);
  else
    ExploreFolder(false);
}

void TPelorinMain::OpenDocFile(const QString& RelativeName) {
  OpenUrl(QUrl::fromLocalFile(FindProgramFile(ProgramDir, RelativeName, fkData)));
}

void TPelorinMain::HelpGeneralItemClick() { OpenDocFile(QLatin1String(HelpGeneralFile)); }

void TPelorinMain::HelpShortcutsItemClick() { OpenDocFile(QLatin1String(HelpShortcutsFile)); }

void TPelorinMain::DocItemClick() { OpenDocFile(QLatin1String(DocFile)); }

void TPelorinMain::AboutItemClick() {
  if (ModalLock)
    return;
  QWidget* Owner = FullScreenShowing() ? static_cast<QWidget*>(ScreenForm) : this;
  switch (ShowAboutLibrary(FindProgramFile(ProgramDir, QLatin1String(AboutLibraryName), fkLibrary), Owner)) {
  case aoShown: break;
  case aoNotFound: ShowMessageKind(QStringLiteral("DLL not found: ") + QLatin1String(AboutLibraryName), mkError); break;
  case aoInvalid: ShowMessageKind(QStringLiteral("DLL invalid: ") + QLatin1String(AboutLibraryName), mkError); break;
  }
}
