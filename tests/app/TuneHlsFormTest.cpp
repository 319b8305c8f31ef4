#include <QImage>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

#include "DibImage.h"
#include "DsPaintBox.h"
#include "DsSlider.h"
#include "DsVCL.h"
#include "TuneHls.h"

namespace {

bool SameBits(const TDib& A, const TDib& B) {
  return A.ImageSize() == B.ImageSize() && std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize())) == 0;
}

QRgb Rgb(const QImage& I, int X, int Y) { return I.pixel(X, Y) & 0xFFFFFF; }

class TuneHlsForm : public ::testing::Test {
protected:
  void Make(std::unique_ptr<TDib> Source) {
    Form.reset();
    Image = std::move(Source);
    Form = std::make_unique<TTuneHlsForm>(*Image);
  }
  void MakeOfColor(TColor C) {
    auto D = std::make_unique<TDib>(3, 2, pf24bit);
    D->Fill(C);
    Make(std::move(D));
  }
  void Set(int Hue, int Lightness, int Saturation) {
    Form->HTrack->SetPosition(Hue);
    Form->LTrack->SetPosition(Lightness);
    Form->STrack->SetPosition(Saturation);
  }
  bool ButtonsEnabled() const {
    EXPECT_EQ(Form->ApplyBtn->isEnabled(), Form->ResetBtn->isEnabled());
    return Form->ApplyBtn->isEnabled();
  }

  std::unique_ptr<TDib> Image;
  std::unique_ptr<TTuneHlsForm> Form;
};

TEST_F(TuneHlsForm, DefaultsLeaveAnExactCopyAndApplyOff) {
  MakeOfColor(RGBColor(200, 120, 40));
  EXPECT_TRUE(SameBits(*Form->OrigPreview, *Form->WorkPreview));
  EXPECT_FALSE(ButtonsEnabled());
  EXPECT_EQ(Form->HTrack->ValueText(), "0°");
  const int Moves[][3] = {{1, 100, 100}, {0, 99, 100}, {0, 100, 101}};
  for (const auto& M : Moves) {
    Set(M[0], M[1], M[2]);
    EXPECT_TRUE(ButtonsEnabled()) << M[0] << " " << M[1] << " " << M[2];
    EXPECT_FALSE(SameBits(*Form->OrigPreview, *Form->WorkPreview));
    Form->ResetBtn->click();
    EXPECT_FALSE(ButtonsEnabled());
    EXPECT_TRUE(SameBits(*Form->OrigPreview, *Form->WorkPreview));
  }
}

TEST_F(TuneHlsForm, PreviewShiftsEveryColor) {
  const struct {
    TColor In;
    int Hue, Lightness, Saturation;
    TColor Out;
  } Cases[] = {
      {RGBColor(255, 0, 0), 120, 100, 100, RGBColor(0, 255, 0)},
      {RGBColor(255, 0, 0), -120, 100, 100, RGBColor(0, 0, 255)},
      {RGBColor(255, 0, 0), 0, 50, 0, RGBColor(128, 128, 128)},
      {RGBColor(90, 90, 90), 77, 100, 200, RGBColor(90, 90, 90)},
      {RGBColor(3, 3, 3), 0, 50, 100, RGBColor(2, 2, 2)},
      {RGBColor(1, 1, 1), 0, 50, 100, RGBColor(0, 0, 0)},
  };
  for (const auto& C : Cases) {
    MakeOfColor(C.In);
    Set(C.Hue, C.Lightness, C.Saturation);
    const THlsShift S = Form->Shift();
    EXPECT_EQ((std::array{S.Hue, S.Lightness, S.Saturation}), (std::array{C.Hue, C.Lightness, C.Saturation}));
    EXPECT_EQ(Form->WorkPreview->GetPixelColor(2, 1), C.Out) << std::hex << C.In;
  }
}

TEST_F(TuneHlsForm, ApplyToShiftsOnlyThePaletteOfAPaletteImage) {
  auto D = std::make_unique<TDib>(8, 4, pf8bit);
  D->SetPaletteColor(0, RGBColor(255, 0, 0));
  D->SetPaletteColor(1, RGBColor(0, 0, 255));
  for (int32_t X = 0; X < 8; ++X)
    D->SetPixelValue(X, 1, uint32_t(X & 1));
  Make(std::move(D));
  Form->HTrack->SetPosition(120);
  EXPECT_EQ(Form->WorkPreview->GetPaletteColor(0), RGBColor(0, 255, 0));
  EXPECT_TRUE(SameBits(*Form->OrigPreview, *Form->WorkPreview));

  const std::unique_ptr<TDib> Before = Image->Clone();
  Form->ApplyTo(*Image);
  EXPECT_EQ(Image->GetPaletteColor(0), RGBColor(0, 255, 0));
  EXPECT_EQ(Image->GetPaletteColor(1), RGBColor(255, 0, 0));
  EXPECT_TRUE(SameBits(*Image, *Before));
}

TEST_F(TuneHlsForm, HueBoxShowsTheStripShiftedAndFacesShowTheStrips) {
  MakeOfColor(0);
  const QImage& Strip = Form->HueStrip;
  const int H = Strip.height();
  ASSERT_EQ(Strip.size(), QSize(Form->HTrack->width() - 15, 232));
  EXPECT_EQ((std::array{Rgb(Strip, 0, 0), Rgb(Strip, 0, 77), Rgb(Strip, 0, 154), Rgb(Strip, 0, H - 1)}),
            (std::array<QRgb, 4>{0xC000C0, 0xC0C000, 0x00C0C0, 0xC000C0}));
  const std::pair<int, int> Shifts[] = {{0, 0}, {90, 58}, {-180, 116}, {180, 116}, {-1, 231}};
  for (const auto& [Position, K] : Shifts) {
    Form->HTrack->SetPosition(Position);
    const QImage Box = Form->HBox->grab().toImage();
    ASSERT_EQ(Box.height(), H);
    for (int Y : {0, H / 2, H - K - 1, H - 1})
      EXPECT_EQ(Rgb(Box, 5, Y), Rgb(Strip, 5, (Y + K) % H)) << Position << " row " << Y;
  }

  const int Top = Form->LTrack->SlideSize();
  const QImage Light = Form->LTrack->grab().toImage();
  EXPECT_EQ(Rgb(Light, 1, Top), 0xFF9090);
  EXPECT_EQ(Rgb(Light, 1, Top + 10), Rgb(Form->LightStrip, 0, 10));
  const QImage Sat = Form->STrack->grab().toImage();
  const int Last = Form->SatStrip.height() - 1;
  EXPECT_EQ(Rgb(Sat, Form->STrack->width() - 2, Top + Last), 0x7F7F7F);
  EXPECT_EQ(Rgb(Sat, Form->STrack->width() - 2, Top), 0x0000FF);
}

} // namespace
