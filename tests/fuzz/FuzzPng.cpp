// Built from the reader's own source with CRC checks off, so that mutations
// reach the chunk and image decoding instead of stopping at the first CRC.
#define PELORIN_PNG_NO_CRC 1
#include "XPng.cpp"

#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzRead.h"

namespace {

struct TOutcome {
  bool Read = false;
  std::string Warning;
  std::unique_ptr<TDib> Dib;
};

TOutcome ReadThrough(const uint8_t* Data, size_t Size, bool Whole) {
  TOutcome O;
  TPngReader Reader;
  if (!Whole)
    Reader.WholeInflateLimit = 0;
  try {
    Reader.OpenMemory({Data, Size});
    Reader.CreateDib();
    O.Dib = Reader.TakeDib();
    Reader.Read();
    O.Read = true;
  } catch (const std::exception&) {
  }
  O.Warning = Reader.Warning;
  return O;
}

// A file the stream reads must read the same through the whole-data inflate.
// The other way round the inflate may be the more lenient one (it checks
// what the stream never reaches, such as the check value, and takes a few
// code tables zlib refuses), but never differs once both have read.
void CompareInflatePaths(const uint8_t* Data, size_t Size) {
  const TOutcome Stream = ReadThrough(Data, Size, false);
  if (!Stream.Read)
    return;
  const TOutcome Whole = ReadThrough(Data, Size, true);
  if (!Whole.Read || Whole.Warning != Stream.Warning || !Whole.Dib ||
      std::memcmp(Whole.Dib->Bits(), Stream.Dib->Bits(), size_t(Stream.Dib->ImageSize())) != 0)
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  for (const bool Alpha : {true, false})
    FuzzRead<TPngReader>(Data, Size, [&](TPngReader& Reader) { Reader.AlphaEnabled = Alpha; });
  CompareInflatePaths(Data, Size);
  return 0;
}
