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
  throw EFileStreamError(What + Name.string() + ". " + SystemErrorText(Error));
}

// The file a name stands for: a renamed temporary file would replace a
// symbolic link by a plain file and leave the linked file as it was. Links to
// links are followed as the kernel does, to the same depth.
std::filesystem::path LinkTarget(const std::filesystem::path& Name) {
  constexpr int MaxLinkDepth = 40;
  std::filesystem::path Path = Name;
  std::error_code Ec;
  for (int Depth = 0; Depth < MaxLinkDepth && std::filesystem::is_symlink(Path, Ec); ++Depth) {
    const std::filesystem::path To = std::filesystem::read_symlink(Path, Ec);
    if (Ec)
      break;
    Path = To.is_absolute() ? To : Path.parent_path() / To;
  }
  return Path;
}

} // namespace

void SaveViaTempFile(const std::filesystem::path& UserName, const std::function<void(TStream&)>& WriteTo) {
  const std::filesystem::path Name = LinkTarget(UserName);
  const std::filesystem::path Folder = Name.has_parent_path() ? Name.parent_path() : std::filesystem::path(".");
  std::string Base = ".";
  Base += Name.filename().string();
  Base += ".XXXXXX";
  const std::string Template = (Folder / Base).string();
  std::vector<char> TempName(Template.begin(), Template.end());
  TempName.push_back('\0');
  const int Fd = ::mkostemp(TempName.data(), O_CLOEXEC);
  if (Fd < 0)
    FailFile("Cannot create file ", UserName, errno);
  const std::filesystem::path Temp(TempName.data());
  try {
    TFileStream Stream(Fd);
    WriteTo(Stream);
    if (::fchmod(Fd, NewFileMode(Name)) != 0 || ::fsync(Fd) != 0)
      FailFile("Cannot write file ", UserName, errno);
    if (!Stream.Close())
      FailFile("Cannot write file ", UserName, errno);
    if (std::rename(Temp.c_str(), Name.c_str()) != 0)
      FailFile("Cannot create file ", UserName, errno);
  } catch (...) {
    ::unlink(Temp.c_str());
    throw;
  }
}
