#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string RuntimeDir;
  if (!getenv("XDG_RUNTIME_DIR")) {
    char Template[] = "/tmp/pelorin-controls-XXXXXX";
    if (mkdtemp(Template)) {
      chmod(Template, 0700);
      RuntimeDir = Template;
      setenv("XDG_RUNTIME_DIR", Template, 1);
    }
  }
  int Result = 0;
  {
    QApplication App(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Pelorin"));
    ::testing::InitGoogleTest(&argc, argv);
    Result = RUN_ALL_TESTS();
  }
  if (!RuntimeDir.empty())
    rmdir(RuntimeDir.c_str());
  return Result;
}
