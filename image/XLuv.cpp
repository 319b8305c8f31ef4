#include "XLuv.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "Errors.h"

TLuvBuf::TLuvBuf(int32_t AWidth, int32_t Samples, int32_t AHeight) {
  if (AWidth <= 0 || AHeight <= 0 || Samples < 2 || Samples > 4)
    throw EColorConversionError("LogLuv: invalid image layout");
  // The buffer holds no more than the pixel buffer it is rendered into can.
  const int64_t Row = DibRowBytes(AWidth, 8 * Samples);
  if (Row * AHeight > std::numeric_limits<int32_t>::max())
    throw EColorConversionError("LogLuv: image too large");
  FWidth = AWidth;
  FHeight = AHeight;
  FRowBytes = int32_t(Row);
  if (Samples == 2) {
    FColorManager.SetSource(cfLogLuv, 1, 16);
    FColorManager.SetTarget(cfGray, 8);
  } else {
    FColorManager.SetSource(cfLogLuv, Samples, 8);
    FColorManager.SetTarget(cfBGR, 8);
  }
  FData.assign(size_t(Row) * size_t(AHeight), 0);
}

bool TLuvBuf::AddRow(std::span<const uint8_t> Row) {
  if (FWritePos >= FHeight)
    return false;
  uint8_t* Out = FData.data() + size_t(FWritePos) * size_t(FRowBytes);
  const size_t Bytes = std::min(Row.size(), size_t(FRowBytes));
  std::memcpy(Out, Row.data(), Bytes);
  std::memset(Out + Bytes, 0, size_t(FRowBytes) - Bytes);
  ++FWritePos;
  return true;
}

void TLuvBuf::Render(TDib& Dib, double AExposure) {
  FColorManager.SetExposure(AExposure);
  const int32_t Rows = std::min(FWritePos, Dib.Height());
  for (int32_t Y = 0; Y < Rows; ++Y) {
    const std::span<const uint8_t> Row(FData.data() + size_t(Y) * size_t(FRowBytes), size_t(FRowBytes));
    FColorManager.ConvertRow(Row, Dib.Row(Y), 0, 0, FWidth);
  }
}
