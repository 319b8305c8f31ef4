#include "LzwLib.h"

#include <algorithm>
#include <utility>

#include "ByteOrder.h"

namespace {
constexpr int32_t ClearCode = 256, EndCode = 257, FirstFree = 258;
constexpr int32_t MinWidth = 9, MaxWidth = 12;

uint64_t GetBE64(const uint8_t* P) { return (uint64_t(GetBE32(P)) << 32) | GetBE32(P + 4); }
uint64_t GetLE64(const uint8_t* P) { return uint64_t(GetLE32(P)) | (uint64_t(GetLE32(P + 4)) << 32); }

// The next free code at which the width grows: the usual variant grows one
// code early.
constexpr int32_t LimitOf(int32_t Width, bool MsbFirst) { return (1 << Width) - (MsbFirst ? 1 : 0); }
} // namespace

void TTifLzwDecoder::Start(std::span<const uint8_t> Strip) {
  FData = Strip.data();
  FSize = Strip.size();
  FPos = 0;
  FBuf = 0;
  FBits = 0;
  // A clear code in the low nine bits, least significant bit first.
  FOldStyle = FSize >= 2 && FData[0] == 0 && (FData[1] & 1) != 0;
  FPendCode = -1;
  FPendDone = 0;
  FStatus = TTifLzwStatus::Ok;
  FBogus = false;
  for (int32_t C = 0; C < ClearCode; ++C) {
    FPrefix[C] = 0;
    FLength[C] = 1;
    FSuffix[C] = uint8_t(C);
    FFirst[C] = uint8_t(C);
  }
  Reset();
}

void TTifLzwDecoder::Reset() {
  FWidth = MinWidth;
  FNext = FirstFree;
  FLimit = LimitOf(FWidth, !FOldStyle);
  FOld = -1;
}

TTifLzwStatus TTifLzwDecoder::Status() const { return FStatus; }
bool TTifLzwDecoder::BogusCode() const { return FBogus; }
bool TTifLzwDecoder::OldStyle() const { return FOldStyle; }

void TTifLzwDecoder::PutPart(int32_t Code, int32_t From, int32_t To, uint8_t* D) const {
  int32_t C = Code;
  for (int32_t I = FLength[Code] - 1; I >= From; --I) {
    if (I < To)
      D[I - From] = FSuffix[C];
    C = FPrefix[C];
  }
}

size_t TTifLzwDecoder::Decode(std::span<uint8_t> Out) {
  uint8_t* D = Out.data();
  uint8_t* const E = D + Out.size();
  if (FPendCode >= 0) {
    const int32_t Take = std::min<int32_t>(FLength[FPendCode] - FPendDone, int32_t(E - D));
    PutPart(FPendCode, FPendDone, FPendDone + Take, D);
    D += Take;
    FPendDone += Take;
    if (FPendDone < FLength[FPendCode])
      return Out.size();
    FPendCode = -1;
  }
  if (FStatus != TTifLzwStatus::Ok)
    return size_t(D - Out.data());
  return size_t((FOldStyle ? Run<false>(D, E) : Run<true>(D, E)) - Out.data());
}

// Whole bytes are added until at least 56 bits are held. Bits of a byte
// loaded but not yet counted are its true bits, so loading it again later
// changes nothing.
template <bool MsbFirst>
struct TBitReader {
  const uint8_t* Data;
  size_t Size, Pos;
  uint64_t Buf;
  int32_t Bits;

  void Refill() {
    if (Size - Pos >= 8) {
      if constexpr (MsbFirst)
        Buf |= GetBE64(Data + Pos) >> Bits;
      else
        Buf |= GetLE64(Data + Pos) << Bits;
      const int32_t Bytes = (63 - Bits) >> 3;
      Pos += size_t(Bytes);
      Bits += Bytes * 8;
      return;
    }
    for (; Bits <= 56 && Pos < Size; Bits += 8)
      Buf |= MsbFirst ? uint64_t(Data[Pos++]) << (56 - Bits) : uint64_t(Data[Pos++]) << Bits;
  }
  int32_t Take(int32_t Width) {
    int32_t Code;
    if constexpr (MsbFirst) {
      Code = int32_t(Buf >> (64 - Width));
      Buf <<= Width;
    } else {
      Code = int32_t(Buf & ((1u << Width) - 1));
      Buf >>= Width;
    }
    Bits -= Width;
    return Code;
  }
};

// The state lives in locals while decoding: stores through the output
// pointer could otherwise touch any member.
template <bool MsbFirst>
uint8_t* TTifLzwDecoder::Run(uint8_t* D, uint8_t* const E) {
  uint16_t* const Prefix = FPrefix.data();
  uint16_t* const Length = FLength.data();
  uint8_t* const Suffix = FSuffix.data();
  uint8_t* const First = FFirst.data();
  TBitReader<MsbFirst> In{FData, FSize, FPos, FBuf, FBits};
  int32_t Width = FWidth, Next = FNext, Limit = FLimit, Old = FOld;
  while (D < E) {
    if (In.Bits < Width) {
      In.Refill();
      if (In.Bits < Width) {
        FStatus = TTifLzwStatus::End;
        break;
      }
    }
    const int32_t Code = In.Take(Width);
    if (Code < ClearCode) {
      if (Old >= 0 && Next < MaxCodes) {
        First[Next] = First[Old];
        Prefix[Next] = uint16_t(Old);
        Length[Next] = uint16_t(Length[Old] + 1);
        Suffix[Next] = uint8_t(Code);
        if (++Next == Limit && Width < MaxWidth)
          Limit = LimitOf(++Width, MsbFirst);
      }
      Old = Code;
      *D++ = uint8_t(Code);
      continue;
    }
    if (Code == ClearCode) {
      Width = MinWidth;
      Next = FirstFree;
      Limit = LimitOf(Width, MsbFirst);
      Old = -1;
      continue;
    }
    if (Code == EndCode) {
      FStatus = TTifLzwStatus::End;
      break;
    }
    // Widths stop at 12 bits; this guards the tables should that change.
    if (Code >= MaxCodes) {
      FStatus = TTifLzwStatus::Invalid;
      break;
    }
    // Past the table, or the string being defined with no string before it:
    // nothing to decode. The code is dropped and the table kept.
    if (Code > Next || (Code == Next && Old < 0)) {
      FBogus = true;
      continue;
    }
    if (Old >= 0 && Next < MaxCodes) {
      // First before Suffix: when Code is the entry being made, its first
      // byte is that of the previous string.
      First[Next] = First[Old];
      Prefix[Next] = uint16_t(Old);
      Length[Next] = uint16_t(Length[Old] + 1);
      Suffix[Next] = First[Code];
      if (++Next == Limit && Width < MaxWidth)
        Limit = LimitOf(++Width, MsbFirst);
    }
    Old = Code;
    const int32_t N = Length[Code];
    if (N > E - D) {
      FPendCode = Code;
      FPendDone = int32_t(E - D);
      PutPart(Code, 0, FPendDone, D);
      D = E;
      break;
    }
    uint8_t* P = D + N - 1;
    int32_t C = Code;
    while (C >= ClearCode) {
      *P-- = Suffix[C];
      C = Prefix[C];
    }
    *P = uint8_t(C);
    D += N;
  }
  FPos = In.Pos;
  FBuf = In.Buf;
  FBits = In.Bits;
  FWidth = Width;
  FNext = Next;
  FLimit = Limit;
  FOld = Old;
  return D;
}

namespace {
constexpr size_t EncoderBlock = 4096;
// Adding this entry would bring the next free code to 4094; the encoder
// clears instead, as decoders that stop at 4094 entries expect.
constexpr int32_t LastFree = 4093;
} // namespace

TTifLzwEncoder::TTifLzwEncoder(TSink Sink) : FSink(std::move(Sink)), FOut(EncoderBlock + 16) {}

void TTifLzwEncoder::Reset() {
  FTable.Clear();
  FNext = FirstFree;
  FWidth = MinWidth;
}

void TTifLzwEncoder::Start() {
  Reset();
  FPrefix = NoPrefix;
  FCodes = {};
  Emit(ClearCode);
}

void TTifLzwEncoder::Emit(uint32_t Code) {
  FCodes.Put(Code, FWidth, FOut.data());
  if (FCodes.Length >= EncoderBlock)
    Flush();
  if (FNext >= LimitOf(FWidth, true) && FWidth < MaxWidth)
    ++FWidth;
}

void TTifLzwEncoder::Flush() {
  if (FCodes.Length > 0)
    FSink({FOut.data(), FCodes.Length});
  FCodes.Length = 0;
}

void TTifLzwEncoder::Feed(std::span<const uint8_t> Data) {
  const uint8_t* P = Data.data();
  const size_t N = Data.size();
  size_t I = 0;
  if (FPrefix == NoPrefix) {
    if (N == 0)
      return;
    FPrefix = P[I++];
  }
  // The loop works on local copies, which stay in registers.
  TCodeWriter Codes = FCodes;
  int32_t Next = FNext, Width = FWidth, Limit = LimitOf(Width, true);
  uint8_t* const Out = FOut.data();
  FPrefix = MatchStrings(FTable, FPrefix, P + I, N - I, [&](uint32_t Known, uint32_t B, uint32_t Slot) {
    Codes.Put(Known, Width, Out);
    // The decoder adds the entry of this code only with the next one, so the
    // width grows while the next free code is one below the limit.
    if (Next >= Limit && Width < MaxWidth)
      Limit = LimitOf(++Width, true);
    if (Next < LastFree) {
      FTable.Add(Slot, Known, B, uint32_t(Next));
      ++Next;
    } else {
      Codes.Put(ClearCode, Width, Out);
      FTable.Clear();
      Next = FirstFree;
      Width = MinWidth;
      Limit = LimitOf(Width, true);
    }
    if (Codes.Length >= EncoderBlock) {
      FSink({Out, Codes.Length});
      Codes.Length = 0;
    }
  });
  FCodes = Codes;
  FNext = Next;
  FWidth = Width;
}

void TTifLzwEncoder::Finish() {
  if (FPrefix != NoPrefix)
    Emit(FPrefix);
  FPrefix = NoPrefix;
  Emit(EndCode);
  if (FCodes.Bits > 0)
    FOut[FCodes.Length++] = uint8_t(FCodes.Acc << (8 - FCodes.Bits));
  FCodes.Bits = 0;
  Flush();
}
