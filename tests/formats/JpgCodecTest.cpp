#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include <jerror.h>

#include "JpgTestUtil.h"
#include "XImageRead.h"

using namespace JpgTest;

namespace {

struct TDecoded {
  std::unique_ptr<TDib> Dib;
  TJpgReader Reader;
};

std::unique_ptr<TDecoded> Decode(std::span<const uint8_t> Bytes) {
  auto D = std::make_unique<TDecoded>();
  TImageRead Read = ReadImageWith(D->Reader, Bytes);
  Read.ThrowFailure();
  D->Dib = std::move(Read.Dib);
  return D;
}

// Peak signal-to-noise ratio over the colors of two equally sized buffers.
double Psnr(const TDib& A, const TDib& B) {
  double Sum = 0;
  std::vector<TColor> RowA(size_t(A.Width())), RowB(size_t(A.Width()));
  for (int32_t Y = 0; Y < A.Height(); ++Y) {
    A.GetRowColors(Y, RowA);
    B.GetRowColors(Y, RowB);
    for (int32_t X = 0; X < A.Width(); ++X)
      for (int Shift = 0; Shift < 24; Shift += 8) {
        const double D = double((RowA[size_t(X)] >> Shift) & 0xFF) - double((RowB[size_t(X)] >> Shift) & 0xFF);
        Sum += D * D;
      }
  }
  const double Mse = Sum / (3.0 * A.Width() * A.Height());
  return Mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / Mse);
}

std::string FailureOf(std::span<const uint8_t> Bytes) {
  try {
    Decode(Bytes);
  } catch (const EInvalidGraphicOperation& E) {
    return E.what();
  }
  return {};
}

bool StartsWith(const std::string& S, const std::string& Head) { return S.rfind(Head, 0) == 0; }

// Offset of the first marker Code (after the SOI), or 0.
size_t FindMarker(const std::vector<uint8_t>& F, uint8_t Code) {
  for (size_t I = 2; I + 1 < F.size(); ++I)
    if (F[I] == 0xFF && F[I + 1] == Code)
      return I;
  return 0;
}

// A solid CMYK picture stored as CMYK or YCCK, as other programs write them.
std::vector<uint8_t> EncodeRaw(int Width, int Height, J_COLOR_SPACE Stored, const uint8_t* Pixel) {
  constexpr int Components = 4;
  jpeg_compress_struct C{};
  jpeg_error_mgr E{};
  C.err = jpeg_std_error(&E);
  jpeg_create_compress(&C);
  unsigned char* Mem = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&C, &Mem, &Size);
  C.image_width = JDIMENSION(Width);
  C.image_height = JDIMENSION(Height);
  C.input_components = Components;
  C.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&C);
  jpeg_set_colorspace(&C, Stored);
  jpeg_set_quality(&C, 100, TRUE);
  jpeg_start_compress(&C, TRUE);
  std::vector<uint8_t> Row(size_t(Width) * size_t(Components));
  for (int X = 0; X < Width; ++X)
    std::memcpy(Row.data() + size_t(X) * size_t(Components), Pixel, size_t(Components));
  JSAMPROW P = Row.data();
  for (int Y = 0; Y < Height; ++Y)
    jpeg_write_scanlines(&C, &P, 1);
  jpeg_finish_compress(&C);
  std::vector<uint8_t> Out(Mem, Mem + Size);
  jpeg_destroy_compress(&C);
  free(Mem);
  return Out;
}

TEST(JpgRoundTrip, QualityKeepsPsnrAboveFloor) {
  // Floors sit about 2 dB under what the library reaches on this picture (its
  // grain keeps low qualities near 33 dB), so they catch swapped channels,
  // shifted rows and a quality setting that does not arrive.
  auto Photo = MakePhoto(320, 240);
  struct TCase {
    int Quality;
    double Floor;
  } Cases[] = {{30, 31.5}, {60, 33.0}, {90, 35.5}, {100, 47.0}};
  double Last = 0;
  size_t LastSize = 0;
  for (const auto& C : Cases) {
    for (bool Progressive : {false, true}) {
      const auto File = Encode(*Photo, C.Quality, Progressive);
      auto D = Decode(File);
      ASSERT_EQ(D->Dib->PixelFormat(), pf24bit);
      const double P = Psnr(*Photo, *D->Dib);
      EXPECT_GT(P, C.Floor) << "quality " << C.Quality << " progressive " << Progressive;
      EXPECT_EQ(D->Reader.Progressive, Progressive);
      EXPECT_EQ(D->Reader.Interlaced, Progressive);
      EXPECT_EQ(D->Reader.Compression, Progressive ? 9 : 8);
      EXPECT_EQ(D->Reader.ColorFormat, cfYCbCr);
      if (!Progressive) {
        EXPECT_GT(P, Last);
        EXPECT_GT(File.size(), LastSize);
        Last = P;
        LastSize = File.size();
      }
    }
  }
}

TEST(JpgRoundTrip, GrayBufferWritesOneComponentFile) {
  TDib Gray(64, 48, pf8bit);
  Gray.MakeGrayPalette();
  Gray.IsGray = true;
  for (int32_t Y = 0; Y < 48; ++Y)
    for (int32_t X = 0; X < 64; ++X)
      Gray.ScanLine(Y)[X] = uint8_t(X * 3 + Y);
  for (bool Progressive : {false, true}) {
    const auto File = Encode(Gray, 95, Progressive);
    auto D = Decode(File);
    EXPECT_TRUE(D->Reader.IsGray);
    EXPECT_EQ(D->Reader.ColorFormat, cfGray);
    ASSERT_EQ(D->Dib->PixelFormat(), pf8bit);
    EXPECT_EQ(D->Dib->GetPaletteColor(77), RGBColor(77, 77, 77));
    EXPECT_GT(Psnr(Gray, *D->Dib), 40.0);
  }
}

TEST(JpgRoundTrip, OtherPixelFormatsAreWrittenThroughTheirColors) {
  auto Photo = MakePhoto(40, 30);
  for (TPixelFormat F : {pf1bit, pf4bit, pf8bit, pf15bit, pf32bit}) {
    TDib Dib(40, 30, F);
    if (F <= pf8bit)
      for (int32_t I = 0; I < Dib.PaletteSize(); ++I)
        Dib.SetPaletteColor(I, RGBColor(uint8_t(I * 37), uint8_t(255 - I * 11), uint8_t(I * 5)));
    for (int32_t Y = 0; Y < 30; ++Y)
      for (int32_t X = 0; X < 40; ++X)
        Dib.SetPixelColor(X, Y, Photo->GetPixelColor(X, Y));
    auto D = Decode(Encode(Dib, 100, false));
    EXPECT_GT(Psnr(Dib, *D->Dib), 25.0) << "pixel format " << int(F);
  }
}

TEST(JpgWriter, ReportsProgressAndCompression) {
  auto Photo = MakePhoto(64, 64);
  TMemoryStream Out;
  TJpgWriter W;
  W.Progressive = true;
  int Reports = 0;
  W.OnProgress = [&](TProgressStage Stage, int32_t, const TRect& R, bool Draw) {
    if (Stage == psProgress) {
      ++Reports;
      EXPECT_TRUE(R.IsEmpty());
      EXPECT_FALSE(Draw);
    }
  };
  W.CreateStream(Out);
  W.Write(*Photo);
  EXPECT_TRUE(W.OK);
  EXPECT_EQ(W.Compression, 9);
  EXPECT_GT(Reports, 0);
  EXPECT_EQ(W.FileSize, Out.Size());
}

TEST(JpgWriter, ShortWriteFails) {
  auto Photo = MakePhoto(64, 64);
  TMemoryStream Out;
  Out.SetWriteLimit(100);
  TJpgWriter W;
  W.CreateStream(Out);
  try {
    W.Write(*Photo);
    FAIL() << "no error";
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), ImgMsg::FileWrite);
  }
  EXPECT_FALSE(W.OK);
}

TEST(JpgReader, CmykAndYcckOfOtherWriters) {
  // Stored CMYK is inverted: full cyan ink is stored as 0.
  const uint8_t Cyan[4] = {0, 255, 255, 255};
  auto D = Decode(EncodeRaw(16, 16, JCS_CMYK, Cyan));
  EXPECT_EQ(D->Reader.ColorFormat, cfCMYK);
  EXPECT_EQ(D->Reader.ColorManager.SourceSamples, 4);
  ASSERT_EQ(D->Dib->PixelFormat(), pf24bit);
  const uint8_t* P = D->Dib->ScanLine(5) + 15;
  EXPECT_NEAR(P[0], 255, 3);
  EXPECT_NEAR(P[1], 255, 3);
  EXPECT_NEAR(P[2], 0, 3);

  // Half black ink, stored inverted.
  const uint8_t HalfBlack[4] = {255, 255, 255, 127};
  D = Decode(EncodeRaw(16, 16, JCS_YCCK, HalfBlack));
  EXPECT_EQ(D->Reader.ColorFormat, cfYCCK);
  P = D->Dib->ScanLine(0);
  EXPECT_NEAR(P[0], 127, 3);
  EXPECT_NEAR(P[1], 127, 3);
  EXPECT_NEAR(P[2], 127, 3);
}

TEST(JpgReader, ProgressCoversTheImageTopDown) {
  auto Photo = MakePhoto(100, 300);
  const auto File = Encode(*Photo, 90, false);
  TJpgReader R;
  int32_t LastPercent = -1, NextRow = 0;
  R.OnProgress = [&](TProgressStage Stage, int32_t Percent, const TRect& Rect, bool Draw) {
    if (Stage != psProgress)
      return;
    EXPECT_GT(Percent, LastPercent);
    EXPECT_LE(Percent, 100);
    LastPercent = Percent;
    if (Draw) {
      EXPECT_EQ(Rect.Top, NextRow);
      EXPECT_EQ(Rect.Right, 100);
      EXPECT_LE(Rect.Bottom, 300);
      NextRow = Rect.Bottom;
    }
  };
  R.OpenMemory(File);
  R.Read();
  EXPECT_GT(NextRow, 250);
}

TEST(JpgReader, ExceptionOfProgressHandlerLeavesTheLibraryCleanly) {
  auto Photo = MakePhoto(64, 256);
  for (bool Progressive : {false, true}) {
    const auto File = Encode(*Photo, 90, Progressive);
    TJpgReader R;
    R.OnProgress = [](TProgressStage Stage, int32_t Percent, const TRect&, bool) {
      if (Stage == psProgress && Percent >= 30)
        throw std::runtime_error("cancelled");
    };
    R.OpenMemory(File);
    EXPECT_THROW(R.Read(), std::runtime_error);
    EXPECT_FALSE(R.OK);
  }
}

TEST(JpgReader, NotAJpegFailsInTheHeader) {
  const std::string Bmp = "BM this is not a JPEG file at all";
  const std::string Msg = FailureOf({reinterpret_cast<const uint8_t*>(Bmp.data()), Bmp.size()});
  EXPECT_TRUE(StartsWith(Msg, "Invalid JPG header (code: ")) << Msg;
  EXPECT_EQ(Msg.back(), ')');

  const std::string Empty = FailureOf({});
  EXPECT_EQ(Empty, "Invalid JPG header (code: " + std::to_string(int(JERR_INPUT_EMPTY)) + ")");
}

TEST(JpgReader, TruncatedFiles) {
  auto Photo = MakePhoto(128, 128);
  const auto File = Encode(*Photo, 90, false);
  auto Full = Decode(File);
  const size_t Sos = FindMarker(File, 0xDA);
  ASSERT_GT(Sos, 0u);

  // Cut in the scan data: the rows before the cut decode, with a warning.
  std::vector<uint8_t> Cut(File.begin(), File.begin() + long(Sos + (File.size() - Sos) / 2));
  auto D = Decode(Cut);
  EXPECT_EQ(D->Reader.Warning, "Premature end of JPEG file");
  EXPECT_EQ(std::memcmp(D->Dib->ScanLine(0), Full->Dib->ScanLine(0), size_t(D->Dib->RowBytes()) * 16), 0);

  // Progressive files cut after some scans still give the whole picture, coarser.
  const auto Prog = Encode(*Photo, 90, true);
  std::vector<uint8_t> ProgCut(Prog.begin(), Prog.begin() + long(Prog.size() * 2 / 3));
  D = Decode(ProgCut);
  EXPECT_FALSE(D->Reader.Warning.empty());
  EXPECT_GT(Psnr(*Photo, *D->Dib), 20.0);

  // Cut in the header: the header message.
  for (size_t N : {size_t(1), size_t(2), size_t(20), Sos, Sos + 4}) {
    const std::string Msg = FailureOf({File.data(), N});
    EXPECT_TRUE(StartsWith(Msg, "Invalid JPG header (code: ")) << N << ": " << Msg;
  }
}

// Many cameras write stray bytes before a marker; the library only warns, the
// file decodes whole, and opening it must not raise a warning box.
TEST(JpgReader, StrayBytesBeforeMarkersDecodeWithoutWarning) {
  auto Photo = MakePhoto(64, 48);
  for (bool Progressive : {false, true}) {
    const auto File = Encode(*Photo, 90, Progressive);
    auto Full = Decode(File);
    std::vector<uint8_t> Stray = File;
    const uint8_t Junk[] = {0x00, 0x12, 0x34};
    Stray.insert(Stray.begin() + long(FindMarker(File, 0xDB)), std::begin(Junk), std::end(Junk));
    Stray.insert(Stray.end() - 2, std::begin(Junk), std::end(Junk));
    auto D = Decode(Stray);
    EXPECT_EQ(D->Reader.Warning, "") << Progressive;
    ASSERT_EQ(D->Dib->Height(), Full->Dib->Height());
    EXPECT_EQ(std::memcmp(D->Dib->ScanLine(0), Full->Dib->ScanLine(0), size_t(D->Dib->RowBytes()) * 48), 0);
  }
}

TEST(JpgReader, CorruptScanDataNeverCrashes) {
  auto Photo = MakePhoto(96, 64);
  for (bool Progressive : {false, true}) {
    const auto File = Encode(*Photo, 80, Progressive);
    const size_t Sos = FindMarker(File, 0xDA);
    uint32_t Seed = 99;
    for (int Round = 0; Round < 200; ++Round) {
      std::vector<uint8_t> Bad = File;
      for (int K = 0; K < 4; ++K) {
        Seed = Seed * 1103515245u + 12345u;
        Bad[Sos + (Seed >> 8) % (Bad.size() - Sos)] ^= uint8_t(1u << (Seed % 8));
      }
      const std::string Msg = FailureOf(Bad);
      if (!Msg.empty()) {
        EXPECT_TRUE(StartsWith(Msg, "Invalid JPG header (code: ") ||
                    StartsWith(Msg, "Compression error found in JPG file. (code: "))
            << Msg;
      }
    }
  }
}

TEST(JpgReader, SizeClaimBeyondTheFileFails) {
  TDib Small(16, 16, pf24bit);
  auto File = Encode(Small, 90, false);
  const size_t Sof = FindMarker(File, 0xC0);
  ASSERT_GT(Sof, 0u);
  // Height and width of the frame header: 60000 x 60000.
  File[Sof + 5] = 0xEA;
  File[Sof + 6] = 0x60;
  File[Sof + 7] = 0xEA;
  File[Sof + 8] = 0x60;
  EXPECT_EQ(FailureOf(File), "Stream read error in JPG file.");
}

TEST(JpgReader, EndlessScansAreCutShort) {
  auto Photo = MakePhoto(32, 32);
  const auto File = Encode(*Photo, 90, true);
  // The first scan (the DC scan) over and over.
  const size_t Sos = FindMarker(File, 0xDA);
  size_t End = Sos + 2;
  while (End + 1 < File.size() && !(File[End] == 0xFF && File[End + 1] != 0 && (File[End + 1] & 0xF8) != 0xD0))
    ++End;
  std::vector<uint8_t> Many(File.begin(), File.begin() + long(End));
  for (int I = 0; I < JpegMaxScans + 10; ++I)
    Many.insert(Many.end(), File.begin() + long(Sos), File.begin() + long(End));
  Many.insert(Many.end(), File.begin() + long(End), File.end());
  EXPECT_EQ(FailureOf(Many), "Compression error found in JPG file.");
}

TEST(JpgLib, TablesAndAbbreviatedImagesForTiffData) {
  auto Photo = MakePhoto(48, 32);
  const auto Whole = Encode(*Photo, 85, false);
  auto Expected = Decode(Whole);

  // Tables-only and image-only streams, as JPEG-compressed TIFF keeps them.
  jpeg_compress_struct C{};
  jpeg_error_mgr E{};
  C.err = jpeg_std_error(&E);
  jpeg_create_compress(&C);
  C.image_width = 48;
  C.image_height = 32;
  C.input_components = 3;
  C.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&C);
  jpeg_set_quality(&C, 85, TRUE);
  unsigned char* Mem = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&C, &Mem, &Size);
  jpeg_write_tables(&C);
  std::vector<uint8_t> Tables(Mem, Mem + Size);
  free(Mem);
  Mem = nullptr;
  Size = 0;
  jpeg_mem_dest(&C, &Mem, &Size);
  jpeg_start_compress(&C, FALSE);
  for (int32_t Y = 0; Y < 32; ++Y) {
    JSAMPROW P = Photo->ScanLine(Y);
    jpeg_write_scanlines(&C, &P, 1);
  }
  jpeg_finish_compress(&C);
  std::vector<uint8_t> Strip(Mem, Mem + Size);
  free(Mem);
  jpeg_destroy_compress(&C);

  TImgIO Owner;
  Owner.FormatName = "TIF";
  TMemoryStream TableStream(Tables);
  TJpegContext Ctx;
  JpegSetupTablesDecompress(Owner, Ctx, &TableStream, false);
  for (int Pass = 0; Pass < 2; ++Pass) {
    JpegSetSourceMemory(Ctx, Strip);
    ASSERT_TRUE(JpegReadHeader(Ctx, true));
    JpegStartDecompress(Ctx);
    ASSERT_EQ(Ctx.Decompress.output_components, 3);
    std::vector<uint8_t> Row(48 * 3);
    for (int32_t Y = 0; Y < 32; ++Y) {
      JSAMPROW P = Row.data();
      ASSERT_EQ(JpegReadScanlines(Ctx, &P, 1), 1u);
      EXPECT_EQ(std::memcmp(Row.data(), Expected.get()->Dib->ScanLine(Y), Row.size()), 0) << Y;
    }
    JpegFinishDecompress(Ctx);
  }

  // Without the tables the strip cannot decode: the library's code follows
  // the binding's own text.
  TJpegContext Bare;
  JpegSetupTablesDecompress(Owner, Bare, nullptr, false);
  JpegSetSourceMemory(Bare, Strip);
  try {
    JpegReadHeader(Bare, true);
    JpegStartDecompress(Bare);
    FAIL() << "no error";
  } catch (const EInvalidGraphicOperation& Ex) {
    EXPECT_TRUE(StartsWith(Ex.what(), "Internal JPG Error (code: ")) << Ex.what();
  }
  EXPECT_FALSE(Owner.OK);
}

} // namespace
