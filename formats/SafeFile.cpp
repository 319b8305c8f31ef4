#include "SafeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "Errors.h"

namespace {

mode_t NewFileMode(const std::filesystem::path& Name) {
  struct stat St;
  if (::stat(Name.c_str(), &St) == 0)
    return St.st_mode & 07777;
  const mode_t Mask = ::umask(0);
  ::umask(Mask);
  return 0666 & ~Mask;
}

[[noreturn]] void FailFile(const std::string& What, const std::filesystem::path& Name, int Error) {
  throw EFileStreamError(What + Name.string() + ". " + std::strerror(Error));
}

} // namespace

void SaveViaTempFile(const std::filesystem::path& Name, const std::function<void(TStream&)>& WriteTo) {
  const std::filesystem::path Folder = Name.has_parent_path() ? Name.parent_path() : std::filesystem::path(".");
  std::string Base = ".";
  Base += Name.filename().string();
  Base += ".XXXXXX";
  const std::string Template = (Folder / Base).string();
  std::vector<char> TempName(Template.begin(), Template.end());
  TempName.push_back('\0');
  const int Fd = ::mkostemp(TempName.data(), O_CLOEXEC);
  if (Fd < 0)
    FailFile("Cannot create file ", Name, errno);
  const std::filesystem::path Temp(TempName.data());
  try {
    TFileStream Stream(Fd);
    WriteTo(Stream);
    if (::fchmod(Fd, NewFileMode(Name)) != 0 || ::fsync(Fd) != 0)
      FailFile("Cannot write file ", Name, errno);
    if (!Stream.Close())
      FailFile("Cannot write file ", Name, errno);
    if (std::rename(Temp.c_str(), Name.c_str()) != 0)
      FailFile("Cannot create file ", Name, errno);
  } catch (...) {
    ::unlink(Temp.c_str());
    throw;
  }
}
