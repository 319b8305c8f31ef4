#include <exception>

#include "XPcd.h"

// The last byte picks the resolution, so inputs reach the correction
// decoders as often as the plain planes. It must be set before Open, which
// sizes the image by it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    TPcdReader Reader;
    Reader.PcdResolution = Size ? Data[Size - 1] % 5 : 2;
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
