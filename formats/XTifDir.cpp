#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "XIcc.h"
#include "XTif.h"
#include "XTifTags.h"

namespace {

constexpr int64_t EntrySize = 12;
constexpr uint16_t TypeByte = 1, TypeAscii = 2, TypeShort = 3, TypeLong = 4, TypeRational = 5, TypeSByte = 6,
                   TypeUndefined = 7, TypeSShort = 8, TypeSLong = 9, TypeSRational = 10, TypeFloat = 11,
                   TypeDouble = 12;
// Texts shorter than this (with their zero) are taken as empty; longer ones
// are cut at TifMaxTextLength.
constexpr uint32_t MinTextCount = 5;

// Bytes of one value; 0 for types this reader does not know.
uint32_t TypeSize(uint16_t Type) {
  switch (Type) {
  case TypeByte:
  case TypeAscii:
  case TypeSByte:
  case TypeUndefined: return 1;
  case TypeShort:
  case TypeSShort: return 2;
  case TypeLong:
  case TypeSLong:
  case TypeFloat: return 4;
  case TypeRational:
  case TypeSRational:
  case TypeDouble: return 8;
  default: return 0;
  }
}

uint32_t Get32Of(const uint8_t* P, bool Big) { return Big ? GetBE32(P) : GetLE32(P); }
uint16_t Get16Of(const uint8_t* P, bool Big) { return Big ? GetBE16(P) : GetLE16(P); }

// Value I of an array of Type, as an unsigned number (rationals: numerator).
uint32_t ValueAt(const uint8_t* P, uint16_t Type, size_t I, bool Big) {
  switch (TypeSize(Type)) {
  case 1: return P[I];
  case 2: return Get16Of(P + 2 * I, Big);
  case 4: return Get32Of(P + 4 * I, Big);
  default: return Get32Of(P + 8 * I, Big);
  }
}

} // namespace

void TTifReader::LoadDirectory(int64_t Offset) {
  FEntries.clear();
  if (Offset < 8 || Offset + 2 > FileSize)
    Fail(ImgMsg::InvalidHeader);
  Seek(Offset);
  uint8_t C[2];
  ReadExact(C, 2);
  const int64_t Count = Get16Of(C, BigEndian);
  // More entries than the file holds is no directory.
  if (Count == 0 || Offset + 2 + Count * EntrySize > FileSize)
    Fail(ImgMsg::InvalidHeader);
  std::vector<uint8_t> Raw(size_t(Count * EntrySize));
  ReadExact(Raw.data(), Raw.size());
  FEntries.reserve(size_t(Count));
  for (int64_t I = 0; I < Count; ++I) {
    const uint8_t* P = Raw.data() + I * EntrySize;
    TTifEntry E;
    E.Tag = Get16Of(P, BigEndian);
    E.Type = Get16Of(P + 2, BigEndian);
    E.Count = Get32Of(P + 4, BigEndian);
    std::memcpy(E.Value, P + 8, 4);
    if (TypeSize(E.Type) != 0 && E.Count != 0)
      FEntries.push_back(E);
  }
}

const TTifEntry* TTifReader::Find(uint16_t Tag) const {
  for (const TTifEntry& E : FEntries)
    if (E.Tag == Tag)
      return &E;
  return nullptr;
}

// At most MaxBytes of the entry's value bytes; checked against the file.
std::vector<uint8_t> TTifReader::RawValue(const TTifEntry& E, uint64_t MaxBytes) {
  const uint64_t Total = uint64_t(E.Count) * TypeSize(E.Type);
  if (Total <= 4)
    return std::vector<uint8_t>(E.Value, E.Value + std::min<uint64_t>(Total, MaxBytes));
  const int64_t Offset = Get32Of(E.Value, BigEndian);
  if (Offset < 8 || uint64_t(Offset) + Total > uint64_t(FileSize))
    Fail(ImgMsg::InvalidHeader);
  std::vector<uint8_t> V(size_t(std::min(Total, MaxBytes)));
  Seek(Offset);
  ReadExact(V.data(), V.size());
  return V;
}

std::vector<uint32_t> TTifReader::Values(uint16_t Tag, uint32_t Max) {
  const TTifEntry* E = Find(Tag);
  if (!E)
    return {};
  const uint32_t N = std::min(E->Count, Max), Size = TypeSize(E->Type);
  const std::vector<uint8_t> Raw = RawValue(*E, uint64_t(N) * Size);
  std::vector<uint32_t> V(N);
  for (uint32_t I = 0; I < N; ++I)
    V[I] = ValueAt(Raw.data(), E->Type, I, BigEndian);
  return V;
}

uint32_t TTifReader::Value(uint16_t Tag, uint32_t Default) {
  const std::vector<uint32_t> V = Values(Tag, 1);
  return V.empty() ? Default : V[0];
}

double TTifReader::Rational(uint16_t Tag, double Default) {
  const TTifEntry* E = Find(Tag);
  if (!E)
    return Default;
  if (E->Type != TypeRational)
    return Value(Tag, uint32_t(Default));
  const std::vector<uint8_t> Raw = RawValue(*E, 8);
  const uint32_t Den = Get32Of(Raw.data() + 4, BigEndian);
  return Den == 0 ? Default : double(Get32Of(Raw.data(), BigEndian)) / Den;
}

double TTifReader::DoubleValue(uint16_t Tag, double Default) {
  const TTifEntry* E = Find(Tag);
  if (!E || E->Type != TypeDouble)
    return Default;
  const std::vector<uint8_t> Raw = RawValue(*E, 8);
  const uint64_t Hi = Get32Of(Raw.data() + (BigEndian ? 0 : 4), BigEndian);
  const uint64_t Lo = Get32Of(Raw.data() + (BigEndian ? 4 : 0), BigEndian);
  const double D = std::bit_cast<double>(Hi << 32 | Lo);
  return std::isfinite(D) ? D : Default;
}

std::string TTifReader::Text(uint16_t Tag) {
  const TTifEntry* E = Find(Tag);
  if (!E || E->Type != TypeAscii || E->Count < MinTextCount)
    return {};
  const std::vector<uint8_t> Raw = RawValue(*E, TifMaxTextLength);
  const auto End = std::find(Raw.begin(), Raw.end(), uint8_t(0));
  std::string T(Raw.begin(), End);
  // Short texts are padded with spaces so that they lie outside their entry;
  // the padding is not part of the text.
  T.erase(T.find_last_not_of(' ') + 1);
  return T;
}

void TTifReader::ReadProfile() {
  const TTifEntry* E = Find(TifTag::IccProfileTag);
  if (!E)
    return;
  // Some writers store the profile as BYTE rather than UNDEFINED.
  const int64_t Offset = Get32Of(E->Value, BigEndian);
  if ((E->Type != TypeUndefined && E->Type != TypeByte) || E->Count < MinIccProfileSize ||
      E->Count > MaxIccProfileSize || Offset < 8 || Offset + int64_t(E->Count) > FileSize) {
    IccBroken = true;
    return;
  }
  const int64_t At = Position();
  IccProfile.resize(E->Count);
  Seek(Offset);
  if (ReadSome(IccProfile.data(), IccProfile.size()) != IccProfile.size()) {
    IccProfile.clear();
    IccBroken = true;
  }
  Seek(At);
}
