#include "FuzzRead.h"
#include "XIff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzRead<TLbmReader>(Data, Size, [](TLbmReader&) {});
  return 0;
}
