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

#include "SafeFile.h"
#include "XBmp.h"
#include "XGif.h"
#include "XJpg.h"
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
                          "GIF output: --lzw (default) or --expand (uncompressed codes), --interlace.\n";

// A bad command line, reported with exit status 2.
struct EUsage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Upper(std::string S) {
  for (char& C : S)
    C = char(std::toupper(static_cast<unsigned char>(C)));
  return S;
}

struct TPngOptions {
  int32_t Level = 6;
  uint8_t Filters = pngAllFilters;
  bool Interlaced = false;
};
TPngOptions PngOptions;

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

struct TJpgOptions {
  int32_t Quality = 90;
  bool Progressive = false;
};
TJpgOptions JpgOptions;

struct TGifOptions {
  bool Lzw = true;
  bool Interlaced = false;
  // The transparency of the image read, stored again when writing GIF.
  TTransparencyInfo Transparency;
};
TGifOptions GifOptions;

struct TLoaded {
  std::unique_ptr<TImgReader> Reader;
  std::unique_ptr<TDib> Dib;
  std::string FormatText;
};

std::unique_ptr<TImgReader> ReaderFor(const fs::path& Name) {
  switch (FormatOfFile(Name.string())) {
  case fmtBMP:
  case fmtBUM: return std::make_unique<TBmpReader>();
  case fmtJPEG: return std::make_unique<TJpgReader>();
  case fmtPNG: return std::make_unique<TPngReader>();
  case fmtGIF: return std::make_unique<TGifReader>();
  default: throw std::runtime_error("File type not supported:\n" + Name.string());
  }
}

std::string FormatTextOf(const fs::path& Name, const TImgReader& Reader) {
  const int32_t Format = FormatOfFile(Name.string());
  if (Format == fmtBMP) {
    if (static_cast<const TBmpReader&>(Reader).Os2Header)
      return "OS/2 Bitmap";
    if (Upper(Name.string()).find(".RLE") != std::string::npos)
      return "Run Length Encoded Bitmap";
    return "Windows Bitmap";
  }
  if (Format == fmtGIF)
    return "GIF " + static_cast<const TGifReader&>(Reader).Version();
  return FormatText(Format);
}

// Opens INPUT and reads its header; the rows follow with ReadRows.
TLoaded OpenImage(const fs::path& Name) {
  TLoaded L;
  L.Reader = ReaderFor(Name);
  L.Reader->Open(Name);
  L.FormatText = FormatTextOf(Name, *L.Reader);
  return L;
}

void ReadRows(TLoaded& L) {
  L.Reader->CreateDib();
  L.Dib = L.Reader->TakeDib();
  L.Reader->Read();
}

// The writer for an output name, or a usage error naming what is missing.
std::unique_ptr<TImgWriter> WriterFor(const fs::path& Name, bool Os2) {
  const int32_t Format = FormatOfFile(Name.string());
  const std::string Ext = Upper(Name.extension().string());
  if ((Format == fmtBMP && Ext == ".BMP") || Format == fmtBUM) {
    auto W = std::make_unique<TBmpWriter>();
    W->Os2Format = Os2 && Format == fmtBMP;
    return W;
  }
  if (Format == fmtPNG) {
    auto W = std::make_unique<TPngWriter>();
    W->CompressionLevel = PngOptions.Level;
    W->Filters = PngOptions.Filters;
    W->Interlaced = PngOptions.Interlaced;
    return W;
  }
  if (Format == fmtJPEG) {
    auto W = std::make_unique<TJpgWriter>();
    W->Quality = uint8_t(JpgOptions.Quality);
    W->Progressive = JpgOptions.Progressive;
    return W;
  }
  if (Format == fmtGIF) {
    auto W = std::make_unique<TGifWriter>();
    W->Compression = GifOptions.Lzw ? 3 : 0;
    W->Interlaced = GifOptions.Interlaced;
    W->Transparency = GifOptions.Transparency;
    return W;
  }
  if (Format == fmtUnknown)
    throw EUsage("unknown output format: " + Name.string());
  const std::string Text = Ext == ".RLE" ? "Run Length Encoded Bitmap" : FormatText(Format);
  throw EUsage("no writer for " + Text + ": " + Name.string());
}

void WriteImage(const TDib& Dib, const fs::path& Output, bool Os2) {
  auto Writer = WriterFor(Output, Os2);
  if (dynamic_cast<const TGifWriter*>(Writer.get()) && Dib.PixelFormat() > pf8bit)
    throw std::runtime_error("Convert to grayscale or indexed colors to save as GIF");
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
  TLoaded L = OpenImage(Input);
  std::string Failure;
  try {
    ReadRows(L);
  } catch (const std::exception& E) {
    Failure = E.what();
  }
  const TImgReader& R = *L.Reader;
  std::cout << "format: " << L.FormatText << "\n"
            << "width: " << R.Width << "\n"
            << "height: " << R.Height << "\n"
            << "pixel format: " << PixelFormatText(R.PixelFormat, R.IsGray) << "\n"
            << "palette size: " << R.PaletteSize << "\n"
            << "gray: " << YesNo(R.IsGray) << "\n"
            << "color format: " << ColorFormatText(R.ColorFormat) << "\n"
            << "bits per sample: " << R.ColorManager.SourceBits << "\n"
            << "compression: " << CompressionText(R.Compression) << "\n"
            << "resolution: " << R.Resolution << "\n"
            << "interlaced: " << YesNo(R.Interlaced) << "\n"
            << "title: " << R.Title << "\n"
            << "author: " << R.Author << "\n"
            << "rights: " << R.Rights << "\n"
            << "warning: " << R.Warning << "\n";
  if (dynamic_cast<const TJpgReader*>(&R))
    std::cout << "library: " << JpegLibraryVersion() << "\n";
  if (!Failure.empty())
    throw std::runtime_error(Failure);
}

void Convert(const fs::path& Input, const fs::path& Output, bool Os2) {
  TLoaded L = OpenImage(Input);
  ReadRows(L);
  if (const auto* Gif = dynamic_cast<const TGifReader*>(L.Reader.get()))
    GifOptions.Transparency = Gif->Transparency;
  else if (const auto* Png = dynamic_cast<const TPngReader*>(L.Reader.get()))
    GifOptions.Transparency = Png->Transparency;
  else
    GifOptions.Transparency.Reset();
  if (!L.Reader->Warning.empty())
    std::cerr << "pelorin-convert: " << Input.string() << ": warning: " << L.Reader->Warning << "\n";
  WriteImage(*L.Dib, Output, Os2);
}

void ReportFailure(const fs::path& Input, const std::exception& E) {
  std::cerr << "pelorin-convert: " << Input.string() << ": " << E.what() << "\n";
}

int Run(int Argc, char** Argv) {
  std::vector<std::string> Args(Argv + 1, Argv + Argc);
  bool Os2 = false, WantInfo = false, WantRgb = false;
  std::optional<fs::path> OutDir;
  std::optional<std::string> ToExt;
  std::vector<fs::path> Files;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    if (A == "--os2") {
      Os2 = true;
    } else if (A == "--info") {
      WantInfo = true;
    } else if (A == "--rgb") {
      WantRgb = true;
    } else if (A == "--quality") {
      if (I + 1 >= Args.size())
        throw EUsage(A + " needs a value");
      const std::string V = Args[++I];
      int Q = V.empty() || V.size() > 3 ? -1 : 0;
      for (size_t K = 0; Q >= 0 && K < V.size(); ++K)
        Q = std::isdigit(static_cast<unsigned char>(V[K])) ? Q * 10 + (V[K] - '0') : -1;
      if (Q < 1 || Q > 100)
        throw EUsage("--quality takes 1 to 100");
      JpgOptions.Quality = Q;
    } else if (A == "--progressive") {
      JpgOptions.Progressive = true;
    } else if (A == "-o" || A == "--to") {
      if (I + 1 >= Args.size())
        throw EUsage(A + " needs a value");
      if (A == "-o")
        OutDir = Args[++I];
      else
        ToExt = Args[++I];
    } else if (A == "--level" || A == "--filters") {
      if (I + 1 >= Args.size())
        throw EUsage(A + " needs a value");
      const std::string V = Args[++I];
      if (A == "--filters") {
        PngOptions.Filters = ParsePngFilters(V);
      } else {
        if (V.size() != 1 || V[0] < '0' || V[0] > '9')
          throw EUsage("--level takes 0 to 9");
        PngOptions.Level = V[0] - '0';
      }
    } else if (A == "--interlace") {
      PngOptions.Interlaced = true;
      GifOptions.Interlaced = true;
    } else if (A == "--lzw" || A == "--expand") {
      GifOptions.Lzw = A == "--lzw";
    } else if (A == "-h" || A == "--help") {
      std::cout << Usage;
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
      TLoaded L = OpenImage(Files[0]);
      ReadRows(L);
      WritePpm(*L.Dib, Files[1]);
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
    WriterFor(*OutDir / ("x." + Ext), Os2);
    int Status = 0;
    for (const fs::path& Input : Files)
      Status |= Guarded(Input, [&] { Convert(Input, *OutDir / (Input.stem().string() + "." + Ext), Os2); });
    return Status;
  }
  if (Files.size() != 2)
    throw EUsage("expected INPUT and OUTPUT");
  WriterFor(Files[1], Os2);
  return Guarded(Files[0], [&] { Convert(Files[0], Files[1], Os2); });
}

} // namespace

int main(int Argc, char** Argv) {
  try {
    return Run(Argc, Argv);
  } catch (const EUsage& E) {
    std::cerr << "pelorin-convert: " << E.what() << "\n" << Usage;
    return 2;
  } catch (const std::exception& E) {
    std::cerr << "pelorin-convert: " << E.what() << "\n";
    return 1;
  }
}
