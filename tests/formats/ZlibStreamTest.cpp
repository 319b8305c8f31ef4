#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "XZlib.h"

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Sample(size_t Size) {
  TBytes B(Size);
  uint32_t H = 12345;
  for (size_t I = 0; I < Size; ++I) {
    H = H * 1103515245u + 12345u;
    // Runs and noise, so that the output spans several buffers.
    B[I] = I % 1000 < 600 ? uint8_t(I / 7) : uint8_t(H >> 24);
  }
  return B;
}

// Deflates Data fed in pieces of Step bytes through an output buffer of
// BufferSize bytes; counts the sink's calls.
TBytes Deflate(const TBytes& Data, TZlibFraming Framing, size_t Step, size_t BufferSize, int* Calls = nullptr) {
  TBytes Out;
  TDeflateStream D;
  EXPECT_TRUE(D.Start(
      6, true, BufferSize,
      [&](std::span<const uint8_t> B) {
        Out.insert(Out.end(), B.begin(), B.end());
        if (Calls)
          ++*Calls;
      },
      Framing));
  for (size_t At = 0; At < Data.size(); At += Step)
    EXPECT_TRUE(D.Write({Data.data() + At, std::min(Step, Data.size() - At)}));
  EXPECT_TRUE(D.Finish());
  return Out;
}

// Inflates Packed fed in pieces of InStep bytes into outputs of OutStep
// bytes; false once the stream reports damage.
bool Inflate(const TBytes& Packed, TZlibFraming Framing, size_t InStep, size_t OutStep, TBytes& Out, bool& Ended) {
  TInflateStream Z;
  EXPECT_TRUE(Z.Start(Framing));
  size_t Fed = 0;
  while (!Z.Ended()) {
    if (Z.InputLeft() == 0) {
      if (Fed == Packed.size())
        break;
      const size_t N = std::min(InStep, Packed.size() - Fed);
      Z.Feed(Packed.data() + Fed, N);
      Fed += N;
    }
    const size_t Had = Out.size();
    Out.resize(Had + OutStep);
    size_t Written = 0;
    const bool Ok = Z.Inflate({Out.data() + Had, OutStep}, Written);
    Out.resize(Had + Written);
    if (!Ok)
      return false;
  }
  Ended = Z.Ended();
  return true;
}

} // namespace

TEST(ZlibStream, RoundTripsInPiecesInBothFramings) {
  const TBytes Data = Sample(300000);
  for (const TZlibFraming Framing : {TZlibFraming::Zlib, TZlibFraming::Raw}) {
    int Calls = 0;
    const TBytes Packed = Deflate(Data, Framing, 4099, 1000, &Calls);
    EXPECT_GE(size_t(Calls), Packed.size() / 1000) << "full buffers, then the rest";
    EXPECT_GT(Calls, 3);
    TBytes Out;
    bool Ended = false;
    ASSERT_TRUE(Inflate(Packed, Framing, 7, 333, Out, Ended));
    EXPECT_TRUE(Ended);
    EXPECT_TRUE(Out == Data);
  }
}

TEST(ZlibStream, ZlibFramingIsWhatZlibItselfReads) {
  const TBytes Data = Sample(5000);
  const TBytes Packed = Deflate(Data, TZlibFraming::Zlib, Data.size(), 65536);
  TBytes Out(Data.size());
  uLongf Size = uLongf(Out.size());
  ASSERT_EQ(uncompress(Out.data(), &Size, Packed.data(), uLong(Packed.size())), Z_OK);
  EXPECT_TRUE(Out == Data);
  const TBytes Raw = Deflate(Data, TZlibFraming::Raw, Data.size(), 65536);
  EXPECT_EQ(Raw.size() + 6, Packed.size()) << "two header bytes and the Adler-32 check";
}

TEST(ZlibStream, DamagedDataFails) {
  const TBytes Data = Sample(20000);
  TBytes Packed = Deflate(Data, TZlibFraming::Zlib, Data.size(), 65536);
  Packed.back() ^= 1;
  TBytes Out;
  bool Ended = false;
  EXPECT_FALSE(Inflate(Packed, TZlibFraming::Zlib, 100, 4096, Out, Ended)) << "wrong check value";

  const TBytes Garbage(64, 0xFF);
  Out.clear();
  EXPECT_FALSE(Inflate(Garbage, TZlibFraming::Zlib, 64, 64, Out, Ended));

  TBytes Cut = Deflate(Data, TZlibFraming::Zlib, Data.size(), 65536);
  Cut.resize(Cut.size() / 2);
  Out.clear();
  ASSERT_TRUE(Inflate(Cut, TZlibFraming::Zlib, 100, 4096, Out, Ended));
  EXPECT_FALSE(Ended) << "a cut stream never reaches its end";
  EXPECT_LT(Out.size(), Data.size());
}

TEST(ZlibStream, RefusedSettingsAndUnstartedStreams) {
  TDeflateStream D;
  EXPECT_FALSE(D.Start(10, false, 100, [](std::span<const uint8_t>) {}));
  EXPECT_FALSE(D.Write(TBytes(3)));
  EXPECT_FALSE(D.Finish());
  TInflateStream Z;
  size_t Written = 0;
  uint8_t B[4];
  EXPECT_FALSE(Z.Inflate(B, Written));
}

TEST(ZlibStream, Crc32) {
  const uint8_t Check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Crc32(0, Check, sizeof Check), 0xCBF43926u);
  EXPECT_EQ(Crc32(Crc32(0, Check, 4), Check + 4, 5), 0xCBF43926u);
  EXPECT_EQ(Crc32(0x1234, nullptr, 0), 0x1234u) << "an empty piece leaves the value";
}
