#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

// The build computes these from its install folders; a build without them
// uses the usual layout.
#ifndef PELORIN_REL_LIBDIR
#define PELORIN_REL_LIBDIR "../lib/pelorin"
#endif
#ifndef PELORIN_REL_DATADIR
#define PELORIN_REL_DATADIR "../share/pelorin"
#endif

QString InstalledFolder(TFileKind Kind) {
  switch (Kind) {
  case fkLibrary: return QStringLiteral(PELORIN_REL_LIBDIR);
  case fkData: return QStringLiteral(PELORIN_REL_DATADIR);
  case fkProgram: break;
  }
  return QStringLiteral(".");
}

QString ApplicationFolder() { return QDir(QCoreApplication::applicationDirPath()).absolutePath() + QLatin1Char('/'); }

QString FindProgramFile(const QString& ProgramDir, const QString& RelativeName, TFileKind Kind) {
  const QString Beside = ProgramDir + RelativeName;
  // Without a folder the installed one would be taken from wherever the
  // program was started.
  if (ProgramDir.isEmpty() || QFileInfo::exists(Beside))
    return Beside;
  // Clean, so that messages and the loader's maps name the real folder
  // rather than one through "..".
  const QString Installed = QDir::cleanPath(ProgramDir + InstalledFolder(Kind) + QLatin1Char('/') + RelativeName);
  return QFileInfo::exists(Installed) ? Installed : Beside;
}
