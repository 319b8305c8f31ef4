#include <filesystem>

#include "QtTestMain.h"

std::filesystem::path TestFolder;

int main(int argc, char** argv) { return RunQtTests(argc, argv, "pelorin-about-tests", TestFolder); }
