#pragma once
#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <functional>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "BarPopupMenu.h"
#include "DibImage.h"
#include "DsPaintBox.h"
#include "FullScreen.h"
#include "Info.h"
#include "List.h"
#include "Main.h"
#include "Settings.h"
#include "XBmp.h"
#include "XImageRead.h"
#include "XStream.h"

extern std::filesystem::path TestFolder;

// Counts the paint events of a widget.
class TPaintCounter : public QObject {
public:
  TPaintCounter(int* ACount, QObject* Parent) : QObject(Parent), Count(ACount) {}
  bool eventFilter(QObject*, QEvent* E) override {
    if (E->type() == QEvent::Paint)
      ++*Count;
    return false;
  }

private:
  int* Count;
};

struct TShownMessage {
  QString Text;
  int Kind;
};

// A 24-bit image whose pixel (x, y) is (x, y, 7) in red, green, blue.
inline std::unique_ptr<TDib> Pattern24(int32_t W, int32_t H) {
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelColor(X, Y, TColor((X & 0xFF) | (Y & 0xFF) << 8 | 7 << 16));
  return D;
}

// Same size and the same color at every pixel.
inline bool SamePixels(const TDib& A, const TDib& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height())
    return false;
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X)
      if (A.GetPixelColor(X, Y) != B.GetPixelColor(X, Y))
        return false;
  return true;
}

inline void WriteBmp(const std::filesystem::path& Name, const TDib& Dib) {
  TBmpWriter W;
  W.CreateFile(Name);
  W.Write(Dib);
}

inline std::unique_ptr<TDib> ReadBmp(const std::filesystem::path& Name) {
  TBmpReader R;
  TImageRead Read = ReadImageWith(R, Name);
  Read.ThrowFailure();
  return std::move(Read.Dib);
}

// A main window with its side windows, message boxes and process starts
// recorded instead of shown, and default settings.
class TMainFixture : public ::testing::Test {
protected:
  void SetUp() override {
    MessageKindHook = [this](const QString& Text, int Kind) {
      Messages.push_back({Text, Kind});
      return Answer;
    };
    StartDetached = [this](const QString& Program, const QStringList& Args) {
      Started.push_back({Program, Args});
      return true;
    };
    std::filesystem::remove(SettingsFileName());
    Folder = TestFolder / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(Folder);
    Main = std::make_unique<TPelorinMain>();
    Main->SetSideForms(new TInfoForm(Main.get()), new TListForm(Main.get()), new TScreenForm(Main.get()));
    Main->ProgramDir = QString::fromStdString((Folder / "").string());
  }
  void TearDown() override {
    Main.reset();
    MessageKindHook = nullptr;
  }

  std::string File(const char* Name) const { return (Folder / Name).string(); }
  QString QFile(const char* Name) const { return QString::fromStdString(File(Name)); }

  // Waits for Done, letting events run, for up to Ms milliseconds.
  template <class F>
  static bool WaitFor(F Done, int Ms = 5000) {
    QElapsedTimer T;
    T.start();
    while (!Done() && T.elapsed() < Ms)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return Done();
  }

  // Runs Command, which opens a modal dialog of type T, with Fill working
  // the dialog once it shows; false when no such dialog came up.
  template <class T>
  bool WorkModal(const std::function<void()>& Command, const std::function<void(T&)>& Fill) {
    bool Seen = false;
    std::function<void()> Poll = [&] {
      if (auto* Form = qobject_cast<T*>(QApplication::activeModalWidget())) {
        Seen = true;
        Fill(*Form);
      } else {
        QTimer::singleShot(10, Poll);
      }
    };
    QTimer::singleShot(0, Poll);
    Main->Guarded(Command);
    return Seen;
  }

  std::unique_ptr<TPelorinMain> Main;
  std::filesystem::path Folder;
  std::vector<TShownMessage> Messages;
  std::vector<std::pair<QString, QStringList>> Started;
  int Answer = QMessageBox::Ok;
};

// A main window browsing a folder of its own.
class TFolderFixture : public TMainFixture {
protected:
  // a.bmp .. e.bmp, each of a width of its own (10 to 14) so the shown one
  // is known.
  void MakeFolder() {
    for (int I = 0; I < 5; ++I)
      WriteBmp(Folder / (std::string(1, char('a' + I)) + ".bmp"), *Pattern24(10 + I, 6));
  }
  QString Shown() const { return QFileInfo(Main->FileName).fileName(); }
  TListForm& List() const { return *Main->ListForm; }
};
