#pragma once
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

// The main of a test program with Qt widgets: one private folder for the
// run (named from Prefix, removed afterwards) holds the runtime files;
// Prepare gets it before the application starts.
inline int RunQtTests(int argc, char** argv, const char* Prefix, std::filesystem::path& Folder,
                      const std::function<void(const std::filesystem::path&)>& Prepare = {}) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string Template = std::string("/tmp/") + Prefix + "-XXXXXX";
  if (!mkdtemp(Template.data()))
    return 2;
  chmod(Template.c_str(), 0700);
  Folder = Template;
  setenv("XDG_RUNTIME_DIR", Template.c_str(), 1);
  if (Prepare)
    Prepare(Folder);
  int Result = 0;
  {
    QApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    Result = RUN_ALL_TESTS();
  }
  std::error_code Ec;
  std::filesystem::remove_all(Folder, Ec);
  return Result;
}
