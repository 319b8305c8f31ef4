#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "LzwStringTable.h"

// TIFF LZW: the usual variant (codes most significant bit first, the code
// width growing one code early) and the old one some early writers used
// (least significant bit first, growing on time), told apart by the first
// two bytes of each strip. Codes of 9 to 12 bits, 256 clears, 257 ends.

enum class TTifLzwStatus : uint8_t {
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
  TTifLzwStatus Status() const;
  // A code above the next free one was met (and decoding went on).
  bool BogusCode() const;
  bool OldStyle() const;

private:
  static constexpr int32_t MaxCodes = 4096;

  template <bool MsbFirst>
  uint8_t* Run(uint8_t* D, uint8_t* E);
  void Reset();
  // Bytes From..To-1 of the string of Code, to D.
  void PutPart(int32_t Code, int32_t From, int32_t To, uint8_t* D) const;

  const uint8_t* FData = nullptr;
  size_t FSize = 0, FPos = 0;
  // Unread bits: the top FBits bits (most significant first) or the low
  // FBits bits (least significant first).
  uint64_t FBuf = 0;
  int32_t FBits = 0;
  int32_t FWidth = 9, FNext = 258, FLimit = 511, FOld = -1;
  // A string that did not fit into the last Out: its code and bytes written.
  int32_t FPendCode = -1, FPendDone = 0;
  TTifLzwStatus FStatus = TTifLzwStatus::End;
  bool FBogus = false, FOldStyle = false;
  std::array<uint16_t, MaxCodes> FPrefix{};
  std::array<uint16_t, MaxCodes> FLength{};
  std::array<uint8_t, MaxCodes> FSuffix{};
  std::array<uint8_t, MaxCodes> FFirst{};
};

// The usual TIFF LZW encoder: most significant bit first, the code width
// growing one code early, a clear code before the table would reach 4094
// entries. Strings run on across Feed calls until Finish ends the strip.
class TTifLzwEncoder {
public:
  // Receives the coded bytes in pieces of up to 4096 and the rest at Finish.
  using TSink = std::function<void(std::span<const uint8_t>)>;

  explicit TTifLzwEncoder(TSink Sink);

  // Begins a strip: an empty table and a clear code.
  void Start();
  void Feed(std::span<const uint8_t> Data);
  // The pending string, the end-of-information code and the last bits padded
  // to a byte; every coded byte of the strip has reached the sink.
  void Finish();

private:
  static constexpr uint32_t NoPrefix = 0xFFFFFFFFu;

  // Codes packed most significant bit first into whole bytes.
  struct TCodeWriter {
    uint64_t Acc = 0;
    int32_t Bits = 0;
    size_t Length = 0;
    void Put(uint32_t Code, int32_t Width, uint8_t* Out) {
      Acc = (Acc << Width) | Code;
      Bits += Width;
      while (Bits >= 8) {
        Bits -= 8;
        Out[Length++] = uint8_t(Acc >> Bits);
      }
    }
  };

  void Reset();
  void Emit(uint32_t Code);
  void Flush();

  TSink FSink;
  TLzwStringTable FTable;
  uint32_t FPrefix = NoPrefix;
  int32_t FNext = 258, FWidth = 9;
  TCodeWriter FCodes;
  std::vector<uint8_t> FOut;
};
