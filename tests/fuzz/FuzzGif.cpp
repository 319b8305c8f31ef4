#include "FuzzRead.h"
#include "XGif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // Both palette paths: the transparent entry replaced or kept.
  FuzzRead<TGifReader>(Data, Size, [&](TGifReader& Reader) { Reader.AlphaEnabled = Size > 0 && (Data[Size - 1] & 1); });
  return 0;
}
