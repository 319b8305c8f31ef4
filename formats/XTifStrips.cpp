#include <algorithm>
#include <cstring>
#include <memory>

#include "XJpgLib.h"
#include "XPackBits.h"
#include "XTif.h"
#include "XTifTags.h"
#include "XZlib.h"

using namespace TifTag;

namespace {

constexpr uint8_t ModeLuv = 7;
constexpr size_t MaxJpegTables = size_t(1) << 20;

uint8_t ReverseByte(uint8_t B) {
  B = uint8_t((B & 0xF0) >> 4 | (B & 0x0F) << 4);
  B = uint8_t((B & 0xCC) >> 2 | (B & 0x33) << 2);
  return uint8_t((B & 0xAA) >> 1 | (B & 0x55) << 1);
}

// Horizontal differencing undone: each sample adds the one a pixel to its left.
void UndoPredictor8(uint8_t* Row, size_t Bytes, size_t Step) {
  for (size_t I = Step; I < Bytes; ++I)
    Row[I] = uint8_t(Row[I] + Row[I - Step]);
}

void UndoPredictor16(uint8_t* Row, size_t Samples, size_t Step, bool Big) {
  for (size_t I = Step; I < Samples; ++I) {
    uint8_t* P = Row + 2 * I;
    const uint8_t* L = P - 2 * Step;
    if (Big)
      PutBE16(P, uint16_t(GetBE16(P) + GetBE16(L)));
    else
      PutLE16(P, uint16_t(GetLE16(P) + GetLE16(L)));
  }
}

bool HasMarker(std::span<const uint8_t> Data, uint8_t Marker) {
  for (size_t I = 0; I + 1 < Data.size(); ++I)
    if (Data[I] == 0xFF && Data[I + 1] == Marker)
      return true;
  return false;
}

} // namespace

int32_t TTifReader::SegmentRowBytes(int32_t W, bool OnePlane) const {
  if (Upsample) {
    const int64_t Units = (int64_t(W) + SubH - 1) / SubH;
    return int32_t(Units * (SubH * SubV + 2));
  }
  if (ColorMode == ModeLuv)
    return W * PixelBytes;
  const int64_t Samples = OnePlane ? 1 : SamplesPerPixel;
  return int32_t((int64_t(W) * BitsPerSample * Samples + 7) / 8);
}

int32_t TTifReader::SegmentRows(int32_t Rows) const { return Upsample ? (Rows + SubV - 1) / SubV : Rows; }

void TTifReader::ReadImage() {
  const int32_t MaxWidth = std::max(Tiled ? TileWidth : Width, Width);
  FRow.assign(size_t(SegmentRowBytes(MaxWidth, false)) + 8, 0);
  FUnitRow.assign(Upsample ? size_t(MaxWidth) * 3 : 0, 0);
  if (Compression == TifCmp::Jpeg) {
    if (const TTifEntry* E = Find(JpegTablesTag))
      FJpegTables = RawValue(*E, MaxJpegTables);
  }
  DecodeSegments();
}

void TTifReader::DecodeSegments() {
  if (FPlanes == 1) {
    for (const TTifSegment& S : FSegments) {
      const int32_t Rb = SegmentRowBytes(S.DataWidth, false), Rows = SegmentRows(S.DataRows);
      std::vector<uint8_t> Out(size_t(Rb) * size_t(Rows), 0);
      DecodeSegment(S, Out, Rb, Rows);
      DeliverRows(S, Out, Rb, Rows);
    }
    return;
  }
  std::vector<std::vector<uint8_t>> Planes(static_cast<size_t>(FPlanes));
  for (int64_t I = 0; I < FPerPlane && I < int64_t(FSegments.size()); ++I) {
    const TTifSegment& First = FSegments[size_t(I)];
    const int32_t Rb = SegmentRowBytes(First.DataWidth, true), Rows = First.DataRows;
    for (int32_t P = 0; P < FPlanes; ++P) {
      Planes[size_t(P)].assign(size_t(Rb) * size_t(Rows), 0);
      const size_t K = size_t(P * FPerPlane + I);
      if (K < FSegments.size())
        DecodeSegment(FSegments[K], Planes[size_t(P)], Rb, Rows);
    }
    DeliverPlanes(First, Planes, Rb);
  }
}

std::vector<uint8_t> TTifReader::SegmentData(const TTifSegment& S) {
  std::vector<uint8_t> D(size_t(S.Bytes));
  if (D.empty())
    return D;
  Seek(S.Offset);
  D.resize(ReadSome(D.data(), D.size()));
  // Whole-byte samples stored plain keep their bytes: other readers ignore
  // the fill order there, and the files written so rely on it.
  const bool OwnBitOrder = Compression == TifCmp::Jpeg || Compression == TifCmp::OldJpeg ||
                           (Compression == TifCmp::None && BitsPerSample >= 8);
  if (FillOrder == 2 && !OwnBitOrder)
    for (uint8_t& B : D)
      B = ReverseByte(B);
  return D;
}

void TTifReader::DecodeSegment(const TTifSegment& S, std::span<uint8_t> Out, int32_t Rb, int32_t Rows) {
  const std::vector<uint8_t> In = SegmentData(S);
  if (In.empty()) {
    SetWarning(FormatMessage(ImgMsg::CompressionError));
    return;
  }
  switch (Compression) {
  case TifCmp::None:
  case TifCmp::LogLuv24:
    std::memcpy(Out.data(), In.data(), std::min(In.size(), Out.size()));
    if (In.size() < Out.size())
      SetWarning(FormatMessage(ImgMsg::CompressionError));
    break;
  case TifCmp::PackBits: {
    const uint8_t* P = In.data();
    if (UnpackBits(P, In.data() + In.size(), Out.data(), Out.size()).Written < Out.size())
      SetWarning(FormatMessage(ImgMsg::CompressionError));
    break;
  }
  case TifCmp::Deflate: DecodeDeflate(In, Out); break;
  case TifCmp::Lzw:
  case TifCmp::LzwPredict: DecodeLzw(In, Out); break;
  case TifCmp::Huffman:
  case TifCmp::Group3:
  case TifCmp::Group4: DecodeFax(In, Out, Rb, S.DataWidth); break;
  case TifCmp::Thunder: DecodeThunder(In, Out, Rb, S.DataWidth); break;
  case TifCmp::LogL16:
  case TifCmp::LogLuv32: DecodeLuvRle(In, Out, Rb, S.DataWidth); break;
  case TifCmp::Jpeg:
  case TifCmp::OldJpeg: DecodeJpeg(S, In, Out, Rb, Rows); break;
  default: Fail(ImgMsg::UnsupportedCompression);
  }
}

// Data that end early leave the rest of the strip blank.
void TTifReader::DecodeDeflate(std::span<const uint8_t> In, std::span<uint8_t> Out) {
  TInflateStream Z;
  if (!Z.Start())
    Fail(ImgMsg::DeflateError);
  Z.Feed(In.data(), In.size());
  size_t Done = 0;
  while (Done < Out.size() && !Z.Ended()) {
    size_t Got = 0;
    if (!Z.Inflate(Out.subspan(Done), Got))
      Fail(ImgMsg::DeflateError);
    if (Got == 0)
      break;
    Done += Got;
  }
  if (Done < Out.size())
    SetWarning(FormatMessage(ImgMsg::CompressionError));
}

void TTifReader::DecodeJpeg(const TTifSegment& S, std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t Rb,
                            int32_t Rows) {
  const bool OwnHeader = In.size() >= 2 && In[0] == 0xFF && In[1] == 0xD8;
  if (Compression == TifCmp::Jpeg && FJpegTables.empty() && !HasMarker(In, 0xC4))
    Fail(ImgMsg::JpegTables);
  if (Compression == TifCmp::OldJpeg && !OwnHeader) {
    const std::vector<uint8_t> Stream = OldJpegStream(In, S.DataWidth, Rows);
    DecodeJpegStream(Stream, Out, Rb, Rows);
    return;
  }
  DecodeJpegStream(In, Out, Rb, Rows);
}

void TTifReader::DecodeJpegStream(std::span<const uint8_t> In, std::span<uint8_t> Out, int32_t Rb, int32_t Rows) {
  auto C = std::make_unique<TJpegContext>();
  TMemoryStream Tables(FJpegTables);
  JpegSetupTablesDecompress(*this, *C, FJpegTables.empty() ? nullptr : &Tables, false);
  JpegSetSourceMemory(*C, In);
  JpegReadHeader(*C, true);
  jpeg_decompress_struct& D = C->Decompress;
  // Photometric RGB data are stored without the color transform.
  if (ColorMode == 3 && D.num_components == 3)
    D.jpeg_color_space = JCS_RGB;
  JpegStartDecompress(*C);
  const size_t Width = size_t(D.output_width) * size_t(D.output_components);
  std::vector<uint8_t> Line(Width);
  for (int32_t R = 0; R < Rows && D.output_scanline < D.output_height; ++R) {
    JSAMPROW P = Line.data();
    if (JpegReadScanlines(*C, &P, 1) != 1)
      break;
    std::memcpy(Out.data() + size_t(R) * size_t(Rb), Line.data(), std::min(Width, size_t(Rb)));
  }
}

// Old-style data without a JPEG header of their own: the header is made from
// the directory's tables and the strip's size.
std::vector<uint8_t> TTifReader::OldJpegStream(std::span<const uint8_t> Strip, int32_t W, int32_t Rows) {
  const int32_t N = IsGray ? 1 : 3;
  std::vector<uint8_t> J = {0xFF, 0xD8};
  AppendJpegTables(J, JpegQTables, N, false);
  AppendJpegTables(J, JpegDCTables, N, true);
  AppendJpegTables(J, JpegACTables, N, true);
  auto Marker = [&](uint8_t M, size_t Length) { J.insert(J.end(), {0xFF, M, uint8_t(Length >> 8), uint8_t(Length)}); };
  Marker(0xC0, 8 + 3 * size_t(N));
  J.insert(J.end(), {8, uint8_t(Rows >> 8), uint8_t(Rows), uint8_t(W >> 8), uint8_t(W), uint8_t(N)});
  for (int32_t I = 0; I < N; ++I)
    J.insert(J.end(), {uint8_t(I + 1), uint8_t(I == 0 ? SubH << 4 | SubV : 0x11), uint8_t(I)});
  if (const uint32_t Restart = Value(JpegRestartInterval, 0); Restart > 0 && Restart <= 0xFFFF) {
    Marker(0xDD, 4);
    J.insert(J.end(), {uint8_t(Restart >> 8), uint8_t(Restart)});
  }
  Marker(0xDA, 6 + 2 * size_t(N));
  J.push_back(uint8_t(N));
  for (int32_t I = 0; I < N; ++I)
    J.insert(J.end(), {uint8_t(I + 1), uint8_t(I << 4 | I)});
  J.insert(J.end(), {0, 63, 0});
  J.insert(J.end(), Strip.begin(), Strip.end());
  J.insert(J.end(), {0xFF, 0xD9});
  return J;
}

// Quantization tables are 64 bytes; Huffman tables 16 counts and their values.
void TTifReader::AppendJpegTables(std::vector<uint8_t>& J, uint16_t Tag, int32_t Count, bool Huffman) {
  const std::vector<uint32_t> Offsets = Values(Tag, uint32_t(Count));
  if (Offsets.empty())
    Fail(ImgMsg::JpegTables);
  for (int32_t I = 0; I < Count; ++I) {
    const int64_t Offset = Offsets[std::min(size_t(I), Offsets.size() - 1)];
    if (Offset <= 0 || Offset + 16 > FileSize)
      Fail(ImgMsg::JpegTables);
    std::vector<uint8_t> T(Huffman ? 16 : 64);
    Seek(Offset);
    if (ReadSome(T.data(), T.size()) != T.size())
      Fail(ImgMsg::JpegTables);
    if (Huffman) {
      size_t Values = 0;
      for (int32_t K = 0; K < 16; ++K)
        Values += T[size_t(K)];
      if (Values > 256)
        Fail(ImgMsg::JpegTables);
      T.resize(16 + Values);
      if (ReadSome(T.data() + 16, Values) != Values)
        Fail(ImgMsg::JpegTables);
    }
    const uint8_t Class = uint8_t((Huffman && Tag == JpegACTables ? 0x10 : 0) | I);
    const size_t Length = 3 + T.size();
    J.insert(J.end(), {0xFF, uint8_t(Huffman ? 0xC4 : 0xDB), uint8_t(Length >> 8), uint8_t(Length), Class});
    J.insert(J.end(), T.begin(), T.end());
  }
}

void TTifReader::DeliverRows(const TTifSegment& S, std::span<uint8_t> Data, int32_t Rb, int32_t Rows) {
  if (Upsample) {
    for (int32_t U = 0; U < Rows && U * SubV < S.Rows; ++U)
      DeliverUnitRow(Data.data() + size_t(U) * size_t(Rb), S, S.Y + U * SubV);
    return;
  }
  for (int32_t R = 0; R < Rows && R < S.Rows; ++R)
    DeliverRow(Data.data() + size_t(R) * size_t(Rb), S.Y + R, S.X, S.Width);
}

// Sample s of every pixel comes from plane s; samples keep their byte order.
void TTifReader::DeliverPlanes(const TTifSegment& S, const std::vector<std::vector<uint8_t>>& Planes, int32_t Rb) {
  const size_t Bytes = size_t(BitsPerSample / 8), Step = Bytes * size_t(FPlanes);
  for (int32_t R = 0; R < S.Rows && R < S.DataRows; ++R) {
    for (int32_t P = 0; P < FPlanes; ++P) {
      const uint8_t* Src = Planes[size_t(P)].data() + size_t(R) * size_t(Rb);
      uint8_t* Dst = FRow.data() + size_t(P) * Bytes;
      for (int32_t X = 0; X < S.Width; ++X, Src += Bytes, Dst += Step)
        std::memcpy(Dst, Src, Bytes);
    }
    DeliverRow(FRow.data(), S.Y + R, S.X, S.Width);
  }
}

void TTifReader::DeliverRow(uint8_t* Row, int32_t Y, int32_t X, int32_t W) {
  if (Y >= Height)
    return;
  const size_t Bytes = size_t(SegmentRowBytes(W, false));
  if (Predictor == 2) {
    if (BitsPerSample == 8)
      UndoPredictor8(Row, Bytes, size_t(PixelBytes));
    else
      UndoPredictor16(Row, size_t(W) * size_t(SamplesPerPixel), size_t(SamplesPerPixel), BigEndian);
  }
  if (Invert)
    for (size_t I = 0; I < Bytes; ++I)
      Row[I] = uint8_t(~Row[I]);
  if (ColorMode == ModeLuv && OnLuvRow)
    OnLuvRow({Row, Bytes});
  ConvertInto(Row, Bytes, Y, X, W);
}

// A row of units of SubH x SubV luma samples and one Cb, Cr pair becomes
// SubV rows of Y, Cb, Cr pixels; chroma is blended towards the next unit.
void TTifReader::DeliverUnitRow(const uint8_t* Units, const TTifSegment& S, int32_t Y) {
  const int32_t H = SubH, V = SubV, W = S.Width, UnitSize = H * V + 2;
  const int32_t Across = (W + H - 1) / H;
  for (int32_t K = 0; K < V && Y + K < Height && Y + K < S.Y + S.Rows; ++K) {
    uint8_t* D = FUnitRow.data();
    for (int32_t X = 0; X < W; ++X, D += 3) {
      const int32_t U = X / H, Kx = X % H;
      const uint8_t* This = Units + size_t(U) * size_t(UnitSize);
      const uint8_t* Next = U + 1 < Across ? This + UnitSize : This;
      D[0] = This[K * H + Kx];
      for (int32_t C = 0; C < 2; ++C) {
        const int32_t A = This[H * V + C], B = Next[H * V + C];
        D[1 + C] = uint8_t(Kx < H - 1 ? ((H - Kx - 1) * A + (Kx + 1) * B) / H : A);
      }
    }
    ConvertInto(FUnitRow.data(), size_t(W) * 3, Y + K, S.X, W);
  }
}

void TTifReader::ConvertInto(const uint8_t* Row, size_t Size, int32_t Y, int32_t X, int32_t W) {
  ColorManager.ConvertRow({Row, Size}, Dib->Row(Y), X, 0, std::min(W, Width - X));
  if (!Tiled)
    RowDone();
}
