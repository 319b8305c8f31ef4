#include "FuzzRead.h"
#include "XTga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzRead<TTgaReader>(Data, Size, [](TTgaReader&) {});
  return 0;
}
