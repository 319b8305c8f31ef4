#include <cstddef>
#include <cstdint>
#include <exception>

#include "XJpg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    TJpgReader Reader;
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
