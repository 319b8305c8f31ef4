#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "XPng.h"
#include "XImageRead.h"

// Hand-made PNG files for the reader tests.
namespace PngTestFiles {

using TBytes = std::vector<uint8_t>;

inline void PutBE(TBytes& B, uint32_t V) {
  for (int S = 24; S >= 0; S -= 8)
    B.push_back(uint8_t(V >> S));
}

inline void AddChunk(TBytes& File, const char* Type, const TBytes& Data, bool BadCrc = false) {
  PutBE(File, uint32_t(Data.size()));
  const size_t TypeAt = File.size();
  File.insert(File.end(), Type, Type + 4);
  File.insert(File.end(), Data.begin(), Data.end());
  uLong Crc = crc32(0L, File.data() + TypeAt, uInt(4 + Data.size()));
  PutBE(File, uint32_t(Crc) ^ (BadCrc ? 1u : 0u));
}

inline TBytes Ihdr(uint32_t W, uint32_t H, uint8_t Depth, uint8_t Type, uint8_t Interlace = 0) {
  TBytes D;
  PutBE(D, W);
  PutBE(D, H);
  D.insert(D.end(), {Depth, Type, 0, 0, Interlace});
  return D;
}

inline TBytes Deflate(const TBytes& Raw) {
  uLongf Size = compressBound(uLong(Raw.size()));
  TBytes Out(Size);
  compress2(Out.data(), &Size, Raw.data(), uLong(Raw.size()), 6);
  Out.resize(Size);
  return Out;
}

inline TBytes Signature() { return {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}; }

// A file with the given IHDR, extra chunks before the data, and rows of raw
// (filter byte included) data.
struct TPngBuilder {
  TBytes File = Signature();
  explicit TPngBuilder(const TBytes& Header, const char* IhdrName = "IHDR") { AddChunk(File, IhdrName, Header); }
  TPngBuilder& Chunk(const char* Type, const TBytes& Data) {
    AddChunk(File, Type, Data);
    return *this;
  }
  TBytes Finish(const TBytes& Raw) {
    AddChunk(File, "IDAT", Deflate(Raw));
    AddChunk(File, "IEND", {});
    return File;
  }
};

struct TRead {
  std::unique_ptr<TPngReader> Reader = std::make_unique<TPngReader>();
  std::unique_ptr<TDib> Dib;
};

inline TRead ReadPng(const TBytes& File, bool Alpha = true, TColor Back = 0x00C08040) {
  TRead R;
  R.Reader->SetBackground(Back);
  TReadOptions O;
  O.AlphaEnabled = Alpha;
  TImageRead Read = ReadImageWith(*R.Reader, File, O);
  Read.ThrowFailure();
  R.Dib = std::move(Read.Dib);
  return R;
}

// The message of a failed read; any exception that is not the codec's own
// counts as a failure of the test.
inline std::string FailureOf(const TBytes& File) {
  try {
    ReadPng(File);
  } catch (const EInvalidGraphicOperation& E) {
    return E.what();
  } catch (const std::exception& E) {
    return std::string("not a codec error: ") + E.what();
  }
  return "";
}

inline TBytes LoadFile(const std::filesystem::path& P) {
  std::ifstream In(P, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(In), {});
}

} // namespace PngTestFiles
