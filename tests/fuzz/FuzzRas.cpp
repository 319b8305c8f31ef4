#include "FuzzRead.h"
#include "XRas.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzRead<TRasReader>(Data, Size, [](TRasReader&) {});
  return 0;
}
