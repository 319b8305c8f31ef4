#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

std::filesystem::path TestFolder;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  char Template[] = "/tmp/pelorin-twain-tests-XXXXXX";
  if (!mkdtemp(Template))
    return 2;
  chmod(Template, 0700);
  TestFolder = Template;
  setenv("XDG_RUNTIME_DIR", Template, 1);
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
