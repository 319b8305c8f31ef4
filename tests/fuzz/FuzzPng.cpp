#include <cstddef>
#include <cstdint>
#include <exception>

// Built from the reader's own source with CRC checks off, so that mutations
// reach the chunk and image decoding instead of stopping at the first CRC.
#define PELORIN_PNG_NO_CRC 1
#include "XPng.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  for (const bool Alpha : {true, false}) {
    try {
      TPngReader Reader;
      Reader.OpenMemory({Data, Size});
      Reader.AlphaEnabled = Alpha;
      Reader.Read();
      if (TDib* Dib = Reader.Dib) {
        volatile TColor Sink = Dib->GetPixelColor(Dib->Width() - 1, Dib->Height() - 1);
        (void)Sink;
      }
    } catch (const std::exception&) {
    }
  }
  return 0;
}
