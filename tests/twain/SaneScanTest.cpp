// Real scans from SANE's test backend through the scan window, as a user
// makes them: the bitmaps of the native transfers against the backend's
// known test pictures.
#include <cmath>

#include "DibImage.h"
#include "TwainTestUtil.h"

namespace {

// The backend's grid: squares of 10 mm, the top-left one white.
bool GridBlack(int32_t X, int32_t Y, int32_t Dpi) {
  const double Side = 10.0 * Dpi / 25.4;
  const int32_t Line = Y % int32_t(2 * Side + 0.5);
  return ((int32_t(X / Side) % 2) != 0) != (Line > int32_t(Side + 0.5));
}

// The backend's 8-bit color pattern: blocks of 4 pixels a step of 5 apart,
// two bands of five lines each in red, green and blue, their level
// counting up the row in the first band and down in the second.
TColor ColorPattern(int32_t X, int32_t Y) {
  const int32_t Line = Y % 30;
  if (Line % 5 == 0 || X % 5 == 0)
    return 0x555555;
  const int32_t Block = X / 5;
  const uint8_t Level = uint8_t((Line / 5) & 1 ? 0xFF - (Block & 0xFF) : Block & 0xFF);
  const int Band = Line / 10;
  return TColor(Level) << (8 * Band);
}

class SaneScan : public ::testing::Test {
protected:
  void TearDown() override { A.Reset(); }

  // Opens the default source with its window; false when it did not show.
  bool OpenWithWindow(const std::vector<std::string>& Conf) {
    UseSaneConfig(Conf);
    if (A.OpenDsm() != TWRC_SUCCESS || A.OpenDs() != TWRC_SUCCESS || A.Enable(true) != TWRC_SUCCESS)
      return false;
    Form = TopLevel<QDialog>("ScanForm");
    return Form != nullptr;
  }
  void Choose(const char* Box, const QString& Text) {
    auto* C = Form->findChild<QComboBox*>(QLatin1String(Box));
    ASSERT_NE(C, nullptr);
    const int I = C->findText(Text);
    ASSERT_GE(I, 0) << Box << " has no " << Text.toStdString();
    C->setCurrentIndex(I);
  }
  // Scan pressed, then the transfer when the source is ready, as a client
  // does; answers the transfer's result code.
  TW_UINT16 Scan(std::vector<uint8_t>& Dib) {
    TW_UINT16 Rc = 0xFFFF;
    A.OnMessage = [&](TW_UINT16 Msg) {
      if (Msg == MSG_XFERREADY) {
        Rc = A.Transfer(Dib);
        Conditions = {A.Condition(), A.Condition(true)};
        EXPECT_EQ(A.EndXfer(), TWRC_SUCCESS);
      }
    };
    Form->findChild<QPushButton*>(QStringLiteral("ScanButton"))->click();
    EXPECT_TRUE(WaitFor([&] { return Rc != 0xFFFF; }));
    A.OnMessage = nullptr;
    return Rc;
  }
  QString StatusText() const { return Form->findChild<QLabel*>(QStringLiteral("StatusLabel"))->text(); }

  TTwainApp A;
  QDialog* Form = nullptr;
  // The manager's and the source's conditions right after the transfer.
  std::pair<TW_UINT16, TW_UINT16> Conditions;
};

struct TScanCase {
  const char* Mode;
  const char* Depth;
  int32_t Dpi;
  const char* Picture;
  std::vector<std::string> Conf;
  int32_t Bits;
};

TEST_F(SaneScan, ModesAndResolutionsGiveTheTestPicture) {
  const TScanCase Cases[] = {
      {"Gray", "8", 50, "Grid", {}, 8},
      {"Gray", "8", 100, "Grid", {}, 8},
      {"Gray", "16", 50, "Grid", {}, 8},
      {"Gray", "1", 50, "Grid", {}, 1},
      {"Gray", "1", 100, "Grid", {}, 1},
      {"Color", "8", 50, "Grid", {}, 24},
      {"Color", "8", 100, "Color pattern", {"test-picture \"Color pattern\""}, 24},
      {"Color", "8", 50, "Color pattern", {"test-picture \"Color pattern\"", "three-pass true"}, 24},
      {"Gray", "8", 50, "Grid", {"hand-scanner true"}, 8},
      {"Gray", "8", 100, "Grid", {"hand-scanner true"}, 8},
  };
  for (const TScanCase& C : Cases) {
    SCOPED_TRACE(std::string(C.Mode) + " " + C.Depth + " bits " + std::to_string(C.Dpi) + " dpi " + C.Picture +
                 (C.Conf.empty() ? "" : " " + C.Conf.back()));
    ASSERT_TRUE(OpenWithWindow(C.Conf));
    Choose("ModeBox", QString::fromLatin1(C.Mode));
    Choose("DepthBox", QString::fromLatin1(C.Depth));
    Choose("ResolutionBox", QString::number(C.Dpi));
    std::vector<uint8_t> Packed;
    ASSERT_EQ(Scan(Packed), TWRC_XFERDONE) << StatusText().toStdString();
    std::unique_ptr<TDib> D = TDib::FromGlobalDib(Packed);
    ASSERT_TRUE(D);
    EXPECT_EQ(D->BitCount(), C.Bits);
    EXPECT_EQ(D->Resolution(), C.Dpi);
    // 80 x 100 mm, or 11 cm wide for a hand scanner, which ends where it ends.
    const bool Hand = !C.Conf.empty() && C.Conf.back() == "hand-scanner true";
    EXPECT_NEAR(D->Width(), (Hand ? 110 : 80) * C.Dpi / 25.4, 1.0);
    if (!Hand) {
      EXPECT_NEAR(D->Height(), 100 * C.Dpi / 25.4, 1.0);
    }
    EXPECT_GT(D->Height(), 10);
    int Wrong = 0;
    for (int32_t Y = 0; Y < D->Height(); ++Y)
      for (int32_t X = 0; X < D->Width(); ++X) {
        const TColor Want =
            std::string(C.Picture) == "Grid" ? (GridBlack(X, Y, C.Dpi) ? 0 : 0xFFFFFF) : ColorPattern(X, Y);
        if (D->GetPixelColor(X, Y) != Want && Wrong++ < 3)
          ADD_FAILURE() << "pixel " << X << "," << Y << " is " << std::hex << D->GetPixelColor(X, Y) << " not " << Want;
      }
    EXPECT_EQ(Wrong, 0);
    EXPECT_TRUE(StatusText().startsWith(QStringLiteral("Scanned"))) << StatusText().toStdString();
    A.Reset();
  }
}

TEST_F(SaneScan, TwoScansWhileTheWindowStays) {
  ASSERT_TRUE(OpenWithWindow({}));
  std::vector<uint8_t> First, Second;
  ASSERT_EQ(Scan(First), TWRC_XFERDONE);
  Choose("ModeBox", QStringLiteral("Color"));
  ASSERT_EQ(Scan(Second), TWRC_XFERDONE);
  EXPECT_EQ(TDib::FromGlobalDib(First)->BitCount(), 8);
  EXPECT_EQ(TDib::FromGlobalDib(Second)->BitCount(), 24);
  // Closing the window only asks the application to close the source.
  Form->reject();
  ASSERT_TRUE(WaitFor([&] { return !A.Messages.empty() && A.Messages.back() == MSG_CLOSEDSREQ; }));
  EXPECT_TRUE(Form->isVisible());
  EXPECT_EQ(A.Disable(), TWRC_SUCCESS);
  EXPECT_EQ(TopLevel<QDialog>("ScanForm"), nullptr);
}

TEST_F(SaneScan, DeviceFailuresAnswerWithTheirConditions) {
  const std::pair<const char*, TW_UINT16> Cases[] = {
      {"SANE_STATUS_IO_ERROR", TWCC_OPERATIONERROR},
      {"SANE_STATUS_JAMMED", TWCC_PAPERJAM},
      {"SANE_STATUS_NO_MEM", TWCC_LOWMEMORY},
  };
  for (const auto& [Status, Condition] : Cases) {
    SCOPED_TRACE(Status);
    // The test backend cancels its reader thread asynchronously, which can
    // leave the allocator locked when it is caught inside malloc; with a delay
    // between writes the reader is almost always caught sleeping instead.
    ASSERT_TRUE(OpenWithWindow({std::string("read-status-code \"") + Status + "\"", "read-delay true"}));
    std::vector<uint8_t> Dib;
    EXPECT_EQ(Scan(Dib), TWRC_FAILURE);
    EXPECT_TRUE(Dib.empty());
    EXPECT_EQ(Conditions, std::make_pair(Condition, Condition));
    EXPECT_TRUE(StatusText().startsWith(QStringLiteral("Scan failed: "))) << StatusText().toStdString();
    // The source can scan again.
    EXPECT_TRUE(Form->findChild<QPushButton*>(QStringLiteral("ScanButton"))->isEnabled());
    A.Reset();
  }
}

TEST_F(SaneScan, CancelStopsTheScan) {
  // A solid picture goes through the backend's pipe in many small writes,
  // each delayed.
  ASSERT_TRUE(OpenWithWindow({"test-picture \"Solid black\"", "read-delay true", "read-delay-duration 200000",
                              "read-limit true", "read-limit-size 4096"}));
  Choose("ModeBox", QStringLiteral("Color"));
  Choose("ResolutionBox", QStringLiteral("300"));
  bool Cancelled = false;
  WhenModal("ScanProgress", [&](QWidget& W) {
    QTimer::singleShot(300, &W, [&W, &Cancelled] {
      static_cast<QProgressDialog&>(W).cancel();
      Cancelled = true;
    });
  });
  QElapsedTimer T;
  T.start();
  std::vector<uint8_t> Dib;
  EXPECT_EQ(Scan(Dib), TWRC_CANCEL);
  EXPECT_TRUE(Cancelled);
  EXPECT_LT(T.elapsed(), 5000);
  EXPECT_TRUE(Dib.empty());
  EXPECT_EQ(StatusText(), QStringLiteral("Scan cancelled."));
}

TEST_F(SaneScan, NoPreviewWhereTheDeviceOffersNone) {
  ASSERT_TRUE(OpenWithWindow({}));
  EXPECT_FALSE(Form->findChild<QPushButton*>(QStringLiteral("PreviewButton"))->isVisible());
  EXPECT_FALSE(Form->findChild<QLabel*>(QStringLiteral("PreviewLabel"))->isVisible());
}

} // namespace
