#pragma once
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "CorpusReference.h"
#include "DibImage.h"
#include "Errors.h"

// What the corpus conformance tests of the codecs share: the files of one
// format from the corpus index, a reader's outcome on a file, and pixel
// comparisons with references and with twin files.
namespace CorpusFiles {

struct TCorpusFile {
  std::string Path;
  // The reference column of the index: a PNG, another file of the format or
  // nothing.
  std::string Reference;
};

// Test files of Format (the index's format column), references and
// documents left out.
inline std::vector<TCorpusFile> FilesOf(const std::filesystem::path& Root, std::string_view Format) {
  std::vector<TCorpusFile> Files;
  std::ifstream In(Root / "FILES.tsv");
  for (std::string Line; std::getline(In, Line);) {
    std::vector<std::string> Col;
    std::stringstream Ss(Line);
    for (std::string C; std::getline(Ss, C, '\t');)
      Col.push_back(C);
    if (Col.size() < 8 || Col[1] != Format || Col[5] == "reference" || Col[5] == "doc")
      continue;
    Files.push_back({Col[2], Col[7]});
  }
  return Files;
}

// "ok", "warn:" and the warning, or "fail:" and the message.
template <class TReader>
std::string Outcome(TReader& Reader, const std::filesystem::path& Name) {
  try {
    Reader.Open(Name);
    Reader.Read();
    return Reader.Warning.empty() ? "ok" : "warn:" + Reader.Warning;
  } catch (const EInvalidGraphicOperation& E) {
    return std::string("fail:") + E.what();
  }
}

// Largest channel difference over the reference pixels of at least MinAlpha;
// -1 when the sizes differ. Pixels of no alpha carry no color to compare.
inline int MaxOpaqueDifference(const TDib& Dib, const CorpusReference::TRgbaImage& Ref, uint8_t MinAlpha = 1) {
  if (Ref.Width != Dib.Width() || Ref.Height != Dib.Height())
    return -1;
  int Max = 0;
  const uint8_t* P = Ref.Pixels.data();
  for (int32_t Y = 0; Y < Dib.Height(); ++Y)
    for (int32_t X = 0; X < Dib.Width(); ++X, P += 4) {
      const TColor C = Dib.GetPixelColor(X, Y);
      if (P[3] >= MinAlpha)
        Max = std::max(
            {Max, std::abs(GetRValue(C) - P[0]), std::abs(GetGValue(C) - P[1]), std::abs(GetBValue(C) - P[2])});
    }
  return Max;
}

// "" when both images have the same size and colors, else "size" or the
// first pixel that differs as "x,y".
inline std::string FirstDifference(const TDib& A, const TDib& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height())
    return "size";
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X)
      if (A.GetPixelColor(X, Y) != B.GetPixelColor(X, Y))
        return std::to_string(X) + "," + std::to_string(Y);
  return "";
}

} // namespace CorpusFiles
