#include <cstdint>
#include <cstring>
#include <vector>

#include "LzwLib.h"
#include "XTifCoders.h"

// The TIFF strip decoders alone. The first byte picks the decoder and the
// output slice sizes, the next two the row width; the rest is the strip.
// Out is exactly as long as asked for, so AddressSanitizer sees any write
// past it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3)
    return 0;
  const uint8_t Mode = Data[0];
  const int32_t Width = 1 + ((Data[1] | (Data[2] << 8)) & 0x3FF);
  const std::span<const uint8_t> In(Data + 3, Size - 3);
  switch (Mode % 3) {
  case 0: {
    TTifLzwDecoder D;
    D.Start(In);
    const size_t Slice = 1 + (Mode >> 2) * 97;
    size_t Total = 0;
    while (Total < 1 << 20) {
      std::vector<uint8_t> Out(Slice);
      const size_t Got = D.Decode(Out);
      Total += Got;
      if (Got < Slice)
        break;
    }
    break;
  }
  case 1: {
    const int32_t RowBytes = (Width + 1) / 2, Rows = 1 + (Mode >> 2);
    std::vector<uint8_t> Out(size_t(RowBytes) * size_t(Rows));
    if (ThunderScanDecode(In, Out, Width, RowBytes) > Rows)
      __builtin_trap();
    break;
  }
  default: {
    const int32_t Planes = Mode & 4 ? 4 : 2;
    const uint8_t* P = In.data();
    const uint8_t* const End = P + In.size();
    std::vector<uint8_t> Row(size_t(Width) * size_t(Planes));
    while (P < End && LogLuvRleRow(P, End, Row, Width, Planes))
      if (P > End)
        __builtin_trap();
    break;
  }
  }
  return 0;
}
