#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

#include "CorpusReference.h"
#include "TgaPmgExternal.h"

namespace NetpbmTool {

// What one netpbm converter (pcxtoppm, ilbmtoppm) makes of a file, through
// PNG; empty when it refuses the file.
inline CorpusReference::TRgbaImage Decode(const char* Tool, const std::filesystem::path& Name) {
  TgaPmgExternal::TTempFile Png(".png");
  const std::string Cmd =
      std::string(Tool) + " '" + Name.string() + "' 2>/dev/null | pnmtopng > '" + Png.Path().string() + "' 2>/dev/null";
  if (std::system(Cmd.c_str()) != 0)
    return {};
  return CorpusReference::ReadPng(Png.Path());
}

} // namespace NetpbmTool
