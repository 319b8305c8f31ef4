#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "FuzzRead.h"
#include "XJpg.h"

namespace {

// The path JPEG-compressed TIFF data takes: no shared tables, fast decoding,
// rows into a buffer of the caller's. Images too big to be worth the time
// are left after the header.
void DecodeAsTiffData(const uint8_t* Data, size_t Size) {
  TImgIO Owner;
  Owner.FormatName = "TIF";
  TJpegContext C;
  JpegSetupTablesDecompress(Owner, C, nullptr, true);
  JpegSetSourceMemory(C, {Data, Size});
  JpegReadHeader(C, true);
  if (uint64_t(C.Decompress.image_width) * C.Decompress.image_height > (uint64_t(1) << 22))
    return;
  JpegStartDecompress(C);
  std::vector<uint8_t> Row(size_t(C.Decompress.output_width) * size_t(C.Decompress.output_components));
  JSAMPROW P = Row.data();
  while (C.Decompress.output_scanline < C.Decompress.output_height)
    if (JpegReadScanlines(C, &P, 1) == 0)
      return;
  JpegFinishDecompress(C);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzRead<TJpgReader>(Data, Size, [](TJpgReader&) {});
  try {
    DecodeAsTiffData(Data, Size);
  } catch (const std::exception&) {
  }
  return 0;
}
