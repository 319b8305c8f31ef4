#pragma once
#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Settings.h"

// The main of benchmarks that need the program's windows: offscreen, with a
// private folder for the runtime files, temporaries and settings, removed at
// the end. Work names that folder while the benchmarks run.
inline int RunQtBenchmarks(int argc, char** argv, const char* Name, std::filesystem::path& Work) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string Template = std::string("/tmp/pelorin-bench-") + Name + "-XXXXXX";
  if (!mkdtemp(Template.data()))
    return 2;
  Work = Template;
  setenv("XDG_RUNTIME_DIR", Template.c_str(), 1);
  setenv("TMPDIR", Template.c_str(), 1);
  std::filesystem::create_directories(Work / "program");
  SetSettingsFolders(Work / "program", Work / "config");
  SetDefaultSettings(Settings);
  int Result = 0;
  {
    QApplication App(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
      Result = 1;
    else
      benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  std::error_code Ec;
  std::filesystem::remove_all(Work, Ec);
  return Result;
}
