#include <QTest>

#include "AppTestUtil.h"
#include "DsSlider.h"
#include "DsVCL.h"
#include "LuvCtrl.h"
#include "XColor.h"

namespace {

class THost : public TPelorinHost {
public:
  void OpenFile(const QString&, bool) override {}
  bool ToolWindowShowing() const override { return Modal; }
  void BeginModal() override { Modal = true; }
  void EndModal() override {
    Modal = false;
    ++Ends;
  }
  void Redraw() override { ++Redraws; }
  bool OpenAgainEnabled() const override { return false; }
  void SetOpenAgain(bool) override {}

  bool Modal = true;
  int Ends = 0, Redraws = 0;
};

constexpr int32_t Width = 5, Height = 3;

// 32-bit LogLuv rows of different luminance and color, most significant
// byte first.
std::unique_ptr<TLuvBuf> Rows() {
  auto B = std::make_unique<TLuvBuf>(Width, 4, Height);
  for (int32_t Y = 0; Y < Height; ++Y) {
    std::vector<uint8_t> Row;
    for (int32_t X = 0; X < Width; ++X) {
      const uint16_t L = uint16_t(0x3E00 + X * 0x60 + Y * 0x20);
      Row.insert(Row.end(), {uint8_t(L >> 8), uint8_t(L), uint8_t(0x40 + X * 7), uint8_t(0x80 + Y * 11)});
    }
    B->AddRow(Row);
  }
  return B;
}

std::unique_ptr<TDib> Rendered(double Exposure) {
  auto D = std::make_unique<TDib>(Width, Height, pf24bit);
  Rows()->Render(*D, Exposure);
  return D;
}

class LuvCtrl : public ::testing::Test {
protected:
  void SetUp() override { LuvExposure = 1.0; }
  void TearDown() override {
    delete Form.data();
    LuvExposure = 1.0;
  }
  void Make(TOrientationStep Turn = {}) {
    // Rendering sets the program's exposure, which the window starts from.
    const double Exposure = LuvExposure;
    Image = Rendered(1.0);
    LuvExposure = Exposure;
    if (Turn != TOrientationStep{})
      ApplyOrientation(*Image, Turn);
    Form = new TLuvCtrlForm(
        Host, Rows(), [this] { return Image.get(); }, Turn);
  }

  THost Host;
  std::unique_ptr<TDib> Image;
  QPointer<TLuvCtrlForm> Form;
};

} // namespace

TEST_F(LuvCtrl, StartsAtTheExposureBesideTheMainWindow) {
  LuvExposure = 0.374;
  Make();
  EXPECT_EQ(Form->Slider->Position(), 37);
  EXPECT_EQ(Form->Slider->Min(), 1);
  EXPECT_EQ(Form->Slider->Max(), 200);
  EXPECT_EQ(Form->windowTitle(), "LogLUV");
  EXPECT_EQ(Form->OkBtn->Caption(), "OK");
  EXPECT_EQ(Host.Redraws, 0);
  QWidget Main;
  Main.setGeometry(140, 90, 400, 300);
  Main.show();
  Form->ShowBeside(Main);
  EXPECT_EQ(Form->width(), 84);
  EXPECT_EQ(Form->pos(), QPoint(Main.frameGeometry().left(), Main.frameGeometry().top() + 18));
}

TEST_F(LuvCtrl, ReleasedSliderRendersTheKeptRowsAgain) {
  Make();
  Image->Fill(0);
  Form->show();
  // While the thumb moves nothing is rendered; its release renders once.
  TSlider& S = *Form->Slider;
  QTest::mousePress(&S, Qt::LeftButton, {}, QPoint(13, S.TrackHeight() - 2));
  QTest::mouseMove(&S, QPoint(13, S.TrackHeight() / 4));
  EXPECT_EQ(Host.Redraws, 0);
  QTest::mouseRelease(&S, Qt::LeftButton, {}, QPoint(13, S.TrackHeight() / 4));
  ASSERT_NE(S.Position(), 100);
  EXPECT_EQ(Host.Redraws, 1);
  EXPECT_NEAR(LuvExposure, S.Position() / 100.0, 1e-9);
  EXPECT_TRUE(SamePixels(*Image, *Rendered(S.Position() / 100.0)));

  // At 50 the exposure halves and the image darkens.
  S.SetPosition(50);
  EXPECT_DOUBLE_EQ(LuvExposure, 0.5);
  EXPECT_EQ(Host.Redraws, 2);
  EXPECT_TRUE(SamePixels(*Image, *Rendered(0.5)));
  EXPECT_FALSE(SamePixels(*Image, *Rendered(1.0)));
}

TEST_F(LuvCtrl, RendersATurnedImageTurned) {
  const TOrientationStep Turn{1, 90};
  Make(Turn);
  Form->Slider->SetPosition(150);
  auto Want = Rendered(1.5);
  ApplyOrientation(*Want, Turn);
  EXPECT_TRUE(SamePixels(*Image, *Want));
}

TEST_F(LuvCtrl, ClosingFreesTheRowsAndEndsTheLock) {
  for (int Way = 0; Way < 3; ++Way) {
    SCOPED_TRACE(Way);
    Host = THost();
    Make();
    Form->show();
    if (Way == 0)
      QTest::mouseClick(Form->OkBtn, Qt::LeftButton);
    else
      QTest::keyClick(Form.data(), Way == 1 ? Qt::Key_Return : Qt::Key_Escape);
    EXPECT_FALSE(Host.Modal);
    EXPECT_EQ(Host.Ends, 1);
    EXPECT_EQ(Form->Buffer(), nullptr);
    EXPECT_FALSE(Form->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Form.isNull());
  }
}

namespace {
class MainOrientation : public TMainFixture {};
} // namespace

// The main window's turn: the image, its zoomed size and the scroll ranges
// follow; a mirror alone keeps the size.
TEST_F(MainOrientation, TurnsTheShownImageAndItsView) {
  Main->AdoptImage(Pattern24(40, 20), QStringLiteral("t"));
  const auto Src = Pattern24(40, 20);
  Main->ApplyOrientation(1, 90);
  TDib& D = *Main->Image;
  ASSERT_EQ(D.Width(), 20);
  ASSERT_EQ(D.Height(), 40);
  EXPECT_EQ(D.ZoomedWidth(), 20);
  EXPECT_EQ(D.ZoomedHeight(), 40);
  for (int32_t Y = 0; Y < D.Height(); ++Y)
    for (int32_t X = 0; X < D.Width(); ++X)
      ASSERT_EQ(D.GetPixelColor(X, Y), Src->GetPixelColor(Y, X)) << X << "," << Y;
  Main->ApplyOrientation(2, 0);
  EXPECT_EQ(D.Width(), 20);
  EXPECT_EQ(Main->Image->GetPixelColor(0, 0), Src->GetPixelColor(0, 19));
}
