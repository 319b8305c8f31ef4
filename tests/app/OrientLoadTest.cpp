#include <fstream>

#include "AppTestUtil.h"
#include "ImgFormats.h"
#include "Prefetch.h"
#include "formats/ExifTestUtil.h"
#include "formats/JpgTestUtil.h"

// The viewer stands photos up by their Exif orientation unless the switch
// says otherwise, whether it read the file itself or took it read ahead.

namespace {

namespace fs = std::filesystem;

// Stored W x H, tagged with Orientation.
void WriteTagged(const fs::path& Name, int32_t W, int32_t H, uint16_t Orientation) {
  const std::vector<uint8_t> Jpeg = ExifTest::WithApp1(JpgTest::Encode(*JpgTest::MakePhoto(W, H), 90, false),
                                                       ExifTest::OrientationSegment(Orientation));
  std::ofstream(Name, std::ios::binary).write(reinterpret_cast<const char*>(Jpeg.data()), std::streamsize(Jpeg.size()));
}

class OrientLoad : public TFolderFixture {
protected:
  bool Idle() const { return Main->Prefetcher->WaitIdle(5000); }
  QSize Size() const { return {Main->Image->Width(), Main->Image->Height()}; }
};

TEST_F(OrientLoad, TheSwitchDecidesWhetherTheShownImageIsTurned) {
  struct TCase {
    uint16_t Orientation;
    uint8_t Off;
    QSize Shown;
  };
  const TCase Cases[] = {
      {6, 0, {16, 40}},
      {8, 0, {16, 40}},
      {3, 0, {40, 16}},
      {1, 0, {40, 16}},
      {6, voKeepStoredTurn, {40, 16}},
      {6, voIgnoreProfiles, {16, 40}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Orientation) + " off " + std::to_string(C.Off));
    WriteTagged(Folder / "p.jpg", 40, 16, C.Orientation);
    Settings.ViewOptionsOff = C.Off;
    Main->LoadImage(QFile("p.jpg"), false);
    EXPECT_EQ(Size(), C.Shown);
    EXPECT_EQ(Main->FileFacts.Orientation, C.Orientation);
    EXPECT_EQ(Main->FileFacts.OrientationApplied, C.Orientation > 1 && !(C.Off & voKeepStoredTurn));
    // The file is only read.
    const fs::file_time_type Before = fs::last_write_time(Folder / "p.jpg");
    Main->OpenAgainItemClick();
    EXPECT_EQ(fs::last_write_time(Folder / "p.jpg"), Before);
  }
  EXPECT_TRUE(Messages.empty());
}

TEST_F(OrientLoad, AnImageReadAheadIsTurnedAsAReadOne) {
  WriteTagged(Folder / "a.jpg", 40, 16, 6);
  WriteTagged(Folder / "b.jpg", 40, 16, 7);
  WriteTagged(Folder / "c.jpg", 40, 16, 2);
  Main->LoadImage(QFile("a.jpg"), false);
  for (const char* Name : {"b.jpg", "c.jpg"}) {
    SCOPED_TRACE(Name);
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(Main->Prefetcher->Holds(File(Name)));
    const int32_t Read = Main->FilesRead;
    List().NextFile();
    ASSERT_EQ(Shown(), Name);
    EXPECT_EQ(Main->FilesRead, Read) << "taken from the prefetcher";
    const std::unique_ptr<TDib> Ahead = Main->Image->Clone();
    Main->OpenAgainItemClick();
    EXPECT_EQ(Main->FilesRead, Read + 1);
    EXPECT_TRUE(SamePixels(*Ahead, *Main->Image));
  }
  // Read ahead with the switch on, the neighbour is not taken once it is off.
  ASSERT_TRUE(Idle());
  ASSERT_TRUE(Main->Prefetcher->Holds(File("b.jpg")));
  Settings.ViewOptionsOff = voKeepStoredTurn;
  const int32_t Read = Main->FilesRead;
  List().PreviousFile();
  ASSERT_EQ(Shown(), "b.jpg");
  EXPECT_EQ(Main->FilesRead, Read + 1) << "read again with the new switch";
  EXPECT_EQ(Size(), QSize(40, 16));
  EXPECT_TRUE(Messages.empty());
}

} // namespace

namespace {

// Earlier versions always wrote 0 into the byte: both switches on.
TEST(ViewSwitches, TheByteSetsTheReadOptions) {
  struct TCase {
    uint8_t Off;
    bool Orientation, Profile;
  };
  const TCase Cases[] = {
      {0, true, true}, {voKeepStoredTurn, false, true}, {voIgnoreProfiles, true, false}, {voKnownBits, false, false}};
  for (const TCase& C : Cases) {
    TSettings S;
    SetDefaultSettings(S);
    EXPECT_EQ(S.ViewOptionsOff, 0);
    S.ViewOptionsOff = C.Off;
    const TReadOptions O = ReadOptionsOf(S);
    EXPECT_EQ(O.ApplyOrientation, C.Orientation) << int(C.Off);
    EXPECT_EQ(O.ApplyProfile, C.Profile) << int(C.Off);
  }
}

} // namespace
