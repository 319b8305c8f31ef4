#include "About.h"

#include <QFile>
#include <QWidget>
#include <dlfcn.h>

#include "AboutWnd.h"

namespace {

// Unloads the library however the call ends.
class TLoadedLibrary {
public:
  explicit TLoadedLibrary(void* AHandle) : Handle(AHandle) {}
  TLoadedLibrary(const TLoadedLibrary&) = delete;
  TLoadedLibrary& operator=(const TLoadedLibrary&) = delete;
  ~TLoadedLibrary() { dlclose(Handle); }
  void* Symbol(const char* Name) const { return dlsym(Handle, Name); }

private:
  void* Handle;
};

} // namespace

TAboutOutcome ShowAboutLibrary(const QString& File, QWidget* Owner) {
  // RTLD_LOCAL: nothing of the library may be bound by anyone else, or it
  // would stay mapped after the close.
  void* Handle = dlopen(QFile::encodeName(File).constData(), RTLD_NOW | RTLD_LOCAL);
  if (!Handle)
    return aoNotFound;
  const TLoadedLibrary Library(Handle);
  const auto Show = reinterpret_cast<TAboutWndProc>(Library.Symbol("AboutWnd"));
  if (!Show)
    return aoInvalid;
  // Returns once the window has closed and everything it made is gone.
  Show(Owner, 0, AboutMajor, AboutMinor, AboutRelease, 0);
  return aoShown;
}
