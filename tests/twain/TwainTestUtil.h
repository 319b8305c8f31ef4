#pragma once
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <functional>
#include <memory>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "TwainProtocol.h"

extern "C" TW_UINT16 DSM_Entry(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF);
extern "C" TW_UINT32 DSM_GlobalSize(TW_HANDLE);
extern "C" void DSM_GlobalFree(TW_HANDLE);
extern "C" TW_BOOL DSM_Available();

extern std::filesystem::path TestFolder;

// SANE's configuration for the run: the test backend alone, with the
// option defaults given as test.conf lines.
inline void UseSaneConfig(const std::vector<std::string>& Lines, bool WithTest = true) {
  const std::filesystem::path Dir = TestFolder / "sane";
  std::filesystem::create_directories(Dir);
  std::ofstream(Dir / "dll.conf") << (WithTest ? "test\n" : "");
  std::ofstream Conf(Dir / "test.conf");
  Conf << "number_of_devices 2\nresolution 50\ntest-picture \"Grid\"\n";
  for (const std::string& L : Lines)
    Conf << L << "\n";
  setenv("SANE_CONFIG_DIR", Dir.c_str(), 1);
}

template <class F>
bool WaitFor(F Done, int Ms = 10000) {
  QElapsedTimer T;
  T.start();
  while (!Done() && T.elapsed() < Ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return Done();
}

template <class T>
T* TopLevel(const char* Name) {
  for (QWidget* W : QApplication::topLevelWidgets())
    if (W->objectName() == QLatin1String(Name) && W->isVisible())
      if (auto* X = qobject_cast<T*>(W))
        return X;
  return nullptr;
}

// Runs Then on the modal window named Name once it shows.
inline void WhenModal(const char* Name, std::function<void(QWidget&)> Then) {
  auto Poll = std::make_shared<std::function<void()>>();
  *Poll = [Name, Then, Poll] {
    QWidget* W = QApplication::activeModalWidget();
    if (W && W->objectName() == QLatin1String(Name)) {
      Then(*W);
      *Poll = nullptr;
    } else {
      QTimer::singleShot(10, [Poll] {
        if (*Poll)
          (*Poll)();
      });
    }
  };
  QTimer::singleShot(0, [Poll] { (*Poll)(); });
}

// The application's side: its identity, the window the manager posts to,
// and the manager's events as they arrive.
class TTwainApp : public QObject {
public:
  TW_IDENTITY App{};
  TW_IDENTITY Source{};
  std::vector<TW_UINT16> Messages;
  // Runs for each of the manager's events, as a client's hook would.
  std::function<void(TW_UINT16)> OnMessage;

  TW_UINT16 Call(bool ToSource, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 Msg, TW_MEMREF Data) {
    return DSM_Entry(&App, ToSource ? &Source : nullptr, DG, DAT, Msg, Data);
  }
  TW_UINT16 Condition(bool OfSource = false) {
    TW_STATUS S{0xFFFF, 0};
    EXPECT_EQ(DSM_Entry(&App, OfSource ? &Source : nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &S), TWRC_SUCCESS);
    return S.ConditionCode;
  }
  TW_UINT16 OpenDsm() {
    QObject* Self = this;
    return Call(false, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &Self);
  }
  TW_UINT16 CloseDsm() {
    QObject* Self = this;
    return Call(false, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &Self);
  }
  TW_UINT16 OpenDs(const char* Name = "") {
    std::memset(&Source, 0, sizeof Source);
    std::strncpy(Source.ProductName, Name, sizeof Source.ProductName - 1);
    return Call(false, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &Source);
  }
  TW_UINT16 CloseDs() { return Call(false, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &Source); }
  TW_UINT16 Enable(bool ShowUI) {
    TW_USERINTERFACE Ui{TW_BOOL(ShowUI ? 1 : 0), 0, this};
    return Call(true, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &Ui);
  }
  TW_UINT16 Disable() {
    TW_USERINTERFACE Ui{1, 0, this};
    return Call(true, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &Ui);
  }
  TW_UINT16 SetXferMech(TW_UINT16 Cap, TW_UINT16 ConType, TW_UINT16 ItemType, TW_UINT32 Value,
                        TW_UINT16 Msg = MSG_SET) {
    TW_ONEVALUE One{ItemType, Value};
    TW_CAPABILITY C{Cap, ConType, &One};
    return Call(true, DG_CONTROL, DAT_CAPABILITY, Msg, &C);
  }
  TW_UINT16 EndXfer(TW_UINT16 Msg = MSG_ENDXFER) {
    TW_PENDINGXFERS P{0xFFFF, 0};
    return Call(true, DG_CONTROL, DAT_PENDINGXFERS, Msg, &P);
  }
  TW_UINT16 Transfer(std::vector<uint8_t>& Dib) {
    TW_HANDLE H = nullptr;
    const TW_UINT16 Rc = Call(true, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &H);
    if (H) {
      const uint8_t* P = static_cast<const uint8_t*>(H);
      Dib.assign(P, P + DSM_GlobalSize(H));
      DSM_GlobalFree(H);
    }
    return Rc;
  }
  // Leaves the manager closed whatever state a test left it in.
  void Reset() {
    Disable();
    EndXfer();
    Disable();
    CloseDs();
    CloseDsm();
  }

protected:
  bool event(QEvent* E) override {
    TW_EVENT Ev{E, MSG_NULL};
    const TW_UINT16 Rc = DSM_Entry(&App, &Source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &Ev);
    if (Rc == TWRC_DSEVENT) {
      Messages.push_back(Ev.TWMessage);
      if (OnMessage)
        OnMessage(Ev.TWMessage);
      return true;
    }
    return QObject::event(E);
  }
};
