#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

// The string table both LZW encoders share: each string is a (prefix code,
// byte) pair found through a hash of 8192 slots with linear probing, so a
// lookup costs one or two probes and the table clears with one fill.
class TLzwStringTable {
public:
  static constexpr uint32_t Slots = 8192;

  void Clear() { FSlots.fill(Empty); }

  // The code of the string Prefix + Byte, or -1 when it is not in the table;
  // Slot is then where Add puts it.
  int32_t Find(uint32_t Prefix, uint32_t Byte, uint32_t& Slot) const {
    const uint32_t Key = (Prefix << 8) | Byte;
    uint32_t S = (Key * 0x9E3779B1u) >> 19;
    for (;;) {
      const uint32_t Entry = FSlots[S];
      if (Entry == Empty) {
        Slot = S;
        return -1;
      }
      if ((Entry >> 12) == Key)
        return int32_t(Entry & 0xFFF);
      S = (S + 1) & (Slots - 1);
    }
  }
  void Add(uint32_t Slot, uint32_t Prefix, uint32_t Byte, uint32_t Code) {
    FSlots[Slot] = (((Prefix << 8) | Byte) << 12) | Code;
  }

private:
  static constexpr uint32_t Empty = 0xFFFFFFFFu;
  // Each slot: the 20-bit key (prefix * 256 + byte) above its 12-bit code.
  std::array<uint32_t, Slots> FSlots{};
};

// Walks Data along the table from the string Prefix, the loop both encoders
// share: each byte that ends a known string extends it; at the first that
// does not, OnMiss(Prefix, Byte, Slot) codes the string and adds or clears,
// and the byte starts the next string. Answers the string left open.
template <class TOnMiss>
uint32_t MatchStrings(const TLzwStringTable& Table, uint32_t Prefix, const uint8_t* Data, size_t Size,
                      TOnMiss&& OnMiss) {
  for (size_t I = 0; I < Size; ++I) {
    const uint32_t B = Data[I];
    uint32_t Slot;
    const int32_t Code = Table.Find(Prefix, B, Slot);
    if (Code >= 0) {
      Prefix = uint32_t(Code);
      continue;
    }
    OnMiss(Prefix, B, Slot);
    Prefix = B;
  }
  return Prefix;
}
