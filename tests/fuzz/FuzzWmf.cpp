#include "FuzzRead.h"
#include "XWmf.h"

// The picture size is fixed when the header is read, so the bound is set
// before opening; a small one keeps each input quick.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReadWith<TWmfReader>(
      Data, Size, [](TWmfReader& Reader) { Reader.MaxPixels = 1 << 18; }, [](TWmfReader&) {});
  return 0;
}
