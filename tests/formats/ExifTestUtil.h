#pragma once
#include <cstdint>
#include <vector>

#include "ByteOrder.h"
#include "XExif.h"

namespace ExifTest {

// One directory entry as the segment stores it.
struct TEntry {
  uint16_t Tag, Type;
  uint32_t Count;
  uint16_t Value;
};

inline constexpr uint16_t OrientationTag = 274, Short = 3, Long = 4;

// An APP1 payload: signature, TIFF header, the first directory at IfdOffset
// (counted from the TIFF header) with its entries and next link.
inline std::vector<uint8_t> Segment(bool BigEndian, const std::vector<TEntry>& Entries, uint32_t IfdOffset = 8,
                                    uint32_t Next = 0) {
  std::vector<uint8_t> S(ExifSignature, ExifSignature + 6);
  const size_t Tiff = S.size();
  S.resize(Tiff + IfdOffset + 2 + 12 * Entries.size() + 4);
  uint8_t* T = S.data() + Tiff;
  T[0] = T[1] = BigEndian ? 'M' : 'I';
  Put16(T + 2, 42, BigEndian);
  Put32(T + 4, IfdOffset, BigEndian);
  uint8_t* P = T + IfdOffset;
  Put16(P, uint16_t(Entries.size()), BigEndian);
  P += 2;
  for (const TEntry& E : Entries) {
    Put16(P, E.Tag, BigEndian);
    Put16(P + 2, E.Type, BigEndian);
    Put32(P + 4, E.Count, BigEndian);
    // A short sits in the first two bytes of the value field.
    Put16(P + 8, E.Value, BigEndian);
    P += 12;
  }
  Put32(P, Next, BigEndian);
  return S;
}

inline std::vector<uint8_t> OrientationSegment(uint16_t Orientation, bool BigEndian = false) {
  return Segment(BigEndian, {{OrientationTag, Short, 1, Orientation}});
}

// Jpeg with an APP1 segment of Payload right after its start marker.
inline std::vector<uint8_t> WithApp1(const std::vector<uint8_t>& Jpeg, const std::vector<uint8_t>& Payload) {
  const size_t Length = Payload.size() + 2;
  std::vector<uint8_t> Out = {Jpeg[0], Jpeg[1], 0xFF, 0xE1, uint8_t(Length >> 8), uint8_t(Length)};
  Out.reserve(Jpeg.size() + Length + 2);
  Out.insert(Out.end(), Payload.begin(), Payload.end());
  Out.insert(Out.end(), Jpeg.begin() + 2, Jpeg.end());
  return Out;
}

} // namespace ExifTest
