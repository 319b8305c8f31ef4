// The main window's TWAIN commands and the client's place in its start and
// end.
#include "Main.h"
#include "Twain.h"

void TPelorinMain::TwainStart() {
  TTwainClient& T = Twain();
  T.Host.Window = this;
  T.Host.Acquired = [this](std::unique_ptr<TDib> Dib) { AdoptImage(std::move(Dib), QStringLiteral("Acquired")); };
  T.Host.Busy = [this] { return ModalLock; };
  T.Host.Failed = [this](const std::exception& E) { AppException(E); };
  T.InstallHook();
}

void TPelorinMain::TwainEnd() {
  TTwainClient& T = Twain();
  if (T.Host.Window != this)
    return;
  if (QAction* A = Item(QStringLiteral("TwainItem")))
    A->setEnabled(false);
  T.RemoveHook();
  Guarded([&T] { T.CloseManager(); });
  T.Host = TTwainHost();
}

void TPelorinMain::TwainSourceItemClick() {
  if (!ModalLock)
    Twain().SelectSource();
}

void TPelorinMain::TwainAquireItemClick() {
  // A new image may not come while a tool window holds the shown one.
  if (!ModalLock)
    Twain().Acquire();
}
