#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "LzwStringTable.h"
#include "XImg.h"

// The GIF variant of the string-table coder, both directions.

inline constexpr int32_t GifMaxCodes = 4096;
inline constexpr int32_t GifMaxCodeWidth = 12;
// The decoder reads codes four bytes at a time from anywhere in the data.
inline constexpr size_t GifDataPadding = 8;
inline constexpr uint8_t GifTrailer = 0x3B;

enum class TLzwStatus { EndCode, Stopped, DataEnded, Error };

// The GIF string-table decoder. Strings are written back to front straight
// into the line, so no stack is needed, and a string may run past the end of
// a row: whole rows go to the sink, the rest moves to the front of the line.
class TGifDecoder {
public:
  // Data must be followed by GifDataPadding readable bytes.
  TGifDecoder(std::span<const uint8_t> Data, int32_t CodeSize, int32_t LineWidth) {
    Restart(Data, CodeSize, LineWidth);
  }

  // Starts on the data of another image; the tables and the line are reused,
  // so images of a frame cost no more than their own pixels.
  void Restart(std::span<const uint8_t> Data, int32_t CodeSize, int32_t LineWidth);

  // Sink(const uint8_t* Row) takes one row of LineWidth pixels and answers
  // whether more rows are wanted.
  template <class TSink>
  TLzwStatus Decode(TSink&& Sink);

  // Pixels of an unfinished row when decoding stopped.
  const uint8_t* Line() const { return FLine.data(); }
  int32_t Pending() const { return FPos; }

private:
  const uint8_t* FData = nullptr;
  uint64_t FTotalBits = 0;
  int32_t FClear = 0, FCodeSize = 0, FLineWidth = 0;
  int32_t FPos = 0;
  std::vector<uint8_t> FLine;
  std::array<uint16_t, GifMaxCodes> FPrefix{};
  std::array<uint16_t, GifMaxCodes> FLength{};
  std::array<uint8_t, GifMaxCodes> FSuffix{};
  std::array<uint8_t, GifMaxCodes> FFirst{};
};

template <class TSink>
TLzwStatus TGifDecoder::Decode(TSink&& Sink) {
  const int32_t Clear = FClear, End = FClear + 1;
  int32_t Width = FCodeSize + 1;
  uint32_t Mask = (1u << Width) - 1;
  int32_t Next = Clear + 2, Limit = 1 << Width;
  int32_t Old = -1;
  uint64_t BitPos = 0;
  uint8_t* const Line = FLine.data();
  uint16_t* const Prefix = FPrefix.data();
  uint16_t* const Length = FLength.data();
  uint8_t* const Suffix = FSuffix.data();
  uint8_t* const First = FFirst.data();
  int32_t Pos = 0;

  for (;;) {
    if (BitPos + uint64_t(Width) > FTotalBits) {
      FPos = Pos;
      return TLzwStatus::DataEnded;
    }
    const uint32_t Raw = GetLE32(FData + (BitPos >> 3));
    const int32_t Code = int32_t((Raw >> (BitPos & 7)) & Mask);
    BitPos += uint64_t(Width);

    if (Code < Clear && Old >= 0) {
      Line[Pos++] = uint8_t(Code);
      if (Next < GifMaxCodes) {
        Prefix[Next] = uint16_t(Old);
        Suffix[Next] = uint8_t(Code);
        First[Next] = First[Old];
        Length[Next] = uint16_t(Length[Old] + 1);
        ++Next;
      }
    } else if (Code == Clear) {
      Width = FCodeSize + 1;
      Mask = (1u << Width) - 1;
      Next = Clear + 2;
      Limit = 1 << Width;
      Old = -1;
      continue;
    } else if (Code == End) {
      FPos = Pos;
      return TLzwStatus::EndCode;
    } else if (Old < 0) {
      // First code after a clear: a plain pixel, no new entry.
      if (Code > Clear) {
        FPos = Pos;
        return TLzwStatus::Error;
      }
      Line[Pos++] = uint8_t(Code);
    } else {
      if (Code > Next || Code >= GifMaxCodes) {
        FPos = Pos;
        return TLzwStatus::Error;
      }
      if (Code == Next) {
        // The string being defined: the previous one and its own first pixel.
        Prefix[Next] = uint16_t(Old);
        Suffix[Next] = First[Old];
        First[Next] = First[Old];
        Length[Next] = uint16_t(Length[Old] + 1);
      }
      const int32_t N = Length[Code];
      uint8_t* D = Line + Pos + N - 1;
      int32_t C = Code;
      while (C >= Clear) {
        *D-- = Suffix[C];
        C = Prefix[C];
      }
      *D = uint8_t(C);
      Pos += N;
      if (Code != Next && Next < GifMaxCodes) {
        Prefix[Next] = uint16_t(Old);
        Suffix[Next] = First[Code];
        First[Next] = First[Old];
        Length[Next] = uint16_t(Length[Old] + 1);
      }
      // A full table takes no more entries until the next clear code.
      if (Next < GifMaxCodes)
        ++Next;
    }
    if (Next == Limit && Width < GifMaxCodeWidth) {
      ++Width;
      Mask = (1u << Width) - 1;
      Limit <<= 1;
    }
    Old = Code;

    if (Pos >= FLineWidth) {
      int32_t Start = 0;
      do {
        if (!Sink(static_cast<const uint8_t*>(Line + Start))) {
          FPos = 0;
          return TLzwStatus::Stopped;
        }
        Start += FLineWidth;
      } while (Pos - Start >= FLineWidth);
      Pos -= Start;
      if (Pos > 0)
        std::memmove(Line, Line + Start, size_t(Pos));
    }
  }
}

// The GIF string-table encoder: strings are found through a hash of
// (prefix code, byte) pairs; codes go out least significant bit first in
// sub-blocks of 255 bytes.
class TGifEncoder {
public:
  TGifEncoder(TImgWriter& Writer, int32_t CodeSize, bool Lzw)
      : FWriter(Writer), FCodeSize(CodeSize), FClear(1 << CodeSize), FLzw(Lzw) {}

  void Start() {
    Reset();
    Emit(uint32_t(FClear));
  }
  void Feed(const uint8_t* P, size_t N) {
    if (FLzw)
      FeedLzw(P, N);
    else
      FeedExpand(P, N);
  }
  void Finish();

private:
  static constexpr uint32_t NoPrefix = GifMaxCodes + 1;

  void Reset() {
    FNext = FClear + 2;
    FWidth = FCodeSize + 1;
    FLimit = 1 << FWidth;
    if (FLzw)
      FTable.Clear();
  }
  void Emit(uint32_t Code) {
    FAcc |= uint64_t(Code) << FBits;
    FBits += FWidth;
    while (FBits >= 8) {
      PutByte(uint8_t(FAcc));
      FAcc >>= 8;
      FBits -= 8;
    }
    if (FNext >= FLimit && FWidth < GifMaxCodeWidth) {
      ++FWidth;
      FLimit = 1 << FWidth;
    }
  }
  void PutByte(uint8_t B) {
    FBlock[size_t(++FBlockLen)] = B;
    if (FBlockLen == 255) {
      FBlock[0] = 255;
      FWriter.BufferedWrite(FBlock.data(), 256);
      FBlockLen = 0;
    }
  }
  void FeedLzw(const uint8_t* P, size_t N);
  void FeedExpand(const uint8_t* P, size_t N);

  TImgWriter& FWriter;
  int32_t FCodeSize, FClear;
  bool FLzw;
  int32_t FNext = 0, FWidth = 0, FLimit = 0;
  uint32_t FPrefix = NoPrefix;
  uint64_t FAcc = 0;
  int32_t FBits = 0;
  int32_t FBlockLen = 0;
  std::array<uint8_t, 256> FBlock{};
  TLzwStringTable FTable;
};
