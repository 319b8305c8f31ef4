#pragma once
// Reading one image from an open SANE device and packing it as the bitmap
// a native transfer hands over. Free of Qt: the reading runs on a worker
// thread while the window shows progress.
#include <atomic>
#include <cstdint>
#include <vector>

#include "SaneApi.h"
#include "TwainProtocol.h"

struct TScanFrame {
  SANE_Parameters Params{};
  std::vector<uint8_t> Data;
};

// Shared between the reading thread and the window.
struct TScanProgress {
  std::atomic<bool> Cancel{false};
  std::atomic<int64_t> Done{0};
  // 0 while the device does not know the image's height.
  std::atomic<int64_t> Expected{0};
};

// Every frame of one image, read to the end whether or not the device
// announced its number of lines; the device is left idle whatever happens.
SANE_Status ReadImage(SANE_Handle H, TScanProgress& Progress, std::vector<TScanFrame>& Frames);

// The frames as a packed bitmap (40-byte header, palette, rows bottom-up):
// gray as 8 bits with a gray palette, line art as 1 bit (index 0 black),
// color as 24 bits; 16-bit samples keep their high byte. Empty when the
// frames do not make an image.
std::vector<uint8_t> PackFrames(const std::vector<TScanFrame>& Frames, int32_t Dpi);

// The blocks of a native transfer: the address of the bitmap, its size kept
// in front of it.
TW_HANDLE AllocGlobal(const std::vector<uint8_t>& Content);
TW_UINT32 GlobalSizeOf(TW_HANDLE H);
void FreeGlobal(TW_HANDLE H);
