#include "ConvertEdits.h"

#include <cctype>
#include <functional>

#include "DibResample.h"

namespace {

using TEdit = std::function<void(std::unique_ptr<TDib>&)>;

std::vector<TEdit> Edits;
int32_t ResizeFilter = rfSpline;

// "WxH" with both sides 1..MaxResizeSide.
bool ParseSize(const std::string& V, int32_t& W, int32_t& H) {
  const size_t X = V.find_first_of("xX");
  if (X == std::string::npos)
    return false;
  auto Side = [](const std::string& S, int32_t& N) {
    if (S.empty() || S.size() > 4)
      return false;
    N = 0;
    for (char C : S) {
      if (!std::isdigit(static_cast<unsigned char>(C)))
        return false;
      N = N * 10 + (C - '0');
    }
    return N >= 1 && N <= MaxResizeSide;
  };
  return Side(V.substr(0, X), W) && Side(V.substr(X + 1), H);
}

} // namespace

const char* const EditUsage = "Edits, applied in the order given: --resize WxH (1..9999 each) with --filter\n"
                              "box|triangle|hermite|bell|spline|mitchell|lanczos (default spline).\n";

const std::string& ValueOf(const std::vector<std::string>& Args, size_t& I) {
  if (I + 1 >= Args.size())
    throw EUsage(Args[I] + " needs a value");
  return Args[++I];
}

bool TakeEditOption(const std::vector<std::string>& Args, size_t& I) {
  const std::string& A = Args[I];
  if (A == "--resize") {
    int32_t W = 0, H = 0;
    if (!ParseSize(ValueOf(Args, I), W, H))
      throw EUsage("--resize takes WIDTHxHEIGHT, each 1 to 9999");
    Edits.push_back([W, H](std::unique_ptr<TDib>& Dib) {
      if (!ResizeSizeAllowed(W, H, Dib->PixelFormat()))
        throw std::runtime_error("the resized image would be too large");
      ResizeBuffer(W, H, ResizeFilter, Dib);
    });
  } else if (A == "--filter") {
    const int32_t F = FilterByName(ValueOf(Args, I).c_str());
    if (F < 0)
      throw EUsage("--filter takes box, triangle, hermite, bell, spline, mitchell or lanczos");
    ResizeFilter = F;
  } else {
    return false;
  }
  return true;
}

void ApplyEdits(std::unique_ptr<TDib>& Dib) {
  for (const TEdit& E : Edits)
    E(Dib);
}
