#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "LibPngMemory.h"
#include "PngTestFiles.h"
#include "XPngCommon.h"
#include "XPngFilter.h"
#include "XZlib.h"

using namespace PngTestFiles;

namespace {

// The filters as the format defines them, byte by byte with the branches of
// the textbook predictor.
uint8_t TextbookPaeth(int A, int B, int C) {
  const int P = A + B - C, Pa = std::abs(P - A), Pb = std::abs(P - B), Pc = std::abs(P - C);
  if (Pa <= Pb && Pa <= Pc)
    return uint8_t(A);
  if (Pb <= Pc)
    return uint8_t(B);
  return uint8_t(C);
}

void ReferenceUnfilter(uint8_t Type, uint8_t* Row, const uint8_t* Prev, size_t N, size_t Bpp) {
  for (size_t I = 0; I < N; ++I) {
    const int A = I >= Bpp ? Row[I - Bpp] : 0, B = Prev[I], C = I >= Bpp ? Prev[I - Bpp] : 0;
    const int Add = Type == 1 ? A : Type == 2 ? B : Type == 3 ? (A + B) / 2 : Type == 4 ? TextbookPaeth(A, B, C) : 0;
    Row[I] = uint8_t(Row[I] + Add);
  }
}

// One read through the whole-data inflate or through the stream: what it
// failed with, warned of, drew and reported.
struct TOutcome {
  std::string Error, Warning;
  TBytes Pixels;
  std::vector<std::tuple<int32_t, int32_t, int32_t, int32_t>> Progress;
};

TOutcome ReadThrough(const TBytes& File, bool Whole, bool Alpha = true) {
  TOutcome O;
  TPngReader R;
  if (!Whole)
    R.WholeInflateLimit = 0;
  R.SetBackground(0x00C08040);
  R.AlphaEnabled = Alpha;
  R.OnProgress = [&O](TProgressStage Stage, int32_t Percent, const TRect& Rect, bool) {
    O.Progress.emplace_back(int32_t(Stage), Percent, Rect.Top, Rect.Bottom);
  };
  try {
    R.OpenMemory(File);
    R.CreateDib();
    const auto Dib = R.TakeDib();
    try {
      R.Read();
    } catch (const EInvalidGraphicOperation& E) {
      O.Error = E.what();
    }
    O.Pixels.assign(Dib->Bits(), Dib->Bits() + Dib->ImageSize());
  } catch (const EInvalidGraphicOperation& E) {
    O.Error = std::string("open: ") + E.what();
  }
  O.Warning = R.Warning;
  return O;
}

void ExpectSamePaths(const TBytes& File, const std::string& What) {
  const TOutcome Whole = ReadThrough(File, true), Stream = ReadThrough(File, false);
  EXPECT_EQ(Whole.Error, Stream.Error) << What;
  EXPECT_EQ(Whole.Warning, Stream.Warning) << What;
  EXPECT_TRUE(Whole.Pixels == Stream.Pixels) << What;
  EXPECT_TRUE(Whole.Progress == Stream.Progress) << What;
}

struct TKind {
  int ColorType, Depth;
};
const TKind Kinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                       {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

int Channels(int ColorType) { return ColorType == 2 ? 3 : ColorType == 4 ? 2 : ColorType == 6 ? 4 : 1; }

// Raw rows of random samples; 16-bit samples hold the same byte twice, so
// that every reading of them as 8 bits agrees.
std::vector<TBytes> RandomRows(const TKind& K, uint32_t W, uint32_t H, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  const size_t Bytes = size_t(PackedRowBytes(W, int64_t(K.Depth) * Channels(K.ColorType)));
  std::vector<TBytes> Rows(H, TBytes(Bytes));
  for (TBytes& Row : Rows)
    for (size_t I = 0; I < Bytes; I += K.Depth == 16 ? 2 : 1) {
      // Runs now and then, so that the filters see smooth stretches too.
      Row[I] = (Rng() % 4 == 0 && I >= 8) ? Row[I - 8] : uint8_t(Rng());
      if (K.Depth == 16)
        Row[I + 1] = Row[I];
    }
  return Rows;
}

std::vector<png_color> TestPalette(int Depth) {
  std::vector<png_color> P(size_t(1) << Depth);
  for (size_t I = 0; I < P.size(); ++I)
    P[I] = {uint8_t(I * 37), uint8_t(255 - I), uint8_t(I * 11 + 5)};
  return P;
}

// A file written by libpng with one filter for every row and IDAT chunks of
// at most IdatSize bytes.
TBytes LibpngWrite(const TKind& K, uint32_t W, uint32_t H, bool Interlaced, int Filter, const std::vector<TBytes>& Rows,
                   size_t IdatSize = 8192) {
  LibPngMemory::TWriteSetup S;
  S.Width = W;
  S.Height = H;
  S.Depth = K.Depth;
  S.ColorType = K.ColorType;
  S.Interlaced = Interlaced;
  if (K.ColorType == 3)
    S.Palette = TestPalette(K.Depth);
  S.Filters = Filter;
  S.IdatSize = IdatSize;
  std::vector<const uint8_t*> Pointers;
  for (const TBytes& Row : Rows)
    Pointers.push_back(Row.data());
  return LibPngMemory::Write(S, Pointers);
}

// libpng's reading as 8-bit RGB, as 0x00BBGGRR.
std::vector<TColor> LibpngRgb(const TBytes& File) {
  png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  LibPngMemory::TSource Source{&File};
  std::vector<TColor> Colors;
  TBytes Pixels;
  std::vector<png_bytep> Rows;
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_read_struct(&Png, &Info, nullptr);
    return {};
  }
  LibPngMemory::ReadFrom(Png, Source);
  png_read_info(Png, Info);
  png_set_expand(Png);
  png_set_strip_16(Png);
  png_set_strip_alpha(Png);
  png_set_gray_to_rgb(Png);
  png_set_interlace_handling(Png);
  png_read_update_info(Png, Info);
  const uint32_t W = png_get_image_width(Png, Info), H = png_get_image_height(Png, Info);
  Pixels.resize(size_t(W) * H * 3);
  for (uint32_t Y = 0; Y < H; ++Y)
    Rows.push_back(Pixels.data() + size_t(Y) * W * 3);
  png_read_image(Png, Rows.data());
  png_destroy_read_struct(&Png, &Info, nullptr);
  for (size_t I = 0; I < size_t(W) * H; ++I)
    Colors.push_back(RGBColor(Pixels[I * 3], Pixels[I * 3 + 1], Pixels[I * 3 + 2]));
  return Colors;
}

// The color the raw samples stand for, alpha left out.
TColor RawColor(const TKind& K, const TBytes& Row, uint32_t X) {
  const int C = Channels(K.ColorType);
  auto Sample = [&](int Channel) -> uint32_t {
    const uint64_t Bit = (uint64_t(X) * C + uint64_t(Channel)) * uint64_t(K.Depth);
    if (K.Depth >= 8)
      return Row[Bit / 8];
    return (Row[Bit / 8] >> (8 - Bit % 8 - uint64_t(K.Depth))) & ((1u << K.Depth) - 1);
  };
  if (K.ColorType == 3) {
    const png_color E = TestPalette(K.Depth)[Sample(0)];
    return RGBColor(E.red, E.green, E.blue);
  }
  if (K.ColorType == 0 || K.ColorType == 4) {
    const uint8_t V = uint8_t(K.Depth >= 8 ? Sample(0) : Sample(0) * 255 / ((1u << K.Depth) - 1));
    return RGBColor(V, V, V);
  }
  return RGBColor(uint8_t(Sample(0)), uint8_t(Sample(1)), uint8_t(Sample(2)));
}

const int Filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH};

} // namespace

TEST(PngUnfilter, PaethSelectsAsTheTextbookPredictor) {
  int Bad = 0;
  for (int A = 0; A < 256; ++A)
    for (int B = 0; B < 256; ++B)
      for (int C = 0; C < 256; ++C)
        Bad += Png::PaethPredictor(A, B, C) != TextbookPaeth(A, B, C);
  EXPECT_EQ(Bad, 0);
}

TEST(PngUnfilter, EveryFilterAndPixelSizeMatchesTheDefinition) {
  std::mt19937 Rng(5);
  for (const size_t Bpp : {1, 2, 3, 4, 5, 6, 8})
    for (uint8_t Type = 0; Type <= 5; ++Type)
      // Empty, one pixel, part of a pixel (other lengths stay in the row) and
      // long rows.
      for (const size_t N : {size_t(0), Bpp, Bpp + 1, Bpp / 2, 7 * Bpp, 1001 * Bpp}) {
        TBytes Prev(N), Row(N);
        for (size_t I = 0; I < N; ++I) {
          Prev[I] = uint8_t(Rng());
          Row[I] = uint8_t(Rng());
        }
        TBytes Want = Row;
        ReferenceUnfilter(Type, Want.data(), Prev.data(), N, Bpp);
        Png::Unfilter(Type, Row.data(), Prev.data(), N, Bpp);
        EXPECT_EQ(Row, Want) << "bpp " << Bpp << " type " << int(Type) << " length " << N;
      }
}

TEST(PngInflate, WholeDataCodingRoundTripsAndRefusesWrongSizes) {
  TBytes Data(300000);
  std::mt19937 Rng(9);
  for (size_t I = 0; I < Data.size(); ++I)
    Data[I] = I % 5000 < 3000 ? uint8_t(I / 3) : uint8_t(Rng());
  for (const int Level : {1, 6, 9}) {
    TBytes Packed;
    ASSERT_TRUE(DeflateWhole(Level, Data, Packed)) << Level;
    // zlib reads what libdeflate wrote.
    TBytes Back(Data.size());
    uLongf Size = uLongf(Back.size());
    ASSERT_EQ(uncompress(Back.data(), &Size, Packed.data(), uLong(Packed.size())), Z_OK) << Level;
    EXPECT_EQ(Back, Data) << Level;
  }
  const TBytes Packed = Deflate(Data);
  TBytes Out(Data.size());
  ASSERT_TRUE(InflateWhole(Packed, Out));
  EXPECT_EQ(Out, Data);
  // A stream with more or less data than the room, cut short, or with a wrong
  // check value is not a whole image.
  TBytes Short(Data.size() - 1), Long(Data.size() + 1);
  EXPECT_FALSE(InflateWhole(Packed, Short));
  EXPECT_FALSE(InflateWhole(Packed, Long));
  EXPECT_FALSE(InflateWhole({Packed.data(), Packed.size() - 5}, Out));
  TBytes BadCheck = Packed;
  BadCheck.back() ^= 1;
  EXPECT_FALSE(InflateWhole(BadCheck, Out));
  EXPECT_FALSE(InflateWhole({}, Out));
  // libdeflate's CRC-32 is zlib's.
  EXPECT_EQ(Crc32(0, Data.data(), Data.size()), uint32_t(crc32(0, Data.data(), uInt(Data.size()))));
  EXPECT_EQ(Crc32(7, Data.data(), 0), 7u);
}

TEST(PngInflate, ImageDataSizeIsWhatTheWriterStores) {
  // Every pass shape of small images, with empty passes and sub-byte pixels.
  for (const auto& [Format, Bits] : {std::pair{pf1bit, 1}, std::pair{pf4bit, 4}, std::pair{pf24bit, 24}})
    for (int32_t W = 1; W <= 10; ++W)
      for (int32_t H = 1; H <= 10; ++H)
        for (const bool Interlaced : {false, true}) {
          TDib Dib(W, H, Format);
          TMemoryStream S;
          TPngWriter Writer;
          Writer.Interlaced = Interlaced;
          Writer.CreateStream(S);
          Writer.Write(Dib);
          TBytes Idat;
          const auto B = S.Bytes();
          for (size_t At = 8; At + 12 <= B.size();) {
            const uint32_t Len = GetBE32(&B[At]);
            if (std::memcmp(&B[At + 4], "IDAT", 4) == 0)
              Idat.insert(Idat.end(), B.begin() + long(At) + 8, B.begin() + long(At) + 8 + Len);
            At += 12 + Len;
          }
          TBytes Raw(100000);
          uLongf Size = uLongf(Raw.size());
          ASSERT_EQ(uncompress(Raw.data(), &Size, Idat.data(), uLong(Idat.size())), Z_OK);
          EXPECT_EQ(int64_t(Size), Png::ImageDataBytes(W, H, Bits, Interlaced))
              << Bits << " bits " << W << "x" << H << (Interlaced ? " interlaced" : "");
        }
}

TEST(PngInflate, EveryKindFilterAndInterlaceMatchesLibpngThroughBothPaths) {
  const std::pair<uint32_t, uint32_t> Sizes[] = {{23, 13}, {3, 1}, {1, 9}};
  uint32_t Seed = 1;
  for (const TKind& K : Kinds)
    for (const auto& [W, H] : Sizes)
      for (const bool Interlaced : {false, true})
        for (const int Filter : Filters) {
          const std::string What = "type " + std::to_string(K.ColorType) + " depth " + std::to_string(K.Depth) + " " +
                                   std::to_string(W) + "x" + std::to_string(H) + " filter " + std::to_string(Filter) +
                                   (Interlaced ? " interlaced" : "");
          const std::vector<TBytes> Rows = RandomRows(K, W, H, Seed++);
          const TBytes File = LibpngWrite(K, W, H, Interlaced, Filter, Rows, 64);
          ASSERT_FALSE(File.empty()) << What;
          const std::vector<TColor> Libpng = LibpngRgb(File);
          ASSERT_EQ(Libpng.size(), size_t(W) * H) << What;
          for (const bool Whole : {true, false}) {
            TRead R;
            R.Reader->WholeInflateLimit = Whole ? R.Reader->WholeInflateLimit : 0;
            R.Reader->SetBackground(0);
            TImageRead Read = ReadImageWith(*R.Reader, File, TReadOptions());
            ASSERT_NO_THROW(Read.ThrowFailure()) << What;
            ASSERT_TRUE(Read.Dib) << What;
            int Bad = 0, BadLibpng = 0;
            for (uint32_t Y = 0; Y < H; ++Y)
              for (uint32_t X = 0; X < W; ++X) {
                const TColor Want = RawColor(K, Rows[Y], X);
                Bad += Read.Dib->GetPixelColor(int32_t(X), int32_t(Y)) != Want;
                BadLibpng += Libpng[size_t(Y) * W + X] != Want;
              }
            EXPECT_EQ(Bad, 0) << What << (Whole ? " whole" : " stream");
            EXPECT_EQ(BadLibpng, 0) << What;
          }
          ExpectSamePaths(File, What);
        }
}

TEST(PngInflate, DamagedDataFailsOrTruncatesAsThroughTheStream) {
  const TKind Rgb{2, 8};
  const std::vector<TBytes> Rows = RandomRows(Rgb, 40, 30, 3);
  for (const bool Interlaced : {false, true}) {
    const TBytes File = LibpngWrite(Rgb, 40, 30, Interlaced, PNG_ALL_FILTERS, Rows, 300);
    const std::string Kind = Interlaced ? "interlaced " : "";
    ASSERT_EQ(ReadThrough(File, true).Error, "");
    ExpectSamePaths(File, Kind + "intact");
    // Cut anywhere: in a chunk header, in the data, in a CRC.
    for (size_t Cut = 40; Cut < File.size(); Cut += 29)
      ExpectSamePaths(TBytes(File.begin(), File.begin() + long(Cut)), Kind + "cut at " + std::to_string(Cut));
    // Damaged deflate data under right CRCs.
    std::vector<std::pair<std::string, TBytes>> Chunks;
    for (size_t At = 8; At + 12 <= File.size();) {
      const uint32_t Len = GetBE32(&File[At]);
      Chunks.emplace_back(std::string(File.begin() + long(At) + 4, File.begin() + long(At) + 8),
                          TBytes(File.begin() + long(At) + 8, File.begin() + long(At) + 8 + Len));
      At += 12 + Len;
    }
    auto Rebuild = [&Chunks](auto Edit) {
      TBytes Out = Signature();
      for (size_t I = 0; I < Chunks.size(); ++I) {
        TBytes Data = Chunks[I].second;
        std::string Type = Chunks[I].first;
        if (Edit(I, Type, Data))
          AddChunk(Out, Type.c_str(), Data);
      }
      return Out;
    };
    for (size_t Chunk = 1; Chunk < Chunks.size(); Chunk += 3)
      for (const size_t Byte : {size_t(0), size_t(7), size_t(150), size_t(299)}) {
        const TBytes Damaged = Rebuild([&](size_t I, std::string& Type, TBytes& Data) {
          if (I == Chunk && Type == "IDAT" && Byte < Data.size())
            Data[Byte] ^= 0x5A;
          return true;
        });
        ExpectSamePaths(Damaged, Kind + "damaged chunk " + std::to_string(Chunk) + " byte " + std::to_string(Byte));
      }
    // A wrong CRC; an empty data chunk and a foreign chunk between the data
    // chunks, and an empty data chunk after the image.
    TBytes BadCrc = File;
    BadCrc[BadCrc.size() - 20] ^= 1;
    ExpectSamePaths(BadCrc, Kind + "bad CRC of the last data chunk");
    const size_t Middle = Chunks.size() / 2;
    for (const auto& [Between, At] :
         {std::pair{"IDAT", Middle}, std::pair{"teXt", Middle}, std::pair{"IDAT", Chunks.size() - 1}}) {
      TBytes Out = Signature();
      for (size_t I = 0; I < Chunks.size(); ++I) {
        if (I == At)
          AddChunk(Out, Between, {});
        AddChunk(Out, Chunks[I].first.c_str(), Chunks[I].second);
      }
      const std::string What = Kind + "empty " + Between + " before chunk " + std::to_string(At);
      EXPECT_EQ(ReadThrough(Out, true).Error, "") << What;
      ExpectSamePaths(Out, What);
    }
  }
}

// Every file of the suite, valid or broken, reads the same both ways.
TEST(PngInflate, SuiteFilesReadTheSameThroughBothPaths) {
  const char* Corpus = std::getenv("PELORIN_CORPUS");
  const std::filesystem::path Dir = Corpus ? std::filesystem::path(Corpus) / "pngsuite" / "png" : "";
  if (!Corpus || !std::filesystem::is_directory(Dir))
    GTEST_SKIP() << "PngSuite not available";
  int Checked = 0;
  for (const auto& E : std::filesystem::directory_iterator(Dir)) {
    if (E.path().extension() != ".png")
      continue;
    ExpectSamePaths(LoadFile(E.path()), E.path().filename().string());
    ++Checked;
  }
  EXPECT_GE(Checked, 170);
}

TEST(PngInflate, StreamsThatDoNotFitTheImageExactlyReadAsBefore) {
  // Raw image data with rows to spare: the rows the image needs are there.
  TBytes Raw;
  for (int Y = 0; Y < 6; ++Y) {
    Raw.push_back(uint8_t(Y % 5));
    for (int X = 0; X < 12; ++X)
      Raw.push_back(uint8_t(X * 17 + Y * 3));
  }
  const TBytes Header = Ihdr(4, 4, 8, 2);
  const TBytes Spare = TPngBuilder(Header).Finish(Raw);
  EXPECT_EQ(ReadThrough(Spare, true).Error, "");
  ExpectSamePaths(Spare, "rows to spare");

  // A wrong check value in a chunk of its own is never read by the stream,
  // so the image reads; in the chunk with the data zlib meets it and fails.
  TBytes Packed = Deflate(TBytes(Raw.begin(), Raw.begin() + 4 * 13));
  Packed.back() ^= 0xFF;
  const TBytes Check(Packed.end() - 4, Packed.end());
  for (const bool Apart : {true, false}) {
    TBytes File = Signature();
    AddChunk(File, "IHDR", Header);
    AddChunk(File, "IDAT", Apart ? TBytes(Packed.begin(), Packed.end() - 4) : Packed);
    if (Apart)
      AddChunk(File, "IDAT", Check);
    AddChunk(File, "IEND", {});
    EXPECT_EQ(ReadThrough(File, true).Error, Apart ? "" : "Compression error found in PNG file.");
    ExpectSamePaths(File, Apart ? "wrong check value apart" : "wrong check value");
  }

  // One row short: the first three rows are drawn, then the read fails.
  const TBytes Short = TPngBuilder(Header).Finish(TBytes(Raw.begin(), Raw.begin() + 3 * 13));
  const TOutcome O = ReadThrough(Short, true);
  EXPECT_EQ(O.Error, "Compression error found in PNG file.");
  ExpectSamePaths(Short, "one row short");
}

TEST(PngWrite, WholeAndStreamedDeflateGiveTheSameImage) {
  std::mt19937 Rng(4);
  for (const TPixelFormat Format : {pf1bit, pf4bit, pf8bit, pf24bit})
    for (const bool Interlaced : {false, true})
      for (const int32_t Level : {1, 6, 9}) {
        TDib Dib(67, 41, Format);
        for (int32_t I = 0; I < Dib.PaletteSize(); ++I)
          Dib.SetPaletteColor(I, Rng() & 0xFFFFFF);
        const uint32_t Max = Dib.PaletteSize() > 0 ? uint32_t(Dib.PaletteSize() - 1) : 0xFFFFFF;
        for (int32_t Y = 0; Y < 41; ++Y)
          for (int32_t X = 0; X < 67; ++X)
            Dib.SetPixelValue(X, Y, (Y % 5 == 0 ? Rng() : uint32_t(X * 3 + Y)) & Max);
        TBytes Files[2];
        for (const bool Whole : {true, false}) {
          TMemoryStream S;
          TPngWriter W;
          W.Interlaced = Interlaced;
          W.CompressionLevel = Level;
          if (!Whole)
            W.WholeDeflateLimit = 0;
          W.CreateStream(S);
          W.Write(Dib);
          Files[Whole] = TBytes(S.Bytes().begin(), S.Bytes().end());
        }
        const std::string What =
            std::to_string(int(Format)) + " level " + std::to_string(Level) + (Interlaced ? " interlaced" : "");
        const TRead Whole = ReadPng(Files[1]), Streamed = ReadPng(Files[0]);
        ASSERT_EQ(Whole.Dib->ImageSize(), Streamed.Dib->ImageSize()) << What;
        EXPECT_EQ(std::memcmp(Whole.Dib->Bits(), Streamed.Dib->Bits(), size_t(Whole.Dib->ImageSize())), 0) << What;
        for (int32_t Y = 0; Y < 41; ++Y)
          for (int32_t X = 0; X < 67; ++X)
            ASSERT_EQ(Whole.Dib->GetPixelColor(X, Y), Dib.GetPixelColor(X, Y)) << What;
      }
}
