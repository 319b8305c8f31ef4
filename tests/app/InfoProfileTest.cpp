#include <QLabel>
#include <QLineEdit>
#include <fstream>

#include "AppTestUtil.h"
#include "Info.h"
#include "DsVCL.h"
#include "formats/ExifTestUtil.h"
#include "formats/JpgTestUtil.h"

// The info window's orientation and color profile lines.

namespace {

namespace fs = std::filesystem;

const QString Degree = QString(QChar(0x00B0));

TEST(InfoTexts, OrientationTellsTheTagAndWhatTheViewDoes) {
  struct TCase {
    int32_t Orientation;
    bool Applied;
    QString Text;
  };
  const TCase Cases[] = {
      {0, false, "none"},
      {9, true, "none"},
      {-1, true, "none"},
      {65535, false, "none"},
      {1, false, "1 (upright)"},
      {1, true, "1 (upright)"},
      {2, true, "2 (mirrored left to right)"},
      {3, true, "3 (turned 180" + Degree + ")"},
      {4, true, "4 (mirrored top to bottom)"},
      {5, true, "5 (mirrored top to bottom, turned 90" + Degree + " clockwise)"},
      {6, true, "6 (turned 90" + Degree + " clockwise)"},
      {7, true, "7 (mirrored top to bottom, turned 90" + Degree + " counter-clockwise)"},
      {8, true, "8 (turned 90" + Degree + " counter-clockwise)"},
      {6, false, "6 (turned 90" + Degree + " clockwise), not applied"},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(OrientationText(C.Orientation, C.Applied), C.Text) << C.Orientation << " " << C.Applied;
}

TEST(InfoTexts, ProfileTellsWhatBecameOfIt) {
  struct TCase {
    QString Description;
    bool Applied;
    QString Text;
  };
  const TCase Cases[] = {
      {"", false, "none"},
      {"", true, "none"},
      {"Display P3", true, "Display P3, shown as sRGB; saved files carry no profile"},
      {"Display P3", false, "Display P3, not applied"},
      // From the file: nothing in it may break the line.
      {"Line\none\r\ttwo\x01", false, "Line one two, not applied"},
      {"  \n ", true, "unnamed, shown as sRGB; saved files carry no profile"},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(ProfileText(C.Description, C.Applied), C.Text) << C.Description.toStdString();
}

// Every value of a group lies inside it, below the one before; the groups
// lie inside the window and apart.
TEST(InfoLayout, TheLinesFitTheirGroupsAndTheWindowKeepsItsSize) {
  TInfoForm Form;
  EXPECT_EQ(Form.size(), QSize(273, 369));
  for (TPeGroupBox* Group : {Form.FileGroup, Form.ImgGroup, Form.DibGroup}) {
    SCOPED_TRACE(Group->objectName().toStdString());
    int Bottom = 0;
    for (QWidget* W : Group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (qobject_cast<TPeGroupBox*>(W))
        continue;
      EXPECT_TRUE(Group->rect().contains(W->geometry())) << W->objectName().toStdString();
      EXPECT_GE(W->y(), Bottom) << W->objectName().toStdString() << " overlaps the line above";
      Bottom = W->geometry().bottom() + 1;
    }
  }
  const QRect Img = Form.ImgGroup->geometry(), Dib = Form.DibGroup->geometry();
  EXPECT_FALSE(Img.intersects(Dib));
  EXPECT_GT(Img.top(), Form.CompText->geometry().bottom());
  EXPECT_TRUE(Form.FileGroup->rect().contains(Dib));
  EXPECT_FALSE(Form.FileGroup->geometry().intersects(Form.PeGroupBox4->geometry()));
  EXPECT_TRUE(Form.rect().contains(Form.PeGroupBox4->geometry()));
}

class InfoProfile : public TMainFixture {
protected:
  void WriteTagged(const char* Name, uint16_t Orientation) {
    const std::vector<uint8_t> Plain = JpgTest::Encode(*JpgTest::MakePhoto(40, 16), 90, false);
    const std::vector<uint8_t> Jpeg =
        Orientation ? ExifTest::WithApp1(Plain, ExifTest::OrientationSegment(Orientation)) : Plain;
    std::ofstream(File(Name), std::ios::binary)
        .write(reinterpret_cast<const char*>(Jpeg.data()), std::streamsize(Jpeg.size()));
  }
  TInfoForm* Info() const { return Main->InfoForm; }
};

TEST_F(InfoProfile, TheWindowShowsTheLoadedFilesLines) {
  struct TCase {
    uint16_t Orientation;
    uint8_t Off;
    QString Text;
  };
  const TCase Cases[] = {
      {0, 0, "none"},
      {6, 0, "6 (turned 90" + Degree + " clockwise)"},
      {6, voKeepStoredTurn, "6 (turned 90" + Degree + " clockwise), not applied"},
      {3, voIgnoreProfiles, "3 (turned 180" + Degree + ")"},
  };
  Main->InfoItemClick();
  ASSERT_TRUE(Info()->isVisible());
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Text.toStdString());
    Settings.ViewOptionsOff = C.Off;
    WriteTagged("p.jpg", C.Orientation);
    Main->LoadImage(QFile("p.jpg"), false);
    EXPECT_EQ(Info()->ImgOrientText->text(), C.Text);
    EXPECT_EQ(Info()->ImgProfileText->text(), "none");
    // The file group tells the file as stored, the buffer as shown.
    EXPECT_EQ(Info()->ImgDimText->text(), "40 x 16 pixel");
    const bool Turned = (C.Orientation == 6) && !(C.Off & voKeepStoredTurn);
    EXPECT_EQ(Info()->DibDimText->text(), Turned ? "16 x 40 pixel" : "40 x 16 pixel");
  }
  // An image without a file has neither.
  Main->AdoptImage(Pattern24(4, 4), QStringLiteral("Acquired"));
  EXPECT_EQ(Info()->ImgOrientText->text(), "none");
  EXPECT_EQ(Info()->ImgProfileText->text(), "none");
}

TEST_F(InfoProfile, LongProfileTextsStartFromTheirBeginning) {
  TInfoFile File;
  File.TypeText = "JPEG";
  File.Profile = QString(80, QLatin1Char('x'));
  File.ProfileApplied = true;
  File.Orientation = 7;
  File.OrientationApplied = true;
  Info()->show();
  Info()->ShowImageInfo(File, 72);
  EXPECT_EQ(Info()->ImgProfileText->text(), File.Profile + ", shown as sRGB; saved files carry no profile");
  EXPECT_EQ(Info()->ImgProfileText->cursorPosition(), 0);
  EXPECT_EQ(Info()->ImgOrientText->cursorPosition(), 0);
  EXPECT_TRUE(Info()->ImgProfileText->isReadOnly());
}

} // namespace
