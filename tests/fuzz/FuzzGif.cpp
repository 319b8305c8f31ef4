#include <cstddef>
#include <cstdint>
#include <exception>

#include "XGif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    TGifReader Reader;
    Reader.OpenMemory({Data, Size});
    // Both palette paths: the transparent entry replaced or kept.
    Reader.AlphaEnabled = Size > 0 && (Data[Size - 1] & 1);
    Reader.Read();
    if (TDib* Dib = Reader.Dib) {
      volatile TColor Sink = Dib->GetPixelColor(Dib->Width() - 1, Dib->Height() - 1);
      (void)Sink;
    }
  } catch (const std::exception&) {
  }
  return 0;
}
