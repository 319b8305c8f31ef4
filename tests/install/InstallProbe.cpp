// Copied beside an installed program, says where the program's lookup finds
// its files from there and whether its libraries load: one line per file,
// "name<TAB>path<TAB>ok|missing|unloadable".
#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <dlfcn.h>

#include "About.h"
#include "Launch.h"
#include "Paths.h"
#include "TwainProtocol.h"

namespace {

// Whether the library loads and exports Symbol; unloaded again at once.
bool Loads(const QString& File, const char* Symbol) {
  void* Handle = dlopen(QFile::encodeName(File).constData(), RTLD_NOW | RTLD_LOCAL);
  if (!Handle)
    return false;
  const bool Found = dlsym(Handle, Symbol) != nullptr;
  dlclose(Handle);
  return Found;
}

bool Report(const char* Name, TFileKind Kind, const char* Symbol = nullptr) {
  const QString File = FindProgramFile(ApplicationFolder(), QString::fromUtf8(Name), Kind);
  const char* State = !QFile::exists(File) ? "missing" : Symbol && !Loads(File, Symbol) ? "unloadable" : "ok";
  std::printf("%s\t%s\t%s\n", Name, QFile::encodeName(File).constData(), State);
  return State[0] == 'o';
}

} // namespace

int main(int argc, char* argv[]) {
  QCoreApplication App(argc, argv);
  bool Ok = Report(AboutLibraryName, fkLibrary, "AboutWnd");
  Ok &= Report(DsmLibraryName, fkLibrary, "DSM_Entry");
  for (const char* Name : {HelpGeneralFile, HelpShortcutsFile, DocFile, "splash.png"})
    Ok &= Report(Name, fkData);
  return Ok ? 0 : 1;
}
