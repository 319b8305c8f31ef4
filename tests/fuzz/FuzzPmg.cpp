#include "FuzzRead.h"
#include "XPmg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzRead<TPmgReader>(Data, Size, [](TPmgReader&) {});
  return 0;
}
