#include <exception>

#include "XWmf.h"

// The picture size is fixed when the header is read, so the bound is set
// before opening; a small one keeps each input quick.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    TWmfReader Reader;
    Reader.MaxPixels = 1 << 18;
    Reader.OpenMemory({Data, Size});
    Reader.Read();
    if (TDib* Dib = Reader.Dib) {
      volatile TColor Sink = Dib->GetPixelColor(Dib->Width() - 1, Dib->Height() - 1);
      (void)Sink;
    }
  } catch (const std::exception&) {
  }
  return 0;
}
