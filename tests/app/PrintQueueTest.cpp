#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QThread>
#include <cstdlib>
#include <fstream>

#include "AppTestUtil.h"
#include "DsSpinEdit.h"
#include "DsVCL.h"
#include "Print.h"
#include "PrintTestUtil.h"

namespace {

// The print system client reads the scheduler's address once per thread, at
// its first call: every test of this program talks to the private scheduler
// below (or to none), never to the machine's own queues.
const std::string SchedulerFolder = "/tmp/pelorin-cups-" + std::to_string(getpid());
const std::string SchedulerSocket = SchedulerFolder + "/cups.sock";
const bool SchedulerChosen = setenv("CUPS_SERVER", SchedulerSocket.c_str(), 1) == 0;

const QString Queue = QStringLiteral("PelorinTest");

void WriteText(const std::string& Name, const std::string& Text) { std::ofstream(Name) << Text; }

QString RunTool(const QString& Program, const QStringList& Args, int* Status = nullptr) {
  QProcess P;
  P.setProcessChannelMode(QProcess::MergedChannels);
  P.start(Program, Args);
  const bool Done = P.waitForFinished(15000);
  if (Status)
    *Status = Done && P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
  return QString::fromLocal8Bit(P.readAll()).trimmed();
}

// A scheduler of our own on a socket in a folder of our own, with one queue
// that writes PDF files; stopped and removed however the test ends.
class PrintQueue : public TMainFixture {
protected:
  void SetUp() override {
    TMainFixture::SetUp();
    SetDefaultSettings(Settings);
    ASSERT_TRUE(SchedulerChosen);
    if (geteuid() != 0)
      GTEST_SKIP() << "a private scheduler needs root (it runs its filters as lp)";
    for (const char* Tool : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/lib/cups/backend/cups-pdf"})
      if (access(Tool, X_OK) != 0)
        GTEST_SKIP() << Tool << " is not installed (cups-daemon, cups-client, printer-driver-cups-pdf)";
    StartScheduler();
    if (Skip.isEmpty())
      AddQueue();
    if (!Skip.isEmpty())
      GTEST_SKIP() << Skip.toStdString();
  }

  void TearDown() override {
    if (Scheduler.state() != QProcess::NotRunning) {
      Scheduler.terminate();
      if (!Scheduler.waitForFinished(5000)) {
        Scheduler.kill();
        Scheduler.waitForFinished(2000);
      }
    }
    std::error_code Ec;
    std::filesystem::remove_all(SchedulerFolder, Ec);
    for (const QString& Made : Outputs)
      QFile::remove(Made);
    TMainFixture::TearDown();
  }

  void StartScheduler() {
    const std::string D = SchedulerFolder;
    std::filesystem::remove_all(D);
    for (const char* Sub : {"", "/spool", "/cache", "/state", "/tmp", "/logs"})
      std::filesystem::create_directories(D + Sub);
    // The filters run as lp: they pass through the folder and write to tmp.
    std::filesystem::permissions(D, std::filesystem::perms(0755));
    std::filesystem::permissions(D + "/tmp", std::filesystem::perms(01777));
    WriteText(D + "/cupsd.conf", "Listen " + SchedulerSocket +
                                     "\nLogLevel warn\nBrowsing No\n<Location />\n  Order allow,deny\n  Allow all\n"
                                     "</Location>\n<Policy default>\n  <Limit All>\n    Order allow,deny\n"
                                     "    Allow all\n  </Limit>\n</Policy>\n");
    WriteText(D + "/cups-files.conf", "ServerRoot " + D + "\nRequestRoot " + D + "/spool\nCacheDir " + D +
                                          "/cache\nStateDir " + D + "/state\nTempDir " + D + "/tmp\nErrorLog " + D +
                                          "/logs/error_log\nAccessLog " + D + "/logs/access_log\nPageLog " + D +
                                          "/logs/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                                          "User lp\nGroup lp\n");
    Scheduler.setProcessChannelMode(QProcess::MergedChannels);
    Scheduler.start(QStringLiteral("/usr/sbin/cupsd"),
                    {QStringLiteral("-f"), QStringLiteral("-c"), QString::fromStdString(D + "/cupsd.conf"),
                     QStringLiteral("-s"), QString::fromStdString(D + "/cups-files.conf")});
    QElapsedTimer T;
    T.start();
    while (T.elapsed() < 10000) {
      if (Scheduler.state() == QProcess::NotRunning) {
        Skip = QStringLiteral("cupsd did not start: ") + QString::fromLocal8Bit(Scheduler.readAll()).trimmed();
        return;
      }
      if (RunTool(QStringLiteral("lpstat"), {QStringLiteral("-r")}) == QStringLiteral("scheduler is running"))
        return;
      QThread::msleep(100);
    }
    Skip = QStringLiteral("cupsd took no requests within 10 s");
  }

  void AddQueue() {
    int Status = 0;
    const QString Said =
        RunTool(QStringLiteral("lpadmin"),
                {QStringLiteral("-p"), Queue, QStringLiteral("-E"), QStringLiteral("-v"), QStringLiteral("cups-pdf:/"),
                 QStringLiteral("-P"), QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"), QStringLiteral("-o"),
                 QStringLiteral("printer-error-policy=abort-job")},
                &Status);
    if (Status != 0)
      Skip = QStringLiteral("no PDF queue: ") + Said;
  }

  // The queue's PDF whose name holds Title, once complete; "" after 25 s.
  QString WaitForOutput(const QString& Title) {
    const passwd* User = getpwuid(geteuid());
    const QStringList Folders{QStringLiteral("/var/spool/cups-pdf/") + QString::fromLocal8Bit(User->pw_name),
                              QString::fromLocal8Bit(User->pw_dir) + QStringLiteral("/PDF")};
    QElapsedTimer T;
    T.start();
    while (T.elapsed() < 25000) {
      for (const QString& Folder : Folders)
        for (const QString& Name : QDir(Folder).entryList({QStringLiteral("*") + Title + QStringLiteral("*.pdf")})) {
          const QString Path = Folder + QStringLiteral("/") + Name;
          Outputs << Path;
          ::QFile F(Path);
          if (F.open(QIODevice::ReadOnly) && F.size() > 16 && (F.seek(F.size() - 16), F.read(16).contains("%%EOF")))
            return Path;
        }
      QThread::msleep(100);
    }
    return {};
  }

  QProcess Scheduler;
  QString Skip;
  QStringList Outputs;
};

} // namespace

TEST_F(PrintQueue, PageGoesThroughAPrintQueueWithScalePlacementAndTitle) {
  ASSERT_TRUE(QPrinterInfo::availablePrinterNames().contains(Queue));
  Settings.PrintFontColor = 0x0000FF;
  // The queue's PDF writer resamples images finer than 450 per inch: 300
  // device pixels an inch at 200 % keeps them at 150.
  Settings.PrinterDpi = 300;
  const std::unique_ptr<TDib> Dib = Pattern24(60, 40);
  QPrinter Printer(QPrinter::HighResolution);
  TPrintForm F(*Dib, QFile("queued.bmp"), Settings, Printer);
  std::vector<std::string> Errors;
  F.OnError = [&](const std::exception& E) { Errors.push_back(E.what()); };
  const int Index = int(F.PrinterBox->Items().indexOf(Queue));
  ASSERT_GE(Index, 0);
  F.PrinterBox->SetItemIndex(Index);
  F.PrinterBoxChange();
  ASSERT_EQ(Printer.printerName(), Queue);
  ASSERT_EQ(Printer.resolution(), 300);
  const TPrinterFacts Facts = F.Facts();
  EXPECT_EQ(F.PaperSizeLbl->text(), QStringLiteral("210 x 297 mm"));
  // Scale 200 at the top left; the centered title dragged below the image.
  F.ScaleSpin->SetValue(200);
  F.CenterX->click();
  F.CenterY->click();
  ASSERT_TRUE(F.TtlCenter->Checked());
  const QString Title = QStringLiteral("pelorinqueue%1").arg(getpid());
  F.TtlEdit->setText(Title);
  F.TtlLabelMouseDown({0, 0});
  F.TtlLabelMouseMove({50, 30});
  F.TtlLabelMouseUp({50, 30});
  const TIntPoint TitleAt = F.TitlePos();
  EXPECT_GT(TitleAt.Y, 200);
  F.PrintBtn->click();
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  const QString Pdf = WaitForOutput(Title);
  ASSERT_FALSE(Pdf.isEmpty()) << "the queue wrote no PDF";

  const TIntRect Placed{Facts.OffsetX, Facts.OffsetY, 120, 80};
  const QRect Region(0, 0, Facts.PhysWidth, TitleAt.Y + Facts.OffsetY + 2 * F.TitleHeight());
  const TPrintedPage Page = RasterizePdf(Pdf, 300, QFile("queued"), Region);
  ASSERT_FALSE(Page.isNull());
  int Wrong = 0;
  for (int Y = Placed.Top; Y < Placed.Bottom(); ++Y)
    for (int X = Placed.Left; X < Placed.Right(); ++X) {
      const TColor C = Dib->GetPixelColor((X - Placed.Left) / 2, (Y - Placed.Top) / 2);
      Wrong += Page.Pixel(X, Y) != qRgb(C & 0xFF, C >> 8 & 0xFF, C >> 16 & 0xFF);
    }
  EXPECT_EQ(Wrong, 0);
  EXPECT_EQ(Page.Pixel(Placed.Right(), Placed.Top), qRgb(255, 255, 255));
  EXPECT_EQ(Page.Pixel(Placed.Left, Placed.Bottom()), qRgb(255, 255, 255));
  const QRect Ink = Page.InkBox([](QRgb C) { return qRed(C) > 200 && qGreen(C) < 90 && qBlue(C) < 90; });
  ASSERT_FALSE(Ink.isNull());
  EXPECT_NEAR((Ink.left() + Ink.right()) / 2.0, Facts.OffsetX + Facts.PageWidth / 2.0, 4);
  EXPECT_GE(Ink.top(), Facts.OffsetY + TitleAt.Y);
  // The descenders of p and q reach below the character height.
  EXPECT_LE(Ink.bottom(), Facts.OffsetY + TitleAt.Y + F.TitleHeight() * 5 / 4);

  // The queue goes while the dialog is open: a message, no crash.
  RunTool(QStringLiteral("lpadmin"), {QStringLiteral("-x"), Queue});
  F.PrintBtn->click();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find("not available any more"), std::string::npos) << Errors[0];
}
