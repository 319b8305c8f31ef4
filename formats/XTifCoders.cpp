#include "XTifCoders.h"

#include <algorithm>
#include <cstring>

namespace {
// One row of 4-bit pixels, high nibble first; pixels past the row's width
// are dropped.
struct TNibbleRow {
  uint8_t* Row;
  int32_t Width, X = 0;
  uint8_t Last = 0;

  bool Full() const { return X >= Width; }
  void Put(int32_t Pixel) {
    Last = uint8_t(Pixel & 0x0F);
    if (X >= Width)
      return;
    Row[X >> 1] |= (X & 1) ? Last : uint8_t(Last << 4);
    ++X;
  }
};

constexpr int8_t TwoBitDelta[4] = {0, 1, 0, -1};
constexpr int8_t ThreeBitDelta[8] = {0, 1, 2, 3, 0, -3, -2, -1};
constexpr uint8_t TwoBitSkip = 2, ThreeBitSkip = 4;

void ThunderByte(TNibbleRow& R, uint8_t B) {
  const uint8_t Data = B & 0x3F;
  switch (B >> 6) {
  case 0: {
    const int32_t N = std::min<int32_t>(Data, R.Width - R.X);
    for (int32_t I = 0; I < N; ++I)
      R.Put(R.Last);
    break;
  }
  case 1:
    for (int32_t Shift = 4; Shift >= 0; Shift -= 2) {
      const uint8_t F = (Data >> Shift) & 3;
      if (F != TwoBitSkip)
        R.Put(R.Last + TwoBitDelta[F]);
    }
    break;
  case 2:
    for (int32_t Shift = 3; Shift >= 0; Shift -= 3) {
      const uint8_t F = (Data >> Shift) & 7;
      if (F != ThreeBitSkip)
        R.Put(R.Last + ThreeBitDelta[F]);
    }
    break;
  default: R.Put(Data); break;
  }
}
} // namespace

// Every row starts from pixel 0 and ends with the byte that completes it.
int32_t ThunderScanDecode(std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t Width, int32_t RowBytes) {
  std::fill(Out.begin(), Out.end(), uint8_t(0));
  if (Width <= 0 || RowBytes <= 0 || (int64_t(Width) + 1) / 2 > RowBytes)
    return 0;
  const size_t Rows = Out.size() / size_t(RowBytes);
  size_t P = 0;
  int32_t Done = 0;
  for (size_t Y = 0; Y < Rows && P < In.size(); ++Y) {
    TNibbleRow R{Out.data() + Y * size_t(RowBytes), Width};
    while (!R.Full() && P < In.size())
      ThunderByte(R, In[P++]);
    if (!R.Full())
      break;
    ++Done;
  }
  return Done;
}

bool LogLuvRleRow(const uint8_t*& P, const uint8_t* End, std::span<uint8_t> Row, int32_t Width, int32_t Planes) {
  constexpr uint8_t RunFlag = 128, RunBias = 126;
  std::fill(Row.begin(), Row.end(), uint8_t(0));
  if (Width <= 0 || Planes <= 0 || Row.size() / size_t(Planes) < size_t(Width))
    return Width <= 0;
  const size_t Step = size_t(Planes);
  for (int32_t S = 0; S < Planes; ++S) {
    uint8_t* D = Row.data() + S;
    int32_t X = 0;
    while (X < Width) {
      if (P >= End)
        return false;
      const uint8_t C = *P++;
      if (C >= RunFlag) {
        if (P >= End)
          return false;
        const uint8_t V = *P++;
        const int32_t N = std::min<int32_t>(C - RunBias, Width - X);
        for (int32_t I = 0; I < N; ++I, ++X)
          D[size_t(X) * Step] = V;
      } else {
        const int32_t Avail = int32_t(std::min<ptrdiff_t>(C, End - P));
        const int32_t N = std::min(Avail, Width - X);
        for (int32_t I = 0; I < N; ++I, ++X)
          D[size_t(X) * Step] = P[I];
        // Literals past the row end belong to no pixel; they are passed over.
        P += Avail;
      }
    }
  }
  return true;
}
