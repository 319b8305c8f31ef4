#include <gtest/gtest.h>

#include "MemoryCodec.h"
#include "NetpbmTool.h"
#include "TgaPmgExternal.h"
#include "XIff.h"

using namespace TgaPmgExternal;

namespace {

using TBytes = std::vector<uint8_t>;

// A chunk with its pad byte when the size is odd.
TBytes Chunk(const char* Id, const TBytes& Data) {
  TBytes C(Id, Id + 4);
  C.resize(8);
  PutBE32(&C[4], uint32_t(Data.size()));
  C.insert(C.end(), Data.begin(), Data.end());
  if (Data.size() & 1)
    C.push_back(0);
  return C;
}

TBytes Bmhd(uint16_t W, uint16_t H, uint8_t Planes, uint8_t Masking = 0, uint8_t Compression = 0) {
  TBytes B(20, 0);
  PutBE16(&B[0], W);
  PutBE16(&B[2], H);
  B[8] = Planes;
  B[9] = Masking;
  B[10] = Compression;
  return Chunk("BMHD", B);
}

TBytes Camg(uint32_t Modes) {
  TBytes B(4);
  PutBE32(&B[0], Modes);
  return Chunk("CAMG", B);
}

TBytes Form(const char* Type, const std::vector<TBytes>& Chunks) {
  TBytes F = {'F', 'O', 'R', 'M', 0, 0, 0, 0, uint8_t(Type[0]), uint8_t(Type[1]), uint8_t(Type[2]), uint8_t(Type[3])};
  for (const TBytes& C : Chunks)
    F.insert(F.end(), C.begin(), C.end());
  PutBE32(&F[4], uint32_t(F.size() - 8));
  return F;
}

using TRead = MemoryCodec::TRead<TLbmReader>;
TRead ReadIff(const TBytes& File) { return MemoryCodec::ReadFrom<TLbmReader>(File); }
std::string ErrorOf(const TBytes& File) { return MemoryCodec::ErrorOf<TLbmReader>(File); }
TBytes WriteIff(const TDib& Dib) { return MemoryCodec::WriteTo<TLbmWriter>(Dib); }

const TPixelFormat AllFormats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

std::vector<TColor> RowColors(const TDib& D, int32_t Y) {
  std::vector<TColor> C(size_t(D.Width()));
  D.GetRowColors(Y, C);
  return C;
}

} // namespace

// Widths around the 16-pixel words of plane rows.
TEST(IffRoundTrip, EveryPixelFormat) {
  for (TPixelFormat Pf : AllFormats)
    for (int32_t W : {1, 10, 17, 300}) {
      SCOPED_TRACE(testing::Message() << "format " << int(Pf) << " w " << W);
      const auto Src = PatternDib(W, 3, Pf, uint32_t(Pf * 10 + W));
      const TBytes File = WriteIff(*Src);
      EXPECT_EQ(GetBE32(&File[4]), File.size() - 8);
      const TRead R = ReadIff(File);
      EXPECT_EQ(R.Dib->PixelFormat(), Pf > pf8bit ? pf24bit : Pf);
      MemoryCodec::ExpectSameColors(*R.Dib, *Src);
    }
}

TEST(IffReader, BrokenFormsFail) {
  const std::string Bad = "Invalid IFF header";
  const TBytes Body = Chunk("BODY", TBytes(4, 0));
  EXPECT_EQ(ErrorOf(Form("ILBM", {Bmhd(16, 2, 1), Body})), "");
  EXPECT_EQ(ErrorOf(TBytes(39, 0)), Bad);
  TBytes NotForm = Form("ILBM", {Bmhd(16, 2, 1), Body});
  NotForm[0] = 'C';
  EXPECT_EQ(ErrorOf(NotForm), Bad);
  // No header before the body, no body, zero sizes.
  EXPECT_EQ(ErrorOf(Form("ILBM", {Body, Bmhd(16, 2, 1)})), Bad);
  EXPECT_EQ(ErrorOf(Form("ILBM", {Bmhd(16, 2, 1), Chunk("ANNO", TBytes(40, 'a'))})), Bad);
  EXPECT_EQ(ErrorOf(Form("ILBM", {Bmhd(0, 2, 1), Body})), Bad);
  // A chunk claiming more than the file holds ends the walk.
  TBytes Long = Form("ILBM", {Bmhd(16, 2, 1), Chunk("ANNO", TBytes(8, 0)), Body});
  PutBE32(&Long[12 + 28 + 4], 0xFFFFFFF0);
  EXPECT_EQ(ErrorOf(Long), Bad);

  EXPECT_EQ(ErrorOf(Form("ILBM", {Bmhd(16, 2, 9), Body})), "Invalid IFF image format.");
  EXPECT_EQ(ErrorOf(Form("PBM ", {Bmhd(16, 2, 24), Body})), "Unsupported feature in IFF file.");
  EXPECT_EQ(ErrorOf(Form("ILBM", {Bmhd(16, 2, 1, 0, 2), Body})), "Invalid compression scheme in IFF file.");
}

// Odd chunks carry a pad byte; the header may come after other chunks.
TEST(IffReader, ChunksArePaddedToEven) {
  const TBytes File = Form("ILBM", {Chunk("ANNO", {'x', 'y', 'z'}), Bmhd(16, 1, 1), Chunk("CMAP", {1, 2, 3, 4, 5, 6}),
                                    Chunk("BODY", {0x80, 0x01})});
  const TRead R = ReadIff(File);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(4, 5, 6));
  EXPECT_EQ(R.Dib->GetPixelColor(8, 0), RGBColor(1, 2, 3));
}

TEST(IffReader, ByteRun1RowsAndClaims) {
  // Rows of two 2-byte planes: a repeat cut at the row's end, a no-op code,
  // then a literal row.
  const TBytes Body = {0xFB, 0xFF, 0x80, 0x03, 0x00, 0x00, 0x80, 0x00};
  TRead R = ReadIff(Form("ILBM", {Bmhd(16, 2, 2, 0, 1), Chunk("BODY", Body)}));
  EXPECT_EQ(R.Reader->Compression, cmpRLE);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 3u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 1), 2u);
  EXPECT_EQ(R.Dib->GetPixelValue(1, 1), 0u);

  EXPECT_EQ(ErrorOf(Form("ILBM", {Bmhd(16, 1, 2, 0, 1), Chunk("BODY", {0x04, 1, 2, 3, 4, 5})})),
            "Compression error found in IFF file.");
  const std::string Short = "Stream read error in IFF file.";
  EXPECT_EQ(ErrorOf(Form("ILBM", {Bmhd(16, 2, 2, 0, 1), Chunk("BODY", {0xFD, 0xFF, 0xFF})})), Short);
  // 2 bytes of ByteRun1 give 128 at most; plain data is taken as it is.
  EXPECT_EQ(ErrorOf(Form("PBM ", {Bmhd(256, 2, 8, 0, 1), Chunk("BODY", {0x81, 7, 0x81, 7, 0x81, 7, 0x81})})), Short);
  EXPECT_EQ(ErrorOf(Form("ILBM", {Bmhd(0xFFFF, 0xFFFF, 24), Chunk("BODY", TBytes(64, 0))})), Short);
}

// A mask plane row follows the planes of each row and is no plane.
TEST(IffReader, MaskPlaneIsSkipped) {
  const TBytes Body = {0x80, 0, 0xFF, 0xFF, 0x40, 0, 0xFF, 0xFF};
  const TRead R = ReadIff(Form("ILBM", {Bmhd(16, 2, 1, 1), Chunk("BODY", Body)}));
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 1u);
  EXPECT_EQ(R.Dib->GetPixelValue(1, 0), 0u);
  EXPECT_EQ(R.Dib->GetPixelValue(1, 1), 1u);
}

TEST(IffReader, ContiguousPlanes) {
  // Plane 0 of both rows, then plane 1.
  const TBytes Body = {0x80, 0, 0x00, 0, 0x80, 0, 0x80, 0};
  const TRead R = ReadIff(Form("ACBM", {Bmhd(16, 2, 2), Chunk("ABIT", Body)}));
  EXPECT_EQ(R.Dib->GetPixelValue(0, 0), 3u);
  EXPECT_EQ(R.Dib->GetPixelValue(0, 1), 2u);
}

// Values 0x10 to 0x3F change blue, red and green of the pixel before.
TEST(IffReader, HoldAndModify) {
  TBytes Cmap(48, 0);
  Cmap[0] = 0x12, Cmap[1] = 0x34, Cmap[2] = 0x56;
  Cmap[3] = 0xFF;
  // Pixels 0x25 (red 5), 0x01 (color 1), 0x1A (blue 10), 0x33 (green 3).
  const uint8_t Values[4] = {0x25, 0x01, 0x1A, 0x33};
  TBytes Body(12, 0);
  for (int32_t X = 0; X < 4; ++X)
    for (int32_t K = 0; K < 6; ++K)
      if (Values[X] >> K & 1)
        Body[size_t(K) * 2] |= uint8_t(0x80 >> X);
  const TRead R = ReadIff(Form("ILBM", {Bmhd(16, 1, 6), Camg(0x800), Chunk("CMAP", Cmap), Chunk("BODY", Body)}));
  EXPECT_TRUE(R.Reader->Ham);
  EXPECT_EQ(R.Dib->PixelFormat(), pf24bit);
  const std::vector<TColor> C = RowColors(*R.Dib, 0);
  // The row starts from color 0; the low bits of a channel stay.
  EXPECT_EQ(C[0], RGBColor(0x52, 0x34, 0x56));
  EXPECT_EQ(C[1], RGBColor(0xFF, 0, 0));
  EXPECT_EQ(C[2], RGBColor(0xFF, 0, 0xA0));
  EXPECT_EQ(C[3], RGBColor(0xFF, 0x30, 0xA0));
}

// Entries 32-63 are 0-31 at half brightness when the file gives only 32.
TEST(IffReader, ExtraHalfBrite) {
  TBytes Cmap(96, 0);
  Cmap[0] = 200, Cmap[1] = 101, Cmap[2] = 50;
  TBytes Body(12, 0);
  Body[10] = 0x80;
  const TRead R = ReadIff(Form("ILBM", {Bmhd(16, 1, 6), Camg(0x80), Chunk("CMAP", Cmap), Chunk("BODY", Body)}));
  EXPECT_TRUE(R.Reader->HalfBrite);
  EXPECT_EQ(R.Dib->GetPixelColor(0, 0), RGBColor(100, 50, 25));
}

// Our files read back the same in a decoder that shares no code with ours.
TEST(IffExternal, IlbmtoppmReadsOurFiles) {
  if (!HaveCommand("ilbmtoppm"))
    GTEST_SKIP() << "netpbm not installed";
  for (TPixelFormat Pf : AllFormats) {
    SCOPED_TRACE(testing::Message() << "format " << int(Pf));
    const auto Src = PatternDib(131, 3, Pf, uint32_t(Pf));
    TTempFile File(".iff");
    File.Write(WriteIff(*Src));
    EXPECT_EQ(FirstDifference(*Src, NetpbmTool::Decode("ilbmtoppm", File.Path())), "");
  }
}
