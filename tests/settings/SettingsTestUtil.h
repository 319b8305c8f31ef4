#pragma once
#include <array>
#include <cstdint>
#include <cstring>

inline int32_t GetI32(const uint8_t* Data, size_t Offset) {
  return int32_t(uint32_t(Data[Offset]) | uint32_t(Data[Offset + 1]) << 8 | uint32_t(Data[Offset + 2]) << 16 |
                 uint32_t(Data[Offset + 3]) << 24);
}

inline void PutI32(uint8_t* Data, size_t Offset, int64_t V) {
  for (int K = 0; K < 4; ++K)
    Data[Offset + K] = uint8_t(uint64_t(V) >> (8 * K));
}

// The record with every default, laid out by hand from the file format
// rather than through TSettings.
inline std::array<uint8_t, 2021> GoldenDefaults() {
  std::array<uint8_t, 2021> B{};
  const auto I32 = [&](size_t Offset, int64_t V) { PutI32(B.data(), Offset, V); };
  I32(0, 1541);
  I32(4, 0x808080);
  B[8] = 1;
  I32(9, 1);
  I32(13, 32);
  I32(17, 1);
  B[21] = 0;
  B[22] = 1;
  B[23] = 0;
  B[24] = 0;
  B[25] = 1;
  B[26] = 1;
  B[27] = 1;
  B[28] = 1;
  B[29] = 0;
  I32(30, 4);
  I32(34, 1);
  I32(38, 300);
  I32(42, 600);
  I32(46, 150);
  I32(50, 256);
  I32(54, 1);
  I32(58, 30);
  I32(62, 50);
  I32(66, 20);
  I32(70, 0);
  I32(74, 0);
  I32(78, 240);
  I32(82, 1);
  I32(86, 1);
  I32(90, 120);
  I32(94, 80);
  I32(98, 20);
  I32(102, 40);
  I32(106, 260);
  I32(110, 40);
  I32(114, 378);
  I32(118, 240);
  B[122] = 1;
  B[123] = 0;
  I32(124, 0);
  I32(132, 130);
  I32(136, 120);
  I32(140, 120);
  I32(144, 120);
  B[148] = 1;
  B[631] = 1;
  B[632] = 1;
  B[633] = 1;
  B[637] = 1;
  I32(638, 90);
  B[642] = 1;
  I32(645, 32768);
  I32(649, 6);
  B[653] = 0x1F;
  B[654] = 1;
  B[655] = 0;
  B[656] = 0;
  B[657] = 16;
  B[658] = 1;
  B[1939] = 1;
  B[1940] = 5;
  std::memcpy(&B[1941], "Arial", 5);
  I32(2005, 24);
  B[2009] = 0;
  I32(2010, 0);
  B[2014] = 1;
  B[2015] = 1;
  B[2016] = 1;
  B[2017] = 0;
  B[2018] = 2;
  B[2019] = 1;
  B[2020] = 0;
  return B;
}
