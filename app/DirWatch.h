#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <thread>

// Watches one folder, not its subfolders, for files created, deleted,
// renamed, written or touched. A thread of its own waits for the changes;
// once the folder has been quiet for a moment (or a burst has gone on for
// half a second) it runs OnChange on the thread of Context and waits until
// it returns. Context must outlive the watcher.
class TDirWatch {
public:
  TDirWatch(QObject* Context, std::function<void()> OnChange);
  // Stops the thread.
  ~TDirWatch();
  TDirWatch(const TDirWatch&) = delete;
  TDirWatch& operator=(const TDirWatch&) = delete;

  // The folder to watch (one trailing "/" is ignored); the watch starts
  // anew only when the folder differs. Empty watches nothing until the next
  // folder. Called on the thread of Context.
  void SetFolder(const QString& Path);
  const QString& Folder() const { return FolderName; }
  // Set by the owner while it handles a notice; notices meanwhile are
  // dropped.
  void SetBusy(bool Busy);
  // Ends the thread promptly, also while changes pour in or a notice waits
  // for Context; OnChange does not run once this returns.
  void Stop();

  // How often the thread has set up a watch, successful or not, and whether
  // a folder is watched now; tests wait for these.
  int Restarts() const;
  bool Watching() const;

  struct TShared;

private:
  std::shared_ptr<TShared> Shared;
  QString FolderName;
  std::thread Thread;
};
