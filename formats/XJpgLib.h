#pragma once
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <span>
#include <string>
#include <type_traits>

#include <jpeglib.h>

#include "XImg.h"

// The binding to the JPEG library: stream source and destination managers,
// the error manager that turns fatal library errors into the owner's failure,
// and the progress monitor that reports to the owner's OnProgress.
//
// The library reports fatal errors by a longjmp back to the guarded call
// (JpegCall), never by a C++ exception through its C frames. Nothing between
// a guard and the library's callbacks holds an object with a destructor when
// the jump can happen; exceptions raised inside callbacks are kept in the
// context and raised again once the library has been left.

inline constexpr const char* JpegInternalError = "Internal JPG Error";

// More scans than any encoder writes; a file with more only burns time.
inline constexpr int32_t JpegMaxScans = 1000;
inline constexpr size_t JpegBufferSize = 4096;

struct TJpegDecodeOptions {
  bool BlockSmoothing = true;
  // Fast integer DCT, ordered dither, no two-pass quantization.
  bool Fast = false;
  // Gray output: one byte per pixel.
  bool Gray = false;
  // Gray files as B, G, R rows too (the TIFF path); otherwise they stay gray.
  bool GrayAsColor = false;
  // Application segments the header read keeps in the decompression
  // object's marker_list: bit n for APPn.
  uint16_t SavedMarkers = 0;
};

inline constexpr uint16_t JpegSaveApp1 = 1 << 1;
inline constexpr uint16_t JpegSaveApp2 = 1 << 2;

struct TJpegSource {
  jpeg_source_mgr Pub{};
  TStream* Stream = nullptr;
  std::span<const uint8_t> Data;
  bool StartOfFile = true;
  JOCTET Buffer[JpegBufferSize];
};

struct TJpegDestination {
  jpeg_destination_mgr Pub{};
  TStream* Stream = nullptr;
  JOCTET Buffer[JpegBufferSize];
};

// One per decode or encode, on the stack of the operation; it must not move
// while the library object exists. The destructor releases the library object.
struct TJpegContext {
  TJpegContext() = default;
  TJpegContext(const TJpegContext&) = delete;
  TJpegContext& operator=(const TJpegContext&) = delete;
  ~TJpegContext();

  jpeg_error_mgr ErrorManager{};
  jpeg_progress_mgr ProgressManager{};
  TImgIO* Owner = nullptr;
  int32_t LastPercent = -1;
  int32_t LastRow = 0;
  jpeg_decompress_struct Decompress{};
  jpeg_compress_struct Compress{};

  bool HasDecompress = false, HasCompress = false;
  // Progress reports to the owner; off for callers that count rows themselves.
  bool ReportProgress = true;
  // A file that ends early becomes the owner's warning (readers only): rows
  // are missing. Other library warnings are dropped: cameras often write stray
  // bytes before a marker, and such files decode whole.
  bool KeepWarnings = false;
  TJpegDecodeOptions Options;
  // Prefix of the failure text of fatal library errors; "%s" is the format name.
  std::string ErrorText = JpegInternalError;

  TJpegSource Source;
  TJpegDestination Destination;

  // State of the guard: where a fatal error jumps to and what it left.
  std::jmp_buf Jump{};
  bool Armed = false;
  int MessageCode = 0;
  bool TooManyScans = false;
  std::exception_ptr Pending;
};

namespace JpegDetail {
// Runs Step under the error guard; false when the library raised a fatal error
// (or a callback failed), which JpegRaise then reports.
bool Protected(TJpegContext& C, void (*Step)(void*), void* Arg);
} // namespace JpegDetail

// Raises the failure the last guarded call left: the callback's exception, or
// ErrorText + " (code: N)" through the owner's Fail.
[[noreturn]] void JpegRaise(TJpegContext& C);

// Runs library calls (any callable without arguments) under the guard.
template <typename TStep>
void JpegCall(TJpegContext& C, TStep&& Step) {
  auto Thunk = [](void* P) { (*static_cast<std::remove_reference_t<TStep>*>(P))(); };
  if (!JpegDetail::Protected(C, Thunk, &Step))
    JpegRaise(C);
}

// Decompression on a stream from its start: header read (an image required)
// and output set up; the library's defaults stand for everything else.
void JpegSetupDecompress(TImgIO& Owner, TJpegContext& C, TStream& S, const TJpegDecodeOptions& Options);
// Same on a block of memory that outlives the context.
void JpegSetupDecompressMemory(TImgIO& Owner, TJpegContext& C, std::span<const uint8_t> Data,
                               const TJpegDecodeOptions& Options);
// For JPEG-compressed TIFF data: a decompression object that has read the
// table-only datastream of Tables (none: no shared tables). Each strip or tile
// then goes through JpegSetSourceMemory, JpegReadHeader, JpegStartDecompress,
// JpegReadScanlines and JpegFinishDecompress.
void JpegSetupTablesDecompress(TImgIO& Owner, TJpegContext& C, TStream* Tables, bool Fast);

void JpegSetSourceStream(TJpegContext& C, TStream& S);
void JpegSetSourceMemory(TJpegContext& C, std::span<const uint8_t> Data);
// Reads the next header and applies the context's output options to it.
// False when the datastream held only tables (never with RequireImage).
bool JpegReadHeader(TJpegContext& C, bool RequireImage);
void JpegStartDecompress(TJpegContext& C);
// Up to Count rows into Rows; the number of rows read.
uint32_t JpegReadScanlines(TJpegContext& C, JSAMPARRAY Rows, uint32_t Count);
void JpegFinishDecompress(TJpegContext& C);

// Compression to a stream: the object created with the error manager,
// progress monitor and destination installed; parameters are the caller's.
void JpegSetupCompress(TImgIO& Owner, TJpegContext& C, TStream& S);

// Destroys the library object if one exists.
void JpegRelease(TJpegContext& C);

// The library the program runs with, for information texts.
std::string JpegLibraryVersion();
