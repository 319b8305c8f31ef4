// The lookup of the program's files, in a fake install prefix per test.
#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "Paths.h"

namespace {

namespace fs = std::filesystem;

class ProgramFiles : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Prefix.isValid());
    Root = fs::canonical(Prefix.path().toStdString());
    fs::create_directories(Root / "bin");
    ProgramDir = QString::fromStdString((Root / "bin" / "").string());
  }
  // A file at Place (relative to the prefix's bin folder, the program's).
  QString Put(const QString& Place) const {
    const fs::path File = fs::weakly_canonical(Root / "bin" / Place.toStdString());
    fs::create_directories(File.parent_path());
    std::ofstream(File) << "x";
    return QString::fromStdString(File.string());
  }
  QString Installed(TFileKind Kind, const QString& Name) const { return InstalledFolder(Kind) + "/" + Name; }

  QTemporaryDir Prefix;
  fs::path Root;
  QString ProgramDir;
};

TEST_F(ProgramFiles, InstalledFoldersStayInsideThePrefix) {
  for (const TFileKind Kind : {fkProgram, fkLibrary, fkData}) {
    const QString Folder = InstalledFolder(Kind);
    EXPECT_TRUE(QDir::isRelativePath(Folder)) << Folder.toStdString() << " moves with the prefix";
    // From bin, one step up is the prefix; more would leave it.
    EXPECT_LE(QDir::cleanPath(Folder).count(QStringLiteral("..")), 1) << Folder.toStdString();
  }
  EXPECT_EQ(InstalledFolder(fkProgram), ".") << "the sibling browser is installed in bin too";
  EXPECT_NE(InstalledFolder(fkLibrary), InstalledFolder(fkData));
}

TEST_F(ProgramFiles, EachKindIsFoundInItsInstalledFolder) {
  struct TCase {
    TFileKind Kind;
    const char* Name;
  };
  const TCase Cases[] = {
      {fkLibrary, "libquenna.so"},       {fkLibrary, "libpelorin-twain.so"},         {fkData, "splash.png"},
      {fkData, "Help/Pelorin Help.txt"}, {fkData, "Doc/Pelorin Documentation.html"},
  };
  for (const TCase& C : Cases) {
    const QString Name = QString::fromLatin1(C.Name);
    const QString Expected = Put(Installed(C.Kind, Name));
    EXPECT_EQ(FindProgramFile(ProgramDir, Name, C.Kind), Expected) << C.Name;
    // No "..", so that messages and the loader name the real folder.
    EXPECT_FALSE(FindProgramFile(ProgramDir, Name, C.Kind).contains(QStringLiteral(".."))) << C.Name;
  }
}

TEST_F(ProgramFiles, BesideTheProgramComesFirst) {
  Put(Installed(fkLibrary, "libquenna.so"));
  Put(Installed(fkData, "Help/Pelorin Help.txt"));
  const QString Library = Put("libquenna.so");
  const QString Help = Put("Help/Pelorin Help.txt");
  EXPECT_EQ(FindProgramFile(ProgramDir, "libquenna.so", fkLibrary), Library);
  EXPECT_EQ(FindProgramFile(ProgramDir, "Help/Pelorin Help.txt", fkData), Help);
  const QString Browser = Put("fennick");
  EXPECT_EQ(FindProgramFile(ProgramDir, "fennick", fkProgram), Browser);
}

TEST_F(ProgramFiles, MissingFilesAreNamedBesideTheProgram) {
  EXPECT_EQ(FindProgramFile(ProgramDir, "libquenna.so", fkLibrary), ProgramDir + "libquenna.so");
  EXPECT_EQ(FindProgramFile(ProgramDir, "fennick", fkProgram), ProgramDir + "fennick");
  // A file of one kind is not taken from the folder of another.
  Put(Installed(fkData, "libquenna.so"));
  Put(Installed(fkLibrary, "splash.png"));
  EXPECT_EQ(FindProgramFile(ProgramDir, "libquenna.so", fkLibrary), ProgramDir + "libquenna.so");
  EXPECT_EQ(FindProgramFile(ProgramDir, "splash.png", fkData), ProgramDir + "splash.png");
}

TEST_F(ProgramFiles, NoProgramFolderLooksNowhereElse) {
  // Relative to the working folder, "../lib" would be anybody's.
  const QString Saved = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(ProgramDir));
  Put(Installed(fkLibrary, "libquenna.so"));
  EXPECT_EQ(FindProgramFile(QString(), "libquenna.so", fkLibrary), "libquenna.so");
  QDir::setCurrent(Saved);
}

} // namespace
