#include <QDropEvent>
#include <QLocalSocket>
#include <QMimeData>
#include <QUrl>
#include <fstream>

#include "AppTestUtil.h"
#include "XPng.h"

namespace {

class Start : public TMainFixture {};

TEST_F(Start, FirstNameOpensHereEveryFurtherOneStartsAnInstance) {
  for (const char* Name : {"a.bmp", "b.bmp", "c.bmp"})
    WriteBmp(File(Name), *Pattern24(5, 4));
  Main->Start({QFile("a.bmp"), QFile("b.bmp"), QFile("c.bmp")});
  ASSERT_TRUE(Main->Image);
  EXPECT_EQ(Main->FileName, QFile("a.bmp"));
  EXPECT_EQ(Main->SourceKind, 1);
  ASSERT_EQ(Started.size(), 2u);
  EXPECT_EQ(Started[0].first, QCoreApplication::applicationFilePath());
  EXPECT_EQ(Started[0].second, QStringList{QFile("b.bmp")});
  EXPECT_EQ(Started[1].second, QStringList{QFile("c.bmp")});
  EXPECT_TRUE(Messages.empty());
}

TEST_F(Start, RelativeNamesBecomeAbsolute) {
  WriteBmp(File("rel.bmp"), *Pattern24(2, 2));
  const auto Old = std::filesystem::current_path();
  std::filesystem::current_path(Folder);
  Main->Start({QStringLiteral("rel.bmp")});
  std::filesystem::current_path(Old);
  EXPECT_EQ(Main->FileName, QFile("rel.bmp"));
  EXPECT_EQ(NormalizePath(QStringLiteral("file:///tmp/x%20y.bmp")), "/tmp/x y.bmp");
}

TEST_F(Start, UnreadableFileShowsTheErrorAndEnds) {
  Main->show();
  Main->Start({QFile("missing.bmp")});
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_TRUE(Messages[0].Text.contains(QStringLiteral("missing.bmp"))) << Messages[0].Text.toStdString();
  EXPECT_FALSE(Main->Image);
  EXPECT_FALSE(Main->isVisible());
  // Closing wrote the settings back.
  EXPECT_TRUE(std::filesystem::exists(SettingsFileName()));
}

TEST_F(Start, SplashPanelWhenTheStartImageIsMissingOrBroken) {
  Settings.AutoOpen = false;
  Settings.BackColor = 0x336699;
  Main->Start({});
  ASSERT_TRUE(Main->Image);
  EXPECT_EQ(Main->SourceKind, -1);
  EXPECT_EQ(Main->Image->Width(), 170);
  EXPECT_EQ(Main->Image->Height(), 50);
  EXPECT_EQ(Main->Image->GetPixelColor(100, 20), 0x336699u);
  EXPECT_EQ(Main->windowTitle(), "Pelorin [1:1]");
  EXPECT_TRUE(Main->isVisible());

  std::ofstream(File("splash.png"), std::ios::binary) << "\x89PNG\r\n\x1a\nbroken";
  Main->ShowSplash();
  EXPECT_EQ(Main->Image->Width(), 170);
  EXPECT_TRUE(Messages.empty());
  Settings.BackColor = 0x808080;
}

TEST_F(Start, SplashPictureWhenPresent) {
  TPngWriter W;
  W.CreateFile(File("splash.png"));
  W.Write(*Pattern24(30, 20));
  Main->ShowSplash();
  EXPECT_EQ(Main->Image->Width(), 30);
  EXPECT_EQ(Main->Image->GetPixelColor(4, 3), Pattern24(30, 20)->GetPixelColor(4, 3));
  EXPECT_EQ(Main->SourceKind, -1);
}

TEST_F(Start, CloseSavesTheSettings) {
  WriteBmp(File("s.bmp"), *Pattern24(6, 6));
  Main->Start({QFile("s.bmp")});
  Main->SaveDialog.InitialDir = QString::fromStdString(Folder.string());
  Main->close();
  std::ifstream In(SettingsFileName(), std::ios::binary);
  std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)), {});
  TSettings S{};
  ASSERT_TRUE(SettingsFromBytes(Bytes.data(), Bytes.size(), S));
  EXPECT_EQ(S.OpenFolder.Text(), Folder.string());
  EXPECT_EQ(S.SaveFolder.Text(), Folder.string());
  EXPECT_FALSE(Main->Image);
}

class Lock : public TMainFixture {};

TEST_F(Lock, ModalLockRefusesCommandsDropsAndTheOpenFileMessage) {
  WriteBmp(File("first.bmp"), *Pattern24(4, 4));
  WriteBmp(File("second.bmp"), *Pattern24(9, 9));
  Main->LoadImage(QFile("first.bmp"), false);
  Main->ListForm->show();
  Main->BeginModal();
  EXPECT_TRUE(Main->ModalLock);
  EXPECT_FALSE(Main->acceptDrops());
  EXPECT_FALSE(Main->ListForm->isVisible());
  Main->DropFiles({QFile("second.bmp")});
  Main->WndProc(WM_OPENFILE, QFile("second.bmp"));
  Main->OpenAgainItemClick();
  Main->SaveItemClick();
  Main->InvertItemClick();
  EXPECT_EQ(Main->FileName, QFile("first.bmp"));
  EXPECT_EQ(Main->Image->Width(), 4);
  EXPECT_EQ(Main->Image->GetPixelColor(1, 1), Pattern24(4, 4)->GetPixelColor(1, 1));
  Main->EndModal();
  EXPECT_TRUE(Main->acceptDrops());
  EXPECT_TRUE(Main->ListForm->isVisible());
  Main->DropFiles({QFile("second.bmp"), QFile("first.bmp")});
  EXPECT_EQ(Main->FileName, QFile("second.bmp"));
  EXPECT_TRUE(Messages.empty());
}

TEST_F(Lock, DroppedFilesOpenTheFirst) {
  WriteBmp(File("one.bmp"), *Pattern24(3, 5));
  WriteBmp(File("two.bmp"), *Pattern24(6, 2));
  QMimeData Data;
  Data.setUrls({QUrl::fromLocalFile(QFile("one.bmp")), QUrl::fromLocalFile(QFile("two.bmp"))});
  QDragEnterEvent Enter(QPoint(1, 1), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Main.get(), &Enter);
  EXPECT_TRUE(Enter.isAccepted());
  QDropEvent Drop(QPointF(1, 1), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Main.get(), &Drop);
  EXPECT_TRUE(Drop.isAccepted());
  EXPECT_TRUE(WaitFor([&] { return Main->FileName == QFile("one.bmp"); }));
  EXPECT_EQ(Main->Image->Height(), 5);
}

TEST_F(Lock, DropOfAnUnknownTypeIsReported) {
  Main->DropFiles({QFile("notes.txt")});
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkInformation);
  EXPECT_EQ(Messages[0].Text, "File type not supported:\n" + QFile("notes.txt"));
}

TEST_F(Lock, OpenFileMessageThroughTheLocalSocket) {
  WriteBmp(File("first.bmp"), *Pattern24(4, 4));
  WriteBmp(File("sent.bmp"), *Pattern24(7, 3));
  Main->LoadImage(QFile("first.bmp"), false);
  auto Send = [](const QByteArray& Data) {
    QLocalSocket S;
    S.connectToServer(OpenFileServerName());
    ASSERT_TRUE(S.waitForConnected(2000));
    S.write(Data);
    ASSERT_TRUE(S.waitForBytesWritten(2000));
    S.disconnectFromServer();
  };
  Main->BeginModal();
  Send(QFile("sent.bmp").toUtf8());
  EXPECT_FALSE(WaitFor([&] { return Main->FileName == QFile("sent.bmp"); }, 500));
  Main->EndModal();
  Send(QFile("sent.bmp").toUtf8());
  EXPECT_TRUE(WaitFor([&] { return Main->FileName == QFile("sent.bmp"); }));
  EXPECT_EQ(Main->Image->Width(), 7);
  // Longer names are cut at the limit, and nothing is read beyond.
  Send(QByteArray(5000, 'x'));
  EXPECT_TRUE(WaitFor([&] { return !Messages.empty(); }));
  ASSERT_FALSE(Messages.empty());
  EXPECT_EQ(Messages[0].Text, "File type not supported:\n" + QString(OpenFileNameLimit, QLatin1Char('x')));
}

} // namespace
