#include <cstdlib>
#include <filesystem>

#include "AppTestUtil.h"
#include "QtTestMain.h"
#include "Settings.h"

std::filesystem::path TestFolder;

int main(int argc, char** argv) {
  // Besides the runtime files, the folder holds the open-file socket (under
  // TMPDIR, so no running viewer is reached), settings and images.
  return RunQtTests(argc, argv, "pelorin-app-tests", TestFolder, [](const std::filesystem::path& Folder) {
    setenv("TMPDIR", Folder.c_str(), 1);
    std::filesystem::create_directories(Folder / "program");
    SetSettingsFolders(Folder / "program", Folder / "config");
  });
}
