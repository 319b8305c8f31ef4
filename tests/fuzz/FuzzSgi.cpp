#include "FuzzRead.h"
#include "XSgi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzRead<TSgiReader>(Data, Size, [](TSgiReader& R) { R.AlphaEnabled = true; });
  return 0;
}
