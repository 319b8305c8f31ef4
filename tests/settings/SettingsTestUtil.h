#pragma once
#include <array>
#include <cstdint>
#include <cstring>

#include "ByteOrder.h"

inline int32_t GetI32(const uint8_t* Data, size_t Offset) { return GetLESigned32(Data + Offset); }

inline void PutI32(uint8_t* Data, size_t Offset, int64_t V) { PutLE32(Data + Offset, uint32_t(V)); }

// The record with every default, laid out by hand from the file format
// rather than through TSettings. Each entry: offset, width, value.
inline std::array<uint8_t, 2021> GoldenDefaults() {
  struct TField {
    size_t Offset;
    int Width;
    int64_t Value;
  };
  static const TField Fields[] = {
      {0, 4, 1541},  {4, 4, 0x808080}, {8, 1, 1},     {9, 4, 1},     {13, 4, 32},     {17, 4, 1},    {21, 1, 0},
      {22, 1, 1},    {23, 1, 0},       {24, 1, 0},    {25, 1, 1},    {26, 1, 1},      {27, 1, 1},    {28, 1, 1},
      {29, 1, 0},    {30, 4, 4},       {34, 4, 1},    {38, 4, 300},  {42, 4, 600},    {46, 4, 150},  {50, 4, 256},
      {54, 4, 1},    {58, 4, 30},      {62, 4, 50},   {66, 4, 20},   {70, 4, 0},      {74, 4, 0},    {78, 4, 240},
      {82, 4, 1},    {86, 4, 1},       {90, 4, 120},  {94, 4, 80},   {98, 4, 20},     {102, 4, 40},  {106, 4, 260},
      {110, 4, 40},  {114, 4, 378},    {118, 4, 240}, {122, 1, 1},   {123, 1, 0},     {124, 4, 0},   {128, 4, 0},
      {132, 4, 130}, {136, 4, 120},    {140, 4, 120}, {144, 4, 120}, {148, 1, 1},     {149, 1, 0},   {390, 1, 0},
      {631, 1, 1},   {632, 1, 1},      {633, 1, 1},   {634, 1, 0},   {635, 1, 0},     {636, 1, 0},   {637, 1, 1},
      {638, 4, 90},  {642, 1, 1},      {643, 1, 0},   {644, 1, 0},   {645, 4, 32768}, {649, 4, 6},   {653, 1, 0x1F},
      {654, 1, 1},   {655, 1, 0},      {656, 1, 0},   {657, 1, 16},  {658, 1, 1},     {659, 1, 0},   {915, 1, 0},
      {1171, 1, 0},  {1427, 1, 0},     {1683, 1, 0},  {1939, 1, 1},  {1940, 1, 5},    {2005, 4, 24}, {2009, 1, 0},
      {2010, 4, 0},  {2014, 1, 1},     {2015, 1, 1},  {2016, 1, 1},  {2017, 1, 0},    {2018, 1, 2},  {2019, 1, 1},
      {2020, 1, 0}};
  std::array<uint8_t, 2021> B{};
  for (const TField& F : Fields)
    for (int K = 0; K < F.Width; ++K)
      B[F.Offset + K] = uint8_t(uint64_t(F.Value) >> (8 * K));
  std::memcpy(&B[1941], "Arial", 5);
  return B;
}
