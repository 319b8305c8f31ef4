// The file list of a folder of 10,000 small image files: listing it, listing
// it into the shown window, sorting it by each column, listing it again
// after a change and stepping through all of it, beside a directory loop
// that takes each file's size and time (what any listing must do), and
// sorting the same names as plain strings.
#include <QApplication>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "FileList.h"
#include "Host.h"
#include "List.h"
#include "QtBenchMain.h"
#include "Settings.h"

namespace {

constexpr int FileCount = 10000;

std::filesystem::path Work;

std::filesystem::path Folder() { return Work / "folder"; }

std::string NameOf(int I) {
  // Names, sizes and times in three orders of their own.
  static const char* const Exts[] = {".bmp", ".png", ".jpg", ".gif", ".tif"};
  return "img" + std::to_string((I * 7919) % FileCount + 100000) + Exts[I % 5];
}

void MakeFolder() {
  static bool Made = false;
  if (Made)
    return;
  Made = true;
  std::filesystem::create_directories(Folder());
  const auto Now = std::filesystem::file_time_type::clock::now();
  for (int I = 0; I < FileCount; ++I) {
    const auto Name = Folder() / NameOf(I);
    std::ofstream(Name) << std::string(size_t(10 + (I * 31) % 2000), 'x');
    std::filesystem::last_write_time(Name, Now - std::chrono::seconds((I * 104729) % 1000003));
  }
  std::ofstream(Folder() / "notes.txt") << "not an image";
}

QString FirstFile() { return QString::fromStdString((Folder() / NameOf(0)).string()); }

void Touch() {
  std::filesystem::last_write_time(Folder() / NameOf(FileCount / 2), std::filesystem::file_time_type::clock::now());
}

// What a listing cannot do without: every entry's name, size and time.
// Beside the listing after a change, one file gets a new time first.
template <bool TouchFirst>
void BM_DirectoryLoop(benchmark::State& State) {
  MakeFolder();
  for (auto _ : State) {
    if constexpr (TouchFirst)
      Touch();
    int64_t Sum = 0;
    for (const auto& E : std::filesystem::directory_iterator(Folder())) {
      Sum += int64_t(E.file_size());
      Sum += E.last_write_time().time_since_epoch().count();
      benchmark::DoNotOptimize(E.path().filename().native().data());
    }
    benchmark::DoNotOptimize(Sum);
  }
}

void BM_Build(benchmark::State& State) {
  MakeFolder();
  TFileList L;
  for (auto _ : State) {
    L.Build(QString::fromStdString(Folder().string()));
    benchmark::DoNotOptimize(L.Count());
  }
  if (L.Count() != FileCount)
    State.SkipWithError("wrong count");
}

// A host that shows nothing: what is measured is the list alone.
class TQuietHost : public TPelorinHost {
public:
  void OpenFile(const QString&, bool) override {}
  bool ToolWindowShowing() const override { return false; }
  void BeginModal() override {}
  void EndModal() override {}
  void Redraw() override {}
  bool OpenAgainEnabled() const override { return true; }
  void SetOpenAgain(bool) override {}
};

// A new window lists the folder and shows it, painted.
void BM_ListAndShow(benchmark::State& State) {
  MakeFolder();
  TQuietHost Host;
  for (auto _ : State) {
    TListForm Form;
    Form.SetHost(&Host);
    Form.RefreshList(FirstFile(), false);
    Form.show();
    Form.repaint();
    QCoreApplication::processEvents();
    if (Form.ItemCount != FileCount)
      State.SkipWithError("wrong count");
  }
}

void BM_Sort(benchmark::State& State) {
  MakeFolder();
  TFileList L;
  L.Build(QString::fromStdString(Folder().string()));
  std::mt19937 Random(7);
  for (auto _ : State) {
    State.PauseTiming();
    for (int32_t I = L.Count() - 1; I > 0; --I)
      std::swap(L[I], L[int32_t(Random() % uint32_t(I + 1))]);
    State.ResumeTiming();
    L.Sort(int32_t(State.range(0)), false);
    benchmark::DoNotOptimize(L[0].Size);
  }
}

// The reference: the same names as plain strings, in byte order.
void BM_SortStrings(benchmark::State& State) {
  MakeFolder();
  std::vector<std::string> Names;
  for (int I = 0; I < FileCount; ++I)
    Names.push_back(NameOf(I));
  std::mt19937 Random(7);
  for (auto _ : State) {
    State.PauseTiming();
    std::shuffle(Names.begin(), Names.end(), Random);
    State.ResumeTiming();
    std::sort(Names.begin(), Names.end());
    benchmark::DoNotOptimize(Names.front().data());
  }
}

// The window that has listed the folder, shown.
struct TShownList {
  TQuietHost Host;
  TListForm Form;
  TShownList() {
    MakeFolder();
    Form.SetHost(&Host);
    Form.RefreshList(FirstFile(), false);
    Form.show();
    QCoreApplication::processEvents();
  }
};

// The shown window lists its folder again after a file changed.
void BM_RefreshAfterChange(benchmark::State& State) {
  TShownList Shown;
  for (auto _ : State) {
    Touch();
    Shown.Form.RefreshList(FirstFile(), true);
    QCoreApplication::processEvents();
  }
}

// From the first entry to the last, one step at a time, in the shown window.
void BM_StepAll(benchmark::State& State) {
  TShownList Shown;
  TListForm& Form = Shown.Form;
  for (auto _ : State) {
    Form.FirstFile();
    while (Form.CurrentItem < Form.ItemCount - 1)
      Form.NextFile();
    QCoreApplication::processEvents();
  }
}

} // namespace

BENCHMARK(BM_DirectoryLoop<false>)->Name("filelist.build@directory-loop")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Build)->Name("filelist.build")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectoryLoop<false>)->Name("filelist.list-and-show@directory-loop")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListAndShow)->Name("filelist.list-and-show")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortStrings)->Name("filelist.sort@std-sort-strings")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort)->Name("filelist.sort")->ArgName("column")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectoryLoop<true>)->Name("filelist.refresh-after-change@directory-loop")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshAfterChange)->Name("filelist.refresh-after-change")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectoryLoop<false>)->Name("filelist.step-all@directory-loop")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepAll)->Name("filelist.step-all")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv, "filelist", Work); }
