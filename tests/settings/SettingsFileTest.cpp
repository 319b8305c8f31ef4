#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "Settings.h"
#include "SettingsTestUtil.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadAll(const fs::path& File) {
  std::ifstream In(File, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& File, const uint8_t* Data, size_t Size) {
  std::ofstream Out(File, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
}

std::vector<uint8_t> Cascaded(std::array<uint8_t, 2021> B, int32_t Left, int32_t Top) {
  PutI32(B.data(), 90, Left);
  PutI32(B.data(), 94, Top);
  return {B.begin(), B.end()};
}

// Restores an environment variable when the test ends.
class TEnvGuard {
public:
  explicit TEnvGuard(const char* AName) : Name(AName) {
    if (const char* V = std::getenv(Name))
      Old = V;
  }
  ~TEnvGuard() {
    if (Old)
      ::setenv(Name, Old->c_str(), 1);
    else
      ::unsetenv(Name);
  }

private:
  const char* Name;
  std::optional<std::string> Old;
};

class SettingsFile : public ::testing::Test {
protected:
  void SetUp() override {
    std::string Templ = (fs::temp_directory_path() / "pelorin-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(Templ.data()), nullptr);
    Root = Templ;
    Program = Root / "program";
    Config = Root / "config";
    fs::create_directories(Program);
    SetSettingsFolders(Program, Config);
    std::memset(&Settings, 0, sizeof Settings);
  }
  void TearDown() override {
    SetSettingsFolders({});
    std::error_code Ec;
    fs::permissions(Root, fs::perms::owner_all, fs::perm_options::add, Ec);
    fs::remove_all(Root, Ec);
  }

  fs::path File() const { return Program / "Pelorin.up"; }

  std::vector<std::string> Entries(const fs::path& Folder) const {
    std::vector<std::string> Names;
    for (const auto& E : fs::directory_iterator(Folder))
      Names.push_back(E.path().filename().string());
    return Names;
  }

  fs::path Root, Program, Config;
};

} // namespace

TEST_F(SettingsFile, FirstStartUsesDefaultsAndWritesTheCascadedRecord) {
  LoadSettings();
  const auto Golden = GoldenDefaults();
  EXPECT_EQ(SettingsToBytes(Settings), Golden);
  EXPECT_EQ(ReadAll(File()), Cascaded(Golden, 136, 96));
  EXPECT_EQ(Entries(Program), std::vector<std::string>{"Pelorin.up"});
}

TEST_F(SettingsFile, EachFurtherStartCascadesFromTheStoredPosition) {
  LoadSettings();
  LoadSettings();
  EXPECT_EQ(Settings.MainLeft, 136);
  EXPECT_EQ(Settings.MainTop, 96);
  EXPECT_EQ(ReadAll(File()), Cascaded(GoldenDefaults(), 152, 112));
}

TEST_F(SettingsFile, SavedChangesComeBackOnTheNextStart) {
  LoadSettings();
  Settings.MainLeft = 400;
  Settings.MainTop = -20;
  Settings.JpgQuality = 75;
  Settings.SaveFolder.SetText("/home/anna/Bilder/\u00C4rger");
  SaveSettings();
  std::memset(&Settings, 0, sizeof Settings);

  LoadSettings();
  EXPECT_EQ(Settings.MainLeft, 400);
  EXPECT_EQ(Settings.MainTop, -20);
  EXPECT_EQ(Settings.JpgQuality, 75);
  EXPECT_EQ(Settings.SaveFolder.Text(), "/home/anna/Bilder/\u00C4rger");
  const auto OnDisk = ReadAll(File());
  ASSERT_EQ(OnDisk.size(), 2021u);
  EXPECT_EQ(GetI32(OnDisk.data(), 90), 416);
  EXPECT_EQ(GetI32(OnDisk.data(), 94), -4);
}

TEST_F(SettingsFile, FilesThatAreNotSettingsAreIgnoredWhole) {
  auto Changed = GoldenDefaults();
  PutI32(Changed.data(), 638, 50);
  auto Foreign = Changed;
  PutI32(Foreign.data(), 0, 1542);
  std::vector<uint8_t> Longer(Changed.begin(), Changed.end());
  Longer.push_back(0);
  const std::vector<std::vector<uint8_t>> Cases = {
      {}, {Changed.begin(), Changed.end() - 1}, Longer, {Foreign.begin(), Foreign.end()}};
  for (const auto& Content : Cases) {
    WriteAll(File(), Content.data(), Content.size());
    LoadSettings();
    EXPECT_EQ(SettingsToBytes(Settings), GoldenDefaults()) << "size " << Content.size();
    EXPECT_EQ(ReadAll(File()), Cascaded(GoldenDefaults(), 136, 96)) << "size " << Content.size();
  }
}

TEST_F(SettingsFile, ARecordWrittenElsewhereReadsTheSame) {
  auto B = GoldenDefaults();
  B[149] = 11;
  std::memcpy(&B[150], "Jos\xE9 M\xFCller", 11);
  B[390] = 8;
  std::memcpy(&B[391], "\xA9 2019 \x99", 8);
  WriteAll(File(), B.data(), B.size());
  LoadSettings();
  EXPECT_EQ(Settings.SignAuthor.Text(), "Jos\u00E9 M\u00FCller");
  EXPECT_EQ(Settings.SignCopyright.Text(), "\u00A9 2019 \u2122");
}

TEST_F(SettingsFile, UnwritableProgramFolderFallsBackToTheConfigFolder) {
  // Even root cannot create files in /proc, so this holds for every user.
  SetSettingsFolders("/proc", Config);
  LoadSettings();
  EXPECT_EQ(ReadAll(Config / "Pelorin.up"), Cascaded(GoldenDefaults(), 136, 96));
  EXPECT_FALSE(fs::exists("/proc/Pelorin.up"));

  Settings.UndoEnabled = true;
  SaveSettings();
  std::memset(&Settings, 0, sizeof Settings);
  LoadSettings();
  EXPECT_TRUE(Settings.UndoEnabled);
}

TEST_F(SettingsFile, ConfigFolderFollowsXdgConfigHomeThenHome) {
  TEnvGuard Xdg("XDG_CONFIG_HOME"), Home("HOME");
  SetSettingsFolders("/proc");

  ::setenv("XDG_CONFIG_HOME", (Root / "xdg").c_str(), 1);
  EXPECT_EQ(SettingsFileName(), Root / "xdg" / "Pelorin" / "Pelorin.up");
  LoadSettings();
  EXPECT_TRUE(fs::is_regular_file(Root / "xdg" / "Pelorin" / "Pelorin.up"));

  ::setenv("HOME", (Root / "home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(SettingsFileName(), Root / "home" / ".config" / "Pelorin" / "Pelorin.up");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsFileName(), Root / "home" / ".config" / "Pelorin" / "Pelorin.up");
}

TEST_F(SettingsFile, AReadOnlySettingsFileIsReadButNeverReplaced) {
  auto B = GoldenDefaults();
  PutI32(B.data(), 90, 500);
  WriteAll(File(), B.data(), B.size());
  fs::permissions(File(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  LoadSettings();
  EXPECT_EQ(Settings.MainLeft, 500);
  Settings.MainLeft = 10;
  SaveSettings();
  EXPECT_EQ(ReadAll(File()), std::vector<uint8_t>(B.begin(), B.end()));
  EXPECT_EQ(Entries(Program), std::vector<std::string>{"Pelorin.up"});
}

TEST_F(SettingsFile, ReplacingKeepsTheFileModeAndLeavesNoTemporaryFile) {
  LoadSettings();
  fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
  SaveSettings();
  EXPECT_EQ(fs::status(File()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Entries(Program), std::vector<std::string>{"Pelorin.up"});
}

TEST_F(SettingsFile, AWriteThatFailsHalfwayKeepsTheOldFile) {
  LoadSettings();
  const auto Before = ReadAll(File());
  // A file size limit stops the write after 1000 bytes, as a full disk would.
  const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit Old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Old), 0);
  rlimit Small = Old;
  Small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
  Settings.MainLeft = 999;
  SaveSettings();
  ::setrlimit(RLIMIT_FSIZE, &Old);
  std::signal(SIGXFSZ, OldHandler);

  EXPECT_EQ(ReadAll(File()), Before);
  EXPECT_EQ(Entries(Program), std::vector<std::string>{"Pelorin.up"});
}

TEST_F(SettingsFile, AFolderInPlaceOfTheFileIsLeftAlone) {
  fs::create_directory(File());
  LoadSettings();
  EXPECT_EQ(SettingsToBytes(Settings), GoldenDefaults());
  SaveSettings();
  EXPECT_TRUE(fs::is_directory(File()));
  EXPECT_EQ(Entries(Program), std::vector<std::string>{"Pelorin.up"});
}

TEST_F(SettingsFile, AFifoInPlaceOfTheFileDoesNotBlockTheStart) {
  ASSERT_EQ(::mkfifo(File().c_str(), 0600), 0);
  LoadSettings();
  EXPECT_EQ(SettingsToBytes(Settings), GoldenDefaults());
}

TEST_F(SettingsFile, ALinkedSettingsFileIsWrittenThroughTheLink) {
  const fs::path Real = Root / "elsewhere.up";
  LoadSettings();
  fs::rename(File(), Real);
  fs::create_symlink(Real, File());
  Settings.GrayRed = 44;
  SaveSettings();
  EXPECT_TRUE(fs::is_symlink(File()));
  EXPECT_EQ(GetI32(ReadAll(Real).data(), 58), 44);
}
