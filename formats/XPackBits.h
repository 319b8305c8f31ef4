#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The byte run coding layered image files and IFF pictures share: a control
// byte n from 0 to 127 copies n + 1 literal bytes, 129 to 255 repeat the next
// byte 257 - n times, 128 does nothing.
struct TUnpacked {
  size_t Written = 0;
  // A literal ran past Count; its bytes up to Count were kept.
  bool LiteralPastEnd = false;
};

// Unpacks from P until Count bytes are written to D or the input ends; a
// repeat is cut at Count. P is left after the codes used.
inline TUnpacked UnpackBits(const uint8_t*& P, const uint8_t* End, uint8_t* D, size_t Count) {
  constexpr uint8_t NoOp = 0x80;
  TUnpacked R;
  size_t& X = R.Written;
  while (P < End && X < Count) {
    const uint8_t Code = *P++;
    if (Code < NoOp) {
      const size_t Run = size_t(Code) + 1, Avail = std::min(Run, size_t(End - P));
      const size_t Len = std::min(Avail, Count - X);
      R.LiteralPastEnd = Run > Count - X;
      std::memcpy(D + X, P, Len);
      P += Avail;
      X += Len;
    } else if (Code > NoOp) {
      if (P == End)
        break;
      const size_t Len = std::min(size_t(257 - Code), Count - X);
      std::memset(D + X, *P++, Len);
      X += Len;
    }
  }
  return R;
}
