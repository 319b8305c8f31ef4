#pragma once
#include <cstdint>

// Lookup tables of the T.4 run-length and two-dimensional mode codes, built
// once and only read afterwards, so decoders in several threads share them.

// A run code: Len bits long, Run pixels (below 64 a terminating code, from 64
// a make-up code). A negative Run is no code: FaxNoCode for bits that start
// no code, FaxZeros for the zeros that lead into an EOL.
struct TFaxRunCode {
  int16_t Run;
  uint8_t Len;
};
inline constexpr int16_t FaxNoCode = -2;
inline constexpr int16_t FaxZeros = -1;

enum class TFaxMode : uint8_t { Pass, Horizontal, Vertical, Extension, NoCode };

struct TFaxModeCode {
  TFaxMode Mode;
  int8_t Delta; // a1 - b1 for vertical modes
  uint8_t Len;
};

// Short tables look up the next FaxShortBits bits; an entry with Len 0 means
// the code is longer and the long table over FaxLongBits bits has it.
inline constexpr int FaxShortBits = 9;
inline constexpr int FaxLongBits = 13;
inline constexpr int FaxModeBits = 7;

struct TFaxTables {
  TFaxRunCode WhiteShort[1 << FaxShortBits];
  TFaxRunCode BlackShort[1 << FaxShortBits];
  TFaxRunCode WhiteLong[1 << FaxLongBits];
  TFaxRunCode BlackLong[1 << FaxLongBits];
  TFaxModeCode Modes[1 << FaxModeBits];
};

const TFaxTables& FaxTables();
