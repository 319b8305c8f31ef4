#pragma once
#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

// Small TIFF files for tests: a header, blobs of data and one directory,
// written in either byte order. Values that do not fit the entry go after
// the directory; Offset() of a blob is known once it is added.
class TTifBuilder {
public:
  enum : uint16_t { Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, Undefined = 7, Double = 12 };

  explicit TTifBuilder(bool Big = false) : FBig(Big) {
    FFile = {uint8_t(Big ? 'M' : 'I'), uint8_t(Big ? 'M' : 'I'), 0, 0, 0, 0, 0, 0};
    Put(2, 42, 2);
  }

  // Appends data (strips, tables) before the directory; answers its offset.
  uint32_t Add(const std::vector<uint8_t>& Data) {
    const uint32_t At = uint32_t(FFile.size());
    FFile.insert(FFile.end(), Data.begin(), Data.end());
    if (FFile.size() % 2)
      FFile.push_back(0);
    return At;
  }

  TTifBuilder& Tag(uint16_t Id, uint16_t Type, std::vector<uint32_t> Values) {
    FTags[Id] = {Type, std::move(Values), {}};
    return *this;
  }
  TTifBuilder& Text(uint16_t Id, const std::string& S) {
    std::vector<uint8_t> B(S.begin(), S.end());
    B.push_back(0);
    FTags[Id] = {Ascii, {}, B};
    return *this;
  }
  TTifBuilder& Raw(uint16_t Id, uint16_t Type, std::vector<uint8_t> Bytes) {
    FTags[Id] = {Type, {}, std::move(Bytes)};
    return *this;
  }
  TTifBuilder& Remove(uint16_t Id) {
    FTags.erase(Id);
    return *this;
  }

  // Width x Height, one strip of Data, with the usual tags.
  static TTifBuilder Simple(int32_t W, int32_t H, int32_t Bits, int32_t Spp, uint32_t Photometric,
                            const std::vector<uint8_t>& Data, bool Big = false, uint32_t Compression = 1) {
    TTifBuilder B(Big);
    const uint32_t At = B.Add(Data);
    B.Tag(256, Long, {uint32_t(W)}).Tag(257, Long, {uint32_t(H)});
    B.Tag(258, Short, std::vector<uint32_t>(size_t(Spp), uint32_t(Bits)));
    B.Tag(259, Short, {Compression}).Tag(262, Short, {Photometric}).Tag(277, Short, {uint32_t(Spp)});
    B.Tag(273, Long, {At}).Tag(278, Long, {uint32_t(H)}).Tag(279, Long, {uint32_t(Data.size())});
    return B;
  }

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> F = FFile;
    const uint32_t Dir = uint32_t(F.size());
    PutAt(F, 4, Dir, 4);
    const size_t Extra = Dir + 2 + 12 * FTags.size() + 4;
    std::vector<uint8_t> Tail;
    Append(F, uint32_t(FTags.size()), 2);
    for (const auto& [Id, T] : FTags) {
      std::vector<uint8_t> V = T.Bytes;
      if (V.empty())
        for (uint32_t X : T.Values)
          Append(V, X, TypeBytes(T.Type));
      const uint32_t Count = uint32_t(V.size() / TypeSize(T.Type));
      Append(F, Id, 2);
      Append(F, T.Type, 2);
      Append(F, Count, 4);
      if (V.size() <= 4) {
        V.resize(4, 0);
        F.insert(F.end(), V.begin(), V.end());
      } else {
        Append(F, uint32_t(Extra + Tail.size()), 4);
        Tail.insert(Tail.end(), V.begin(), V.end());
      }
    }
    Append(F, 0, 4);
    F.insert(F.end(), Tail.begin(), Tail.end());
    return F;
  }

private:
  struct TTag {
    uint16_t Type;
    std::vector<uint32_t> Values;
    std::vector<uint8_t> Bytes;
  };
  static int TypeSize(uint16_t Type) {
    return Type == Short ? 2 : Type == Long ? 4 : Type == Rational || Type == Double ? 8 : 1;
  }
  // Rationals are given as numerator, denominator pairs of LONGs.
  static int TypeBytes(uint16_t Type) { return Type == Rational ? 4 : TypeSize(Type); }
  void Put(size_t At, uint32_t V, int Bytes) { PutAt(FFile, At, V, Bytes); }
  void PutAt(std::vector<uint8_t>& F, size_t At, uint32_t V, int Bytes) const {
    for (int I = 0; I < Bytes; ++I)
      F[At + size_t(I)] = uint8_t(V >> (8 * (FBig ? Bytes - 1 - I : I)));
  }
  void Append(std::vector<uint8_t>& F, uint32_t V, int Bytes) const {
    F.resize(F.size() + size_t(Bytes));
    PutAt(F, F.size() - size_t(Bytes), V, Bytes);
  }

  bool FBig;
  std::vector<uint8_t> FFile;
  std::map<uint16_t, TTag> FTags;
};
