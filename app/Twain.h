#pragma once
// The program's TWAIN client: it loads the source manager on first use,
// lets the user choose a source, enables it with its own window and takes
// each native transfer as the new image. Every failure is an ETwainError.
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "TwainProtocol.h"

class QEvent;
class QObject;
class QWidget;
class TDib;

class ETwainError : public std::runtime_error {
public:
  explicit ETwainError(const std::string& Msg) : std::runtime_error(Msg) {}
};

// The condition text of a TWAIN condition code.
std::string TwainConditionText(TW_UINT16 Code);

// What the client needs of the main window.
struct TTwainHost {
  QWidget* Window = nullptr;
  // Takes an acquired image as the shown one.
  std::function<void(std::unique_ptr<TDib>)> Acquired;
  // True while a new image may not replace the shown one.
  std::function<bool()> Busy;
  // The error display, for failures inside the message hook.
  std::function<void(const std::exception&)> Failed;
};

class TTwainClient {
public:
  TTwainHost Host;
  // Where the source manager library is; empty: beside the program, then
  // by its plain name.
  QString LibraryPath;

  void OpenManager();
  void CloseManager();
  void OpenSource();
  void CloseSource();
  void EnableSource(bool ShowUI);
  void DisableSource();
  // 1 memory, 2 file, anything else native.
  void SetTransfer(int Kind);
  void SelectSource();
  void Acquire();
  // True when Event was the source manager's.
  bool ProcessMessage(QEvent* Event);
  void NativeTransfer();

  // The application's message hook: ProcessMessage for every event.
  void InstallHook();
  void RemoveHook();

  bool ManagerOpen() const { return FManagerOpen; }
  bool SourceOpen() const { return FSourceOpen; }
  bool SourceEnabled() const { return FSourceEnabled; }
  const TW_IDENTITY& AppIdentity() const { return FAppIdentity; }
  const TW_IDENTITY& SourceIdentity() const { return FSourceIdentity; }

private:
  void LoadLibrary();
  void UnloadLibrary();
  TW_UINT16 Call(TW_IDENTITY* Dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 Msg, TW_MEMREF Data);
  // Raises the designed error unless Rc is TWRC_SUCCESS; source operations
  // ask the source for its condition.
  void Check(TW_UINT16 Rc, const char* Name, bool SourceOperation = false);
  void FillAppIdentity();
  void EndTransfer(bool Checked);

  void* Library = nullptr;
  DSMENTRYPROC Entry = nullptr;
  DSMSIZEPROC GlobalSize = nullptr;
  DSMFREEPROC GlobalFree = nullptr;
  TW_IDENTITY FAppIdentity{};
  TW_IDENTITY FSourceIdentity{};
  // A source chosen while another is open, taken once that one closes.
  TW_IDENTITY Chosen{};
  bool ChosenPending = false;
  QObject* ParentWindow = nullptr;
  bool FManagerOpen = false, FSourceOpen = false, FSourceEnabled = false;
  QObject* Hook = nullptr;
};

// The one client of the process.
TTwainClient& Twain();
