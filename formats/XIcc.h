#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "DibImage.h"

// Embedded ICC color profiles: finding them in the containers that carry
// them, and converting the pixels they describe to sRGB through LittleCMS.
// Nothing here keeps state between calls, so codecs on two threads may use
// it at once.

// Profiles larger than this are refused: no real device needs one, and the
// bound keeps a hostile file from making the reader gather gigabytes.
inline constexpr size_t MaxIccProfileSize = size_t(16) << 20;
// A 128-byte header and the tag count.
inline constexpr size_t MinIccProfileSize = 132;

// Which colors the stored samples were in before the reader converted them.
enum class TIccModel : uint8_t { None, Rgb, Gray, Cmyk };

// What a container held in the place of a profile.
enum class TIccFound : uint8_t { None, Profile, Broken };

// What ConvertToSrgb did with a profile.
enum class TIccOutcome : uint8_t {
  Applied,
  // LittleCMS refused the profile, or its header is not sound.
  Damaged,
  // A profile for other colors than the image's, of a kind not converted
  // from (Lab, device links), or a buffer layout that has no such colors.
  Mismatch,
};

inline constexpr const char* IccDamagedText = "The embedded color profile is damaged and was ignored.";
inline constexpr const char* IccMismatchText =
    "The embedded color profile does not fit the image's colors and was ignored.";

// The longest description kept for the info window.
inline constexpr size_t MaxIccDescription = 64;

struct TIccInfo {
  TIccModel Model = TIccModel::None; // None: refused
  std::string Description;
};

// Opens the profile and checks its size, class and color space; Model is
// None when the profile is refused.
TIccInfo InspectIccProfile(std::span<const uint8_t> Profile);

// Converts the buffer in place from colors of Stored, described by Profile,
// to sRGB: palette entries of indexed buffers, the color bytes of 24- and
// 32-bit rows (alpha stays). Gray images stay gray. CMYK samples are gone
// once the reader made rows of them, so a CMYK profile never applies here.
TIccOutcome ConvertToSrgb(TDib& Dib, std::span<const uint8_t> Profile, TIccModel Stored);

// CMYK samples to B, G, R bytes through a CMYK profile, for readers that
// hold the samples row by row.
class TIccCmykRows {
public:
  TIccCmykRows();
  ~TIccCmykRows();
  TIccCmykRows(const TIccCmykRows&) = delete;
  TIccCmykRows& operator=(const TIccCmykRows&) = delete;

  // Inverted: the samples count ink down from 255, as Adobe's files store
  // it. False when the profile is no usable CMYK profile.
  bool Open(std::span<const uint8_t> Profile, bool Inverted);
  bool IsOpen() const { return FState != nullptr; }
  void Convert(const uint8_t* Cmyk, uint8_t* Bgr, uint32_t Pixels) const;

private:
  struct TState;
  std::unique_ptr<TState> FState;
};

// JPEG APP2 segments: "ICC_PROFILE\0", sequence number (from 1), count, and
// a piece of the profile.
bool IsIccSegment(std::span<const uint8_t> Segment);
// The profile joined from all ICC segments of a file, in sequence order.
// A missing, repeated or out-of-range piece, counts that disagree or a
// profile beyond MaxIccProfileSize make it Broken.
TIccFound JoinIccSegments(const std::vector<std::span<const uint8_t>>& Segments, std::vector<uint8_t>& Profile);

// A PNG iCCP chunk's data: name of 1 to 79 bytes, its zero, compression
// method 0 and a zlib stream inflating to at most Limit bytes.
TIccFound ProfileOfIccpChunk(std::span<const uint8_t> Chunk, std::vector<uint8_t>& Profile,
                             size_t Limit = MaxIccProfileSize);
