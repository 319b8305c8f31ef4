#include <cstddef>
#include <cstdint>
#include <vector>

#include "CCITTLib.h"

// The fax decoder alone: two bytes choose the coding, options and width,
// the rest is one strip. Rows must stay inside their buffer, which is exactly
// as long as a row, and pad bits must stay clear.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3)
    return 0;
  TFaxParams P;
  P.Coding = TFaxCoding((Data[0] & 3) % 3);
  P.Options = (Data[0] >> 2) & 7;
  P.WordAligned = (Data[0] & 0x20) != 0;
  P.ReverseBits = (Data[0] & 0x40) != 0;
  P.Width = 1 + ((Data[1] | ((Data[2] & 0x0F) << 8)) % 4096);
  auto Decoder = NewCCITTDecoder(P);
  std::vector<uint8_t> Row(size_t(P.Width + 7) / 8);
  const uint8_t Pad = uint8_t(0xFF >> (P.Width % 8 == 0 ? 8 : P.Width % 8));
  Decoder->Start({Data + 3, Size - 3});
  for (int Y = 0; Y < 2000; ++Y) {
    if (Decoder->DecodeRow(Row) == TFaxStatus::End)
      break;
    if ((Row.back() & Pad) != 0)
      __builtin_trap();
  }
  return 0;
}
