#pragma once
#include <cstdint>
#include <span>

// Camera data that JPEG files carry in an APP1 segment: "Exif\0\0", then a
// TIFF header and its directories. The segment comes from the file as it
// is, so every offset and count is checked against the segment's bytes.

// The "Exif\0\0" that opens the segment.
inline constexpr uint8_t ExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};

// True when Segment (the APP1 payload) opens with the signature.
bool IsExifSegment(std::span<const uint8_t> Segment);

// The orientation tag (274) of the segment's first directory, 1 to 8; 0 when
// the segment holds none, holds another value or is broken anywhere on the
// way to it.
uint16_t ExifOrientation(std::span<const uint8_t> Segment);
