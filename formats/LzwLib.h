#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

// TIFF LZW: the usual variant (codes most significant bit first, the code
// width growing one code early) and the old one some early writers used
// (least significant bit first, growing on time), told apart by the first
// two bytes of each strip. Codes of 9 to 12 bits, 256 clears, 257 ends.

enum class TLzwStatus : uint8_t {
  Ok,
  // End-of-information code, or the input used up.
  End,
  // A code above 4095: the strip ends here and the file is broken.
  Invalid,
};

// One strip at a time; all state is in the object, so decoders in different
// threads never meet.
class TTifLzwDecoder {
public:
  // The strip's data, which must stay valid until it is decoded.
  void Start(std::span<const uint8_t> Strip);
  // Fills Out as far as the data go, continuing where the last call ended;
  // answers the bytes written. Fewer than Out.size() only with End or Invalid.
  size_t Decode(std::span<uint8_t> Out);
  TLzwStatus Status() const;
  // A code above the next free one was met (and decoding went on).
  bool BogusCode() const;
  bool OldStyle() const;
};
