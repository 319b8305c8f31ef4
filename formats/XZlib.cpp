#include "XZlib.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include <libdeflate.h>
#include <zlib.h>

namespace {

constexpr int WindowBits = 15;
constexpr int MemoryLevel = 8;

int WindowFor(TZlibFraming Framing) { return Framing == TZlibFraming::Raw ? -WindowBits : WindowBits; }

// zlib counts its buffers in uInt; larger pieces go in over several steps.
uInt Piece(size_t Size) { return uInt(std::min<size_t>(Size, UINT_MAX)); }

} // namespace

// libdeflate's CRC-32 uses the carry-less multiply of the processor where it
// has one and is several times faster than zlib's (bench/BenchPng.cpp).
uint32_t Crc32(uint32_t Crc, const uint8_t* Data, size_t Size) {
  return Size == 0 ? Crc : libdeflate_crc32(Crc, Data, Size);
}

namespace {

struct TFreeDecompressor {
  void operator()(libdeflate_decompressor* D) const { libdeflate_free_decompressor(D); }
};
struct TFreeCompressor {
  void operator()(libdeflate_compressor* C) const { libdeflate_free_compressor(C); }
};

} // namespace

bool InflateWhole(std::span<const uint8_t> In, std::span<uint8_t> Out) {
  const std::unique_ptr<libdeflate_decompressor, TFreeDecompressor> D(libdeflate_alloc_decompressor());
  if (!D)
    return false;
  // Without a place for the actual size, a stream that ends early is a
  // failure of its own (LIBDEFLATE_SHORT_OUTPUT), as is one that goes on.
  return libdeflate_zlib_decompress(D.get(), In.data(), In.size(), Out.data(), Out.size(), nullptr) ==
         LIBDEFLATE_SUCCESS;
}

bool DeflateWhole(int Level, std::span<const uint8_t> Data, std::vector<uint8_t>& Out) {
  const std::unique_ptr<libdeflate_compressor, TFreeCompressor> C(libdeflate_alloc_compressor(std::clamp(Level, 1, 9)));
  if (!C)
    return false;
  Out.resize(libdeflate_zlib_compress_bound(C.get(), Data.size()));
  const size_t Size = libdeflate_zlib_compress(C.get(), Data.data(), Data.size(), Out.data(), Out.size());
  Out.resize(Size);
  return Size > 0;
}

struct TInflateStream::TState {
  z_stream Z{};
  ~TState() { inflateEnd(&Z); }
};

TInflateStream::TInflateStream() = default;
TInflateStream::~TInflateStream() = default;

bool TInflateStream::Start(TZlibFraming Framing) {
  FState.reset();
  FInput = nullptr;
  FInputLeft = 0;
  FEnded = false;
  auto State = std::make_unique<TState>();
  if (inflateInit2(&State->Z, WindowFor(Framing)) != Z_OK)
    return false;
  FState = std::move(State);
  return true;
}

void TInflateStream::Feed(const uint8_t* Data, size_t Size) {
  FInput = Data;
  FInputLeft = Size;
}

bool TInflateStream::Inflate(std::span<uint8_t> Out, size_t& Written) {
  if (!FState)
    return false;
  z_stream& Z = FState->Z;
  const uInt In = Piece(FInputLeft), Room = Piece(Out.size());
  Z.next_in = const_cast<uint8_t*>(FInput);
  Z.avail_in = In;
  Z.next_out = Out.data();
  Z.avail_out = Room;
  const int R = inflate(&Z, Z_NO_FLUSH);
  FInput += In - Z.avail_in;
  FInputLeft -= In - Z.avail_in;
  Written += Room - Z.avail_out;
  if (R == Z_STREAM_END)
    FEnded = true;
  // Without input or room zlib can only say that it made no progress.
  return R == Z_OK || R == Z_STREAM_END || (R == Z_BUF_ERROR && (In == 0 || Room == 0));
}

struct TDeflateStream::TState {
  z_stream Z{};
  std::vector<uint8_t> Out;
  TSink Sink;
  ~TState() { deflateEnd(&Z); }
};

TDeflateStream::TDeflateStream() = default;
TDeflateStream::~TDeflateStream() = default;

bool TDeflateStream::Start(int Level, bool Filtered, size_t BufferSize, TSink Sink, TZlibFraming Framing) {
  FState.reset();
  auto State = std::make_unique<TState>();
  if (deflateInit2(&State->Z, Level, Z_DEFLATED, WindowFor(Framing), MemoryLevel,
                   Filtered ? Z_FILTERED : Z_DEFAULT_STRATEGY) != Z_OK)
    return false;
  State->Out.resize(std::clamp<size_t>(BufferSize, 1, UINT_MAX));
  State->Z.next_out = State->Out.data();
  State->Z.avail_out = uInt(State->Out.size());
  State->Sink = std::move(Sink);
  FState = std::move(State);
  return true;
}

// Hands on a full output buffer and starts the next one.
void TDeflateStream::Drain() {
  z_stream& Z = FState->Z;
  if (Z.avail_out > 0)
    return;
  FState->Sink(FState->Out);
  Z.next_out = FState->Out.data();
  Z.avail_out = uInt(FState->Out.size());
}

bool TDeflateStream::Write(std::span<const uint8_t> Data) {
  if (!FState)
    return false;
  z_stream& Z = FState->Z;
  while (!Data.empty()) {
    const uInt In = Piece(Data.size());
    Z.next_in = const_cast<uint8_t*>(Data.data());
    Z.avail_in = In;
    while (Z.avail_in > 0) {
      if (deflate(&Z, Z_NO_FLUSH) == Z_STREAM_ERROR)
        return false;
      Drain();
    }
    Data = Data.subspan(In);
  }
  return true;
}

bool TDeflateStream::Finish() {
  if (!FState)
    return false;
  z_stream& Z = FState->Z;
  for (;;) {
    const int R = deflate(&Z, Z_FINISH);
    if (R == Z_STREAM_ERROR)
      return false;
    if (R == Z_STREAM_END)
      break;
    Drain();
  }
  FState->Sink({FState->Out.data(), FState->Out.size() - Z.avail_out});
  return true;
}

bool TDeflateStream::Restart() {
  if (!FState || deflateReset(&FState->Z) != Z_OK)
    return false;
  FState->Z.next_out = FState->Out.data();
  FState->Z.avail_out = uInt(FState->Out.size());
  return true;
}
