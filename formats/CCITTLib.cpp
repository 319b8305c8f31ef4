#include "CCITTLib.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "ByteOrder.h"
#include "CCITTTables.h"

namespace {

constexpr std::array<uint8_t, 256> MakeReversed() {
  std::array<uint8_t, 256> T{};
  for (int I = 0; I < 256; ++I) {
    int R = 0;
    for (int B = 0; B < 8; ++B)
      R |= ((I >> B) & 1) << (7 - B);
    T[size_t(I)] = uint8_t(R);
  }
  return T;
}
constexpr std::array<uint8_t, 256> Reversed = MakeReversed();

// The input's bits, most significant first. Past the end it reads as zeros,
// which start no code, so every decoder stops there by itself.
class TFaxBits {
public:
  void Start(std::span<const uint8_t> In) {
    Data = In.data();
    Size = In.size();
    Pos = 0;
    Acc = 0;
    Count = 0;
  }
  // N <= 32.
  uint32_t Peek(int N) {
    if (Count < N)
      Fill();
    return uint32_t(Acc >> (64 - N));
  }
  // Only bits seen by a Peek of at least N.
  void Skip(int N) {
    Acc <<= N;
    Count -= N;
  }
  uint32_t Take1() {
    const uint32_t B = Peek(1);
    Skip(1);
    return B;
  }
  uint64_t Taken() const { return uint64_t(Pos) * 8 - uint64_t(Count); }
  bool AtEnd() const { return Taken() >= uint64_t(Size) * 8; }
  bool PastEnd() const { return Taken() > uint64_t(Size) * 8; }
  void Align(int Boundary) {
    const int Rest = int(Taken() % uint64_t(Boundary));
    if (Rest != 0) {
      Peek(Boundary - Rest);
      Skip(Boundary - Rest);
    }
  }

private:
  void Fill() {
    if (Pos + 8 <= Size) {
      // Bits past Count that this sets are the ones the next fill sets again.
      const uint64_t Word = (uint64_t(GetBE32(Data + Pos)) << 32) | GetBE32(Data + Pos + 4);
      Acc |= Word >> Count;
      const int Bytes = (63 - Count) >> 3;
      Pos += size_t(Bytes);
      Count += Bytes * 8;
      return;
    }
    for (; Count <= 56; Count += 8, ++Pos)
      Acc |= uint64_t(Pos < Size ? Data[Pos] : 0) << (56 - Count);
  }

  const uint8_t* Data = nullptr;
  size_t Size = 0;
  size_t Pos = 0;
  uint64_t Acc = 0;
  int Count = 0;
};

void FillBlack(uint8_t* Row, int32_t X0, int32_t X1) {
  if (X0 >= X1)
    return;
  const int32_t B0 = X0 >> 3, B1 = (X1 - 1) >> 3;
  const uint8_t M0 = uint8_t(0xFF >> (X0 & 7));
  const uint8_t M1 = uint8_t(0xFF << (7 - ((X1 - 1) & 7)));
  if (B0 == B1) {
    Row[B0] |= M0 & M1;
    return;
  }
  Row[B0] |= M0;
  std::memset(Row + B0 + 1, 0xFF, size_t(B1 - B0 - 1));
  Row[B1] |= M1;
}

// What every coding shares: the input, and the reference and coding lines as
// changing elements. Element 2k is where a black run starts, 2k + 1 where it
// ends; the reference line has three elements at Width after its last.
class TCCITTLineDecoder : public TCCITTDecoder {
public:
  explicit TCCITTLineDecoder(const TFaxParams& P) : Params(P), Tables(FaxTables()) {}

  void Start(std::span<const uint8_t> Strip) override {
    if (Params.ReverseBits) {
      Flipped.resize(Strip.size());
      std::transform(Strip.begin(), Strip.end(), Flipped.begin(), [](uint8_t B) { return Reversed[B]; });
      Strip = Flipped;
    }
    In.Start(Strip);
    // Each element but the first takes at least one input bit.
    const uint64_t Most = std::min<uint64_t>(uint64_t(Params.Width), uint64_t(Strip.size()) * 8) + 2;
    MaxChanges = int32_t(Most);
    Ref.assign(size_t(Most) + 6, Params.Width);
    Cur.assign(size_t(Most) + 6, Params.Width);
    RefCount = 0;
    CurCount = 0;
    Ended = false;
    StartStrip();
  }

protected:
  virtual void StartStrip() {}

  // Clears the row; false when it cannot hold a row of Width.
  bool ClearRow(std::span<uint8_t> Row) const {
    std::fill(Row.begin(), Row.end(), uint8_t(0));
    return Row.size() >= size_t((int64_t(Params.Width) + 7) / 8) && !Cur.empty();
  }

  int32_t ReadRun(bool Black, int32_t Limit) {
    const TFaxRunCode* Short = Black ? Tables.BlackShort : Tables.WhiteShort;
    const TFaxRunCode* Long = Black ? Tables.BlackLong : Tables.WhiteLong;
    int64_t Run = 0;
    for (;;) {
      TFaxRunCode C = Short[In.Peek(FaxShortBits)];
      if (C.Len == 0) {
        C = Long[In.Peek(FaxLongBits)];
        if (C.Len == 0)
          return -1;
      }
      In.Skip(C.Len);
      Run += C.Run;
      if (Run > Limit)
        return -1;
      if (C.Run < 64)
        return int32_t(Run);
    }
  }

  bool Push(int32_t X) {
    if (CurCount >= MaxChanges)
      return false;
    Cur[size_t(CurCount++)] = X;
    return true;
  }

  // A line that stops early keeps what it had and is white from A0 on.
  bool Close(bool Complete, int32_t A0) {
    if (CurCount & 1)
      Cur[size_t(CurCount++)] = Complete ? Params.Width : std::max(A0, 0);
    return Complete;
  }

  bool Decode1D() {
    CurCount = 0;
    int32_t A0 = 0;
    bool Black = false;
    while (A0 < Params.Width) {
      const int32_t Run = ReadRun(Black, Params.Width - A0);
      if (Run < 0 || !Push(A0 + Run))
        return Close(false, A0);
      A0 += Run;
      Black = !Black;
    }
    return Close(true, A0);
  }

  bool Decode2D() {
    CurCount = 0;
    const int32_t W = Params.Width;
    int32_t A0 = -1;
    bool Black = false;
    size_t Pb = 0;
    while (A0 < W) {
      while (Ref[Pb] <= A0)
        Pb += 2;
      const int32_t B1 = Ref[Pb];
      const TFaxModeCode M = Tables.Modes[In.Peek(FaxModeBits)];
      In.Skip(M.Len);
      if (M.Mode == TFaxMode::Pass) {
        A0 = Ref[Pb + 1];
        Pb += 2;
      } else if (M.Mode == TFaxMode::Vertical) {
        const int32_t A1 = B1 + M.Delta;
        if (A1 < 0 || A1 < A0 || A1 > W || !Push(A1))
          return Close(false, A0);
        A0 = A1;
        Black = !Black;
        Pb = Pb > 0 ? Pb - 1 : 1;
      } else if (M.Mode == TFaxMode::Horizontal) {
        const int32_t From = std::max(A0, 0);
        const int32_t R1 = ReadRun(Black, W - From);
        const int32_t R2 = R1 < 0 ? -1 : ReadRun(!Black, W - From - R1);
        if (R2 < 0 || !Push(From + R1) || !Push(From + R1 + R2))
          return Close(false, A0);
        A0 = From + R1 + R2;
      } else {
        // Uncompressed mode and unknown extensions are refused like garbage.
        return Close(false, A0);
      }
    }
    return Close(true, A0);
  }

  // Fills the row from the coding line, which becomes the next reference.
  void Emit(std::span<uint8_t> Row) {
    uint8_t* Out = Row.data();
    for (int32_t I = 0; I + 1 < CurCount; I += 2)
      FillBlack(Out, Cur[size_t(I)], std::min(Cur[size_t(I + 1)], Params.Width));
    std::swap(Ref, Cur);
    RefCount = CurCount;
    std::fill_n(Ref.begin() + RefCount, 3, Params.Width);
  }

  void ResetReference() {
    RefCount = 0;
    std::fill_n(Ref.begin(), 3, Params.Width);
  }

  TFaxStatus Delivered(bool Ok) { return Ok && !In.PastEnd() ? TFaxStatus::Ok : TFaxStatus::Damaged; }

  TFaxParams Params;
  const TFaxTables& Tables;
  TFaxBits In;
  std::vector<uint8_t> Flipped;
  std::vector<int32_t> Ref, Cur;
  int32_t RefCount = 0, CurCount = 0, MaxChanges = 0;
  bool Ended = false;
};

// Rows without EOLs, each starting on a byte (or 16-bit word) boundary of the
// input; a damaged row does not disturb the next.
class TCCITTMHDecoder final : public TCCITTLineDecoder {
public:
  using TCCITTLineDecoder::TCCITTLineDecoder;

  TFaxStatus DecodeRow(std::span<uint8_t> Row) override {
    if (!ClearRow(Row))
      return TFaxStatus::End;
    const int Boundary = Params.WordAligned ? 16 : 8;
    In.Align(Boundary);
    if (In.AtEnd())
      return TFaxStatus::End;
    const uint64_t From = In.Taken();
    const bool Ok = Decode1D();
    // A row that took no bits would come back forever.
    if (In.Taken() == From) {
      In.Peek(Boundary);
      In.Skip(Boundary);
    }
    Emit(Row);
    return Delivered(Ok);
  }
};

// T.4: each line after an EOL, which fill bits may precede; with 2-D coding
// a tag bit after the EOL says how the line is coded. The first line may come
// without an EOL. Two EOLs in a row (RTC) end the page; after a damaged line
// decoding resumes at the next EOL.
class TCCITTFax3Decoder final : public TCCITTLineDecoder {
public:
  using TCCITTLineDecoder::TCCITTLineDecoder;

  TFaxStatus DecodeRow(std::span<uint8_t> Row) override {
    if (!ClearRow(Row) || Ended)
      return TFaxStatus::End;
    bool TwoD = false;
    int Eols = 0;
    if (Resync) {
      Resync = false;
      if (!SkipToEol())
        return Finish();
      Eols = 1;
      TwoD = ReadTag();
    }
    while (In.Peek(11) == 0) {
      if (!SkipToEol() || ++Eols >= 2)
        return Finish();
      TwoD = ReadTag();
    }
    if (In.AtEnd())
      return Finish();
    const bool Ok = TwoD ? Decode2D() : Decode1D();
    Emit(Row);
    Resync = !Ok;
    return Delivered(Ok);
  }

private:
  void StartStrip() override {
    ResetReference();
    Resync = false;
  }

  TFaxStatus Finish() {
    Ended = true;
    return TFaxStatus::End;
  }

  // Past the next run of at least eleven zeros and the one that ends it.
  bool SkipToEol() {
    int Zeros = 0;
    while (!In.AtEnd()) {
      if (In.Take1() == 0)
        ++Zeros;
      else if (Zeros >= 11)
        return true;
      else
        Zeros = 0;
    }
    return false;
  }

  bool ReadTag() { return (Params.Options & FaxOpt2D) != 0 && In.Take1() == 0; }

  bool Resync = false;
};

// T.6: 2-D lines only, from an all-white reference line, until EOFB. Nothing
// marks where a line starts, so a damaged line is delivered and ends the strip.
class TCCITTFax4Decoder final : public TCCITTLineDecoder {
public:
  using TCCITTLineDecoder::TCCITTLineDecoder;

  TFaxStatus DecodeRow(std::span<uint8_t> Row) override {
    if (!ClearRow(Row) || Ended || In.AtEnd() || In.Peek(12) == 1) {
      Ended = true;
      return TFaxStatus::End;
    }
    const bool Ok = Decode2D();
    Emit(Row);
    const TFaxStatus Status = Delivered(Ok);
    Ended = Status != TFaxStatus::Ok;
    return Status;
  }

private:
  void StartStrip() override { ResetReference(); }
};

} // namespace

std::unique_ptr<TCCITTDecoder> NewCCITTDecoder(const TFaxParams& Params) {
  if (Params.Width <= 0)
    return nullptr;
  switch (Params.Coding) {
  case TFaxCoding::ModifiedHuffman: return std::make_unique<TCCITTMHDecoder>(Params);
  case TFaxCoding::Group3: return std::make_unique<TCCITTFax3Decoder>(Params);
  case TFaxCoding::Group4: return std::make_unique<TCCITTFax4Decoder>(Params);
  }
  return nullptr;
}
