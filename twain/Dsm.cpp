// The source manager: DSM_Entry over the SANE devices. The manager and the
// sources it opens are one state machine (manager open; source open,
// enabled, transfer ready, transferring), and every call that does not fit
// the state answers TWRC_FAILURE with a condition code, never more.
//
// There is no window-message loop here: events for the application are
// QEvents posted to the window it named when it opened the manager, and
// MSG_PROCESSEVENT recognises them by their registered types.
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "SaneScan.h"
#include "ScanForm.h"
#include "TwainProtocol.h"

#define DSM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

enum TSourceState { ssNone = 0, ssOpen = 4, ssEnabled = 5, ssReady = 6, ssTransferring = 7 };

struct TSource {
  SANE_Handle Handle = nullptr;
  TSaneDevice Device;
  TW_IDENTITY Identity{};
  TSourceState State = ssNone;
  bool ShowUI = false;
  QPointer<TScanForm> Form;
  TW_UINT16 Condition = TWCC_SUCCESS;
};

struct TManager {
  bool Open = false;
  QPointer<QObject> Parent;
  TW_UINT16 Condition = TWCC_SUCCESS;
  std::vector<TSaneDevice> Devices;
  size_t Next = 0;
  // The last source chosen in this run; the default while it exists.
  std::string DefaultName;
  TW_UINT32 NextId = 1;
  // Inside a dialog or a scan, whose event loop may call in again.
  int Nested = 0;
  TSource Source;
};

TManager M;

QEvent::Type EventType(TW_UINT16 Msg) {
  static const int XferReady = QEvent::registerEventType();
  static const int CloseRequest = QEvent::registerEventType();
  return QEvent::Type(Msg == MSG_XFERREADY ? XferReady : CloseRequest);
}

// Plain QEvents: Qt deletes them with its own code, so none outlives the
// library with code of ours.
void Post(TW_UINT16 Msg) {
  QObject* To = M.Parent ? M.Parent.data() : QCoreApplication::instance();
  if (To)
    QCoreApplication::postEvent(To, new QEvent(EventType(Msg)));
}

void DropPosted() {
  QObject* To = M.Parent ? M.Parent.data() : QCoreApplication::instance();
  if (!To)
    return;
  QCoreApplication::removePostedEvents(To, EventType(MSG_XFERREADY));
  QCoreApplication::removePostedEvents(To, EventType(MSG_CLOSEDSREQ));
}

struct TNested {
  TNested() { ++M.Nested; }
  ~TNested() { --M.Nested; }
};

void CopyText(TW_STR32& To, const std::string& From) {
  std::memset(To, 0, sizeof To);
  std::memcpy(To, From.data(), std::min(From.size(), sizeof To - 1));
}

void FillIdentity(TW_IDENTITY& I, const TSaneDevice& D, TW_UINT32 Id) {
  std::memset(&I, 0, sizeof I);
  I.Id = Id;
  I.Version = {1, 0, TWLG_USA, TWCY_USA, {}};
  CopyText(I.Version.Info, "SANE");
  I.ProtocolMajor = 1;
  I.ProtocolMinor = 9;
  I.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyText(I.Manufacturer, D.Vendor);
  CopyText(I.ProductFamily, D.Model);
  // Long device names keep their first 33 characters; they still find it.
  CopyText(I.ProductName, D.Name);
}

bool Names(const TSaneDevice& D, const TW_IDENTITY& I) {
  TW_STR32 Short;
  CopyText(Short, D.Name);
  return std::strncmp(Short, I.ProductName, sizeof Short) == 0;
}

int DefaultIndex() {
  for (size_t I = 0; I < M.Devices.size(); ++I)
    if (M.Devices[I].Name == M.DefaultName)
      return int(I);
  return M.Devices.empty() ? -1 : 0;
}

int IndexOf(const TW_IDENTITY& I) {
  if (I.ProductName[0] == 0)
    return DefaultIndex();
  for (size_t K = 0; K < M.Devices.size(); ++K)
    if (Names(M.Devices[K], I))
      return int(K);
  return -1;
}

QWidget* ParentWidget() { return qobject_cast<QWidget*>(M.Parent.data()); }

TW_UINT16 Fail(TW_UINT16 Condition) {
  M.Condition = Condition;
  return TWRC_FAILURE;
}

TW_UINT16 OpenSource(TW_IDENTITY& I) {
  if (M.Source.State != ssNone)
    return Fail(TWCC_SEQERROR);
  M.Devices = Sane().Devices();
  const int K = IndexOf(I);
  if (K < 0)
    return Fail(TWCC_NODS);
  SANE_Handle H = nullptr;
  const SANE_Status St = Sane().open(M.Devices[size_t(K)].Name.c_str(), &H);
  if (St != SANE_STATUS_GOOD || !H)
    return Fail(St == SANE_STATUS_DEVICE_BUSY ? TWCC_MAXCONNECTIONS : TWCC_BUMMER);
  M.Source = TSource();
  M.Source.Handle = H;
  M.Source.Device = M.Devices[size_t(K)];
  FillIdentity(M.Source.Identity, M.Source.Device, M.NextId++);
  M.Source.State = ssOpen;
  I = M.Source.Identity;
  return TWRC_SUCCESS;
}

void CloseSource() {
  delete M.Source.Form.data();
  DropPosted();
  Sane().close(M.Source.Handle);
  M.Source = TSource();
}

TW_UINT16 Identity(TW_UINT16 Msg, TW_IDENTITY* I) {
  if (!I)
    return Fail(TWCC_BADVALUE);
  switch (Msg) {
  case MSG_GETDEFAULT:
  case MSG_GETFIRST:
  case MSG_GETNEXT:
  case MSG_USERSELECT: {
    if (Msg != MSG_GETNEXT) {
      M.Devices = Sane().Devices();
      M.Next = 0;
    }
    if (Msg == MSG_GETFIRST || Msg == MSG_GETNEXT) {
      if (M.Next >= M.Devices.size())
        return TWRC_ENDOFLIST;
      FillIdentity(*I, M.Devices[M.Next++], 0);
      return TWRC_SUCCESS;
    }
    if (M.Devices.empty())
      return Fail(TWCC_NODS);
    int K = Msg == MSG_GETDEFAULT ? DefaultIndex() : IndexOf(*I);
    if (Msg == MSG_USERSELECT) {
      const TNested In;
      K = ChooseDevice(M.Devices, K, ParentWidget());
      if (K < 0)
        return TWRC_CANCEL;
      M.DefaultName = M.Devices[size_t(K)].Name;
    }
    FillIdentity(*I, M.Devices[size_t(K)], 0);
    return TWRC_SUCCESS;
  }
  case MSG_OPENDS: return OpenSource(*I);
  case MSG_CLOSEDS:
    if (M.Source.State == ssNone || I->Id != M.Source.Identity.Id)
      return Fail(TWCC_BADDEST);
    if (M.Source.State != ssOpen)
      return Fail(TWCC_SEQERROR);
    CloseSource();
    return TWRC_SUCCESS;
  }
  return Fail(TWCC_BADPROTOCOL);
}

// Calls without a destination: the manager's own.
TW_UINT16 ManagerCall(TW_IDENTITY& Origin, TW_UINT16 DAT, TW_UINT16 Msg, TW_MEMREF Data) {
  if (DAT == DAT_PARENT && Msg == MSG_OPENDSM) {
    if (M.Open)
      return Fail(TWCC_SEQERROR);
    if (!Sane().Load())
      return Fail(TWCC_BUMMER);
    M.Parent = Data ? *static_cast<QObject**>(Data) : nullptr;
    Origin.Id = M.NextId++;
    M.Open = true;
    return TWRC_SUCCESS;
  }
  if (!M.Open)
    return Fail(TWCC_SEQERROR);
  if (DAT == DAT_PARENT && Msg == MSG_CLOSEDSM) {
    if (M.Source.State != ssNone)
      return Fail(TWCC_SEQERROR);
    M.Open = false;
    M.Parent = nullptr;
    M.Devices.clear();
    Sane().Unload();
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_IDENTITY)
    return Identity(Msg, static_cast<TW_IDENTITY*>(Data));
  return Fail(TWCC_BADPROTOCOL);
}

TW_UINT16 SourceFail(TW_UINT16 Condition) {
  M.Source.Condition = Condition;
  return Fail(Condition);
}

TW_UINT16 SetReady(TSourceState State) {
  M.Source.State = State;
  if (M.Source.Form)
    M.Source.Form->SetReady(State == ssEnabled);
  return TWRC_SUCCESS;
}

// Beside the application's window rather than over the image it shows.
void PlaceBeside(QWidget& Form, const QWidget* Parent) {
  if (!Parent || !Parent->isVisible() || !Parent->screen())
    return;
  const QRect Screen = Parent->screen()->availableGeometry(), Frame = Parent->frameGeometry();
  const QSize Size = Form.frameGeometry().size();
  QPoint At(Frame.right() + 8, Frame.top());
  if (At.x() + Size.width() > Screen.right())
    At.setX(Frame.left() - 8 - Size.width());
  At.setX(std::clamp(At.x(), Screen.left(), std::max(Screen.left(), Screen.right() - Size.width())));
  At.setY(std::clamp(At.y(), Screen.top(), std::max(Screen.top(), Screen.bottom() - Size.height())));
  Form.move(At);
}

TW_UINT16 Enable(const TW_USERINTERFACE* Ui) {
  if (M.Source.State != ssOpen)
    return SourceFail(TWCC_SEQERROR);
  if (!Ui)
    return SourceFail(TWCC_BADVALUE);
  TSource& S = M.Source;
  S.ShowUI = Ui->ShowUI != 0;
  if (!S.ShowUI) {
    // Without its window the source scans at once with what is set.
    S.State = ssReady;
    Post(MSG_XFERREADY);
    return TWRC_SUCCESS;
  }
  S.Form = new TScanForm(S.Handle, S.Device, ParentWidget());
  S.Form->OnScan = [] {
    if (M.Source.State == ssEnabled) {
      SetReady(ssReady);
      Post(MSG_XFERREADY);
    }
  };
  S.Form->OnClose = [] { Post(MSG_CLOSEDSREQ); };
  S.State = ssEnabled;
  S.Form->show();
  PlaceBeside(*S.Form, ParentWidget());
  S.Form->raise();
  return TWRC_SUCCESS;
}

TW_UINT16 Capability(TW_UINT16 Msg, const TW_CAPABILITY* Cap) {
  if (!Cap)
    return SourceFail(TWCC_BADVALUE);
  if (Cap->Cap != ICAP_XFERMECH)
    return SourceFail(TWCC_CAPUNSUPPORTED);
  if (Msg != MSG_SET && Msg != MSG_RESET)
    return SourceFail(TWCC_CAPBADOPERATION);
  if (M.Source.State != ssOpen)
    return SourceFail(TWCC_SEQERROR);
  if (Msg == MSG_RESET)
    return TWRC_SUCCESS;
  const auto* One = static_cast<const TW_ONEVALUE*>(Cap->hContainer);
  // Native transfers only: the bitmap in one block.
  if (Cap->ConType != TWON_ONEVALUE || !One || One->ItemType != TWTY_UINT16 || One->Item != TWSX_NATIVE)
    return SourceFail(TWCC_BADVALUE);
  return TWRC_SUCCESS;
}

TW_UINT16 ConditionOf(SANE_Status St) {
  switch (St) {
  case SANE_STATUS_JAMMED: return TWCC_PAPERJAM;
  case SANE_STATUS_NO_MEM: return TWCC_LOWMEMORY;
  }
  // The scan window has shown the device's reason.
  return M.Source.ShowUI ? TWCC_OPERATIONERROR : TWCC_BUMMER;
}

TW_UINT16 NativeTransfer(TW_HANDLE* Out) {
  TSource& S = M.Source;
  if (S.State != ssReady)
    return SourceFail(TWCC_SEQERROR);
  if (!Out)
    return SourceFail(TWCC_BADVALUE);
  std::vector<TScanFrame> Frames;
  SANE_Status St;
  {
    const TNested In;
    St = S.Form ? S.Form->Transfer(Frames) : ScanWithProgress(S.Handle, ParentWidget(), Frames);
  }
  if (St == SANE_STATUS_CANCELLED) {
    S.State = ssTransferring;
    return TWRC_CANCEL;
  }
  if (St != SANE_STATUS_GOOD)
    return SourceFail(ConditionOf(St));
  const std::vector<uint8_t> Dib = PackFrames(Frames, CurrentDpi(S.Handle));
  if (Dib.empty())
    return SourceFail(TWCC_BUMMER);
  TW_HANDLE Block = AllocGlobal(Dib);
  if (!Block)
    return SourceFail(TWCC_LOWMEMORY);
  *Out = Block;
  S.State = ssTransferring;
  return TWRC_XFERDONE;
}

TW_UINT16 Pending(TW_UINT16 Msg, TW_PENDINGXFERS* P) {
  TSource& S = M.Source;
  if (!P)
    return SourceFail(TWCC_BADVALUE);
  if (Msg == MSG_GET) {
    P->Count = S.State >= ssReady ? 1 : 0;
    return TWRC_SUCCESS;
  }
  const bool Fits = Msg == MSG_ENDXFER ? S.State >= ssReady : Msg == MSG_RESET && S.State == ssReady;
  if (!Fits)
    return SourceFail(Msg == MSG_ENDXFER || Msg == MSG_RESET ? TWCC_SEQERROR : TWCC_BADPROTOCOL);
  // One image per scan: nothing is left pending.
  P->Count = 0;
  P->Reserved = 0;
  SetReady(ssEnabled);
  if (!S.ShowUI)
    Post(MSG_CLOSEDSREQ);
  return TWRC_SUCCESS;
}

TW_UINT16 ProcessEvent(TW_EVENT* E) {
  if (!E)
    return SourceFail(TWCC_BADVALUE);
  E->TWMessage = MSG_NULL;
  const auto* Q = static_cast<const QEvent*>(E->pEvent);
  // A source that is not enabled has no events; the application's go on.
  if (!Q || M.Source.State < ssEnabled)
    return TWRC_NOTDSEVENT;
  if (Q->type() == EventType(MSG_XFERREADY))
    E->TWMessage = MSG_XFERREADY;
  else if (Q->type() == EventType(MSG_CLOSEDSREQ))
    E->TWMessage = MSG_CLOSEDSREQ;
  return E->TWMessage == MSG_NULL ? TWRC_NOTDSEVENT : TWRC_DSEVENT;
}

// Calls to the open source.
TW_UINT16 SourceCall(const TW_IDENTITY& Dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 Msg, TW_MEMREF Data) {
  if (!M.Open)
    return Fail(TWCC_SEQERROR);
  if (M.Source.State == ssNone || Dest.Id != M.Source.Identity.Id)
    return Fail(TWCC_BADDEST);
  if (DG == DG_IMAGE)
    return DAT == DAT_IMAGENATIVEXFER && Msg == MSG_GET ? NativeTransfer(static_cast<TW_HANDLE*>(Data))
                                                        : SourceFail(TWCC_BADPROTOCOL);
  if (DG != DG_CONTROL)
    return SourceFail(TWCC_BADPROTOCOL);
  switch (DAT) {
  case DAT_USERINTERFACE:
    if (Msg == MSG_ENABLEDS)
      return Enable(static_cast<const TW_USERINTERFACE*>(Data));
    if (Msg != MSG_DISABLEDS)
      return SourceFail(TWCC_BADPROTOCOL);
    if (M.Source.State != ssEnabled)
      return SourceFail(TWCC_SEQERROR);
    delete M.Source.Form.data();
    DropPosted();
    M.Source.State = ssOpen;
    return TWRC_SUCCESS;
  case DAT_CAPABILITY: return Capability(Msg, static_cast<const TW_CAPABILITY*>(Data));
  case DAT_PENDINGXFERS: return Pending(Msg, static_cast<TW_PENDINGXFERS*>(Data));
  }
  return SourceFail(TWCC_BADPROTOCOL);
}

TW_UINT16 Status(const TW_IDENTITY* Dest, TW_STATUS* S) {
  if (!S)
    return TWRC_FAILURE;
  if (!Dest) {
    *S = {M.Condition, 0};
    return TWRC_SUCCESS;
  }
  if (M.Source.State == ssNone || Dest->Id != M.Source.Identity.Id)
    return TWRC_FAILURE;
  *S = {M.Source.Condition, 0};
  return TWRC_SUCCESS;
}

TW_UINT16 Entry(TW_IDENTITY* Origin, TW_IDENTITY* Dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 Msg, TW_MEMREF Data) {
  if (DG == DG_CONTROL && DAT == DAT_STATUS)
    return Msg == MSG_GET ? Status(Dest, static_cast<TW_STATUS*>(Data)) : Fail(TWCC_BADPROTOCOL);
  if (DG == DG_CONTROL && DAT == DAT_EVENT && Dest)
    return Msg == MSG_PROCESSEVENT && M.Open && M.Source.State != ssNone && Dest->Id == M.Source.Identity.Id
               ? ProcessEvent(static_cast<TW_EVENT*>(Data))
               : Fail(TWCC_SEQERROR);
  if (!Origin)
    return Fail(TWCC_BADVALUE);
  // What a dialog or a scan lets run meanwhile must not change the state
  // under it.
  if (M.Nested > 0)
    return Fail(TWCC_SEQERROR);
  M.Condition = TWCC_SUCCESS;
  if (!Dest)
    return ManagerCall(*Origin, DAT, Msg, Data);
  M.Source.Condition = TWCC_SUCCESS;
  return SourceCall(*Dest, DG, DAT, Msg, Data);
}

} // namespace

DSM_EXPORT TW_UINT16 DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                               TW_MEMREF pData) {
  try {
    return Entry(pOrigin, pDest, DG, DAT, MSG, pData);
  } catch (const std::bad_alloc&) {
    return Fail(TWCC_LOWMEMORY);
  } catch (...) {
    return Fail(TWCC_BUMMER);
  }
}

DSM_EXPORT TW_UINT32 DSM_GlobalSize(TW_HANDLE H) { return GlobalSizeOf(H); }

DSM_EXPORT void DSM_GlobalFree(TW_HANDLE H) { FreeGlobal(H); }

DSM_EXPORT TW_BOOL DSM_Available() {
  if (M.Open)
    return 1;
  if (!Sane().Load())
    return 0;
  const bool Any = !Sane().Devices().empty();
  Sane().Unload();
  return Any ? 1 : 0;
}
