#pragma once
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// The file commands of the list window: rename, copy, move and delete, on
// file-system paths. Confirmations and failures go through ShowMessageKind
// (Messages.h), so tests answer them through its hook.

// An entry's caption without the failed mark " [!]".
QString StripFailedMark(const QString& Caption);

// What the rename dialog offers for a caption: the name up to its first
// dot, and the extension that is kept (everything from the first dot).
struct TRenameParts {
  QString Base;
  QString Extension;
};
TRenameParts RenamePartsOf(const QString& Caption);
// A name for a file in a folder: not empty, not "." or "..", no slash or
// null character.
bool IsPlainFileName(const QString& Name);
// The new file name for the typed text: cut before its first dot, with the
// kept extension; empty when the text leaves no valid name.
QString RenamedFileName(const QString& Typed, const QString& Extension);

// Asks the new base name with the rename dialog; empty when cancelled.
// Replaceable so that tests answer it.
extern std::function<QString(QWidget* Parent, const QString& Base)> AskRenameHook;
QString AskRename(QWidget* Parent, const QString& Base);

// Renames OldPath to NewPath without replacing another file; false when
// the file system refused or NewPath names another existing file.
bool RenameImageFile(const QString& OldPath, const QString& NewPath);

// The folder chooser with its title; empty when cancelled. Replaceable so
// that tests answer it.
extern std::function<QString(QWidget* Parent, const QString& Title, const QString& Start)> ChooseFolderHook;
QString ChooseFolder(QWidget* Parent, const QString& Title, const QString& Start);

// Copies or moves Paths into the folder Target. An existing target is
// replaced only when the user agrees; a move removes its source only after
// the copy is complete. Failures are reported in one message at the end.
// Answers the number of files copied or moved.
int CopyOrMoveFiles(QWidget* Parent, const QStringList& Paths, const QString& Target, bool Move);

// Moves Paths to the desktop trash after a confirmation that names it;
// answers the number of files moved there.
int TrashFiles(QWidget* Parent, const QStringList& Paths);
