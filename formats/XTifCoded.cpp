#include "LzwLib.h"
#include "XTif.h"
#include "XTifCoders.h"
#include "XTifTags.h"

void TTifReader::DecodeLzw(std::span<const uint8_t> In, std::span<uint8_t> Out) {
  TTifLzwDecoder Lzw;
  Lzw.Start(In);
  Lzw.Decode(Out);
  if (Lzw.Status() == TLzwStatus::Invalid)
    Fail(ImgMsg::LzwValue);
  if (Lzw.BogusCode())
    SetWarning(ImgMsg::LzwBogus);
}

void TTifReader::DecodeThunder(std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t Rb, int32_t Width) {
  ThunderScanDecode(In, Out, Width, Rb);
}

// Each row is coded on its own; a row that ends early ends the strip.
void TTifReader::DecodeLuvRle(std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t Rb, int32_t Width) {
  const uint8_t* P = In.data();
  const uint8_t* End = In.data() + In.size();
  const int32_t Planes = Compression == TifCmp::LogL16 ? 2 : 4;
  for (size_t At = 0; At + size_t(Rb) <= Out.size(); At += size_t(Rb))
    if (!LogLuvRleRow(P, End, Out.subspan(At, size_t(Width) * size_t(Planes)), Width, Planes)) {
      SetWarning(FormatMessage(ImgMsg::CompressionError));
      return;
    }
}
