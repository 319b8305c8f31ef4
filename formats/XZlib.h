#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

// Deflate streams through zlib for every codec that stores deflated data.
// Streams are fed and drained in pieces, so no codec needs its whole data in
// one buffer. Failures come back as results; each codec raises its own
// message.

// zlib's header and Adler-32 check around the data, or bare deflate data as
// archives store it.
enum class TZlibFraming : uint8_t { Zlib, Raw };

// CRC-32 as PNG chunks and archives use it; start with Crc 0.
uint32_t Crc32(uint32_t Crc, const uint8_t* Data, size_t Size);

// Whole-buffer coding through libdeflate, for data that is at hand in one
// piece: several times faster than the streams, at the cost of holding all of
// it at once.

// Inflates the zlib stream at the start of In into Out; true only when the
// stream is complete, its check value right and its data fills Out exactly.
bool InflateWhole(std::span<const uint8_t> In, std::span<uint8_t> Out);
// Deflates Data into one zlib stream in Out. Level is zlib's 1 to 9, which
// libdeflate's levels follow; false when the compressor cannot be made.
bool DeflateWhole(int Level, std::span<const uint8_t> Data, std::vector<uint8_t>& Out);

class TInflateStream {
public:
  TInflateStream();
  ~TInflateStream();
  TInflateStream(const TInflateStream&) = delete;
  TInflateStream& operator=(const TInflateStream&) = delete;

  // False when zlib cannot set up its state.
  bool Start(TZlibFraming Framing = TZlibFraming::Zlib);
  // Input for the next steps; it must stay valid until InputLeft is 0.
  void Feed(const uint8_t* Data, size_t Size);
  size_t InputLeft() const { return FInputLeft; }
  // Inflates as much of the input as fits Out and adds the bytes written to
  // Written (none when it needs more input or room); false on damaged data
  // or a wrong check value.
  bool Inflate(std::span<uint8_t> Out, size_t& Written);
  // The end of the deflate data was reached; any input left follows it.
  bool Ended() const { return FEnded; }

private:
  struct TState;
  std::unique_ptr<TState> FState;
  const uint8_t* FInput = nullptr;
  size_t FInputLeft = 0;
  bool FEnded = false;
};

class TDeflateStream {
public:
  // Receives each full output buffer, and the rest at the end.
  using TSink = std::function<void(std::span<const uint8_t>)>;

  TDeflateStream();
  ~TDeflateStream();
  TDeflateStream(const TDeflateStream&) = delete;
  TDeflateStream& operator=(const TDeflateStream&) = delete;

  // Level 0 to 9. Filtered tunes the matcher for data of small differences,
  // such as filtered image rows. False when zlib refuses the settings.
  bool Start(int Level, bool Filtered, size_t BufferSize, TSink Sink, TZlibFraming Framing = TZlibFraming::Zlib);
  bool Write(std::span<const uint8_t> Data);
  // Ends the stream; the sink gets the last buffer even when it is empty.
  bool Finish();
  // Begins a new stream with the same settings after Finish, keeping zlib's
  // state and buffers: codecs that store one stream per strip reuse them.
  bool Restart();

private:
  void Drain();

  struct TState;
  std::unique_ptr<TState> FState;
};
