#include "FuzzRead.h"
#include "XTif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzRead<TTifReader>(Data, Size, [](TTifReader& R) {
    R.UseStoNits = true;
    R.OnLuvRow = [](std::span<const uint8_t> Row) {
      volatile uint8_t Sink = Row.empty() ? 0 : Row.back();
      (void)Sink;
    };
  });
  return 0;
}
