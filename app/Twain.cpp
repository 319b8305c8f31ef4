#include "Twain.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QWidget>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <exception>

#include "DibImage.h"
#include "Messages.h"
#include "Paths.h"

namespace {

// Line breaks of the texts are "\n" here where the platform's were "\r".
std::string Format(const char* Pattern, const char* Name, const std::string& Detail) {
  char Buf[512];
  std::snprintf(Buf, sizeof Buf, Pattern, Name, Detail.c_str());
  return Buf;
}

std::string FormatCode(const char* Name, unsigned Code) {
  char Buf[256];
  std::snprintf(Buf, sizeof Buf, "TWAIN source manager failed in %s: Code %.04x", Name, Code);
  return Buf;
}

class TTwainHook : public QObject {
public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* E) override {
    // Nothing may leave an event filter by an exception.
    try {
      return Twain().ProcessMessage(E);
    } catch (const std::exception& X) {
      if (Twain().Host.Failed)
        Twain().Host.Failed(X);
    } catch (...) {
    }
    return true;
  }
};

} // namespace

std::string TwainConditionText(TW_UINT16 Code) {
  static const char* const Texts[] = {
      "Operation worked.",
      "General failure. Unload source immediately.",
      "Not enough memory to complete operation.",
      "Source manager unable to find the specified source.",
      "Source is connected to max. supported number of applications.",
      "Source or source manager reported an error to the\nuser and handled it.",
      "Capability not supported by source or operation",
      nullptr,
      nullptr,
      "Unrecognized operation triplet.",
      "Data parameter out of supported range.",
      "Illegal operation for current source manager\nsource state.",
      "Unknown destination in DSM entry.",
      "Capability not supported by source.",
      "Operation not supported on capability.",
      "Capability cannot be operated upon at this time.",
      "File System operation is denied (file is protected).",
      "Operation failed because file already exists.",
      "File not found.",
      "Operation failed because directory is not empty.",
      "Transfer failed because of a feeder error",
      "Transfer failed because of a feeder error",
  };
  if (Code < std::size(Texts) && Texts[Code])
    return Texts[Code];
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "Unknown Condition %.04x", unsigned(Code));
  return Buf;
}

TTwainClient& Twain() {
  static TTwainClient Client;
  return Client;
}

void TTwainClient::LoadLibrary() {
  if (Library) {
    if (!Entry)
      throw ETwainError("TWAIN DLL entry not found");
    return;
  }
  QString Path = LibraryPath;
  if (Path.isEmpty()) {
    const QString Found = FindProgramFile(ApplicationFolder(), QLatin1String(DsmLibraryName), fkLibrary);
    Path = QFileInfo::exists(Found) ? Found : QString::fromLatin1(DsmLibraryName);
  }
  Library = dlopen(Path.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
  if (!Library)
    throw ETwainError("TWAIN DLL couldn't be loaded");
  Entry = reinterpret_cast<DSMENTRYPROC>(dlsym(Library, "DSM_Entry"));
  GlobalSize = reinterpret_cast<DSMSIZEPROC>(dlsym(Library, "DSM_GlobalSize"));
  GlobalFree = reinterpret_cast<DSMFREEPROC>(dlsym(Library, "DSM_GlobalFree"));
  if (!Entry || !GlobalSize || !GlobalFree) {
    // The library stays: every later use says the same.
    Entry = nullptr;
    throw ETwainError("TWAIN DLL entry not found");
  }
  // A manager without its scanner library or without a device cannot serve.
  auto Available = reinterpret_cast<DSMAVAILABLEPROC>(dlsym(Library, "DSM_Available"));
  if (Available && !Available()) {
    UnloadLibrary();
    throw ETwainError("TWAIN DLL couldn't be loaded");
  }
}

void TTwainClient::UnloadLibrary() {
  if (Library)
    dlclose(Library);
  Library = nullptr;
  Entry = nullptr;
  GlobalSize = nullptr;
  GlobalFree = nullptr;
}

TW_UINT16 TTwainClient::Call(TW_IDENTITY* Dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 Msg, TW_MEMREF Data) {
  return Entry(&FAppIdentity, Dest, DG, DAT, Msg, Data);
}

void TTwainClient::Check(TW_UINT16 Rc, const char* Name, bool SourceOperation) {
  if (Rc == TWRC_SUCCESS)
    return;
  if (Rc != TWRC_FAILURE)
    throw ETwainError(FormatCode(Name, Rc));
  TW_STATUS Status{};
  if (Call(SourceOperation ? &FSourceIdentity : nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &Status) != TWRC_SUCCESS)
    throw ETwainError("TWAIN can't get status");
  throw ETwainError(Format(SourceOperation ? "TWAIN source error at %s:\n%s" : "TWAIN source manager error at %s:\n%s",
                           Name, TwainConditionText(Status.ConditionCode)));
}

void TTwainClient::FillAppIdentity() {
  std::memset(&FAppIdentity, 0, sizeof FAppIdentity);
  FAppIdentity.Version = {0, 6, TWLG_USA, TWCY_USA, {}};
  std::strcpy(FAppIdentity.Version.Info, "beta");
  FAppIdentity.ProtocolMajor = 1;
  FAppIdentity.ProtocolMinor = 7;
  FAppIdentity.SupportedGroups = DG_CONTROL | DG_IMAGE;
  std::strcpy(FAppIdentity.Manufacturer, "Dastrel");
  std::strcpy(FAppIdentity.ProductFamily, "Image Viewer");
  std::strcpy(FAppIdentity.ProductName, "Pelorin");
}

void TTwainClient::OpenManager() {
  if (FManagerOpen)
    return;
  LoadLibrary();
  FillAppIdentity();
  ParentWindow = Host.Window;
  QObject* Parent = ParentWindow;
  Check(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &Parent), "open");
  FManagerOpen = true;
}

void TTwainClient::CloseManager() {
  if (!FManagerOpen)
    return;
  if (FSourceOpen)
    CloseSource();
  QObject* Parent = ParentWindow;
  Check(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &Parent), "close");
  FManagerOpen = false;
  UnloadLibrary();
}

void TTwainClient::OpenSource() {
  if (FSourceOpen)
    return;
  Check(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &FSourceIdentity), "open source");
  FSourceOpen = true;
}

void TTwainClient::CloseSource() {
  if (!FSourceOpen)
    return;
  if (FSourceEnabled)
    DisableSource();
  Check(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &FSourceIdentity), "close source");
  FSourceOpen = false;
  if (ChosenPending)
    FSourceIdentity = Chosen;
  ChosenPending = false;
}

void TTwainClient::EnableSource(bool ShowUI) {
  if (FSourceEnabled)
    return;
  TW_USERINTERFACE Ui{TW_BOOL(ShowUI ? 0xFFFF : 0), 0, ParentWindow};
  Check(Call(&FSourceIdentity, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &Ui), "enable source");
  FSourceEnabled = true;
}

void TTwainClient::DisableSource() {
  if (!FSourceEnabled)
    return;
  TW_USERINTERFACE Ui{0xFFFF, 0, ParentWindow};
  Check(Call(&FSourceIdentity, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &Ui), "disable source");
  FSourceEnabled = false;
}

void TTwainClient::SetTransfer(int Kind) {
  // Zero-filled and freed on every way out.
  auto Block = std::make_unique<TW_ONEVALUE>();
  Block->ItemType = TWTY_UINT16;
  Block->Item = Kind == 1 ? TWSX_MEMORY : Kind == 2 ? TWSX_FILE : TWSX_NATIVE;
  TW_CAPABILITY Cap{ICAP_XFERMECH, TWON_ONEVALUE, Block.get()};
  Check(Call(&FSourceIdentity, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &Cap), "set transfer", true);
}

void TTwainClient::SelectSource() {
  OpenManager();
  TW_IDENTITY Temp{};
  Check(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &Temp), "select default source");
  const TW_UINT16 Rc = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &Temp);
  if (Rc == TWRC_CANCEL)
    return;
  Check(Rc, "select source");
  // The open source keeps its identity for the calls that still go to it.
  if (FSourceOpen) {
    Chosen = Temp;
    ChosenPending = true;
  } else {
    FSourceIdentity = Temp;
  }
}

void TTwainClient::Acquire() {
  // The source's window already shows: nothing to set up again.
  if (FSourceEnabled)
    return;
  OpenManager();
  OpenSource();
  SetTransfer(0);
  EnableSource(true);
}

void TTwainClient::EndTransfer(bool Checked) {
  TW_PENDINGXFERS Pending{};
  TW_UINT16 Rc = Call(&FSourceIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &Pending);
  if (Checked)
    Check(Rc, "check for pending transfers", true);
  if (Rc == TWRC_SUCCESS && Pending.Count != 0) {
    Rc = Call(&FSourceIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &Pending);
    if (Checked)
      Check(Rc, "abort pending transfers", true);
  }
}

bool TTwainClient::ProcessMessage(QEvent* Event) {
  if (!FManagerOpen || !FSourceOpen)
    return false;
  TW_EVENT E{Event, MSG_NULL};
  const TW_UINT16 Rc = Call(&FSourceIdentity, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &E);
  if (E.TWMessage == MSG_XFERREADY) {
    // A failed transfer still ends, so that the source can scan again.
    std::exception_ptr Failure;
    try {
      // A transfer while a tool window holds the image is dropped.
      if (!Host.Busy || !Host.Busy())
        NativeTransfer();
    } catch (...) {
      Failure = std::current_exception();
    }
    EndTransfer(!Failure);
    if (Failure)
      std::rethrow_exception(Failure);
  } else if (E.TWMessage == MSG_CLOSEDSREQ || E.TWMessage == MSG_CLOSEDSOK) {
    CloseSource();
  }
  // Only the manager's own events are taken; a failed call lets the event on.
  return Rc == TWRC_DSEVENT;
}

void TTwainClient::NativeTransfer() {
  TW_HANDLE Handle = nullptr;
  const TW_UINT16 Rc = Call(&FSourceIdentity, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &Handle);
  if (Rc == TWRC_FAILURE)
    Check(Rc, "native transfer");
  if (Rc != TWRC_XFERDONE)
    return;
  // The shown image stays until the new one has been made.
  std::unique_ptr<TDib> Dib;
  if (Handle) {
    struct TFree {
      DSMFREEPROC Free;
      TW_HANDLE H;
      ~TFree() { Free(H); }
    } Guard{GlobalFree, Handle};
    try {
      Dib = TDib::FromGlobalDib({static_cast<const uint8_t*>(Handle), size_t(GlobalSize(Handle))});
    } catch (const EInvalidGraphicOperation&) {
      Dib.reset();
    }
  }
  if (!Dib) {
    ShowMessageKind(QStringLiteral("Twain error!"), mkError);
    return;
  }
  if (Host.Acquired)
    Host.Acquired(std::move(Dib));
}

void TTwainClient::InstallHook() {
  if (Hook || !QCoreApplication::instance())
    return;
  Hook = new TTwainHook(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(Hook);
}

void TTwainClient::RemoveHook() {
  if (!Hook)
    return;
  QCoreApplication::instance()->removeEventFilter(Hook);
  delete Hook;
  Hook = nullptr;
}
