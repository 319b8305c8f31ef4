#include <QLineEdit>
#include <cstdio>
#include <fstream>
#include <memory>

#include "AppTestUtil.h"
#include "DsVCL.h"
#include "Sign.h"

namespace {

std::string Contents(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), {}};
}

// The output of a shell command, or none when it could not run.
std::optional<std::string> RunTool(const std::string& Command) {
  FILE* P = popen((Command + " 2>&1").c_str(), "r");
  if (!P)
    return std::nullopt;
  std::string Out;
  char Buf[4096];
  while (size_t N = fread(Buf, 1, sizeof Buf, P))
    Out.append(Buf, N);
  return pclose(P) == 0 ? std::optional(Out) : std::nullopt;
}

bool HasTool(const char* Name) { return RunTool(std::string("command -v ") + Name).has_value(); }

class Sign : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    WriteBmp(File("plain.bmp"), *Pattern24(12, 8));
    Main->LoadImage(QFile("plain.bmp"), false);
  }
  // The signature command with Fill working its dialog.
  bool Signed(const std::function<void(TSignForm&)>& Fill) {
    return WorkModal<TSignForm>([this] { Main->TriggerItem(QStringLiteral("SignItem")); }, Fill);
  }
};

TEST_F(Sign, TextsAndNoneMarks) {
  struct TCase {
    const char *Name, *MyTitle, *MyAuthor;
    bool Sign;
    const char *Title, *Author;
  };
  // An image without texts, OK without changes: all stay empty; "none"
  // typed by hand clears; an empty title signs as NONE; blanks are trimmed.
  const TCase Cases[] = {
      {"unchanged", "", "", false, "", ""},
      {"signed", "  Dunes ", " Ann ", true, "Dunes", "Ann"},
      {"typed none", "none", "Ann", true, "", "Ann"},
      {"empty title", "", "Bo", true, "", "Bo"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    Main->MetaTitle = Main->MetaAuthor = Main->MetaRights = QString();
    ASSERT_TRUE(Signed([&](TSignForm& F) {
      EXPECT_EQ(F.ImageTitle->text(), "NONE");
      EXPECT_EQ(F.ImageAuthor->text(), "NONE");
      EXPECT_EQ(F.ImageCopyright->text(), "NONE");
      EXPECT_TRUE(F.ImageTitle->isReadOnly());
      F.MyTitle->setText(QString::fromUtf8(C.MyTitle));
      F.MyAuthor->setText(QString::fromUtf8(C.MyAuthor));
      if (C.Sign)
        F.PeButton1->click();
      F.accept();
    }));
    EXPECT_EQ(Main->MetaTitle, QString::fromUtf8(C.Title));
    EXPECT_EQ(Main->MetaAuthor, QString::fromUtf8(C.Author));
    EXPECT_EQ(Main->MetaRights, "");
  }
}

TEST_F(Sign, SettingsKeepAuthorCopyrightAndSwitchesOnlyOnOk) {
  Settings.SignAuthor.SetText("Ann");
  Settings.SignCopyright.SetText("(c) Ann");
  Settings.SignTif = false;
  const auto Before = SettingsToBytes(Settings);
  Main->MetaTitle = QStringLiteral("Old");
  // Cancel after Sign changes nothing.
  ASSERT_TRUE(Signed([](TSignForm& F) {
    EXPECT_EQ(F.windowTitle(), "Signature");
    EXPECT_EQ(F.size(), QSize(449, 421));
    EXPECT_EQ(F.MyTitle->text(), "");
    EXPECT_EQ(F.MyAuthor->text(), "Ann");
    EXPECT_EQ(F.MyCopyright->text(), "(c) Ann");
    EXPECT_TRUE(F.PngSignBox->Checked());
    EXPECT_FALSE(F.TifSignBox->Checked());
    EXPECT_EQ(F.MyAuthor->maxLength(), 240);
    F.MyTitle->setText(QStringLiteral("New"));
    F.PeButton1->click();
    EXPECT_EQ(F.ImageTitle->text(), "New");
    F.PnmSignBox->click();
    F.reject();
  }));
  EXPECT_EQ(SettingsToBytes(Settings), Before);
  EXPECT_EQ(Main->MetaTitle, "Old");

  // Characters Windows-1252 lacks stay in the image, the record loses them.
  const QString Author = QString::fromUtf8("Zo\xC3\xAB \xE6\x9D\x8E");
  ASSERT_TRUE(Signed([&](TSignForm& F) {
    F.MyAuthor->setText(Author);
    F.MyCopyright->setText(QString(300, QLatin1Char('c')));
    F.TifSignBox->click();
    F.PeButton1->click();
    F.accept();
  }));
  EXPECT_EQ(Main->MetaAuthor, Author);
  EXPECT_EQ(Settings.SignAuthor.Text(), "Zo\xC3\xAB ?");
  EXPECT_EQ(Settings.SignCopyright.Text(), std::string(240, 'c'));
  EXPECT_TRUE(Settings.SignTif);
  EXPECT_EQ(Main->MetaTitle, "");
  // The user's title is not kept; author and copyright come back.
  ASSERT_TRUE(Signed([&](TSignForm& F) {
    EXPECT_EQ(F.MyTitle->text(), "");
    EXPECT_EQ(F.MyAuthor->text(), QString::fromUtf8("Zo\xC3\xAB ?"));
    F.reject();
  }));
}

TEST_F(Sign, AnImageTextLongerThanTheFieldsSurvivesOk) {
  Main->MetaTitle = QString(250, QLatin1Char('t'));
  ASSERT_TRUE(Signed([](TSignForm& F) { F.accept(); }));
  EXPECT_EQ(Main->MetaTitle.size(), 250);
}

TEST_F(Sign, CommandIsRefusedUnderTheModalLock) {
  Main->BeginModal();
  Main->SignItemClick();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  Main->EndModal();
}

// The switches choose the formats; our readers and independent tools read
// the texts back.
TEST_F(Sign, WritersStoreTheTextsWhereTheSwitchesSay) {
  Settings.SignTif = false;
  ASSERT_TRUE(Signed([](TSignForm& F) {
    F.MyTitle->setText(QStringLiteral("Dunes"));
    F.MyAuthor->setText(QString::fromUtf8("Ren\xC3\xA9"));
    F.MyCopyright->setText(QStringLiteral("(c) 2024 Ren"));
    F.PeButton1->click();
    F.accept();
  }));
  Main->SaveImageAs(QFile("off"), 5);
  EXPECT_EQ(ReadImageFile(File("off.tif"), {}).Texts.Title, "");
  Settings.SignTif = true;
  Main->SaveImageAs(QFile("signed"), 4);
  Main->SaveImageAs(QFile("signed"), 5);
  Main->SaveImageAs(QFile("signed"), SaveFilterPnm);
  for (const char* Name : {"signed.png", "signed.tif", "signed.ppm"}) {
    SCOPED_TRACE(Name);
    const TImageRead R = ReadImageFile(File(Name), {});
    EXPECT_EQ(R.Texts.Title, "Dunes");
    EXPECT_EQ(R.Texts.Author, "Ren\xC3\xA9");
    EXPECT_EQ(R.Texts.Rights, "(c) 2024 Ren");
  }
  EXPECT_NE(Contents(File("signed.ppm")).find("\n#Title: Dunes\n#Author: Ren\xC3\xA9\n#Copyright: (c) 2024 Ren\n"),
            std::string::npos);
  if (HasTool("pngcheck")) {
    const auto Out = RunTool("pngcheck -t '" + File("signed.png") + "'");
    ASSERT_TRUE(Out);
    EXPECT_NE(Out->find("Title:\n    Dunes"), std::string::npos) << *Out;
    EXPECT_NE(Out->find("Copyright:\n    (c) 2024 Ren"), std::string::npos) << *Out;
  }
  if (HasTool("tiffinfo")) {
    const auto Out = RunTool("tiffinfo '" + File("signed.tif") + "'");
    ASSERT_TRUE(Out);
    EXPECT_NE(Out->find("ImageDescription: Dunes"), std::string::npos) << *Out;
    EXPECT_NE(Out->find("Artist: Ren\xC3\xA9"), std::string::npos) << *Out;
    EXPECT_NE(Out->find("Copyright: (c) 2024 Ren"), std::string::npos) << *Out;
  }
  EXPECT_TRUE(Messages.empty());
}

// A text longer than a format holds is cut there, with a warning.
TEST_F(Sign, TooLongTextsAreCutWithAWarning) {
  Main->MetaTitle = QString(300, QLatin1Char('t'));
  Main->SaveImageAs(QFile("long"), 5);
  EXPECT_EQ(ReadImageFile(File("long.tif"), {}).Texts.Title, std::string(240, 't'));
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkWarning);
  EXPECT_TRUE(Messages[0].Text.contains(QStringLiteral("too long"))) << Messages[0].Text.toStdString();
}

} // namespace
