#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "Undo.h"
#include "XStream.h"

namespace {

int32_t I32At(std::span<const uint8_t> B, size_t Offset) { return GetLESigned32(B.data() + Offset); }

std::unique_ptr<TDib> Palette8(int32_t W, int32_t H) {
  auto D = std::make_unique<TDib>(W, H, pf8bit);
  for (int32_t I = 0; I < 256; ++I)
    D->SetPaletteColor(I, TColor(I | (255 - I) << 8 | (I * 7 & 0xFF) << 16));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelValue(X, Y, uint32_t(X * 16 + Y * 3) & 0xFF);
  return D;
}

void ExpectSame(const TDib& A, const TDib& B) {
  ASSERT_EQ(A.Width(), B.Width());
  ASSERT_EQ(A.Height(), B.Height());
  ASSERT_EQ(A.PixelFormat(), B.PixelFormat());
  EXPECT_EQ(A.Resolution(), B.Resolution());
  EXPECT_EQ(A.IsGray, B.IsGray);
  for (int32_t I = 0; I < A.PaletteSize(); ++I)
    ASSERT_EQ(A.GetPaletteColor(I), B.GetPaletteColor(I)) << "entry " << I;
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X)
      ASSERT_EQ(A.GetPixelValue(X, Y), B.GetPixelValue(X, Y)) << X << "," << Y;
}

class UndoHistory : public ::testing::Test {
protected:
  void SetUp() override {
    auto S = std::make_unique<TMemoryStream>();
    Stream = S.get();
    History.Attach(std::move(S));
  }
  std::vector<uint8_t> Bytes() const { return {Stream->Bytes().begin(), Stream->Bytes().end()}; }

  TUndoHistory History;
  TMemoryStream* Stream = nullptr;
};

TEST_F(UndoHistory, RecordsAndHeadsLieOnDiskAsLinkedLittleEndianNumbers) {
  auto A = Palette8(3, 2);
  A->SetResolution(96);
  History.TakeSnapshot(*A, {3, 0x112233, 5, 0x445566});
  // 52-byte header, 256 palette entries, two rows of 4 bytes; then the head.
  const int32_t First = 52 + 1024 + 8;
  auto B = Bytes();
  ASSERT_EQ(B.size(), size_t(First + 52));
  const int32_t Want[13] = {-1, First, 3, 2, pf8bit, 96, 0, 256, 8, 3, 0x112233, 5, 0x445566};
  for (int I = 0; I < 13; ++I)
    EXPECT_EQ(I32At(B, 4 * I), Want[I]) << "field " << I;
  EXPECT_EQ(I32At(B, 52 + 4 * 9), int32_t(A->GetPaletteColor(9)));
  EXPECT_EQ(B[52 + 1024 + 1], A->GetPixelValue(1, 0));
  EXPECT_EQ(B[52 + 1024 + 4 + 2], A->GetPixelValue(2, 1));
  EXPECT_EQ(I32At(B, First), 0);
  EXPECT_EQ(I32At(B, First + 4), -1);
  for (int I = 2; I < 13; ++I)
    EXPECT_EQ(I32At(B, First + 4 * I), 0) << "head field " << I;
  EXPECT_EQ(History.Position(), First);

  // The next snapshot takes the head's place and keeps its backward link.
  auto C = std::make_unique<TDib>(2, 2, pf24bit);
  C->SetPixelColor(1, 1, 0x0A0B0C);
  C->IsGray = true;
  History.TakeSnapshot(*C, {});
  B = Bytes();
  const int32_t Second = First + 52 + 16;
  ASSERT_EQ(B.size(), size_t(Second + 52));
  EXPECT_EQ(I32At(B, First), 0);
  EXPECT_EQ(I32At(B, First + 4), Second);
  EXPECT_EQ(I32At(B, First + 16), pf24bit);
  EXPECT_EQ(I32At(B, First + 24), 1);
  EXPECT_EQ(I32At(B, First + 28), 0);
  EXPECT_EQ(I32At(B, First + 36), -1);
  EXPECT_EQ(B[First + 52 + 8 + 3], 0x0A); // blue, green, red
  EXPECT_EQ(B[First + 52 + 8 + 5], 0x0C);
  EXPECT_EQ(I32At(B, Second), First);
  EXPECT_EQ(I32At(B, Second + 4), -1);
}

TEST_F(UndoHistory, UndoAndRedoWalkEditsThatChangeSizeAndFormat) {
  auto Shown = Palette8(5, 3);
  const auto Loaded = Shown->Clone();
  History.TakeSnapshot(*Shown, {});
  Shown->Rotate(90);
  ASSERT_EQ(Shown->Width(), 3);
  const auto Rotated = Shown->Clone();
  History.TakeSnapshot(*Shown, {7, 1, -1, 0});
  Shown->ConvertTo24();
  const auto Converted = Shown->Clone();
  EXPECT_TRUE(History.CanUndo());
  EXPECT_FALSE(History.CanRedo());

  auto S = History.Undo(*Shown, {});
  ASSERT_TRUE(S);
  ExpectSame(*S->Image, *Rotated);
  EXPECT_EQ(S->Transparency.TransparentIndex, 7);
  EXPECT_TRUE(History.CanRedo());
  S = History.Undo(*S->Image, S->Transparency);
  ASSERT_TRUE(S);
  ExpectSame(*S->Image, *Loaded);
  EXPECT_EQ(History.Position(), 0);
  EXPECT_FALSE(History.CanUndo());
  EXPECT_FALSE(History.Undo(*S->Image, {}));

  S = History.Redo();
  ASSERT_TRUE(S);
  ExpectSame(*S->Image, *Rotated);
  EXPECT_TRUE(History.CanRedo());
  EXPECT_TRUE(History.CanUndo());
  S = History.Redo();
  ASSERT_TRUE(S);
  ExpectSame(*S->Image, *Converted);
  EXPECT_FALSE(History.CanRedo());
  EXPECT_FALSE(History.Redo());

  // A new edit after an undo drops what could be redone.
  S = History.Undo(*Converted, {});
  ASSERT_TRUE(S);
  History.TakeSnapshot(*S->Image, {});
  EXPECT_FALSE(History.CanRedo());
  EXPECT_FALSE(History.Redo());
  S = History.Undo(*Loaded, {});
  ASSERT_TRUE(S);
  ExpectSame(*S->Image, *Rotated);
  S = History.Redo();
  ASSERT_TRUE(S);
  ExpectSame(*S->Image, *Loaded);
  EXPECT_FALSE(History.CanRedo());
}

TEST_F(UndoHistory, FailedWriteLeavesTheChainAsItWas) {
  auto Shown = Palette8(8, 8);
  History.TakeSnapshot(*Shown, {});
  const auto Before = Bytes();
  const int64_t Position = History.Position();
  Stream->SetWriteLimit(int64_t(Before.size()) + 100);
  Shown->Invert();
  EXPECT_THROW(History.TakeSnapshot(*Shown, {}), EFileStreamError);
  EXPECT_EQ(History.Position(), Position);
  const auto After = Bytes();
  EXPECT_TRUE(std::equal(Before.begin(), Before.end(), After.begin()));
  EXPECT_TRUE(History.Active());
  // Undoing needs a snapshot of the shown state first: it fails the same way.
  EXPECT_THROW(History.Undo(*Shown, {}), EFileStreamError);
  Stream->SetWriteLimit(INT64_MAX);
  auto S = History.Undo(*Shown, {});
  ASSERT_TRUE(S);
  Shown->Invert();
  ExpectSame(*S->Image, *Shown);

  // A new file that cannot take its first record is given up.
  TUndoHistory Fresh;
  auto Small = std::make_unique<TMemoryStream>();
  Small->SetWriteLimit(60);
  Fresh.Attach(std::move(Small));
  EXPECT_THROW(Fresh.TakeSnapshot(*Shown, {}), EFileStreamError);
  EXPECT_FALSE(Fresh.Active());
}

// A history whose bytes were changed on disk: every read checks before use,
// and a broken chain raises the one damage error and clears the history.
class DamagedHistory : public ::testing::Test {
protected:
  void SetUp() override {
    TUndoHistory Maker;
    auto S = std::make_unique<TMemoryStream>();
    TMemoryStream* Raw = S.get();
    Maker.Attach(std::move(S));
    auto D = Palette8(5, 3);
    Maker.TakeSnapshot(*D, {});
    D->Rotate(90);
    Maker.TakeSnapshot(*D, {});
    Head = Maker.Position();
    Good.assign(Raw->Bytes().begin(), Raw->Bytes().end());
  }
  // Runs undo, redo and a snapshot on Bytes from the head; true when all
  // went through, false on the damage error; anything else fails the test.
  static bool Walk(const std::vector<uint8_t>& Bytes, int64_t At) {
    TUndoHistory H;
    auto S = std::make_unique<TMemoryStream>();
    S->Write(Bytes.data(), Bytes.size());
    H.Attach(std::move(S), At);
    const auto Shown = Palette8(3, 5);
    try {
      auto U = H.Undo(*Shown, {});
      if (U)
        U = H.Undo(*U->Image, {});
      H.Redo();
      H.Redo();
      H.TakeSnapshot(*Shown, {});
    } catch (const EUndoHistoryDamaged&) {
      EXPECT_FALSE(H.Active());
      return false;
    }
    return true;
  }
  static void Put(std::vector<uint8_t>& B, size_t Offset, int32_t V) {
    for (int I = 0; I < 4; ++I)
      B[Offset + I] = uint8_t(uint32_t(V) >> (8 * I));
  }

  std::vector<uint8_t> Good;
  int64_t Head = 0;
};

TEST_F(DamagedHistory, BrokenFieldsLinksAndEndsAreReported) {
  ASSERT_TRUE(Walk(Good, Head));
  const size_t Second = size_t(I32At(Good, 4));
  // Offset and value: a huge width, a palette that does not fit the format,
  // an image past the end, a gray flag of 2, a record linking to itself.
  const std::pair<size_t, int32_t> Cases[] = {{8, 0x7FFFFFFF},           {28, 1 << 28},    {32, 0x7FFFFF00}, {24, 2},
                                              {Second, int32_t(Second)}, {size_t(Head), 0}};
  for (const auto& [Offset, Value] : Cases) {
    auto B = Good;
    Put(B, Offset, Value);
    EXPECT_FALSE(Walk(B, Head)) << "offset " << Offset;
  }
  auto B = Good;
  B.resize(Second + 30);
  EXPECT_FALSE(Walk(B, Head)) << "file cut in a record";
  EXPECT_FALSE(Walk(Good, int64_t(Good.size()) + 8)) << "position past the end";
}

TEST_F(DamagedHistory, NoByteChangeCrashes) {
  // Every byte of both headers and the head, set to values that matter.
  const size_t Second = size_t(I32At(Good, 4));
  std::vector<size_t> Offsets;
  for (size_t I = 0; I < 52; ++I) {
    Offsets.push_back(I);
    Offsets.push_back(Second + I);
    Offsets.push_back(size_t(Head) + I);
  }
  for (size_t Offset : Offsets)
    for (uint8_t V : {uint8_t(0x00), uint8_t(0x01), uint8_t(0x7F), uint8_t(0x80), uint8_t(0xFF)}) {
      auto B = Good;
      B[Offset] = V;
      Walk(B, Head);
    }
}

} // namespace
