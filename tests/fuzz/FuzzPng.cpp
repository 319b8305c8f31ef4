// Built from the reader's own source with CRC checks off, so that mutations
// reach the chunk and image decoding instead of stopping at the first CRC.
#define PELORIN_PNG_NO_CRC 1
#include "XPng.cpp"

#include "FuzzRead.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  for (const bool Alpha : {true, false})
    FuzzRead<TPngReader>(Data, Size, [&](TPngReader& Reader) { Reader.AlphaEnabled = Alpha; });
  return 0;
}
