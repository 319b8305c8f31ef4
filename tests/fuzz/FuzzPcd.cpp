#include "FuzzRead.h"
#include "XPcd.h"

// The last byte picks the resolution, so inputs reach the correction
// decoders as often as the plain planes. It must be set before Open, which
// sizes the image by it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const uint8_t Resolution = Size ? Data[Size - 1] % 5 : 2;
  FuzzReadWith<TPcdReader>(
      Data, Size, [Resolution](TPcdReader& Reader) { Reader.PcdResolution = Resolution; }, [](TPcdReader&) {});
  return 0;
}
