#include <QFile>
#include <QTest>
#include <dlfcn.h>
#include <fstream>
#include <zlib.h>

#include "About.h"
#include "AppTestUtil.h"

namespace {

class AboutCommand : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    Library = Folder / AboutLibraryName;
  }
  // Whether the library beside the (test) program is loaded.
  bool Mapped() const {
    ::QFile Maps(QStringLiteral("/proc/self/maps"));
    return Maps.open(QIODevice::ReadOnly) && Maps.readAll().contains(Library.string().c_str());
  }
  void ExpectOneMessage(const char* Text) {
    ASSERT_EQ(Messages.size(), 1u) << Text;
    EXPECT_EQ(Messages[0].Text, Text);
    EXPECT_EQ(Messages[0].Kind, mkError);
    Messages.clear();
  }
  // Closes the about window once it shows, noting what it was.
  void CloseAboutWhenShown() {
    Poll = [this] {
      if (QWidget* W = QApplication::activeModalWidget()) {
        Title = W->windowTitle();
        Owner = W->parentWidget();
        MappedWhileShown = Mapped();
        QTest::keyClick(W, Qt::Key_Escape);
      } else if (++Tries < 500) {
        QTimer::singleShot(10, Poll);
      }
    };
    Tries = 0;
    QTimer::singleShot(0, Poll);
  }

  std::filesystem::path Library;
  std::function<void()> Poll;
  int Tries = 0;
  QString Title;
  QWidget* Owner = nullptr;
  bool MappedWhileShown = false;
};

TEST_F(AboutCommand, MissingOrUnloadableLibraryIsNotFound) {
  Main->AboutItemClick();
  ExpectOneMessage("DLL not found: libquenna.so");
  // Something of that name that is no library.
  std::ofstream(Library) << "not a library";
  QTest::keyClick(Main.get(), Qt::Key_F1, Qt::AltModifier);
  ExpectOneMessage("DLL not found: libquenna.so");
  EXPECT_TRUE(Main->isEnabled());
}

TEST_F(AboutCommand, LibraryWithoutTheExportIsInvalidAndUnloaded) {
  // A real library that exports something else.
  Dl_info Info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&zlibVersion), &Info), 0);
  std::filesystem::copy_file(Info.dli_fname, Library);
  EXPECT_TRUE(Main->TriggerItem("About1"));
  ExpectOneMessage("DLL invalid: libquenna.so");
  EXPECT_FALSE(Mapped());
}

TEST_F(AboutCommand, ShowsTheWindowAndUnloadsTheLibraryOnceItCloses) {
  const std::filesystem::path Built =
      QCoreApplication::applicationDirPath().toStdString() + "/../../app/" + AboutLibraryName;
  ASSERT_TRUE(std::filesystem::exists(Built)) << "built with the program";
  std::filesystem::copy_file(Built, Library);
  ASSERT_FALSE(Mapped());

  CloseAboutWhenShown();
  EXPECT_TRUE(Main->TriggerItem("About1"));
  EXPECT_EQ(Title, "About");
  EXPECT_EQ(Owner, Main.get());
  EXPECT_TRUE(MappedWhileShown);
  EXPECT_FALSE(Mapped()) << "unloaded after the window closed";
  EXPECT_TRUE(Messages.empty());

  // Again by its key: loaded anew, and gone again.
  Title.clear();
  CloseAboutWhenShown();
  QTest::keyClick(Main.get(), Qt::Key_F1, Qt::AltModifier);
  EXPECT_EQ(Title, "About");
  EXPECT_FALSE(Mapped());
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
