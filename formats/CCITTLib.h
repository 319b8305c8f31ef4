#pragma once
#include <cstdint>
#include <memory>
#include <span>

// Fax decoding for TIFF: Modified Huffman rows (compression 2 and the
// word-aligned 32771), T.4 pages with one- and two-dimensional lines
// (compression 3) and T.6 pages (compression 4). Output rows are packed
// 1-bit pixels, most significant bit first, 1 for black.

enum class TFaxCoding : uint8_t { ModifiedHuffman, Group3, Group4 };

// T4Options bits.
inline constexpr uint32_t FaxOpt2D = 1;           // lines may be coded two-dimensionally
inline constexpr uint32_t FaxOptUncompressed = 2; // uncompressed mode may appear
inline constexpr uint32_t FaxOptFillBits = 4;     // EOLs end on a byte boundary

struct TFaxParams {
  int32_t Width = 0;
  TFaxCoding Coding = TFaxCoding::Group3;
  // T4Options for Group 3, T6Options for Group 4; ignored for MH.
  uint32_t Options = 0;
  // MH rows start on a 16-bit word boundary of the input (compression 32771).
  bool WordAligned = false;
  // Input bytes hold their first bit in the least significant place (FillOrder 2).
  bool ReverseBits = false;
};

enum class TFaxStatus : uint8_t {
  Ok,
  // The input ended, or the page's end code (RTC, EOFB) came.
  End,
  // A line could not be decoded; it was completed with white, and decoding
  // resynchronised where the coding allows it (Group 3 at the next EOL).
  // Group 4 cannot: after a damaged row the strip ends.
  Damaged,
};

// Decodes the strips of one image; the state of one strip lives in the
// object, none is shared between objects.
class TCCITTDecoder {
public:
  virtual ~TCCITTDecoder() = default;
  // The next strip's data, which must stay valid while its rows are decoded.
  // Two-dimensional decoding starts again from an all-white reference line.
  virtual void Start(std::span<const uint8_t> Strip) = 0;
  // Decodes the next row into Row, (Width + 7) / 8 bytes, which it clears
  // first. End means no row was decoded; Damaged rows are still delivered.
  virtual TFaxStatus DecodeRow(std::span<uint8_t> Row) = 0;
};

// The decoder for the coding: TCCITTMHDecoder, TCCITTFax3Decoder or
// TCCITTFax4Decoder. Null when Width is not positive.
std::unique_ptr<TCCITTDecoder> NewCCITTDecoder(const TFaxParams& Params);
