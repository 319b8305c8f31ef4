#include "XExif.h"

#include <algorithm>

#include "ByteOrder.h"
#include "XTifTags.h"

namespace {

constexpr uint16_t TiffMagic = 42;
constexpr uint16_t TypeShort = 3;
constexpr size_t TiffHeaderSize = 8;
constexpr size_t EntrySize = 12;

// The TIFF data after the signature, with the byte order its header names.
struct TTiffView {
  std::span<const uint8_t> Bytes;
  bool BigEndian = false;

  uint16_t U16(size_t At) const { return Get16(Bytes.data() + At, BigEndian); }
  uint32_t U32(size_t At) const {
    const uint8_t* P = Bytes.data() + At;
    return BigEndian ? GetBE32(P) : GetLE32(P);
  }
  // Count bytes at At lie inside the data; no sum of the two can wrap.
  bool Holds(uint64_t At, uint64_t Count) const { return At <= Bytes.size() && Count <= Bytes.size() - At; }
};

bool OpenTiff(std::span<const uint8_t> Tiff, TTiffView& View) {
  if (Tiff.size() < TiffHeaderSize)
    return false;
  if (Tiff[0] == 'I' && Tiff[1] == 'I')
    View.BigEndian = false;
  else if (Tiff[0] == 'M' && Tiff[1] == 'M')
    View.BigEndian = true;
  else
    return false;
  View.Bytes = Tiff;
  return View.U16(2) == TiffMagic;
}

uint16_t OrientationOfEntry(const TTiffView& View, size_t Entry) {
  if (View.U16(Entry + 2) != TypeShort || View.U32(Entry + 4) == 0)
    return 0;
  // A short's value sits in the first two bytes of the value field.
  const uint16_t Value = View.U16(Entry + 8);
  return Value >= 1 && Value <= 8 ? Value : 0;
}

} // namespace

bool IsExifSegment(std::span<const uint8_t> Segment) {
  return Segment.size() >= sizeof ExifSignature &&
         std::equal(std::begin(ExifSignature), std::end(ExifSignature), Segment.begin());
}

uint16_t ExifOrientation(std::span<const uint8_t> Segment) {
  if (!IsExifSegment(Segment))
    return 0;
  TTiffView View;
  if (!OpenTiff(Segment.subspan(sizeof ExifSignature), View))
    return 0;
  // The first directory is the only one read, so its next-directory link,
  // however it loops, is never followed. It may not overlap the header.
  const uint32_t Ifd = View.U32(4);
  if (Ifd < TiffHeaderSize || !View.Holds(Ifd, 2))
    return 0;
  const uint16_t Count = View.U16(Ifd);
  if (!View.Holds(uint64_t(Ifd) + 2, uint64_t(Count) * EntrySize))
    return 0;
  for (uint32_t I = 0; I < Count; ++I) {
    const size_t Entry = size_t(Ifd) + 2 + size_t(I) * EntrySize;
    if (View.U16(Entry) == TifTag::OrientationTag)
      return OrientationOfEntry(View, Entry);
  }
  return 0;
}
