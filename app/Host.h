#pragma once
#include <QString>
#include <Qt>

class QWheelEvent;

// What side windows and dialogs may ask of the window that shows the image;
// they know this and not the main window itself.
class TPelorinHost {
public:
  virtual ~TPelorinHost() = default;

  // Shows the image file Name; Reload keeps the file list as it is.
  virtual void OpenFile(const QString& Name, bool Reload) = 0;
  // A tool window is up: the host takes no files or commands meanwhile.
  virtual bool ToolWindowShowing() const = 0;
  virtual void BeginModal() = 0;
  virtual void EndModal() = 0;
  // Paints the image again once a tool has changed it.
  virtual void Redraw() = 0;
  // Whether the shown file can be read again from where the list found it.
  virtual bool OpenAgainEnabled() const = 0;
  virtual void SetOpenAgain(bool Enabled) = 0;

  // What the file list window passes on to the main window; a host without
  // a list window keeps these defaults.
  // Whether the watcher's next notice may ask to reload the shown file; a
  // failed rename clears it so that its own notice asks nothing.
  virtual void SetFileCheck(bool) {}
  // The shown file was renamed to NewPath.
  virtual void FileRenamed(const QString& /*NewPath*/) {}
  virtual void MainKeyDown(int /*Key*/, Qt::KeyboardModifiers) {}
  virtual void MainWheel(QWheelEvent*) {}
  virtual bool FullScreenShown() const { return false; }
  virtual void OpenCommand() {}
  // The list window was shown or hidden (the main window's item follows).
  virtual void ListShown(bool /*Shown*/) {}
};
