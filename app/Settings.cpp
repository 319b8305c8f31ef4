#include "Settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <system_error>
#include <utility>

#include "ByteOrder.h"

namespace fs = std::filesystem;

TSettings Settings{};

namespace {

fs::path ProgramFolderOverride;
fs::path ConfigFolderOverride;

// Window positions stay within what a screen can show, which also keeps the
// start-up cascade clear of overflow.
constexpr int32_t MaxCoordinate = 32767;

// Every bool of the record: a file may hold any byte there, and a bool
// object may only ever hold 0 or 1.
constexpr size_t BoolOffsets[] = {offsetof(TSettings, ZoomToFit),
                                  offsetof(TSettings, ShowProgress),
                                  offsetof(TSettings, ApplyAlpha),
                                  offsetof(TSettings, MouseBrowseWindow),
                                  offsetof(TSettings, MouseBrowseFullScreen),
                                  offsetof(TSettings, TwainEnabled),
                                  offsetof(TSettings, ShowWarnings),
                                  offsetof(TSettings, Gradients),
                                  offsetof(TSettings, ResizeDistortion),
                                  offsetof(TSettings, ListDetails),
                                  offsetof(TSettings, ListBold),
                                  offsetof(TSettings, ListAutoCheck),
                                  offsetof(TSettings, SignPng),
                                  offsetof(TSettings, SignTif),
                                  offsetof(TSettings, SignPnm),
                                  offsetof(TSettings, GifInterlaced),
                                  offsetof(TSettings, TgaRle),
                                  offsetof(TSettings, JpgProgressive),
                                  offsetof(TSettings, PngOptimizePalette),
                                  offsetof(TSettings, PngInterlaced),
                                  offsetof(TSettings, AutoOpen),
                                  offsetof(TSettings, PrintCenterTitle),
                                  offsetof(TSettings, PrintTitle),
                                  offsetof(TSettings, PrintKeepMargins),
                                  offsetof(TSettings, UndoEnabled),
                                  offsetof(TSettings, LuvControl),
                                  offsetof(TSettings, LuvStonits)};

// A file descriptor that closes itself.
class TFd {
public:
  explicit TFd(int AFd) : Fd(AFd) {}
  TFd(TFd&& Other) noexcept : Fd(std::exchange(Other.Fd, -1)) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  ~TFd() { Close(); }
  int Get() const { return Fd; }
  bool Valid() const { return Fd >= 0; }
  bool Close() {
    if (Fd < 0)
      return true;
    const bool Ok = ::close(Fd) == 0;
    Fd = -1;
    return Ok;
  }

private:
  int Fd;
};

// Fields of every width pass through one signed type wide enough for all.
int64_t Clamped(int64_t V, int64_t Lo, int64_t Hi) { return std::clamp(V, Lo, Hi); }

// For choices from a list: a value off the list means nothing, so the
// default takes its place.
int64_t ChoiceOr(int64_t V, std::initializer_list<int64_t> Allowed, int64_t Default) {
  return std::find(Allowed.begin(), Allowed.end(), V) == Allowed.end() ? Default : V;
}

int64_t RangeOr(int64_t V, int64_t Lo, int64_t Hi, int64_t Default) { return V < Lo || V > Hi ? Default : V; }

template <size_t N>
void ClampLength(TShortString<N>& S) {
  S.Len = std::min<uint8_t>(S.Len, uint8_t(N));
}

bool WriteAll(int Fd, const uint8_t* Data, size_t Size) {
  while (Size > 0) {
    const ssize_t N = ::write(Fd, Data, Size);
    if (N < 0 && errno == EINTR)
      continue;
    if (N <= 0)
      return false;
    Data += N;
    Size -= size_t(N);
  }
  return true;
}

// A new file beside Target whose name no other writer uses.
TFd CreateTempBeside(const fs::path& Target, std::string& TempName) {
  static std::atomic<unsigned> Counter{0};
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    TempName = Target.string() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(Counter++);
    TFd Fd(::open(TempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (Fd.Valid() || errno != EEXIST)
      return Fd;
  }
  return TFd(-1);
}

bool CanCreateFileIn(const fs::path& Folder) {
  std::string Probe;
  TFd Fd = CreateTempBeside(Folder / ".Pelorin-probe", Probe);
  if (!Fd.Valid())
    return false;
  Fd.Close();
  ::unlink(Probe.c_str());
  return true;
}

fs::path ConfigFolder() {
  if (!ConfigFolderOverride.empty())
    return ConfigFolderOverride;
  // A relative XDG_CONFIG_HOME is to be ignored.
  const char* Xdg = std::getenv("XDG_CONFIG_HOME");
  if (Xdg && Xdg[0] == '/')
    return fs::path(Xdg) / "Pelorin";
  const char* Home = std::getenv("HOME");
  if (!Home || !Home[0]) {
    const passwd* Pw = ::getpwuid(::getuid());
    Home = Pw ? Pw->pw_dir : nullptr;
  }
  if (!Home || !Home[0])
    return {};
  return fs::path(Home) / ".config" / "Pelorin";
}

bool ReadSettingsFile(const fs::path& File, TSettings& S) {
  // Non-blocking so that a FIFO in its place cannot stall the start.
  TFd Fd(::open(File.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!Fd.Valid())
    return false;
  struct stat St {};
  if (::fstat(Fd.Get(), &St) != 0 || !S_ISREG(St.st_mode) || St.st_size != off_t(SettingsSize))
    return false;
  std::array<uint8_t, SettingsSize> Bytes{};
  size_t Got = 0;
  while (Got < Bytes.size()) {
    const ssize_t N = ::read(Fd.Get(), Bytes.data() + Got, Bytes.size() - Got);
    if (N < 0 && errno == EINTR)
      continue;
    if (N <= 0)
      return false;
    Got += size_t(N);
  }
  return SettingsFromBytes(Bytes.data(), Got, S);
}

// Replaces the file as a whole: the record goes to a temporary file that is
// renamed over the old one, so an interrupted write leaves the old file.
bool WriteSettingsFile(const fs::path& File, const TSettings& S) {
  std::error_code Ec;
  fs::path Target = File;
  if (fs::is_symlink(File, Ec)) {
    Target = fs::weakly_canonical(File, Ec);
    if (Ec)
      return false;
  }
  struct stat Old {};
  const bool Existed = ::stat(Target.c_str(), &Old) == 0;
  // A settings file the user made read-only stays as it is.
  if (Existed && (!S_ISREG(Old.st_mode) || (Old.st_mode & 0222) == 0 || ::access(Target.c_str(), W_OK) != 0))
    return false;

  std::string TempName;
  TFd Fd = CreateTempBeside(Target, TempName);
  if (!Fd.Valid())
    return false;
  const auto Bytes = SettingsToBytes(S);
  bool Ok = WriteAll(Fd.Get(), Bytes.data(), Bytes.size());
  if (Ok && Existed) {
    ::fchmod(Fd.Get(), Old.st_mode & 07777);
    [[maybe_unused]] const int Ignored = ::fchown(Fd.Get(), Old.st_uid, Old.st_gid);
  }
  Ok = Ok && ::fsync(Fd.Get()) == 0;
  Ok = Fd.Close() && Ok;
  Ok = Ok && ::rename(TempName.c_str(), Target.c_str()) == 0;
  if (!Ok) {
    ::unlink(TempName.c_str());
    return false;
  }
  TFd Dir(
      ::open(Target.parent_path().empty() ? "." : Target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (Dir.Valid())
    ::fsync(Dir.Get());
  return true;
}

bool WriteCascaded(const fs::path& File) {
  TSettings Cascaded = Settings;
  Cascaded.MainLeft += 16;
  Cascaded.MainTop += 16;
  return WriteSettingsFile(File, Cascaded);
}

} // namespace

void SetDefaultSettings(TSettings& S) {
  S = TSettings{};
  S.Version = SettingsVersion;
  S.BackColor = 0x808080;
  S.ZoomToFit = true;
  S.TileMode = 1;
  S.TileThreshold = 32;
  S.FullScreenResample = 1;
  S.ShowProgress = false;
  S.ApplyAlpha = true;
  S.ViewOptionsOff = 0;
  S.MouseBrowseWindow = false;
  S.MouseBrowseFullScreen = true;
  S.TwainEnabled = true;
  S.ShowWarnings = true;
  S.Gradients = true;
  S.ResizeDistortion = false;
  S.ResizeFilter = 4;
  S.ResizeUnit = 1;
  S.DefaultDpi = 300;
  S.PrinterDpi = 600;
  S.ResizeUserDpi = 150;
  S.GrayLevels = 256;
  S.GrayWeighting = 1;
  S.GrayRed = 30;
  S.GrayGreen = 50;
  S.GrayBlue = 20;
  S.GrayDiffusion = 0;
  S.PalColors = 0;
  S.PalCustomCount = 240;
  S.PalQuantizer = 1;
  S.PalDiffusion = 1;
  S.MainLeft = 120;
  S.MainTop = 80;
  S.InfoLeft = 20;
  S.InfoTop = 40;
  S.ListLeft = 260;
  S.ListTop = 40;
  S.ListWidth = 378;
  S.ListHeight = 240;
  S.ListDetails = true;
  S.ListBold = false;
  S.ListSortColumn = 0;
  for (uint8_t& D : S.ListSortDescending)
    D = 0;
  S.ListColumnWidths[0] = 130;
  S.ListColumnWidths[1] = 120;
  S.ListColumnWidths[2] = 120;
  S.ListColumnWidths[3] = 120;
  S.ListAutoCheck = true;
  S.SignAuthor.SetText("");
  S.SignCopyright.SetText("");
  S.SignPng = true;
  S.SignTif = true;
  S.SignPnm = true;
  S.BmpOs2 = 0;
  S.GifCompression = 0;
  S.GifInterlaced = false;
  S.TgaRle = true;
  S.JpgQuality = 90;
  S.JpgProgressive = true;
  S.TifBigEndian = 0;
  S.TifCompression = 0;
  S.TifStripSize = 32768;
  S.PngCompressionLevel = 6;
  S.PngFilters = 0x1F;
  S.PngOptimizePalette = true;
  S.PngInterlaced = false;
  S.PnmCompression = 0;
  S.OpenFilterIndex = 16;
  S.SaveFilterIndex = 1;
  S.OpenFolder.SetText("");
  S.SaveFolder.SetText("");
  for (auto& P : S.LaunchPrograms)
    P.SetText("");
  S.AutoOpen = true;
  S.PrintFontName.SetText("Arial");
  S.PrintFontSize = 24;
  S.PrintFontStyle = 0;
  S.PrintFontColor = 0;
  S.PrintCenterTitle = true;
  S.PrintTitle = true;
  S.PrintKeepMargins = true;
  S.UndoEnabled = false;
  S.PcdResolution = 2;
  S.LuvControl = true;
  S.LuvStonits = false;
}

void ClampSettings(TSettings& S) {
  TSettings D;
  SetDefaultSettings(D);

  // Colors are plain 0x00BBGGRR; anything in the top byte is not one.
  S.BackColor = RangeOr(S.BackColor, 0, 0xFFFFFF, D.BackColor);
  S.PrintFontColor = RangeOr(S.PrintFontColor, 0, 0xFFFFFF, D.PrintFontColor);

  S.TileMode = ChoiceOr(S.TileMode, {0, 1, 2}, D.TileMode);
  S.TileThreshold = Clamped(S.TileThreshold, 2, 256);
  S.FullScreenResample = ChoiceOr(S.FullScreenResample, {0, 1, 2}, D.FullScreenResample);
  // Bits of later versions are not known to mean anything here.
  S.ViewOptionsOff &= voKnownBits;

  S.ResizeFilter = ChoiceOr(S.ResizeFilter, {0, 1, 2, 3, 4, 5, 6}, D.ResizeFilter);
  S.ResizeUnit = ChoiceOr(S.ResizeUnit, {0, 1}, D.ResizeUnit);
  S.DefaultDpi = Clamped(S.DefaultDpi, 1, 6000);
  S.PrinterDpi = Clamped(S.PrinterDpi, 1, 6000);
  // Any resolution an image carried may become the user entry; only a
  // resolution that is no resolution at all is dropped.
  if (S.ResizeUserDpi < 1)
    S.ResizeUserDpi = D.ResizeUserDpi;

  S.GrayLevels = Clamped(S.GrayLevels, 2, 256);
  S.GrayWeighting = ChoiceOr(S.GrayWeighting, {0, 1, 2, 3}, D.GrayWeighting);
  S.GrayRed = Clamped(S.GrayRed, 0, 100);
  S.GrayGreen = Clamped(S.GrayGreen, 0, 100);
  S.GrayBlue = Clamped(S.GrayBlue, 0, 100);
  S.GrayDiffusion = ChoiceOr(S.GrayDiffusion, {0, 1, 2, 3, 4}, D.GrayDiffusion);
  S.PalColors = ChoiceOr(S.PalColors, {0, 1, 2, 3, 4, 5, 6}, D.PalColors);
  S.PalCustomCount = Clamped(S.PalCustomCount, 2, 256);
  S.PalQuantizer = ChoiceOr(S.PalQuantizer, {0, 1, 2, 3}, D.PalQuantizer);
  S.PalDiffusion = ChoiceOr(S.PalDiffusion, {0, 1, 2, 3, 4}, D.PalDiffusion);

  const auto Coordinate = [](int64_t V) { return Clamped(V, -MaxCoordinate - 1, MaxCoordinate); };
  S.MainLeft = Coordinate(S.MainLeft);
  S.MainTop = Coordinate(S.MainTop);
  S.InfoLeft = Coordinate(S.InfoLeft);
  S.InfoTop = Coordinate(S.InfoTop);
  S.ListLeft = Coordinate(S.ListLeft);
  S.ListTop = Coordinate(S.ListTop);
  S.ListWidth = RangeOr(S.ListWidth, 1, MaxCoordinate, D.ListWidth);
  S.ListHeight = RangeOr(S.ListHeight, 1, MaxCoordinate, D.ListHeight);
  S.ListSortColumn = ChoiceOr(S.ListSortColumn, {0, 1, 2, 3}, D.ListSortColumn);
  for (uint8_t& Desc : S.ListSortDescending)
    Desc = Desc ? 1 : 0;
  for (size_t I = 0; I < 4; ++I)
    S.ListColumnWidths[I] = RangeOr(S.ListColumnWidths[I], 0, MaxCoordinate, D.ListColumnWidths[I]);

  ClampLength(S.SignAuthor);
  ClampLength(S.SignCopyright);
  ClampLength(S.OpenFolder);
  ClampLength(S.SaveFolder);
  for (auto& P : S.LaunchPrograms)
    ClampLength(P);
  ClampLength(S.PrintFontName);
  if (S.PrintFontName.Empty())
    S.PrintFontName = D.PrintFontName;

  // The option dialogs read any non-zero value as the second choice.
  S.BmpOs2 = S.BmpOs2 ? 1 : 0;
  S.GifCompression = S.GifCompression ? 3 : 0;
  S.TifBigEndian = S.TifBigEndian ? 1 : 0;
  S.JpgQuality = Clamped(S.JpgQuality, 10, 100);
  S.TifCompression = ChoiceOr(S.TifCompression, {0, 3, 4, 12}, D.TifCompression);
  S.TifStripSize = ChoiceOr(S.TifStripSize, {8192, 16384, 32768}, D.TifStripSize);
  S.PngCompressionLevel = Clamped(S.PngCompressionLevel, 0, 9);
  S.PngFilters &= 0x1F;
  S.PnmCompression = ChoiceOr(S.PnmCompression, {0, 14}, D.PnmCompression);
  // The open dialog's last entry is "all supported files" (16); the save
  // dialog lists 13 formats.
  S.OpenFilterIndex = RangeOr(S.OpenFilterIndex, 1, 16, D.OpenFilterIndex);
  S.SaveFilterIndex = RangeOr(S.SaveFilterIndex, 1, 13, D.SaveFilterIndex);

  // Far beyond any title, but keeps the printed height within reach.
  S.PrintFontSize = RangeOr(S.PrintFontSize, 1, 1000, D.PrintFontSize);
  S.PrintFontStyle &= 0x0F;
  S.PcdResolution = RangeOr(S.PcdResolution, 0, 4, D.PcdResolution);
}

bool SettingsFromBytes(const uint8_t* Data, size_t Size, TSettings& S) {
  if (!Data || Size != SettingsSize)
    return false;
  std::array<uint8_t, SettingsSize> Bytes;
  std::memcpy(Bytes.data(), Data, SettingsSize);
  if (GetLE32(Bytes.data()) != SettingsVersion)
    return false;
  for (size_t Offset : BoolOffsets)
    Bytes[Offset] = Bytes[Offset] ? 1 : 0;
  std::memcpy(&S, Bytes.data(), SettingsSize);
  ClampSettings(S);
  return true;
}

std::array<uint8_t, SettingsSize> SettingsToBytes(const TSettings& S) {
  std::array<uint8_t, SettingsSize> Bytes;
  std::memcpy(Bytes.data(), &S, SettingsSize);
  return Bytes;
}

fs::path ExecutableFolder() {
  std::error_code Ec;
  const fs::path Exe = fs::read_symlink("/proc/self/exe", Ec);
  return Ec ? fs::path() : Exe.parent_path();
}

fs::path ProgramDataFolder() {
  return DataFolderFor(ProgramFolderOverride.empty() ? ExecutableFolder() : ProgramFolderOverride);
}

fs::path DataFolderFor(const fs::path& Program) {
  if (!Program.empty() && CanCreateFileIn(Program))
    return Program;
  const fs::path Config = ConfigFolder();
  if (Config.empty())
    return {};
  std::error_code Ec;
  if (fs::create_directories(Config, Ec))
    fs::permissions(Config, fs::perms::owner_all, Ec);
  return Config;
}

fs::path SettingsFileName() {
  const fs::path Folder = ProgramDataFolder();
  return Folder.empty() ? fs::path() : Folder / SettingsFileTitle;
}

void SetSettingsFolders(const fs::path& ProgramFolder, const fs::path& ConfigFolder) {
  ProgramFolderOverride = ProgramFolder;
  ConfigFolderOverride = ConfigFolder;
}

void LoadSettings() {
  const fs::path File = SettingsFileName();
  TSettings Loaded;
  if (File.empty() || !ReadSettingsFile(File, Loaded))
    SetDefaultSettings(Loaded);
  Settings = Loaded;
  if (!File.empty())
    WriteCascaded(File);
}

bool SaveSettingsNow() {
  const fs::path File = SettingsFileName();
  return !File.empty() && WriteCascaded(File);
}

void SaveSettings() {
  const fs::path File = SettingsFileName();
  if (!File.empty())
    WriteSettingsFile(File, Settings);
}
