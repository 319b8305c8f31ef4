#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DibImage.h"
#include "Errors.h"
#include "XStream.h"

// A codec's reader and writer run on bytes in memory, the way the program
// runs them on a file: open, buffer, read; or set up, write, check.
namespace MemoryCodec {

template <class TReader>
struct TRead {
  std::unique_ptr<TReader> Reader = std::make_unique<TReader>();
  std::unique_ptr<TDib> Dib;
};

// Setup changes the opened reader's options before its buffer is made.
template <class TReader, class TSetup>
TRead<TReader> ReadFrom(const std::vector<uint8_t>& File, TSetup Setup) {
  TRead<TReader> R;
  R.Reader->OpenMemory(File);
  Setup(*R.Reader);
  R.Reader->CreateDib();
  R.Dib = R.Reader->TakeDib();
  R.Reader->Read();
  return R;
}

template <class TReader>
TRead<TReader> ReadFrom(const std::vector<uint8_t>& File) {
  return ReadFrom<TReader>(File, [](TReader&) {});
}

// The reader's failure message, or "" when the file reads.
template <class TReader>
std::string ErrorOf(const std::vector<uint8_t>& File) {
  try {
    ReadFrom<TReader>(File);
  } catch (const EInvalidGraphicOperation& E) {
    return E.what();
  }
  return "";
}

template <class TWriter, class TSetup>
std::vector<uint8_t> WriteTo(const TDib& Dib, TSetup Setup) {
  TMemoryStream S;
  TWriter W;
  Setup(W);
  W.CreateStream(S);
  W.Write(Dib);
  EXPECT_TRUE(W.OK);
  return {S.Bytes().begin(), S.Bytes().end()};
}

template <class TWriter>
std::vector<uint8_t> WriteTo(const TDib& Dib) {
  return WriteTo<TWriter>(Dib, [](TWriter&) {});
}

// Same size and the same color at every pixel, whatever the pixel formats.
inline void ExpectSameColors(const TDib& A, const TDib& B) {
  ASSERT_EQ(A.Width(), B.Width());
  ASSERT_EQ(A.Height(), B.Height());
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X)
      ASSERT_EQ(A.GetPixelColor(X, Y), B.GetPixelColor(X, Y)) << X << "," << Y;
}

} // namespace MemoryCodec
