#include <memory>

#include "CCITTLib.h"
#include "LzwLib.h"
#include "XTif.h"
#include "XTifCoders.h"
#include "XTifTags.h"

void TTifReader::DecodeLzw(std::span<const uint8_t> In, std::span<uint8_t> Out) {
  TTifLzwDecoder Lzw;
  Lzw.Start(In);
  Lzw.Decode(Out);
  if (Lzw.Status() == TTifLzwStatus::Invalid)
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

// Fax rows from the strip; the decoder gives 1 for black, the photometric
// tells what the stored bits mean, as for plain bilevel data.
void TTifReader::DecodeFax(std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t Rb, int32_t Width) {
  TFaxParams P;
  P.Width = Width;
  P.Coding = Compression == TifCmp::Group4   ? TFaxCoding::Group4
             : Compression == TifCmp::Group3 ? TFaxCoding::Group3
                                             : TFaxCoding::ModifiedHuffman;
  P.Options = FaxOptions;
  P.WordAligned = CompressionTag == 32771;
  std::unique_ptr<TCCITTDecoder> D = NewCCITTDecoder(P);
  if (!D)
    Fail(ImgMsg::ImproperStrip);
  D->Start(In);
  for (size_t At = 0; At + size_t(Rb) <= Out.size(); At += size_t(Rb)) {
    const TFaxStatus S = D->DecodeRow(Out.subspan(At, size_t(Rb)));
    if (S == TFaxStatus::End)
      return;
    if (S == TFaxStatus::Damaged)
      SetWarning(FormatMessage(ImgMsg::CompressionError));
  }
}
