#include "FileCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "Messages.h"
#include "Rename.h"

std::function<QString(QWidget*, const QString&)> AskRenameHook;
std::function<QString(QWidget*, const QString&, const QString&)> ChooseFolderHook;

namespace fs = std::filesystem;

namespace {
fs::path FsPath(const QString& Path) { return fs::path(QFile::encodeName(Path).toStdString()); }

QString NameOf(const fs::path& Path) { return QFile::decodeName(QByteArray::fromStdString(Path.filename().native())); }

QString ReasonOf(int Error) { return QString::fromStdString(std::system_category().message(Error)); }

bool SameFile(const fs::path& A, const fs::path& B) {
  struct stat SA, SB;
  return stat(A.c_str(), &SA) == 0 && stat(B.c_str(), &SB) == 0 && SA.st_dev == SB.st_dev && SA.st_ino == SB.st_ino;
}

// rename(2) replaces an existing file without a word, which here would
// destroy another image: answers EEXIST instead. 0 or the error number.
int RenameNoReplace(const fs::path& From, const fs::path& To) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS)
    return errno;
#endif
  // Without the flag a hard link still refuses an existing name by itself.
  if (link(From.c_str(), To.c_str()) == 0) {
    if (unlink(From.c_str()) == 0)
      return 0;
    const int Error = errno;
    unlink(To.c_str());
    return Error;
  }
  if (errno == EEXIST)
    return EEXIST;
  // Nor hard links (FAT, some network shares): check, then rename.
  struct stat St;
  if (lstat(To.c_str(), &St) == 0)
    return EEXIST;
  if (errno != ENOENT)
    return errno;
  return rename(From.c_str(), To.c_str()) == 0 ? 0 : errno;
}

int RenameReplacing(const fs::path& From, const fs::path& To) {
  return rename(From.c_str(), To.c_str()) == 0 ? 0 : errno;
}

// A hidden name beside Name in Folder that is free now; the file is created
// exclusively, so two runs never share one. Answers the open descriptor or
// -errno.
int CreateTemporary(const fs::path& Folder, const fs::path& Name, fs::path& Temp) {
  static unsigned Counter = 0;
  for (int Try = 0; Try < 100; ++Try) {
    Temp = Folder / ("." + Name.native() + ".pelorin-" + std::to_string(getpid()) + "-" + std::to_string(++Counter));
    const int Fd = open(Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (Fd >= 0 || errno != EEXIST)
      return Fd >= 0 ? Fd : -errno;
  }
  return -EEXIST;
}

struct TFd {
  int Fd = -1;
  ~TFd() {
    if (Fd >= 0)
      close(Fd);
  }
  int Close() {
    const int R = close(Fd);
    Fd = -1;
    return R == 0 ? 0 : errno;
  }
};

// Asked after every chunk with the bytes just copied; false stops the copy.
using TStep = std::function<bool(qint64)>;

// The contents, mode and modification time of From into the new file Fd,
// flushed to the disk before the caller renames it into place. 0, the
// error number, or ECANCELED when Step stopped it.
int WriteCopy(const fs::path& From, TFd& Out, const TStep& Step) {
  TFd In{open(From.c_str(), O_RDONLY | O_CLOEXEC)};
  if (In.Fd < 0)
    return errno;
  struct stat St;
  if (fstat(In.Fd, &St) != 0)
    return errno;
  std::vector<char> Buffer(1 << 20);
  for (;;) {
    const ssize_t Got = read(In.Fd, Buffer.data(), Buffer.size());
    if (Got < 0 && errno == EINTR)
      continue;
    if (Got < 0)
      return errno;
    if (Got == 0)
      break;
    for (ssize_t Done = 0; Done < Got;) {
      const ssize_t Put = write(Out.Fd, Buffer.data() + Done, size_t(Got - Done));
      if (Put < 0 && errno == EINTR)
        continue;
      if (Put < 0)
        return errno;
      Done += Put;
    }
    if (!Step(Got))
      return ECANCELED;
  }
  fchmod(Out.Fd, St.st_mode & 07777);
  const timespec Times[2] = {St.st_atim, St.st_mtim};
  futimens(Out.Fd, Times);
  if (fsync(Out.Fd) != 0)
    return errno;
  return Out.Close();
}

int CopyToTemporary(const fs::path& From, const fs::path& Folder, fs::path& Temp, const TStep& Step) {
  TFd Out{CreateTemporary(Folder, From.filename(), Temp)};
  if (Out.Fd < 0) {
    const int Error = -Out.Fd;
    Temp.clear();
    return Error;
  }
  const int Error = WriteCopy(From, Out, Step);
  if (Error != 0) {
    Out.Close();
    unlink(Temp.c_str());
    Temp.clear();
  }
  return Error;
}

// Keeps the windows painting during a long copy; after half a second a
// modal progress dialog with Cancel takes over.
class TCopyProgress {
public:
  TCopyProgress(QWidget* AParent, const QString& ALabel, qint64 ATotal)
      : Parent(AParent), Label(ALabel), Total(qMax<qint64>(ATotal, 1)) {
    Clock.start();
  }

  bool Step(qint64 Bytes) {
    Done += Bytes;
    if (!Dialog && Clock.elapsed() > 500 && Done < Total) {
      Dialog = std::make_unique<QProgressDialog>(Label, QStringLiteral("Cancel"), 0, 1000, Parent);
      Dialog->setWindowModality(Qt::ApplicationModal);
      Dialog->setMinimumDuration(0);
      Dialog->setAutoReset(false);
      Dialog->show();
    }
    if (Dialog) {
      // Modal, so this lets only Cancel through.
      Dialog->setValue(int(qMin<qint64>(1000, Done * 1000 / Total)));
      return !Dialog->wasCanceled();
    }
    // User input would start other commands in the middle of this one.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
  }

private:
  QWidget* Parent;
  QString Label;
  qint64 Total, Done = 0;
  QElapsedTimer Clock;
  std::unique_ptr<QProgressDialog> Dialog;
};

enum class TOutcome { Done, Skipped, Failed, Cancelled };

class TTransfer {
public:
  TTransfer(QWidget* AParent, const QString& ATarget, bool AMove, qint64 Total)
      : Parent(AParent), TargetText(QDir::toNativeSeparators(ATarget)), Target(FsPath(ATarget)), Move(AMove),
        Progress(AParent, AMove ? QStringLiteral("Moving files...") : QStringLiteral("Copying files..."), Total) {}

  TOutcome One(const QString& SourceText);
  void Report() const;

private:
  TOutcome Fail(const QString& Name, const QString& Reason) {
    Failures.push_back(Name + QStringLiteral(": ") + Reason);
    return TOutcome::Failed;
  }
  bool AskReplace(const QString& Name) const;
  TOutcome CopyInto(const fs::path& Source, const fs::path& Dest, bool Replace);

  QWidget* Parent;
  QString TargetText;
  fs::path Target;
  bool Move;
  TCopyProgress Progress;
  QStringList Failures;
};

bool TTransfer::AskReplace(const QString& Name) const {
  const QString Text = QStringLiteral("\"%1\" already exists in %2.\nReplace it?").arg(Name, TargetText);
  return ShowMessageKind(Text, mkConfirm) == QMessageBox::Yes;
}

TOutcome TTransfer::One(const QString& SourceText) {
  const fs::path Source = FsPath(SourceText);
  const QString Name = NameOf(Source);
  const fs::path Dest = Target / Source.filename();
  std::error_code Ec;
  const fs::file_status St = fs::status(Source, Ec);
  if (Ec)
    return Fail(Name, QString::fromStdString(Ec.message()));
  if (!fs::is_regular_file(St))
    return Fail(Name, QStringLiteral("Not a file"));
  const bool Exists = fs::exists(fs::symlink_status(Dest, Ec));
  // Copying a file onto itself would first truncate it.
  if (Exists && SameFile(Source, Dest))
    return Fail(Name, QStringLiteral("Source and target are the same file"));
  if (Exists && fs::is_directory(fs::symlink_status(Dest, Ec)))
    return Fail(Name, QStringLiteral("A folder of that name is in the way"));
  if (Exists && !AskReplace(Name))
    return TOutcome::Skipped;
  if (Move) {
    const int Error = Exists ? RenameReplacing(Source, Dest) : RenameNoReplace(Source, Dest);
    if (Error == 0)
      return TOutcome::Done;
    // Only another file system needs the copy.
    if (Error != EXDEV)
      return Fail(Name, ReasonOf(Error));
  }
  return CopyInto(Source, Dest, Exists);
}

TOutcome TTransfer::CopyInto(const fs::path& Source, const fs::path& Dest, bool Replace) {
  const QString Name = NameOf(Source);
  fs::path Temp;
  int Error = CopyToTemporary(Source, Target, Temp, [this](qint64 Bytes) { return Progress.Step(Bytes); });
  if (Error == ECANCELED)
    return TOutcome::Cancelled;
  if (Error != 0)
    return Fail(Name, ReasonOf(Error));
  // Only a complete copy takes the name, so the old file (if any) stays
  // whole until then.
  Error = Replace ? RenameReplacing(Temp, Dest) : RenameNoReplace(Temp, Dest);
  if (Error != 0) {
    unlink(Temp.c_str());
    return Fail(Name, ReasonOf(Error));
  }
  if (Move && unlink(Source.c_str()) != 0)
    return Fail(Name, QStringLiteral("Copied, but the original could not be removed: ") + ReasonOf(errno));
  return TOutcome::Done;
}

QString FailureList(const QStringList& Failures) {
  constexpr int Shown = 20;
  QString Text = Failures.mid(0, Shown).join(QLatin1Char('\n'));
  if (Failures.size() > Shown)
    Text += QStringLiteral("\n... and %1 more").arg(Failures.size() - Shown);
  return Text;
}

void TTransfer::Report() const {
  if (Failures.isEmpty())
    return;
  const QString Verb = Move ? QStringLiteral("move") : QStringLiteral("copy");
  ShowMessageKind(QStringLiteral("Unable to %1 to %2:\n").arg(Verb, TargetText) + FailureList(Failures), mkError);
}

// Whether Path is the files folder of a trash: <data>/Trash/files or
// <mount>/.Trash/<uid>/files or <mount>/.Trash-<uid>/files.
bool InTrash(const QString& Path) {
  const QFileInfo Files(QFileInfo(Path).absolutePath());
  const QString Trash = QFileInfo(Files.absolutePath()).fileName();
  return Files.fileName() == QLatin1String("files") &&
         (Trash == QLatin1String("Trash") || Trash.startsWith(QLatin1String(".Trash-")) ||
          QFileInfo(QFileInfo(Files.absolutePath()).absolutePath()).fileName() == QLatin1String(".Trash"));
}

// Empty on success, else the reason. A file that did not land in a trash is
// put back where it was.
QString MoveToTrash(const QString& Path) {
  QFile File(Path);
  if (!File.moveToTrash())
    return File.errorString();
  const QString Trashed = File.fileName();
  if (InTrash(Trashed))
    return QString();
  const QFileInfo Misplaced(Trashed);
  QFile::rename(Trashed, Path);
  QFile::remove(Misplaced.absolutePath() + QStringLiteral("/../info/") + Misplaced.fileName() +
                QStringLiteral(".trashinfo"));
  return QStringLiteral("No trash folder found");
}

qint64 TotalSize(const QStringList& Paths) {
  qint64 Total = 0;
  for (const QString& P : Paths)
    Total += QFileInfo(P).size();
  return Total;
}
} // namespace

QString StripFailedMark(const QString& Caption) {
  static const QString Mark = QStringLiteral(" [!]");
  return Caption.endsWith(Mark) ? Caption.chopped(Mark.size()) : Caption;
}

TRenameParts RenamePartsOf(const QString& Caption) {
  const qsizetype Dot = Caption.indexOf(QLatin1Char('.'));
  if (Dot < 0)
    return {Caption, QString()};
  // The whole extension: cutting it would change the file's type and drop
  // it from the list, though a rename is not to change the extension.
  return {Caption.left(Dot), Caption.mid(Dot)};
}

bool IsPlainFileName(const QString& Name) {
  return !Name.isEmpty() && Name != QLatin1String(".") && Name != QLatin1String("..") &&
         !Name.contains(QLatin1Char('/')) && !Name.contains(QChar(0));
}

QString RenamedFileName(const QString& Typed, const QString& Extension) {
  const QString Name = Typed.section(QLatin1Char('.'), 0, 0).trimmed() + Extension;
  return Name.startsWith(QLatin1Char('.')) || !IsPlainFileName(Name) ? QString() : Name;
}

QString AskRename(QWidget* Parent, const QString& Base) {
  if (AskRenameHook)
    return AskRenameHook(Parent, Base);
  TRenameForm Form(Base, Parent);
  return Form.exec() == QDialog::Accepted ? Form.Text() : QString();
}

bool RenameImageFile(const QString& OldPath, const QString& NewPath) {
  const QFileInfo Old(OldPath), New(NewPath);
  // A rename stays in the file's folder; a name with a slash would move it.
  if (OldPath.isEmpty() || !IsPlainFileName(New.fileName()) || OldPath.contains(QChar(0)) ||
      Old.absolutePath() != New.absolutePath())
    return false;
  const fs::path From = FsPath(Old.absoluteFilePath()), To = FsPath(New.absoluteFilePath());
  struct stat St;
  if (lstat(From.c_str(), &St) != 0)
    return false;
  if (From == To)
    return true;
  const int Error = RenameNoReplace(From, To);
  if (Error != EEXIST || !SameFile(From, To))
    return Error == 0;
  // Only the letter case differs, on a file system that ignores it: through
  // a free name, and back when the new name turns out to be taken.
  fs::path Temp;
  TFd Placeholder{CreateTemporary(From.parent_path(), From.filename(), Temp)};
  if (Placeholder.Fd < 0)
    return false;
  Placeholder.Close();
  // Over our own empty placeholder, so the free name cannot be taken meanwhile.
  if (RenameReplacing(From, Temp) != 0) {
    unlink(Temp.c_str());
    return false;
  }
  if (RenameNoReplace(Temp, To) == 0)
    return true;
  RenameNoReplace(Temp, From);
  return false;
}

QString ChooseFolder(QWidget* Parent, const QString& Title, const QString& Start) {
  if (ChooseFolderHook)
    return ChooseFolderHook(Parent, Title, Start);
  return QFileDialog::getExistingDirectory(Parent, Title, Start, QFileDialog::ShowDirsOnly);
}

int CopyOrMoveFiles(QWidget* Parent, const QStringList& Paths, const QString& Target, bool Move) {
  if (Paths.isEmpty() || Target.isEmpty())
    return 0;
  TTransfer Transfer(Parent, Target, Move, TotalSize(Paths));
  int Count = 0;
  for (const QString& P : Paths) {
    const TOutcome Outcome = Transfer.One(P);
    if (Outcome == TOutcome::Cancelled)
      break;
    Count += Outcome == TOutcome::Done;
  }
  Transfer.Report();
  return Count;
}

int TrashFiles(QWidget*, const QStringList& Paths) {
  if (Paths.isEmpty())
    return 0;
  const QString Question = Paths.size() == 1
                               ? QStringLiteral("Move \"%1\" to the trash?").arg(QFileInfo(Paths[0]).fileName())
                               : QStringLiteral("Move these %1 files to the trash?").arg(Paths.size());
  if (ShowMessageKind(Question, mkConfirm) != QMessageBox::Yes)
    return 0;
  // Qt makes only the last folder of the home trash; without the data
  // folder it would put the files into the current folder instead.
  QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
  int Count = 0;
  QStringList Failures;
  for (const QString& P : Paths) {
    const QString Reason = MoveToTrash(P);
    if (Reason.isEmpty())
      ++Count;
    else
      Failures << QFileInfo(P).fileName() + QStringLiteral(": ") + Reason;
  }
  if (!Failures.isEmpty())
    ShowMessageKind(QStringLiteral("Unable to move to the trash:\n") + FailureList(Failures), mkError);
  return Count;
}
