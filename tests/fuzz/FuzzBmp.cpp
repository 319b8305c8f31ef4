#include "FuzzRead.h"
#include "XBmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzRead<TBmpReader>(Data, Size, [](TBmpReader&) {});
  return 0;
}
