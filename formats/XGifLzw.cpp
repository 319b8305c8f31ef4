#include "XGifLzw.h"

void TGifDecoder::Restart(std::span<const uint8_t> Data, int32_t CodeSize, int32_t LineWidth) {
  FData = Data.data();
  FTotalBits = uint64_t(Data.size()) * 8;
  FClear = 1 << CodeSize;
  FCodeSize = CodeSize;
  FLineWidth = LineWidth;
  FPos = 0;
  // A string may run a whole table past the end of a row.
  const size_t LineSize = size_t(LineWidth) + GifMaxCodes + GifDataPadding;
  if (FLine.size() < LineSize)
    FLine.resize(LineSize);
  for (int32_t I = 0; I < FClear; ++I) {
    FSuffix[size_t(I)] = uint8_t(I);
    FFirst[size_t(I)] = uint8_t(I);
    FLength[size_t(I)] = 1;
  }
}

void TGifEncoder::FeedLzw(const uint8_t* P, size_t N) {
  size_t I = 0;
  if (FPrefix == NoPrefix && N > 0)
    FPrefix = P[I++];
  FPrefix = MatchStrings(FTable, FPrefix, P + I, N - I, [this](uint32_t Known, uint32_t B, uint32_t Slot) {
    Emit(Known);
    if (FNext < GifMaxCodes - 1) {
      FTable.Add(Slot, Known, B, uint32_t(FNext));
      ++FNext;
    } else {
      Emit(uint32_t(FClear));
      Reset();
    }
  });
}

void TGifEncoder::FeedExpand(const uint8_t* P, size_t N) {
  for (size_t I = 0; I < N; ++I) {
    Emit(P[I]);
    if (++FNext >= FLimit) {
      Emit(uint32_t(FClear));
      Reset();
    }
  }
}

void TGifEncoder::Finish() {
  if (FLzw && FPrefix != NoPrefix)
    Emit(FPrefix);
  Emit(uint32_t(FClear + 1));
  if (FBits > 0)
    PutByte(uint8_t(FAcc));
  FAcc = 0;
  FBits = 0;
  if (FBlockLen > 0) {
    FBlock[0] = uint8_t(FBlockLen);
    FWriter.BufferedWrite(FBlock.data(), size_t(FBlockLen) + 1);
    FBlockLen = 0;
  }
  const uint8_t Tail[2] = {0x00, GifTrailer};
  FWriter.BufferedWrite(Tail, sizeof Tail);
}
