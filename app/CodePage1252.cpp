#include "CodePage1252.h"

#include <array>

namespace {

// Code points of 0x80..0x9F; everything else is Latin-1.
constexpr std::array<char32_t, 32> HighControls = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CodePointOf(uint8_t B) { return B >= 0x80 && B <= 0x9F ? HighControls[B - 0x80] : char32_t(B); }

int ByteOf(char32_t C) {
  if (C < 0x80 || (C >= 0xA0 && C <= 0xFF))
    return int(C);
  for (size_t I = 0; I < HighControls.size(); ++I)
    if (HighControls[I] == C)
      return int(0x80 + I);
  return -1;
}

void AppendUtf8(std::string& Out, char32_t C) {
  if (C < 0x80) {
    Out += char(C);
  } else if (C < 0x800) {
    Out += char(0xC0 | (C >> 6));
    Out += char(0x80 | (C & 0x3F));
  } else {
    Out += char(0xE0 | (C >> 12));
    Out += char(0x80 | ((C >> 6) & 0x3F));
    Out += char(0x80 | (C & 0x3F));
  }
}

// Decodes one well-formed UTF-8 sequence at Pos; returns its length, or 0
// when the bytes there are not one (overlong, surrogate, beyond U+10FFFF,
// cut short).
size_t DecodeUtf8(std::string_view S, size_t Pos, char32_t& C) {
  const auto Byte = [&](size_t I) { return uint8_t(S[I]); };
  const uint8_t B0 = Byte(Pos);
  size_t Len;
  char32_t Min;
  if (B0 < 0x80) {
    C = B0;
    return 1;
  } else if ((B0 & 0xE0) == 0xC0) {
    Len = 2, Min = 0x80, C = B0 & 0x1F;
  } else if ((B0 & 0xF0) == 0xE0) {
    Len = 3, Min = 0x800, C = B0 & 0x0F;
  } else if ((B0 & 0xF8) == 0xF0) {
    Len = 4, Min = 0x10000, C = B0 & 0x07;
  } else {
    return 0;
  }
  if (S.size() - Pos < Len)
    return 0;
  for (size_t I = 1; I < Len; ++I) {
    const uint8_t B = Byte(Pos + I);
    if ((B & 0xC0) != 0x80)
      return 0;
    C = (C << 6) | (B & 0x3F);
  }
  if (C < Min || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF))
    return 0;
  return Len;
}

} // namespace

std::string Cp1252ToUtf8(const uint8_t* Bytes, size_t Count) {
  std::string Out;
  Out.reserve(Count);
  for (size_t I = 0; I < Count; ++I)
    AppendUtf8(Out, CodePointOf(Bytes[I]));
  return Out;
}

std::string Utf8ToCp1252(std::string_view Utf8, bool* Lossless) {
  std::string Out;
  Out.reserve(Utf8.size());
  bool Exact = true;
  size_t Pos = 0;
  while (Pos < Utf8.size()) {
    char32_t C = 0;
    const size_t Len = DecodeUtf8(Utf8, Pos, C);
    const int B = Len ? ByteOf(C) : -1;
    if (B < 0) {
      Out += '?';
      Exact = false;
    } else {
      Out += char(B);
    }
    Pos += Len ? Len : 1;
  }
  if (Lossless)
    *Lossless = Exact;
  return Out;
}
