#include <QPointer>

#include "AboutWindow.h"
#include "AboutWnd.h"

// Everything the call makes is gone when it returns: the caller unloads the
// library right after, so no object, timer or posted deletion of ours may
// be left behind.
extern "C" QUENNA_EXPORT void AboutWnd(void* Owner, uint8_t Kind, uint8_t Major, uint8_t Minor, uint8_t Release,
                                       uint8_t Beta) {
  try {
    QPointer<QWidget> Caller = static_cast<QWidget*>(Owner);
    QPointer<Quenna::TAboutWindow> Window = new Quenna::TAboutWindow(
        Caller, Kind == 1, Quenna::VersionText(Major, Minor, Release, Beta != 0), Quenna::VersionX(Beta != 0));
    Window->exec();
    // The caller may have gone meanwhile, and its window with ours.
    delete Window.data();
    if (Caller) {
      Caller->activateWindow();
      Caller->raise();
    }
  } catch (...) {
    // Nothing may cross the C boundary.
  }
}
