#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "AppTestUtil.h"
#include "Settings.h"

std::filesystem::path TestFolder;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // One private folder for the run: runtime files, the open-file socket
  // (under TMPDIR, so no running viewer is reached), settings and images.
  char Template[] = "/tmp/pelorin-app-tests-XXXXXX";
  if (!mkdtemp(Template))
    return 2;
  chmod(Template, 0700);
  TestFolder = Template;
  setenv("XDG_RUNTIME_DIR", Template, 1);
  setenv("TMPDIR", Template, 1);
  std::filesystem::create_directories(TestFolder / "program");
  SetSettingsFolders(TestFolder / "program", TestFolder / "config");
  int Result = 0;
  {
    QApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    Result = RUN_ALL_TESTS();
  }
  std::error_code Ec;
  std::filesystem::remove_all(TestFolder, Ec);
  return Result;
}
