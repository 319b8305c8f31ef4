#include "FuzzRead.h"
#include "XPsd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzRead<TPSDReader>(Data, Size, [](TPSDReader& R) { R.AlphaEnabled = true; });
  return 0;
}
