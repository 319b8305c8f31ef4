#include "Launch.h"

#include <QDesktopServices>
#include <algorithm>

std::function<bool(const QUrl&)> OpenUrl = [](const QUrl& Url) { return QDesktopServices::openUrl(Url); };

QString LaunchCaption(const QString& ProgramPath) {
  if (ProgramPath.isEmpty())
    return QStringLiteral("none");
  // Paths from a settings file written on Windows use the other separator.
  const qsizetype Cut = std::max(ProgramPath.lastIndexOf(QLatin1Char('/')), ProgramPath.lastIndexOf(QLatin1Char('\\')));
  QString Name = ProgramPath.mid(Cut + 1);
  const qsizetype Dot = Name.indexOf(QLatin1Char('.'));
  // A name that starts with its dot would leave nothing to show.
  if (Dot > 0)
    Name.truncate(Dot);
  return Name + QStringLiteral("      ");
}

QString FolderOf(const QString& FileName) {
  const qsizetype Cut = FileName.lastIndexOf(QLatin1Char('/'));
  return Cut < 0 ? QString() : FileName.left(Cut + 1);
}
