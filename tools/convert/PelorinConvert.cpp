#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ConvertEdits.h"
#include "SafeFile.h"
#include "XFormats.h"
#include "XImageRead.h"
#include "XPng.h"

namespace fs = std::filesystem;

namespace {

const char* const Usage = "usage: pelorin-convert [--os2] INPUT OUTPUT\n"
                          "       pelorin-convert [--os2] -o DIR --to EXT INPUT...\n"
                          "       pelorin-convert --info INPUT\n"
                          "       pelorin-convert --rgb INPUT OUT.ppm\n"
                          "Reads INPUT with the reader its extension selects and writes OUTPUT with\n"
                          "the writer of OUTPUT's extension. --os2 writes bitmaps with OS/2 headers.\n"
                          "PNG output: --level N (zlib level 0..9, default 6), --filters LIST (comma-\n"
                          "separated none, sub, up, average, paeth or all; default all), --interlace.\n"
                          "JPEG output: --quality N (1..100, default 90), --progressive.\n"
                          "GIF output: --lzw (default) or --expand (uncompressed codes), --interlace.\n"
                          "TGA output: --rle (run-length packets). PNM output: --plain (decimal text).\n"
                          "TIFF output: --compression none|lzw|lzw-pred|deflate (default none),\n"
                          "--byte-order ii|mm (default ii), --strip-bytes N (target strip size, default\n"
                          "32768).\n"
                          "PNG, TIFF and PNM output: --title TEXT, --author TEXT, --rights TEXT.\n"
                          "Photo CD input: --pcd-resolution N (0 192 x 128 .. 4 3072 x 2048, default 2).\n"
                          "Images are turned upright by their stored orientation (Exif, TIFF) unless\n"
                          "--no-orient, and shown through an embedded color profile unless --no-profile;\n"
                          "the input file is never changed.\n";

// A bad command line, reported with exit status 2.

std::string Upper(std::string S) {
  for (char& C : S)
    C = char(std::toupper(static_cast<unsigned char>(C)));
  return S;
}

// Everything the options ask of the writers; the transparency of the image
// read goes only into GIF files.
TWriteOptions WriteOptions = [] {
  TWriteOptions O;
  O.PngFilters = pngAllFilters;
  return O;
}();

uint8_t ParsePngFilters(const std::string& List) {
  uint8_t Set = pngFilterNone;
  size_t Start = 0;
  while (Start <= List.size()) {
    const size_t End = std::min(List.find(',', Start), List.size());
    const std::string Name = Upper(List.substr(Start, End - Start));
    if (Name == "ALL")
      Set |= pngAllFilters;
    else if (Name == "SUB")
      Set |= pngFilterSub;
    else if (Name == "UP")
      Set |= pngFilterUp;
    else if (Name == "AVERAGE")
      Set |= pngFilterAverage;
    else if (Name == "PAETH")
      Set |= pngFilterPaeth;
    else if (Name != "NONE")
      throw EUsage("unknown PNG filter: " + Name);
    Start = End + 1;
  }
  return Set;
}

// The row whose writer makes an output name, or a usage error naming what
// is missing.
const TFormatRow& WriterRow(const fs::path& Name) {
  const TFormatRow* Row = FindFormat(FormatOfFile(Name.string()));
  if (!Row)
    throw EUsage("unknown output format: " + Name.string());
  const std::string Ext = Upper(Name.extension().string());
  const bool Variant = Row->VariantExtension && Ext == Row->VariantExtension;
  if (!Row->NewWriter || Variant)
    throw EUsage(std::string("no writer for ") + (Variant ? Row->VariantText : Row->Text) + ": " + Name.string());
  return *Row;
}

// What the options ask of the readers.
TReadOptions ReadOptions;

// Turned upright as the viewer shows it.
TImageRead ReadInput(const fs::path& Name) {
  TImageRead Read = ReadImageFile(Name, ReadOptions);
  if (Read.Dib)
    ApplyOrientation(*Read.Dib, OrientationStep(Read.Orientation));
  return Read;
}

void WriteImage(const TDib& Dib, const fs::path& Output, const TTransparencyInfo& Transparency) {
  const TFormatRow& Row = WriterRow(Output);
  if (const char* Why = Row.Refusal ? Row.Refusal(Dib) : nullptr)
    throw std::runtime_error(Why);
  TWriteOptions O = WriteOptions;
  O.Transparency = Row.Format == fmtGIF ? Transparency : TTransparencyInfo{};
  const std::unique_ptr<TImgWriter> Writer = Row.NewWriter(O, Dib);
  SaveViaTempFile(Output, [&](TStream& S) {
    Writer->CreateStream(S);
    Writer->Write(Dib);
    if (!Writer->OK)
      throw EInvalidGraphicOperation(ImgMsg::FileWrite);
  });
}

void WritePpm(const TDib& Dib, const fs::path& Output) {
  SaveViaTempFile(Output, [&](TStream& S) {
    const std::string Header = "P6\n" + std::to_string(Dib.Width()) + " " + std::to_string(Dib.Height()) + "\n255\n";
    std::vector<uint8_t> Row(size_t(Dib.Width()) * 3);
    bool Ok = S.Write(Header.data(), Header.size()) == Header.size();
    for (int32_t Y = 0; Ok && Y < Dib.Height(); ++Y) {
      for (int32_t X = 0; X < Dib.Width(); ++X)
        ColorToRGBBytes(Dib.GetPixelColor(X, Y), Row.data() + size_t(X) * 3);
      Ok = S.Write(Row.data(), Row.size()) == Row.size();
    }
    if (!Ok)
      throw EInvalidGraphicOperation(ImgMsg::FileWrite);
  });
}

std::string PixelFormatText(uint8_t PixelFormat, bool Gray) {
  switch (PixelFormat) {
  case pf1bit: return Gray ? "Monochrome (2)" : "Color Palette (2)";
  case pf4bit: return std::string(Gray ? "Grayscale" : "Color Palette") + " (16)";
  case pf8bit: return std::string(Gray ? "Grayscale" : "Color Palette") + " (256)";
  case pf15bit: return "High Color RGB (15bit)";
  case pf16bit: return "High Color RGB (16bit)";
  case pf24bit: return "True Color RGB (24 bit)";
  case pf32bit: return "True Color RGB (32 bit)";
  default: return "Unknown";
  }
}

const char* YesNo(bool B) { return B ? "yes" : "no"; }

void Info(const fs::path& Input) {
  const TImageRead Read = ReadInput(Input);
  const TImageFacts& F = Read.Facts;
  std::cout << "format: " << Read.FormatText << "\n"
            << "width: " << F.Width << "\n"
            << "height: " << F.Height << "\n"
            << "pixel format: " << PixelFormatText(F.PixelFormat, F.IsGray) << "\n"
            << "palette size: " << F.PaletteSize << "\n"
            << "gray: " << YesNo(F.IsGray) << "\n"
            << "color format: " << ColorFormatText(F.ColorFormat) << "\n"
            << "bits per sample: " << F.SourceBits << "\n"
            << "compression: " << CompressionText(F.Compression) << "\n"
            << "resolution: " << F.Resolution << "\n"
            << "interlaced: " << YesNo(F.Interlaced) << "\n"
            << "orientation: " << F.Orientation << "\n"
            << "color profile: " << (F.Profile.empty() ? "none" : F.Profile) << "\n"
            << "title: " << Read.Texts.Title << "\n"
            << "author: " << Read.Texts.Author << "\n"
            << "rights: " << Read.Texts.Rights << "\n"
            << "warning: " << Read.Warning << "\n";
  if (const TFormatRow* Row = FindFormat(Read.Format); Row && Row->LibraryVersion)
    std::cout << "library: " << Row->LibraryVersion() << "\n";
  Read.ThrowFailure();
}

void Convert(const fs::path& Input, const fs::path& Output) {
  TImageRead Read = ReadInput(Input);
  Read.ThrowFailure();
  if (!Read.Warning.empty())
    std::cerr << "pelorin-convert: " << Input.string() << ": warning: " << Read.Warning << "\n";
  ApplyEdits(Read.Dib);
  WriteImage(*Read.Dib, Output, Read.Transparency.value_or(TTransparencyInfo{}));
}

void ReportFailure(const fs::path& Input, const std::exception& E) {
  std::cerr << "pelorin-convert: " << Input.string() << ": " << E.what() << "\n";
}

// A decimal number of at most MaxDigits digits; -1 for anything else.
int64_t ParseDecimal(const std::string& V, size_t MaxDigits) {
  int64_t N = V.empty() || V.size() > MaxDigits ? -1 : 0;
  for (size_t K = 0; N >= 0 && K < V.size(); ++K)
    N = std::isdigit(static_cast<unsigned char>(V[K])) ? N * 10 + (V[K] - '0') : -1;
  return N;
}

int ParseQuality(const std::string& V) {
  const int64_t Q = ParseDecimal(V, 3);
  if (Q < 1 || Q > 100)
    throw EUsage("--quality takes 1 to 100");
  return int(Q);
}

uint8_t ParseTifCompression(const std::string& V) {
  const std::string U = Upper(V);
  if (U == "NONE")
    return 0;
  if (U == "LZW")
    return 3;
  if (U == "LZW-PRED")
    return 4;
  if (U == "DEFLATE")
    return 12;
  throw EUsage("--compression takes none, lzw, lzw-pred or deflate");
}

int32_t ParseStripBytes(const std::string& V) {
  const int64_t N = ParseDecimal(V, 9);
  if (N < 1)
    throw EUsage("--strip-bytes takes a positive number of bytes");
  return int32_t(N);
}

// Takes Args[I] and its value into WriteOptions when it is a writer's option.
bool TakeWriterOption(const std::vector<std::string>& Args, size_t& I) {
  const std::string& A = Args[I];
  TWriteOptions& O = WriteOptions;
  if (A == "--os2") {
    O.Os2 = true;
  } else if (A == "--quality") {
    O.JpgQuality = ParseQuality(ValueOf(Args, I));
  } else if (A == "--progressive") {
    O.JpgProgressive = true;
  } else if (A == "--filters") {
    O.PngFilters = ParsePngFilters(ValueOf(Args, I));
  } else if (A == "--level") {
    const std::string& V = ValueOf(Args, I);
    if (V.size() != 1 || V[0] < '0' || V[0] > '9')
      throw EUsage("--level takes 0 to 9");
    O.PngLevel = V[0] - '0';
  } else if (A == "--interlace") {
    O.PngInterlaced = O.GifInterlaced = true;
  } else if (A == "--lzw" || A == "--expand") {
    O.GifCompression = A == "--lzw" ? 3 : 0;
  } else if (A == "--rle") {
    O.TgaRunLength = true;
  } else if (A == "--compression") {
    O.TifCompression = ParseTifCompression(ValueOf(Args, I));
  } else if (A == "--byte-order") {
    const std::string V = Upper(ValueOf(Args, I));
    if (V != "II" && V != "MM")
      throw EUsage("--byte-order takes ii or mm");
    O.TifBigEndian = V == "MM";
  } else if (A == "--strip-bytes") {
    O.TifStripSize = ParseStripBytes(ValueOf(Args, I));
  } else if (A == "--plain") {
    O.PnmPlain = true;
  } else if (A == "--title") {
    O.Texts.Title = ValueOf(Args, I);
  } else if (A == "--author") {
    O.Texts.Author = ValueOf(Args, I);
  } else if (A == "--rights") {
    O.Texts.Rights = ValueOf(Args, I);
  } else {
    return false;
  }
  return true;
}

int Run(int Argc, char** Argv) {
  std::vector<std::string> Args(Argv + 1, Argv + Argc);
  bool WantInfo = false, WantRgb = false;
  std::optional<fs::path> OutDir;
  std::optional<std::string> ToExt;
  std::vector<fs::path> Files;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    if (TakeWriterOption(Args, I) || TakeEditOption(Args, I))
      continue;
    if (A == "--info") {
      WantInfo = true;
    } else if (A == "--rgb") {
      WantRgb = true;
    } else if (A == "-o" || A == "--to") {
      if (A == "-o")
        OutDir = ValueOf(Args, I);
      else
        ToExt = ValueOf(Args, I);
    } else if (A == "--pcd-resolution") {
      const std::string& V = ValueOf(Args, I);
      if (V.size() != 1 || V[0] < '0' || V[0] > '4')
        throw EUsage("--pcd-resolution takes 0 to 4");
      ReadOptions.PcdResolution = uint8_t(V[0] - '0');
    } else if (A == "--no-orient") {
      ReadOptions.ApplyOrientation = false;
    } else if (A == "--no-profile") {
      ReadOptions.ApplyProfile = false;
    } else if (A == "-h" || A == "--help") {
      std::cout << Usage << EditUsage;
      return 0;
    } else if (A == "--") {
      Files.insert(Files.end(), Args.begin() + long(I) + 1, Args.end());
      break;
    } else if (A.size() > 1 && A[0] == '-') {
      throw EUsage("unknown option " + A);
    } else {
      Files.emplace_back(A);
    }
  }
  if (WantInfo + WantRgb + (OutDir || ToExt) > 1)
    throw EUsage("--info, --rgb and -o/--to do not combine");

  // Failures of one input name it; usage errors go on to main.
  auto Guarded = [](const fs::path& Input, auto Work) {
    try {
      Work();
      return 0;
    } catch (const EUsage&) {
      throw;
    } catch (const std::exception& E) {
      ReportFailure(Input, E);
      return 1;
    }
  };
  if (WantInfo) {
    if (Files.size() != 1)
      throw EUsage("--info takes one input");
    return Guarded(Files[0], [&] { Info(Files[0]); });
  }
  if (WantRgb) {
    if (Files.size() != 2)
      throw EUsage("--rgb takes an input and an output");
    return Guarded(Files[0], [&] {
      TImageRead Read = ReadInput(Files[0]);
      Read.ThrowFailure();
      ApplyEdits(Read.Dib);
      WritePpm(*Read.Dib, Files[1]);
    });
  }
  if (OutDir || ToExt) {
    if (!OutDir || !ToExt || Files.empty())
      throw EUsage("a batch needs -o DIR, --to EXT and at least one input");
    std::string Ext = *ToExt;
    if (!Ext.empty() && Ext[0] == '.')
      Ext.erase(0, 1);
    if (!fs::is_directory(*OutDir))
      throw EUsage("not a folder: " + OutDir->string());
    WriterRow(*OutDir / ("x." + Ext));
    int Status = 0;
    for (const fs::path& Input : Files)
      Status |= Guarded(Input, [&] { Convert(Input, *OutDir / (Input.stem().string() + "." + Ext)); });
    return Status;
  }
  if (Files.size() != 2)
    throw EUsage("expected INPUT and OUTPUT");
  WriterRow(Files[1]);
  return Guarded(Files[0], [&] { Convert(Files[0], Files[1]); });
}

} // namespace

int main(int Argc, char** Argv) {
  try {
    return Run(Argc, Argv);
  } catch (const EUsage& E) {
    std::cerr << "pelorin-convert: " << E.what() << "\n" << Usage << EditUsage;
    return 2;
  } catch (const std::exception& E) {
    std::cerr << "pelorin-convert: " << E.what() << "\n";
    return 1;
  }
}
