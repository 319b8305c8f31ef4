// The desktop entry and the metainfo against the formats the program reads
// and against the desktop's own validators.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

#include "XFormats.h"

namespace {

QByteArray ReadAll(const char* Name) {
  QFile F(QString::fromUtf8(Name));
  return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}

// The MimeType key of the entry's [Desktop Entry] group.
QSet<QString> DesktopMimeTypes() {
  QSet<QString> Types;
  bool InMain = false;
  for (const QByteArray& Raw : ReadAll(PELORIN_DESKTOP_FILE).split('\n')) {
    const QString Line = QString::fromUtf8(Raw).trimmed();
    if (Line.startsWith(QLatin1Char('[')))
      InMain = Line == QLatin1String("[Desktop Entry]");
    else if (InMain && Line.startsWith(QLatin1String("MimeType=")))
      for (const QString& T : Line.mid(9).split(QLatin1Char(';'), Qt::SkipEmptyParts))
        Types.insert(T);
  }
  return Types;
}

QSet<QString> MetainfoMediaTypes() {
  QSet<QString> Types;
  QXmlStreamReader X(ReadAll(PELORIN_METAINFO_FILE));
  while (!X.atEnd())
    if (X.readNext() == QXmlStreamReader::StartElement && X.name() == QLatin1String("mediatype"))
      Types.insert(X.readElementText().trimmed());
  EXPECT_FALSE(X.hasError()) << X.errorString().toStdString();
  return Types;
}

// The shared MIME database's glob patterns, each with the type that claims
// it; matched without regard to case, as the program reads names.
using TGlobs = std::vector<std::pair<QRegularExpression, QString>>;

QString MimeDatabaseFile() {
  QStringList Dirs = qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
  Dirs << QStringLiteral("/usr/local/share") << QStringLiteral("/usr/share");
  for (const QString& D : Dirs)
    if (QFile::exists(D + QStringLiteral("/mime/packages/freedesktop.org.xml")))
      return D + QStringLiteral("/mime/packages/freedesktop.org.xml");
  return {};
}

TGlobs ReadGlobs(const QString& File) {
  QFile F(File);
  TGlobs Globs;
  if (!F.open(QIODevice::ReadOnly))
    return Globs;
  QXmlStreamReader X(&F);
  QString Type;
  while (!X.atEnd()) {
    if (X.readNext() != QXmlStreamReader::StartElement)
      continue;
    if (X.name() == QLatin1String("mime-type"))
      Type = X.attributes().value(QLatin1String("type")).toString();
    else if (X.name() == QLatin1String("glob"))
      Globs.emplace_back(QRegularExpression(QRegularExpression::wildcardToRegularExpression(
                                                X.attributes().value(QLatin1String("pattern")).toString()),
                                            QRegularExpression::CaseInsensitiveOption),
                         Type);
  }
  return Globs;
}

// The types whose globs match a file named "x" + Extension.
QSet<QString> TypesOf(const TGlobs& Globs, const QString& Extension) {
  const QString Name = QStringLiteral("x") + Extension.toLower();
  QSet<QString> Types;
  for (const auto& Glob : Globs)
    if (Glob.first.match(Name).hasMatch())
      Types.insert(Glob.second);
  return Types;
}

TEST(DesktopEntry, ListsATypeForEveryExtensionTheProgramReads) {
  const QString Database = MimeDatabaseFile();
  if (Database.isEmpty())
    GTEST_SKIP() << "no shared MIME database (shared-mime-info) to map extensions with";
  const TGlobs Globs = ReadGlobs(Database);
  ASSERT_FALSE(Globs.empty()) << Database.toStdString();
  const QSet<QString> Listed = DesktopMimeTypes();
  int Mapped = 0;
  for (const TFormatRow& Row : FormatRows()) {
    if (!Row.NewReader)
      continue;
    for (const char* Ext : Row.Extensions) {
      if (!Ext)
        continue;
      const QSet<QString> Types = TypesOf(Globs, QString::fromLatin1(Ext));
      // Extensions the database does not know (".JFIF", ".BUM") have no type
      // to list; files of them open by name.
      if (Types.isEmpty())
        continue;
      ++Mapped;
      EXPECT_TRUE(Types.intersects(Listed)) << Row.Text << " " << Ext << ": none of "
                                            << QStringList(Types.values()).join(' ').toStdString() << " is listed";
    }
  }
  EXPECT_GT(Mapped, 20) << "the database maps most of the extensions";
}

TEST(DesktopEntry, ListsOnlyImageTypesAndTheMetainfoTheSame) {
  const QSet<QString> Listed = DesktopMimeTypes();
  ASSERT_FALSE(Listed.isEmpty());
  for (const QString& T : Listed)
    EXPECT_TRUE(T.startsWith(QLatin1String("image/"))) << T.toStdString();
  // Software centres read the metainfo, file managers the entry; both say
  // what the program opens.
  EXPECT_EQ(MetainfoMediaTypes(), Listed);
}

// Runs a validator on File; its output, which must stay empty.
struct TValidation {
  bool Ran = false;
  int Code = 0;
  QString Output;
};

TValidation Validate(const QString& Program, QStringList Args, const char* File) {
  TValidation V;
  const QString Path = QStandardPaths::findExecutable(Program);
  if (Path.isEmpty())
    return V;
  QProcess P;
  P.setProcessChannelMode(QProcess::MergedChannels);
  P.start(Path, Args << QString::fromUtf8(File));
  V.Ran = P.waitForFinished(60000) && P.exitStatus() == QProcess::NormalExit;
  V.Code = P.exitCode();
  V.Output = QString::fromUtf8(P.readAll()).trimmed();
  return V;
}

TEST(DesktopEntry, PassesDesktopFileValidate) {
  const TValidation V = Validate(QStringLiteral("desktop-file-validate"), {}, PELORIN_DESKTOP_FILE);
  if (!V.Ran)
    GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) is not installed";
  EXPECT_EQ(V.Code, 0) << V.Output.toStdString();
  EXPECT_EQ(V.Output, "") << "warnings and hints count too";
}

TEST(Metainfo, PassesAppstreamValidation) {
  const TValidation V = Validate(QStringLiteral("appstreamcli"),
                                 {QStringLiteral("validate"), QStringLiteral("--no-net")}, PELORIN_METAINFO_FILE);
  if (!V.Ran)
    GTEST_SKIP() << "appstreamcli (appstream) is not installed";
  EXPECT_EQ(V.Code, 0) << V.Output.toStdString();
  // Pedantic hints are left out without --pedantic; warnings are not.
  EXPECT_FALSE(V.Output.contains(QRegularExpression(QStringLiteral("^[EW]:"), QRegularExpression::MultilineOption)))
      << V.Output.toStdString();
}

TEST(Metainfo, NamesTheInstalledDesktopEntry) {
  QXmlStreamReader X(ReadAll(PELORIN_METAINFO_FILE));
  QString Id, Launchable;
  while (!X.atEnd()) {
    if (X.readNext() != QXmlStreamReader::StartElement)
      continue;
    if (X.name() == QLatin1String("id"))
      Id = X.readElementText();
    else if (X.name() == QLatin1String("launchable"))
      Launchable = X.readElementText();
  }
  EXPECT_EQ(Launchable, Id + ".desktop");
  EXPECT_TRUE(QString::fromUtf8(PELORIN_DESKTOP_FILE).endsWith(QLatin1Char('/') + Launchable));
}

} // namespace
