#include "FuzzRead.h"
#include "XPcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzRead<TPcxReader>(Data, Size, [](TPcxReader&) {});
  return 0;
}
