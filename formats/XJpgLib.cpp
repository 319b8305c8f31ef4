#include "XJpgLib.h"

#include <algorithm>
#include <cstdlib>

#include <jerror.h>

namespace {

TJpegContext& ContextOf(j_common_ptr Info) { return *static_cast<TJpegContext*>(Info->client_data); }
TJpegContext& ContextOf(j_decompress_ptr Info) { return *static_cast<TJpegContext*>(Info->client_data); }
TJpegContext& ContextOf(j_compress_ptr Info) { return *static_cast<TJpegContext*>(Info->client_data); }

// Leaves the library for the guard. Every library call runs guarded, so an
// unarmed jump is a bug of the binding, and returning is not allowed.
[[noreturn]] void Bail(TJpegContext& C) {
  if (!C.Armed)
    std::abort();
  std::longjmp(C.Jump, 1);
}

void ErrorExit(j_common_ptr Info) {
  TJpegContext& C = ContextOf(Info);
  C.MessageCode = Info->err->msg_code;
  Bail(C);
}

void OutputMessage(j_common_ptr) {}

void KeepWarning(TJpegContext& C, const char* Text) noexcept {
  try {
    C.Owner->SetWarning(Text);
  } catch (...) {
  }
}

void EmitMessage(j_common_ptr Info, int Level) {
  if (Level >= 0)
    return;
  ++Info->err->num_warnings;
  TJpegContext& C = ContextOf(Info);
  if (!C.KeepWarnings || !C.Owner || !C.Owner->Warning.empty() || Info->err->msg_code != JWRN_JPEG_EOF)
    return;
  char Text[JMSG_LENGTH_MAX] = {};
  (*Info->err->format_message)(Info, Text);
  KeepWarning(C, Text);
}

bool Report(TJpegContext& C, int32_t Percent, const TRect& Rect, bool Draw) noexcept {
  try {
    if (C.Owner && C.Owner->OnProgress)
      C.Owner->OnProgress(psProgress, Percent, Rect, Draw);
    return true;
  } catch (...) {
    C.Pending = std::current_exception();
    return false;
  }
}

void Progress(j_common_ptr Info) {
  TJpegContext& C = ContextOf(Info);
  if (Info->is_decompressor && C.Decompress.input_scan_number > JpegMaxScans) {
    C.TooManyScans = true;
    Bail(C);
  }
  if (!C.ReportProgress)
    return;
  const jpeg_progress_mgr& P = *Info->progress;
  const double Fraction = P.pass_limit > 0 ? double(P.pass_counter) / double(P.pass_limit) : 0.0;
  const double Value = P.total_passes > 0 ? (Fraction + P.completed_passes) * 100.0 / P.total_passes : 0.0;
  const int32_t Percent = int32_t(std::clamp(Value, 0.0, 100.0));
  if (Percent == C.LastPercent)
    return;
  C.LastPercent = Percent;
  TRect Rect{};
  bool Draw = false;
  if (Info->is_decompressor) {
    const int32_t Current = int32_t(C.Decompress.output_scanline);
    const int32_t Bottom = Current < C.LastRow ? int32_t(C.Decompress.output_height) : Current;
    Rect = TRect{0, C.LastRow, int32_t(C.Decompress.output_width), Bottom};
    Draw = Bottom > C.LastRow;
    C.LastRow = Current;
  }
  if (!Report(C, Percent, Rect, Draw))
    Bail(C);
}

void InitCommon(TImgIO& Owner, TJpegContext& C) {
  C.Owner = &Owner;
  C.LastPercent = -1;
  C.LastRow = 0;
  C.Armed = false;
  C.MessageCode = 0;
  C.TooManyScans = false;
  C.Pending = nullptr;
  jpeg_std_error(&C.ErrorManager);
  C.ErrorManager.error_exit = ErrorExit;
  C.ErrorManager.emit_message = EmitMessage;
  C.ErrorManager.output_message = OutputMessage;
  C.ProgressManager.progress_monitor = Progress;
}

void CreateDecompress(TImgIO& Owner, TJpegContext& C) {
  JpegRelease(C);
  InitCommon(Owner, C);
  C.Decompress = jpeg_decompress_struct{};
  C.Decompress.err = &C.ErrorManager;
  C.Decompress.client_data = &C;
  // Destroying a zeroed or half-made object is safe, so it counts as made.
  C.HasDecompress = true;
  JpegCall(C, [&] { jpeg_create_decompress(&C.Decompress); });
  C.Decompress.progress = &C.ProgressManager;
}

// Stream source: a buffer refilled by stream reads.
void StreamInit(j_decompress_ptr Info) {
  TJpegSource& S = ContextOf(Info).Source;
  S.Pub.next_input_byte = S.Buffer;
  S.Pub.bytes_in_buffer = 0;
  S.StartOfFile = true;
}

size_t ReadStream(TJpegContext& C) noexcept {
  try {
    return C.Source.Stream->Read(C.Source.Buffer, JpegBufferSize);
  } catch (...) {
    C.Pending = std::current_exception();
    return 0;
  }
}

// The end of the data: nothing at all is an empty file; later it ends the
// image as if it were complete.
boolean SupplyEnd(j_decompress_ptr Info, TJpegSource& S) {
  if (S.StartOfFile)
    ERREXIT(Info, JERR_INPUT_EMPTY);
  WARNMS(Info, JWRN_JPEG_EOF);
  S.Buffer[0] = 0xFF;
  S.Buffer[1] = JPEG_EOI;
  S.Pub.next_input_byte = S.Buffer;
  S.Pub.bytes_in_buffer = 2;
  return TRUE;
}

boolean StreamFill(j_decompress_ptr Info) {
  TJpegContext& C = ContextOf(Info);
  TJpegSource& S = C.Source;
  const size_t Got = ReadStream(C);
  if (C.Pending)
    Bail(C);
  if (Got == 0)
    return SupplyEnd(Info, S);
  S.Pub.next_input_byte = S.Buffer;
  S.Pub.bytes_in_buffer = Got;
  S.StartOfFile = false;
  return TRUE;
}

void StreamSkip(j_decompress_ptr Info, long Count) {
  if (Count <= 0)
    return;
  TJpegSource& S = ContextOf(Info).Source;
  const size_t N = size_t(Count);
  if (N <= S.Pub.bytes_in_buffer) {
    S.Pub.next_input_byte += N;
    S.Pub.bytes_in_buffer -= N;
    return;
  }
  // Past the buffer the stream seeks; a seek past the end reads nothing next.
  const size_t Rest = N - S.Pub.bytes_in_buffer;
  S.Pub.bytes_in_buffer = 0;
  S.Stream->Seek(S.Stream->Position() + int64_t(Rest));
}

// Memory source: the whole block at once.
void MemoryInit(j_decompress_ptr Info) {
  TJpegSource& S = ContextOf(Info).Source;
  S.Pub.next_input_byte = S.Data.data();
  S.Pub.bytes_in_buffer = S.Data.size();
  S.StartOfFile = S.Data.empty();
}

boolean MemoryFill(j_decompress_ptr Info) { return SupplyEnd(Info, ContextOf(Info).Source); }

void MemorySkip(j_decompress_ptr Info, long Count) {
  if (Count <= 0)
    return;
  TJpegSource& S = ContextOf(Info).Source;
  const size_t N = std::min(size_t(Count), S.Pub.bytes_in_buffer);
  S.Pub.next_input_byte += N;
  S.Pub.bytes_in_buffer -= N;
}

void SourceTerm(j_decompress_ptr) {}

void ApplyOutput(TJpegContext& C) {
  jpeg_decompress_struct& D = C.Decompress;
  const TJpegDecodeOptions& O = C.Options;
  D.scale_num = 1;
  D.scale_denom = 1;
  D.do_block_smoothing = O.BlockSmoothing ? TRUE : FALSE;
  D.buffered_image = FALSE;
  D.raw_data_out = FALSE;
  D.dct_method = O.Fast ? JDCT_IFAST : JDCT_ISLOW;
  if (O.Fast) {
    D.dither_mode = JDITHER_ORDERED;
    D.two_pass_quantize = FALSE;
  }
  // Gray needs no quantizing: the 256 gray levels are the output values.
  switch (D.jpeg_color_space) {
  case JCS_GRAYSCALE: D.out_color_space = O.Gray || !O.GrayAsColor ? JCS_GRAYSCALE : JCS_EXT_BGR; break;
  case JCS_YCbCr:
  case JCS_RGB: D.out_color_space = O.Gray ? JCS_GRAYSCALE : JCS_EXT_BGR; break;
  default: break;
  }
}

size_t WriteStream(TJpegContext& C, size_t Count) noexcept {
  try {
    return C.Destination.Stream->Write(C.Destination.Buffer, Count);
  } catch (...) {
    C.Pending = std::current_exception();
    return 0;
  }
}

void DestinationInit(j_compress_ptr Info) {
  TJpegDestination& D = ContextOf(Info).Destination;
  D.Pub.next_output_byte = D.Buffer;
  D.Pub.free_in_buffer = JpegBufferSize;
}

boolean DestinationEmpty(j_compress_ptr Info) {
  TJpegContext& C = ContextOf(Info);
  // The library hands over the whole buffer here, whatever free_in_buffer says.
  const size_t Written = WriteStream(C, JpegBufferSize);
  if (C.Pending)
    Bail(C);
  if (Written != JpegBufferSize)
    ERREXIT(Info, JERR_FILE_WRITE);
  C.Destination.Pub.next_output_byte = C.Destination.Buffer;
  C.Destination.Pub.free_in_buffer = JpegBufferSize;
  return TRUE;
}

void DestinationTerm(j_compress_ptr Info) {
  TJpegContext& C = ContextOf(Info);
  const size_t Count = JpegBufferSize - C.Destination.Pub.free_in_buffer;
  if (Count == 0)
    return;
  const size_t Written = WriteStream(C, Count);
  if (C.Pending)
    Bail(C);
  if (Written != Count)
    ERREXIT(Info, JERR_FILE_WRITE);
}

} // namespace

TJpegContext::~TJpegContext() { JpegRelease(*this); }

bool JpegDetail::Protected(TJpegContext& C, void (*Step)(void*), void* Arg) {
  if (setjmp(C.Jump) != 0) {
    C.Armed = false;
    return false;
  }
  C.Armed = true;
  Step(Arg);
  C.Armed = false;
  return true;
}

void JpegRaise(TJpegContext& C) {
  C.Armed = false;
  if (C.Pending) {
    std::exception_ptr P = std::move(C.Pending);
    C.Pending = nullptr;
    C.Owner->OK = false;
    std::rethrow_exception(P);
  }
  if (C.TooManyScans)
    C.Owner->Fail(ImgMsg::CompressionError);
  C.Owner->Fail(C.ErrorText + " (code: " + std::to_string(C.MessageCode) + ")");
}

void JpegSetSourceStream(TJpegContext& C, TStream& S) {
  TJpegSource& Src = C.Source;
  Src.Stream = &S;
  Src.Data = {};
  Src.Pub.init_source = StreamInit;
  Src.Pub.fill_input_buffer = StreamFill;
  Src.Pub.skip_input_data = StreamSkip;
  Src.Pub.resync_to_restart = jpeg_resync_to_restart;
  Src.Pub.term_source = SourceTerm;
  Src.Pub.next_input_byte = Src.Buffer;
  Src.Pub.bytes_in_buffer = 0;
  Src.StartOfFile = true;
  C.Decompress.src = &Src.Pub;
}

void JpegSetSourceMemory(TJpegContext& C, std::span<const uint8_t> Data) {
  TJpegSource& Src = C.Source;
  Src.Stream = nullptr;
  Src.Data = Data;
  Src.Pub.init_source = MemoryInit;
  Src.Pub.fill_input_buffer = MemoryFill;
  Src.Pub.skip_input_data = MemorySkip;
  Src.Pub.resync_to_restart = jpeg_resync_to_restart;
  Src.Pub.term_source = SourceTerm;
  Src.Pub.next_input_byte = Data.data();
  Src.Pub.bytes_in_buffer = Data.size();
  Src.StartOfFile = Data.empty();
  C.Decompress.src = &Src.Pub;
}

bool JpegReadHeader(TJpegContext& C, bool RequireImage) {
  int Result = 0;
  JpegCall(C, [&] {
    for (int N = 0; N < 16; ++N)
      if (C.Options.SavedMarkers & (1 << N))
        jpeg_save_markers(&C.Decompress, JPEG_APP0 + N, 0xFFFF);
    Result = jpeg_read_header(&C.Decompress, RequireImage ? TRUE : FALSE);
  });
  if (Result != JPEG_HEADER_OK)
    return false;
  ApplyOutput(C);
  return true;
}

void JpegStartDecompress(TJpegContext& C) {
  JpegCall(C, [&] { jpeg_start_decompress(&C.Decompress); });
}

uint32_t JpegReadScanlines(TJpegContext& C, JSAMPARRAY Rows, uint32_t Count) {
  JDIMENSION Got = 0;
  JpegCall(C, [&] { Got = jpeg_read_scanlines(&C.Decompress, Rows, Count); });
  return Got;
}

void JpegFinishDecompress(TJpegContext& C) {
  JpegCall(C, [&] { jpeg_finish_decompress(&C.Decompress); });
}

void JpegSetupDecompress(TImgIO& Owner, TJpegContext& C, TStream& S, const TJpegDecodeOptions& Options) {
  CreateDecompress(Owner, C);
  C.Options = Options;
  S.Seek(0);
  JpegSetSourceStream(C, S);
  JpegReadHeader(C, true);
}

void JpegSetupDecompressMemory(TImgIO& Owner, TJpegContext& C, std::span<const uint8_t> Data,
                               const TJpegDecodeOptions& Options) {
  CreateDecompress(Owner, C);
  C.Options = Options;
  JpegSetSourceMemory(C, Data);
  JpegReadHeader(C, true);
}

void JpegSetupTablesDecompress(TImgIO& Owner, TJpegContext& C, TStream* Tables, bool Fast) {
  CreateDecompress(Owner, C);
  C.ReportProgress = false;
  C.Options = TJpegDecodeOptions{};
  C.Options.Fast = Fast;
  C.Options.Gray = Owner.IsGray;
  C.Options.GrayAsColor = !Owner.IsGray;
  if (!Tables)
    return;
  JpegSetSourceStream(C, *Tables);
  // Tables that turn out to open an image still count; the image is dropped.
  if (JpegReadHeader(C, false))
    JpegCall(C, [&] { jpeg_abort_decompress(&C.Decompress); });
}

void JpegSetupCompress(TImgIO& Owner, TJpegContext& C, TStream& S) {
  JpegRelease(C);
  InitCommon(Owner, C);
  C.Compress = jpeg_compress_struct{};
  C.Compress.err = &C.ErrorManager;
  C.Compress.client_data = &C;
  C.HasCompress = true;
  JpegCall(C, [&] { jpeg_create_compress(&C.Compress); });
  C.Compress.progress = &C.ProgressManager;
  C.Destination.Stream = &S;
  C.Destination.Pub.init_destination = DestinationInit;
  C.Destination.Pub.empty_output_buffer = DestinationEmpty;
  C.Destination.Pub.term_destination = DestinationTerm;
  C.Compress.dest = &C.Destination.Pub;
}

void JpegRelease(TJpegContext& C) {
  if (C.HasDecompress) {
    jpeg_destroy_decompress(&C.Decompress);
    C.HasDecompress = false;
  }
  if (C.HasCompress) {
    jpeg_destroy_compress(&C.Compress);
    C.HasCompress = false;
  }
}

#define PELORIN_JPEG_TEXT2(X) #X
#define PELORIN_JPEG_TEXT(X) PELORIN_JPEG_TEXT2(X)

std::string JpegLibraryVersion() {
#ifdef LIBJPEG_TURBO_VERSION
  return "libjpeg-turbo " PELORIN_JPEG_TEXT(LIBJPEG_TURBO_VERSION) ", libjpeg API " PELORIN_JPEG_TEXT(JPEG_LIB_VERSION);
#else
  return "libjpeg, API " PELORIN_JPEG_TEXT(JPEG_LIB_VERSION);
#endif
}
