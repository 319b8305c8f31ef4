#pragma once
#include <cstdint>

// Field access for file headers and records: little-endian (Windows, GIF,
// bitmaps, the undo history) and big-endian (PNG, Photoshop, SGI, Sun).

constexpr uint16_t GetLE16(const uint8_t* P) { return uint16_t(P[0] | (P[1] << 8)); }
constexpr uint32_t GetLE32(const uint8_t* P) {
  return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24);
}
constexpr uint16_t GetBE16(const uint8_t* P) { return uint16_t((P[0] << 8) | P[1]); }
constexpr uint32_t GetBE32(const uint8_t* P) {
  return (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | uint32_t(P[3]);
}

constexpr int32_t GetLESigned32(const uint8_t* P) { return int32_t(GetLE32(P)); }
// 16-bit samples whose order a source names at run time.
constexpr uint16_t Get16(const uint8_t* P, bool BigEndian) { return BigEndian ? GetBE16(P) : GetLE16(P); }
constexpr uint32_t GetBE24(const uint8_t* P) { return (uint32_t(P[0]) << 16) | (uint32_t(P[1]) << 8) | uint32_t(P[2]); }

constexpr void PutLE16(uint8_t* P, uint16_t V) {
  P[0] = uint8_t(V);
  P[1] = uint8_t(V >> 8);
}
constexpr void PutLE32(uint8_t* P, uint32_t V) {
  P[0] = uint8_t(V);
  P[1] = uint8_t(V >> 8);
  P[2] = uint8_t(V >> 16);
  P[3] = uint8_t(V >> 24);
}
constexpr void PutBE16(uint8_t* P, uint16_t V) {
  P[0] = uint8_t(V >> 8);
  P[1] = uint8_t(V);
}
constexpr void PutBE32(uint8_t* P, uint32_t V) {
  P[0] = uint8_t(V >> 24);
  P[1] = uint8_t(V >> 16);
  P[2] = uint8_t(V >> 8);
  P[3] = uint8_t(V);
}
// Fields of files whose byte order is chosen at run time.
constexpr void Put16(uint8_t* P, uint16_t V, bool BigEndian) { BigEndian ? PutBE16(P, V) : PutLE16(P, V); }
constexpr void Put32(uint8_t* P, uint32_t V, bool BigEndian) { BigEndian ? PutBE32(P, V) : PutLE32(P, V); }
