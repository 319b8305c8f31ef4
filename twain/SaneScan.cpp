#include "SaneScan.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "ByteOrder.h"
#include "PixelLayout.h"

namespace {

constexpr uint32_t BitmapInfoHeaderBytes = 40;

// Bitmaps above this do not fit the viewer's buffer.
constexpr uint64_t MaxImageBytes = uint64_t(INT32_MAX) - 4096;

struct TBlockHead {
  uint64_t Size;
  uint64_t Pad;
};

// Sample C of pixel X in a row of Channels interleaved samples, 0..255;
// in gray line art a set bit is black.
uint8_t Sample(const uint8_t* Row, int64_t X, int C, int Channels, int Depth, bool Gray) {
  const int64_t I = X * Channels + C;
  if (Depth == 1) {
    const bool Set = Get1(Row, int32_t(I)) != 0;
    return Set != Gray ? 255 : 0;
  }
  if (Depth == 16) {
    uint16_t V;
    std::memcpy(&V, Row + 2 * I, 2);
    return uint8_t(V >> 8);
  }
  return Row[I];
}

int ChannelOf(SANE_Int Format) {
  return Format == SANE_FRAME_RED ? 0 : Format == SANE_FRAME_GREEN ? 1 : Format == SANE_FRAME_BLUE ? 2 : -1;
}

bool FrameFits(const TScanFrame& F, int Channels) {
  const SANE_Parameters& P = F.Params;
  if (P.pixels_per_line <= 0 || P.bytes_per_line <= 0 || (P.depth != 1 && P.depth != 8 && P.depth != 16))
    return false;
  return PackedRowBytes(P.pixels_per_line, int64_t(P.depth) * Channels) <= P.bytes_per_line;
}

void PutHeader(uint8_t* H, int32_t W, int32_t Lines, int32_t Bits, uint32_t ImageBytes, int32_t Dpi, uint32_t Colors) {
  PutLE32(H, BitmapInfoHeaderBytes);
  PutLE32(H + 4, uint32_t(W));
  PutLE32(H + 8, uint32_t(Lines));
  PutLE16(H + 12, 1);
  PutLE16(H + 14, uint16_t(Bits));
  PutLE32(H + 20, ImageBytes);
  const uint32_t Pels = Dpi > 0 && Dpi <= MaxDpiForPels ? uint32_t(DpiToPelsPerMetre(Dpi)) : 0;
  PutLE32(H + 24, Pels);
  PutLE32(H + 28, Pels);
  PutLE32(H + 32, Colors);
}

} // namespace

SANE_Status ReadImage(SANE_Handle H, TScanProgress& Progress, std::vector<TScanFrame>& Frames) {
  TSane& S = Sane();
  std::vector<uint8_t> Buf(64 * 1024);
  uint64_t Total = 0;
  auto Stop = [&](SANE_Status St) {
    S.cancel(H);
    return St;
  };
  // Three-pass scanners send a frame per color; more than that is no image.
  while (Frames.size() < 3) {
    if (Progress.Cancel)
      return Stop(SANE_STATUS_CANCELLED);
    SANE_Status St = S.start(H);
    if (St != SANE_STATUS_GOOD)
      return Stop(St);
    TScanFrame F;
    if ((St = S.get_parameters(H, &F.Params)) != SANE_STATUS_GOOD)
      return Stop(St);
    const int Passes = ChannelOf(F.Params.format) >= 0 ? 3 : 1;
    Progress.Expected = F.Params.lines > 0 ? int64_t(F.Params.lines) * F.Params.bytes_per_line * Passes : 0;
    for (;;) {
      if (Progress.Cancel)
        return Stop(SANE_STATUS_CANCELLED);
      SANE_Int Len = 0;
      St = S.read(H, Buf.data(), SANE_Int(Buf.size()), &Len);
      if (St == SANE_STATUS_EOF)
        break;
      if (St != SANE_STATUS_GOOD)
        return Stop(St);
      if (Len <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      Total += uint64_t(Len);
      if (Total > MaxImageBytes)
        return Stop(SANE_STATUS_NO_MEM);
      F.Data.insert(F.Data.end(), Buf.begin(), Buf.begin() + Len);
      Progress.Done += Len;
    }
    const bool Last = F.Params.last_frame != 0;
    Frames.push_back(std::move(F));
    if (Last)
      break;
  }
  S.cancel(H);
  return SANE_STATUS_GOOD;
}

std::vector<uint8_t> PackFrames(const std::vector<TScanFrame>& Frames, int32_t Dpi) {
  if (Frames.empty())
    return {};
  const SANE_Parameters& P0 = Frames[0].Params;
  const bool Rgb = P0.format == SANE_FRAME_RGB;
  const bool ThreePass = ChannelOf(P0.format) >= 0;
  const int Channels = Rgb ? 3 : 1;
  if (ThreePass && Frames.size() != 3)
    return {};
  const int32_t W = P0.pixels_per_line;
  int64_t Lines = INT64_MAX;
  for (const TScanFrame& F : Frames) {
    if (!FrameFits(F, Channels) || F.Params.pixels_per_line != W)
      return {};
    Lines = std::min<int64_t>(Lines, int64_t(F.Data.size()) / F.Params.bytes_per_line);
  }
  if (Lines <= 0)
    return {};
  const bool Gray = !Rgb && !ThreePass;
  const int32_t Bits = Gray ? (P0.depth == 1 ? 1 : 8) : 24;
  const int64_t RowBytes = DibRowBytes(W, Bits);
  if (uint64_t(RowBytes) * uint64_t(Lines) > MaxImageBytes)
    return {};
  const uint32_t Colors = Bits == 1 ? 2 : Bits == 8 ? 256 : 0;
  const size_t RowsStart = size_t(BitmapInfoHeaderBytes) + 4 * Colors;
  std::vector<uint8_t> Out(RowsStart + size_t(RowBytes * Lines), 0);
  PutHeader(Out.data(), W, int32_t(Lines), Bits, uint32_t(RowBytes * Lines), Dpi, Colors);
  for (uint32_t I = 0; I < Colors; ++I) {
    const uint8_t V = uint8_t(Colors == 2 ? I * 255 : I);
    uint8_t* E = Out.data() + BitmapInfoHeaderBytes + 4 * I;
    E[0] = E[1] = E[2] = V;
  }
  const int32_t Bpl = P0.bytes_per_line;
  for (int64_t Y = 0; Y < Lines; ++Y) {
    uint8_t* O = Out.data() + RowsStart + size_t(RowBytes * (Lines - 1 - Y));
    if (Bits == 1) {
      // Index 0 is black, where the device sets its bits.
      const uint8_t* R = Frames[0].Data.data() + Y * Bpl;
      for (int64_t I = 0; I < PackedRowBytes(W, 1); ++I)
        O[I] = uint8_t(~R[I]);
      continue;
    }
    if (Bits == 8) {
      const uint8_t* R = Frames[0].Data.data() + Y * Bpl;
      for (int32_t X = 0; X < W; ++X)
        O[X] = Sample(R, X, 0, 1, P0.depth, true);
      continue;
    }
    for (const TScanFrame& F : Frames) {
      const uint8_t* R = F.Data.data() + Y * F.Params.bytes_per_line;
      const int Only = ChannelOf(F.Params.format);
      for (int C = 0; C < 3; ++C) {
        if (Only >= 0 && C != Only)
          continue;
        // Rows hold blue, green, red.
        for (int32_t X = 0; X < W; ++X)
          O[3 * X + 2 - C] = Sample(R, X, Only >= 0 ? 0 : C, Channels, F.Params.depth, false);
      }
    }
  }
  return Out;
}

TW_HANDLE AllocGlobal(const std::vector<uint8_t>& Content) {
  auto* Block = static_cast<uint8_t*>(std::malloc(sizeof(TBlockHead) + Content.size()));
  if (!Block)
    return nullptr;
  reinterpret_cast<TBlockHead*>(Block)->Size = Content.size();
  std::memcpy(Block + sizeof(TBlockHead), Content.data(), Content.size());
  return Block + sizeof(TBlockHead);
}

TW_UINT32 GlobalSizeOf(TW_HANDLE H) {
  if (!H)
    return 0;
  return TW_UINT32(reinterpret_cast<const TBlockHead*>(static_cast<uint8_t*>(H) - sizeof(TBlockHead))->Size);
}

void FreeGlobal(TW_HANDLE H) {
  if (H)
    std::free(static_cast<uint8_t*>(H) - sizeof(TBlockHead));
}
